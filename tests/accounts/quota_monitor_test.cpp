// Quota files of every awkward length read as far as they go, the statistics lines with
// the divisible-by-4 leap rule, and the SMPP client monitor over flag files that a test
// holds locked the way the service does.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cstdio>

#include "accounts/quota.h"
#include "accounts/user_stats.h"
#include "accounts/smpp_clients.h"
#include "acctdb/acctdb.h"
#include "config/credit.h"
#include "platform/files.h"
#include "tests/config/temp_data_dir.h"
#include "ui/headless_host.h"

namespace {

// The service's format: little-endian 32-bit counters, day i + 1 at index i.
std::string QuotaBytes(std::size_t size, const std::map<int, std::uint32_t>& counters) {
    std::string bytes(size, '\0');
    for (const auto& [index, value] : counters)
        for (int b = 0; b < 4; ++b)
            if (4 * index + b < static_cast<int>(size))
                bytes[4 * index + b] = static_cast<char>((value >> (8 * b)) & 0xFF);
    return bytes;
}

class QuotaTest : public DataDirTest {
protected:
    void WriteQuota(const std::string& user, int year, const std::string& bytes) {
        WriteFile(config::UserDirectory(user) + std::to_string(year) + ".QTA", bytes);
    }
};

TEST_F(QuotaTest, FilesOfEveryLengthReadAsFarAsTheyGo) {
    struct Case {
        std::size_t size;
        std::uint32_t jan1, mar31;  // expected: 1 January, and 31 March 2023 (index 89)
        std::uint32_t dec31;        // 31 December 2023 (index 364)
    };
    const Case cases[] = {{0, 0, 0, 0},        {4, 7, 0, 0},        {400, 7, 9, 0},
                          {1463, 7, 9, 11},    {1464, 7, 9, 11},    {2000, 7, 9, 11}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        WriteQuota("bob", 2023, QuotaBytes(c.size, {{0, 7}, {89, 9}, {364, 11}, {365, 500}}));
        EXPECT_EQ(accounts::ReadUserQuota("bob", {2023, 1, 0, 1}).today, c.jan1);
        EXPECT_EQ(accounts::ReadUserQuota("bob", {2023, 3, 0, 31}).today, c.mar31);
        EXPECT_EQ(accounts::ReadUserQuota("bob", {2023, 3, 0, 31}).month, c.mar31);
        const accounts::UserQuota dec = accounts::ReadUserQuota("bob", {2023, 12, 0, 31});
        EXPECT_EQ(dec.today, c.dec31);
        // Counter 365 belongs to no day of a common year.
        EXPECT_EQ(dec.month, c.dec31);
    }
    EXPECT_EQ(accounts::ReadUserQuota("nobody", {2023, 1, 0, 1}).month, 0u);
}

TEST_F(QuotaTest, LeapYearsShiftTheDaysAfterFebruary) {
    WriteQuota("ann", 2024, QuotaBytes(1464, {{58, 1}, {59, 2}, {60, 3}, {365, 4}}));
    const accounts::UserQuota feb = accounts::ReadUserQuota("ann", {2024, 2, 0, 29});
    EXPECT_EQ(feb.today, 2u);
    EXPECT_EQ(feb.month, 3u);
    EXPECT_EQ(accounts::ReadUserQuota("ann", {2024, 3, 0, 1}).today, 3u);
    EXPECT_EQ(accounts::ReadUserQuota("ann", {2024, 12, 0, 31}).today, 4u);
    WriteQuota("ann", 2001, QuotaBytes(8, {{1, 5}}));
    const std::vector<std::string> expected = {
        "January 2, 2001\t5 messages",      "   TOTAL - January 2001\t5 messages",
        "February 28, 2024\t1 messages",    "February 29, 2024\t2 messages",
        "   TOTAL - February 2024\t3 messages", "March 1, 2024\t3 messages",
        "   TOTAL - March 2024\t3 messages", "December 31, 2024\t4 messages",
        "   TOTAL - December 2024\t4 messages"};
    EXPECT_EQ(accounts::UserStatsLines("ann", 2024), expected);
}

TEST(FlagFileName, UserNameIsEverythingAfterTheThirdDash) {
    auto f = accounts::ParseFlagFileName("10.0.0.1-42-T-bob-smith.FLG");
    ASSERT_TRUE(f);
    EXPECT_EQ(f->address, "10.0.0.1");
    EXPECT_EQ(f->bind, 'T');
    EXPECT_EQ(f->user, "bob-smith");
    EXPECT_FALSE(accounts::ParseFlagFileName("nodash.FLG"));
    EXPECT_FALSE(accounts::ParseFlagFileName("a-b-c.FLG"));
    EXPECT_FALSE(accounts::ParseFlagFileName("a-b-c-d.TXT"));
}

TEST_F(QuotaTest, MonitorCountsLiveFlagsDropsStaleOnesAndSuspends) {
    const std::string dir = accounts::ActiveUsersDirectory();
    ASSERT_TRUE(platform::CreateDirectories(dir));
    std::vector<platform::FileLock> held;
    for (const char* name : {"10.0.0.1-1-T-alice.FLG", "10.0.0.1-2-R-alice.FLG",
                             "10.0.0.2-3-S-bob-smith.FLG", "nodash.FLG"})
        held.emplace_back(dir + name, true, false, true);
    for (const auto& lock : held) ASSERT_TRUE(lock.Locked());
    WriteFile(dir + "10.0.0.3-4-T-carol.FLG", "");  // an ended connection
    WriteQuota("alice", acctdb::TZGetLocalTime().year, QuotaBytes(1464, {}));

    acctdb::UserHandle h = 0;
    ASSERT_TRUE(acctdb::SMSOpenUserFile(&h, acctdb::GENERIC_READ | acctdb::GENERIC_WRITE));
    acctdb::UserRecord alice;
    alice.SetUserName("alice");
    alice.SetPassword("pw");
    alice.SetSmppLogin(true);
    ASSERT_TRUE(acctdb::SMSAddUser(h, alice));

    ui::HeadlessHost host;
    host.QueueDialog("DIALOG_SMPPCLIENTS", [](ui::Dialog& d) {
        EXPECT_EQ(d.Items("clients"),
                  (std::vector<std::string>{"alice\t2 connections", "bob-smith\t1 connection"}));
        d.UserSelect("clients", 0);
        EXPECT_EQ(d.Text("details"),
                  "0 messages sent this month\r\n\r\nConnections:\r\n"
                  "10.0.0.1 - 1 transceiver, 1 receiver\r\n");
        d.UserClick("suspend");
        d.UserClick(ui::IDOK);
    });
    host.QueueAnswer("SMPP access disabled for account.", ui::kOk);
    accounts::ShowSmppClientMonitor(host);
    EXPECT_FALSE(host.Failed()) << host.TranscriptText();
    EXPECT_FALSE(platform::PathExists(dir + "10.0.0.3-4-T-carol.FLG"));
    EXPECT_TRUE(platform::PathExists(dir + "10.0.0.1-1-T-alice.FLG"));
    ASSERT_TRUE(acctdb::SMSFindUserRecord(h, "alice", &alice));
    EXPECT_FALSE(alice.SmppLogin());
    EXPECT_EQ(alice.Password(), "pw");
    EXPECT_TRUE(config::HasCreditFile("alice"));
    EXPECT_EQ(config::DebitCredit("alice", nullptr, 0, true), 0);
    acctdb::SMSCloseUserFile(h);
}

// 10,001 live connections of different users: the list stops at 10,000 users and the
// refresh completes; once the holders let go, one refresh removes all 10,001 stale flags.
TEST_F(QuotaTest, TenThousandAndOneFlagFilesAreCappedThenSwept) {
    constexpr int kFlags = 10'001;
    rlimit limit{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &limit), 0);
    if (limit.rlim_cur < kFlags + 200) {
        limit.rlim_cur = std::min<rlim_t>(limit.rlim_max, kFlags + 200);
        setrlimit(RLIMIT_NOFILE, &limit);
    }
    if (limit.rlim_cur < kFlags + 200) GTEST_SKIP() << "cannot hold 10,001 locks open here";
    const std::string dir = accounts::ActiveUsersDirectory();
    ASSERT_TRUE(platform::CreateDirectories(dir));
    std::vector<platform::FileLock> held;
    for (int i = 0; i < kFlags; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "10.0.%d.%d-%d-T-user%05d.FLG", i / 256, i % 256, i, i);
        held.emplace_back(dir + name, true, false, true);
        ASSERT_TRUE(held.back().Locked()) << name;
    }
    std::vector<std::string> rows;
    ui::HeadlessHost host;
    host.QueueDialog("DIALOG_SMPPCLIENTS", [&](ui::Dialog& d) {
        rows = d.Items("clients");
        d.UserClick(ui::IDOK);
    });
    accounts::ShowSmppClientMonitor(host);
    EXPECT_FALSE(host.Failed()) << host.TranscriptText();
    ASSERT_EQ(rows.size(), accounts::kMaxMonitorUsers);
    for (const std::string& row : rows) ASSERT_TRUE(row.ends_with("\t1 connection")) << row;
    EXPECT_EQ(platform::ListDirectory(dir, "*.FLG").size(), static_cast<std::size_t>(kFlags));

    held.clear();
    EXPECT_TRUE(accounts::LiveFlagFiles().empty());
    EXPECT_TRUE(platform::ListDirectory(dir, "*.FLG").empty());
}

}  // namespace
