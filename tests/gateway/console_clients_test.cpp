// The console and the real Gateway service with a client of the gateway's own: an account
// made on the "SMS Users" page binds with the npm SMPP client, submits a message that
// leaves through an SMPP connection, is charged one credit and gets its receipt; the
// console's SMPP client monitor shows the session, and its "Suspend User" ends it. A
// keyword made on the "2-Way" page answers a received message through the SMSC link.
#include "config/credit.h"
#include "tests/gateway/console_fixture.h"
#include "tests/gateway/smpp_client_peer.h"
#include "tests/support/held_port.h"

namespace gateway_test {
namespace {

const char* kAddAccount =
    "tab \"SMS Users\"\n"
    "press \"&Add\"\n"
    "expect title \"Edit User\"\n"
    "set \"User Name:\" \"alice\"\n"
    "set \"Password:\" \"s3cret\"\n"
    "check \"Enable SMPP (or UCP) Login for this user\"\n"
    "check \"Enable Credit Balance\"\n"
    "set creditsToAdd \"5\"\n"
    "press \"OK\"\n"
    "expect list \"alice\"\n"
    "press \"Cancel\"\n"
    "answer \"Service is not active\" No\n";

const char* kMonitorAndSuspend =
    "tab \"Service\"\n"
    "wait 2500\n"
    "expect smppClients \"1\"\n"
    "press smppView\n"
    "expect title \"SMPP Client Connections\"\n"
    "expect list \"alice\\t1 connection\"\n"
    "choose clients \"alice\\t1 connection\"\n"
    "press \"Suspend User\"\n"
    "answer \"SMPP access disabled for account.\" OK\n"
    "press \"Close\"\n"
    "press \"Cancel\"\n";

TEST_F(ConsoleAndService, AccountFromTheUsersPageBindsIsChargedMonitoredAndSuspended) {
    Smsc smsc({"--receipts"});
    SmppConnection(smsc.Port());
    unsigned port = 0;
    {
        zella_test::HeldPort probe;
        port = probe.port;
    }
    platform::WritePrivateProfileString(Ini(), "ZELLA", "SMPPPort", std::to_string(port));
    Console(kAddAccount);
    EXPECT_EQ(5000, config::DebitCredit("alice", nullptr, 0, true));
    Console("answer \"Service successfully installed!\" OK\n", {"-INSTALLSMSSERVICE"});
    ASSERT_TRUE(Eventually([&] {
        return platform::OpenServiceManager(dir_)->State("QuvSMS") == platform::ServiceState::Running;
    }));

    SmppClient client(port, "alice", "s3cret", {"--submit", "+447700900321", "Hello from alice", "--receipt"});
    ASSERT_EQ("BIND_RESP 0", client.Next("BIND_RESP")) << client.Seen();
    const std::string resp = client.Next("SUBMIT_RESP");
    ASSERT_EQ(0u, resp.find("SUBMIT_RESP 0 ")) << client.Seen();
    const std::string id = resp.substr(resp.rfind(' ') + 1);
    const auto submits = smsc.Lines("SUBMIT", 1);
    ASSERT_EQ(1u, submits.size());
    EXPECT_NE(std::string::npos, submits[0].find(" 447700900321 0 0 1 ")) << submits[0];
    const std::string receipt = client.Next("DELIVER");
    EXPECT_EQ(0u, receipt.find("DELIVER 4 447700900321 - " + id + " id:" + id + " ")) << client.Seen();
    EXPECT_NE(std::string::npos, receipt.find("stat:DELIVRD")) << receipt;
    EXPECT_EQ(4000, config::DebitCredit("alice", nullptr, 0, true));

    const std::string monitor = Console(kMonitorAndSuspend);
    EXPECT_NE(std::string::npos, monitor.find("close: SMPP Client Connections")) << monitor;
    // Suspended: the session ends within the minute the console promises.
    EXPECT_EQ("UNBIND", client.Next("UNBIND", 60'000)) << client.Seen();
    EXPECT_EQ("CLOSED", client.Next("CLOSED", 10'000)) << client.Seen();
    EXPECT_TRUE(Eventually([&] { return platform::ListDirectory(dir_ + "SMPPData/ActiveUsers/", "*.FLG").empty(); }));
    SmppClient again(port, "alice", "s3cret");
    EXPECT_EQ("BIND_RESP 13", again.Next("BIND_RESP")) << again.Seen();  // 0x0D: bind failed
}

TEST_F(ConsoleAndService, KeywordFromTheTwoWayPageAnswersThroughTheSmscLink) {
    Smsc smsc({"--mo", "info please"});
    SmppConnection(smsc.Port(), {"Receive=Yes"});
    Console("tab \"2-Way\"\n"
            "press add\n"
            "expect title \"2-Way Keyword Processor\"\n"
            "set keyword \"INFO\"\n"
            "check replyText\n"
            "set replyTextField \"Open 9 to 5\"\n"
            "press \"OK\"\n"
            "press \"OK\"\n"
            "answer \"Service is not active\" No\n");
    Console("answer \"Service successfully installed!\" OK\n", {"-INSTALLSMSSERVICE"});
    // The SMSC sends "info please" from 4470000001 once the service binds to receive; the
    // reply goes back to that number through the same connection.
    const auto submits = smsc.Lines("SUBMIT", 1, 30'000);
    ASSERT_EQ(1u, submits.size()) << Log("SMSIN") << Events();
    EXPECT_NE(std::string::npos, submits[0].find(" 4470000001 0 0 0 4f70656e203920746f2035")) << submits[0];
    EXPECT_TRUE(Eventually([&] { return Received().size() == 1; })) << ::testing::PrintToString(Received());
}

}  // namespace
}  // namespace gateway_test
