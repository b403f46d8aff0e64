// The binary data files the console reads for its pages and debits, planted by the
// unprivileged user "nobody" while the console runs as root: a FIFO or a link to a device
// at a counter, credit or error file path (as the Status and SMSC pages read it) reads as
// missing at once, and a linked credit file is never followed, so a debit cannot truncate
// the file it points at.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "config/counter_file.h"
#include "config/credit.h"
#include "counters_fixture.h"
#include "shell/sheet/status_refresh.h"
#include "smsc/connection_status.h"
#include "tests/platform/planted_files.h"
#include "tests/support/temp_dir.h"

namespace {

using zella_test::AsNobody;
using zella_test::WithinHangGuard;

class HostileDataFiles : public CountersTest {
protected:
    void SetUp() override {
        CountersTest::SetUp();
        if (!zella_test::RunningAsRoot()) GTEST_SKIP() << "needs root to play both sides";
        // The directories the services share with the gateway's group, open to the attacker.
        for (const char* sub : {"", "STATS/", "USERS/", "USERS/alice/"}) {
            ASSERT_TRUE(platform::CreateDirectories(dir_ + sub)) << sub;
            ASSERT_TRUE(zella_test::OpenToEverybody(dir_ + sub));
        }
        SetToday(1999, 3, 1);
    }
    void Plant(const std::string& command) { ASSERT_TRUE(AsNobody(command)) << command; }
    std::string CounterPath() { return config::StatCounterPath("SMSSENT", 1999); }
    std::string CreditPath() { return dir_ + "USERS/alice/SMS.CTR"; }
    std::string ErrorPath() { return dir_ + "Modem - COM1.ERR"; }
};

TEST_F(HostileDataFiles, FifoOrDeviceAtEveryDataFilePathReadsAsMissingWithoutWaiting) {
    ASSERT_EQ(dir_ + "STATS/SMSSENT-1999.CTR", CounterPath());
    const std::string paths[] = {CounterPath(), CreditPath(), ErrorPath()};
    const char* plants[] = {"mkfifo ", "ln -s /dev/zero "};
    for (const char* plant : plants) {
        SCOPED_TRACE(plant);
        for (const std::string& path : paths) {
            unlink(path.c_str());
            Plant(plant + ("\"" + path + "\""));
        }
        struct Seen {
            std::uint32_t counterSum = 0;
            std::int64_t debit = 0, look = 0;
            std::string error, smscError;
        };
        const std::string counter = CounterPath(), error = ErrorPath();
        std::optional<Seen> seen = WithinHangGuard<Seen>([counter, error] {
            Seen s;
            for (std::uint32_t value : config::ReadDailyCounterFile(counter)) s.counterSum += value;
            s.debit = config::DebitCredit("alice", nullptr, 1000, false);
            s.look = config::DebitCredit("alice", nullptr, 1000, true);
            s.error = shell::ReadErrorFileText(error);
            s.smscError = smsc::ConnectionErrorText("Modem - COM1");
            return s;
        });
        ASSERT_TRUE(seen.has_value()) << "a data file read hung";
        EXPECT_EQ(0u, seen->counterSum);
        EXPECT_EQ(config::kNoCreditLimit, seen->debit);
        EXPECT_EQ(config::kNoCreditLimit, seen->look);
        EXPECT_EQ("", seen->error);
        EXPECT_EQ("", seen->smscError);
    }
}

TEST_F(HostileDataFiles, LinkedCreditFileLeavesTheFileItPointsAtUntouched) {
    zella_test::TempDir elsewhere("victim");
    const std::string victim = elsewhere.File("ledger");
    const std::string bytes = "root's ledger, sixteen+ bytes\n";
    ASSERT_TRUE(platform::WriteFileAtomic(victim, bytes, 0600));
    Plant("ln -s " + victim + " " + CreditPath());

    EXPECT_EQ(config::kNoCreditLimit, config::DebitCredit("alice", nullptr, 1000, false));
    EXPECT_EQ(config::kNoCreditLimit, config::DebitCredit("alice", nullptr, -5000, false));
    std::string after;
    ASSERT_TRUE(platform::ReadFile(victim, after));
    EXPECT_EQ(bytes, after);
    // Making the file anew does not go through the link either.
    EXPECT_FALSE(config::CreateCreditFile("alice"));
    ASSERT_TRUE(platform::ReadFile(victim, after));
    EXPECT_EQ(bytes, after);
    struct stat st {};
    ASSERT_EQ(0, lstat(CreditPath().c_str(), &st));
    EXPECT_TRUE(S_ISLNK(st.st_mode));
}

}  // namespace
