// Messages handed in by the gateway's clients: what an account's rules let through, what
// lands in the queue, and what is charged and counted.
#include <gtest/gtest.h>

#include "accounts/quota.h"
#include "acctdb/acctdb.h"
#include "config/config_store.h"
#include "config/credit.h"
#include "gateway/clients/access.h"
#include "gateway/clients/submission.h"
#include "gateway/request.h"
#include "platform/files.h"
#include "platform/ini.h"
#include "tests/support/temp_dir.h"

namespace gateway::clients {
namespace {

class SubmissionTest : public ::testing::Test {
protected:
    void SetUp() override {
        config::SetConfigurationPath(data_.Path() + "ZELLA.INI");
        user_.SetUserName("Ann");
        user_.SetPassword("secret");
        user_.SetSmppLogin(true);
        user_.SetForcedSender("ACME");
        user_.SetAllowedIps("127.0.0.*, 10.1.*.*");
        acctdb::UserHandle store = 0;
        ASSERT_TRUE(acctdb::SMSOpenUserFile(&store, acctdb::GENERIC_READ | acctdb::GENERIC_WRITE));
        acctdb::SMSAddUser(store, user_);
        acctdb::SMSCloseUserFile(store);
    }
    void TearDown() override { config::SetConfigurationPath(""); }

    ClientMessage Message(const std::string& to, const std::string& text) {
        ClientMessage m;
        m.to = to;
        m.from = "12345";
        m.text = text;
        m.clientAddress = "127.0.0.1";
        m.via = "SMPP";
        return m;
    }
    std::string RequestText(const std::string& id) {
        std::string text;
        platform::ReadFile(config::QueueDirectory() + "USER__Ann/" + id + ".REQ", text);
        return text;
    }

