// The console and the real Gateway service together, as an operator meets them: the
// service installed from the console under the built-in supervisor, a test SMS sent from
// the SMSC page through a loopback SMSC, the Status page following the counters and the
// connection's error while the SMSC is away, and the queue viewer showing the retries of a
// message the SMSC refuses for now.
#include "tests/gateway/console_fixture.h"
#include "tests/support/first_line_child.h"

namespace gateway_test {
namespace {

TEST_F(ConsoleAndService, TestSmsReachesTheSmscAndTheStatusPageFollowsTheConnection) {
    unsigned port = 0;
    std::string name;
    {
        Smsc smsc;
        port = smsc.Port();
        name = SmppConnection(port);
        Console("answer \"Service successfully installed!\" OK\n", {"-INSTALLSMSSERVICE"});
        ASSERT_TRUE(Eventually([&] {
            return platform::OpenServiceManager(dir_)->State("QuvSMS") == platform::ServiceState::Running;
        }));
        ASSERT_TRUE(Eventually([&] { return smsc.Count("BIND") > 0 || !smsc.Lines("BIND", 1, 100).empty(); }));
        SendTest(name, "Status:  OK -- Message Sent");
        const auto submits = smsc.Lines("SUBMIT", 1);
        ASSERT_EQ(1u, submits.size());
        // "QuvSMS Test Message", to the number typed, and nothing else.
        EXPECT_NE(std::string::npos, submits[0].find(" 1 4479460001 0 0 0 517576534d532054657374204d657373616765"))
            << submits[0];
        const std::string status = StatusPage();
        EXPECT_NE(std::string::npos, status.find("All Connections OK")) << status;
        EXPECT_NE(std::string::npos, status.find("dump: sentToday static \"\" \"1\"")) << status;
    }
    // The SMSC is gone: the Status page shows the connection's error.
    ASSERT_TRUE(Eventually([&] { return ErrorFile(name) != "(none)"; }, 60'000));
    std::string status = StatusPage();
    EXPECT_NE(std::string::npos, status.find("Unable to connect to 127.0.0.1:" + std::to_string(port))) << status;
    // Back, but refusing for now: the test shows the retry, the queue viewer its count.
    Smsc refusing({"--port", std::to_string(port), "--temporary"});
    ASSERT_TRUE(Eventually([&] { return ErrorFile(name) == "(none)"; }, 90'000));
    const std::string viewer = SendTest(name, "Status:  Retry pending, 1 attempts",
                                        "tab \"Service\"\npress queueView\nexpect title \"Outbound SMS Queue\"\n"
                                        "expect summary \"Outbound SMS Message Queue:  1 message\"\n"
                                        "dump\n"
                                        "press \"Close\"\n");
    EXPECT_NE(std::string::npos, viewer.find("rows=1")) << viewer;
    const auto waiting = platform::ListDirectory(dir_ + "Q/" , "TEST*.REQ");
    ASSERT_EQ(1u, waiting.size());
    const std::string request = dir_ + "Q/" + waiting[0].name;
    EXPECT_EQ("1", platform::GetPrivateProfileString(request, "ErrorDetail", "RetryCount", ""));
    EXPECT_EQ("SMSC refused the message: System error (ESME_RSYSERR; 0x00000008)",
              platform::GetPrivateProfileString(request, "ErrorDetail", "LastErrorInfo", ""));
    status = StatusPage();
    EXPECT_NE(std::string::npos, status.find("All Connections OK")) << status;
    EXPECT_NE(std::string::npos, status.find("dump: retriedToday static \"\" \"1\"")) << status;
}

// The same test SMS through a UCP/EMI, a CIMD2 and an HTTP connection: "Message Sent"
// once each SMSC took the message, and each SMSC's record shows it.
TEST_F(ConsoleAndService, TestSmsGoesThroughUcpCimdAndHttpConnections) {
    zella_test::FirstLineChild ucp(ZELLA_UCPSIM, {"--log=" + dir_ + "ucp.log"});
    zella_test::FirstLineChild cimd(ZELLA_UCPSIM, {"--protocol=cimd", "--user=gw", "--password=pw",
                                                   "--log=" + dir_ + "cimd.log"});
    // An HTTP provider that takes every message and prints each request line.
    zella_test::PeerProcess http("python3", {"-c",
        "import http.server,sys\n"
        "class H(http.server.BaseHTTPRequestHandler):\n"
        "  def do_GET(self):\n"
        "    print('GET', self.path, flush=True)\n"
        "    self.send_response(200); self.end_headers(); self.wfile.write(b'id-1')\n"
        "  def log_message(self, *a): pass\n"
        "s=http.server.HTTPServer(('127.0.0.1',0),H)\n"
        "print('LISTENING', s.server_port, flush=True)\n"
        "s.serve_forever()\n"});
    const unsigned httpPort = http.ListeningPort();
    ASSERT_TRUE(ucp.Started() && cimd.Started() && httpPort != 0);
    const std::string ucpName = "UCP - 127.0.0.1:" + ucp.FirstLine();
    const std::string cimdName = "CIMD - 127.0.0.1:" + cimd.FirstLine();
    const std::string httpName = "HTTP - 127.0.0.1:" + std::to_string(httpPort);
    platform::WritePrivateProfileString(Ini(), "ZELLA", "Modem1", ucpName);
    platform::WritePrivateProfileString(Ini(), "ZELLA", "Modem2", cimdName);
    platform::WritePrivateProfileString(Ini(), cimdName, "UserName", "gw");
    platform::WritePrivateProfileString(Ini(), cimdName, "Password", "pw");
    platform::WritePrivateProfileString(Ini(), "ZELLA", "Modem3", httpName);
    platform::WritePrivateProfileString(Ini(), httpName, "TemplateText", "/sms?to=@@PhoneNumber@@&text=@@Text@@");
    platform::WritePrivateProfileString(Ini(), httpName, "TemplateBinary", "/sms?to=@@PhoneNumber@@&data=@@Data@@");
    Console("answer \"Service successfully installed!\" OK\n", {"-INSTALLSMSSERVICE"});
    ASSERT_TRUE(Eventually([&] {
        return platform::OpenServiceManager(dir_)->State("QuvSMS") == platform::ServiceState::Running;
    }));
    for (const std::string& name : {ucpName, cimdName, httpName}) SendTest(name, "Status:  OK -- Message Sent");
    std::string ucpLog, cimdLog;
    platform::ReadFile(dir_ + "ucp.log", ucpLog);
    platform::ReadFile(dir_ + "cimd.log", cimdLog);
    EXPECT_NE(std::string::npos, ucpLog.find("51 AdC=004479460001 ")) << ucpLog;
    EXPECT_NE(std::string::npos, cimdLog.find("03 021=004479460001 033=QuvSMS Test Message")) << cimdLog;
    EXPECT_EQ("GET /sms?to=%2B4479460001&text=QuvSMS%20Test%20Message", http.ReadLine(5000));
}

}  // namespace
}  // namespace gateway_test