    zella_test::ScopedDataDir data_{"submit"};
    acctdb::UserRecord user_;
};

TEST_F(SubmissionTest, AcceptedMessageIsQueuedChargedAndCounted) {
    ASSERT_TRUE(config::CreateCreditFile("Ann"));
    config::DebitCredit("Ann", nullptr, -3000, false);  // three messages
    ClientMessage m = Message("+44 7700-900123", "Line one\r\nline two");
    m.receipt = true;
    const SubmitResult r = Submit(user_, m);
    ASSERT_TRUE(r.Accepted()) << r.text;
    EXPECT_EQ(1u, r.parts);
    OutboundRequest request;
    std::string error;
    ASSERT_TRUE(ParseRequest(RequestText(r.requestId), request, error)) << error;
    EXPECT_EQ("+447700900123", request.phoneNumber);
    EXPECT_EQ("ACME", request.sender);  // the forced sender wins
    EXPECT_EQ("Line one\r\nline two", request.data);
    EXPECT_EQ("Ann", request.submitUser);
    EXPECT_TRUE(request.receiptRequested);
    EXPECT_TRUE(request.chargedOnSubmit);
    EXPECT_EQ(2000, config::DebitCredit("Ann", nullptr, 0, true));
    EXPECT_EQ(1u, accounts::ReadUserQuota("Ann").today);
    EXPECT_EQ("Ann", RequestOwner(r.requestId));

    // A three-part message takes three credits: two are left, so it is refused and costs nothing.
    const SubmitResult refused = Submit(user_, Message("123", std::string(400, 'x')));
    EXPECT_EQ(Refusal::NoCredit, refused.refusal);
    EXPECT_EQ("Account Ann:  credit limit exceeded.", refused.text);
    EXPECT_EQ(2000, config::DebitCredit("Ann", nullptr, 0, true));
    EXPECT_EQ(1u, accounts::ReadUserQuota("Ann").today);
}

TEST_F(SubmissionTest, RefusalsNameTheirReasonAndWriteNothing) {
    platform::WritePrivateProfileString(config::ConfigurationPath(), "ZELLA", "DefaultMsgLimitPerDay", "1");
    platform::WritePrivateProfileString(config::ConfigurationPath(), "ZELLA", "DefaultMsgLimitPerMonth", "100");
    ClientMessage wrongAddress = Message("123", "hi");
    wrongAddress.clientAddress = "192.168.1.9";
    ClientMessage badRoute = Message("123", "hi");
    badRoute.route = "No such route";
    ClientMessage badHeader = Message("123", "hi");
    badHeader.udh = std::string("\x05\x00\x03", 3);  // says 5 octets follow, has 2
    const struct {
        ClientMessage message;
        Refusal refusal;
    } cases[] = {
        {Message("", "hi"), Refusal::InvalidRecipient},
        {Message("12a45", "hi"), Refusal::InvalidRecipient},
        {Message("123456789012345678901", "hi"), Refusal::InvalidRecipient},
        {Message("123", std::string(8192, 'x')), Refusal::TooLong},
        {badRoute, Refusal::Invalid},
        {badHeader, Refusal::Invalid},
        {wrongAddress, Refusal::AddressNotAllowed},
    };
    for (const auto& c : cases) {
        const SubmitResult r = Submit(user_, c.message);
        EXPECT_EQ(c.refusal, r.refusal) << c.message.to << " " << r.text;
        EXPECT_FALSE(r.text.empty());
    }
    EXPECT_EQ(0u, accounts::ReadUserQuota("Ann").today);
    ASSERT_TRUE(Submit(user_, Message("123", "first")).Accepted());
    const SubmitResult over = Submit(user_, Message("123", "second"));
    EXPECT_EQ(Refusal::Quota, over.refusal);
    EXPECT_EQ("Account Ann:  daily message limit exceeded.", over.text);
}

TEST_F(SubmissionTest, BatchedRequestsAreCountedOnlyOnceTheyAreInTheQueue) {
    ASSERT_TRUE(config::CreateCreditFile("Ann"));
    config::DebitCredit("Ann", nullptr, -5000, false);
    std::string first, second;
    {
        platform::FileBatch batch;
        const SubmitResult a = Submit(user_, Message("111", "one"), batch);
        const SubmitResult b = Submit(user_, Message("222", "two"), batch);
        ASSERT_TRUE(a.Accepted() && b.Accepted());
        first = a.requestId;
        second = b.requestId;
        // Staged: not in the queue yet, charged, not counted.
        EXPECT_EQ("", RequestText(first));
        EXPECT_EQ(3000, config::DebitCredit("Ann", nullptr, 0, true));
        EXPECT_EQ(0u, accounts::ReadUserQuota("Ann").today);
        EXPECT_TRUE(CommitSubmissions(batch).empty());
    }
    EXPECT_NE(std::string::npos, RequestText(first).find("PhoneNumber=111\r\n"));
    EXPECT_NE(std::string::npos, RequestText(second).find("PhoneNumber=222\r\n"));
    EXPECT_EQ(2u, accounts::ReadUserQuota("Ann").today);
    // Nothing of the batch is left beside the requests.
    for (const auto& e : platform::ListDirectory(config::QueueDirectory() + "USER__Ann/"))
        if (e.name != "." && e.name != "..") EXPECT_NE('.', e.name[0]) << e.name;
}

TEST(ClientAccess, AddressPatternsAndLists) {
    const struct {
        const char* pattern;
        const char* address;
        bool match;
    } cases[] = {
        {"127.0.0.1", "127.0.0.1", true},       {"127.0.0.*", "127.0.0.77", true},
        {"10.*.0.0", "10.9.0.0", true},         {"10.*.0.0", "10.9.0.1", false},
        {"127.0.0.1", "::ffff:127.0.0.1", true}, {"127.0.0.1", "::1", false},
        {"*.*.*.*", "::1", true},               {"1.2.3", "1.2.3.0", false},
        {"1.2.3.4", "1.2.3.4x", false},
    };
    for (const auto& c : cases) EXPECT_EQ(c.match, AddressMatches(c.pattern, c.address)) << c.pattern << " " << c.address;
    AddressLists lists;
    lists.allowed = {"127.0.0.*"};
    lists.blocked = {"127.0.0.9"};
    EXPECT_TRUE(lists.Admits("127.0.0.1"));
    EXPECT_FALSE(lists.Admits("127.0.0.9"));
    EXPECT_FALSE(lists.Admits("10.0.0.1"));
}

}  // namespace
}  // namespace gateway::clients
