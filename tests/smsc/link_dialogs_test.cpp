// The UCP/EMI, CIMD2 and HTTP connection dialogs walked end to end through the headless
// host, against loopback servers: the link libraries are a line-protocol double
// installed under their real names in a temporary program directory.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>

#include "config/config_store.h"
#include "platform/dynlib.h"
#include "platform/files.h"
#include "shell/core/link_libraries.h"
#include "smsc/connection_dialogs.h"
#include "smsc/ucp_cimd_dialog.h"
#include "tests/modem/dialog_fixture.h"

namespace {

// Accepts connections on loopback; each reads one line and answers `reply` (nothing
// when empty: a silent server), then waits for the peer to close.
class LoopbackServer {
public:
    LoopbackServer(std::string reply, bool v6 = false) : reply_(std::move(reply)) {
        fd_ = socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM, 0);
        sockaddr_storage a{};
        socklen_t len;
        if (v6) {
            auto* s = reinterpret_cast<sockaddr_in6*>(&a);
            s->sin6_family = AF_INET6;
            s->sin6_addr = in6addr_loopback;
            len = sizeof *s;
        } else {
            auto* s = reinterpret_cast<sockaddr_in*>(&a);
            s->sin_family = AF_INET;
            s->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            len = sizeof *s;
        }
        bind(fd_, reinterpret_cast<sockaddr*>(&a), len);
        listen(fd_, 8);
        getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(v6 ? reinterpret_cast<sockaddr_in6*>(&a)->sin6_port
                         : reinterpret_cast<sockaddr_in*>(&a)->sin_port);
        thread_ = std::thread([this] { Serve(); });
    }
    ~LoopbackServer() {
        stop_ = true;
        thread_.join();
        close(fd_);
    }
    std::string Port() const { return std::to_string(port_); }
    int accepted() const { return accepted_; }
    std::string lastLine() const { return line_; }

private:
    void Serve() {
        while (!stop_) {
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, 50) <= 0) continue;
            const int c = accept(fd_, nullptr, nullptr);
            if (c < 0) continue;
            ++accepted_;
            std::string line;
            char ch;
            while (!stop_ && line.find('\n') == std::string::npos) {
                pollfd q{c, POLLIN, 0};
                if (poll(&q, 1, 50) <= 0) continue;
                if (recv(c, &ch, 1, 0) <= 0) break;
                line += ch;
            }
            line_ = line;
            if (!reply_.empty()) send(c, reply_.data(), reply_.size(), MSG_NOSIGNAL);
            while (!stop_) {  // until the peer closes
                pollfd q{c, POLLIN, 0};
                if (poll(&q, 1, 50) > 0 && recv(c, &ch, 1, 0) <= 0) break;
            }
            close(c);
        }
    }
    std::string reply_;
    int fd_ = -1;
    unsigned port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> accepted_{0};
    std::string line_;
    std::thread thread_;
};

// A port nothing listens on: bound, never listening, kept for the test's life.
struct ClosedPort {
    ClosedPort() {
        fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        socklen_t len = sizeof a;
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
        port = std::to_string(ntohs(a.sin_port));
    }
    ~ClosedPort() { close(fd); }
    int fd;
    std::string port;
};

class LinkDialogs : public dialogtest::DialogTest {
protected:
    void SetUp() override {
        DialogTest::SetUp();
        program_ = dir_ + "program/";
        platform::CreateDirectories(program_);
        std::string lib;
        ASSERT_TRUE(platform::ReadFile(ZT_LINE_LINK, lib));
        for (const char* name : {"UCPLNK.DLL", "CIMDLNK.DLL"})
            ASSERT_TRUE(platform::WriteFileAtomic(program_ + platform::SharedLibraryFileName(name), lib));
        platform::SetLibraryDirectory(program_);
        shell::LoadLinkLibraries();
        ASSERT_NE(shell::UcpLink(), nullptr);
    }
    void TearDown() override {
        shell::FreeLinkLibraries();
        platform::SetLibraryDirectory("");
        DialogTest::TearDown();
    }
    // Opens `edit` on `record` with `fill` run on the dialog before OK is pressed.
    template <class Fill>
    bool Run(bool (*edit)(ui::Host&, std::string&), std::string& record, Fill fill) {
        host_.QueueDialog([&](ui::Dialog& d) {
            fill(d);
            d.UserClick(ui::IDOK);
        });
        return edit(host_, record);
    }
    std::string program_;
};

TEST_F(LinkDialogs, UcpConnectionIsCheckedTestedAndRecorded) {
    LoopbackServer accepting("OK\n"), refusing("ERR 5\n"), silent("");
    ClosedPort closed;
    const std::string longHost(149, 'h');
    std::string record;
    // Bad input first, each kept in the dialog, then a refused login answered No, a
    // silent server, an unreachable long host name, and finally a login that passes.
    host_.QueueDialog("DIALOG_UCP", [&](ui::Dialog& d) {
        d.UserSetText("host", "127.0.0.1");
        for (const char* port : {"0", "65536", "letters"}) {
            d.UserSetText("port", port);
            d.UserClick(ui::IDOK);
        }
        d.UserSetText("port", refusing.Port());
        d.UserSetText("localPort", "70000");
        d.UserClick(ui::IDOK);
        d.UserSetText("localPort", "");
        d.UserSetText("user", "alice");
        d.UserSetText("password", "pw");
        d.UserClick(ui::IDOK);
        EXPECT_FALSE(d.IsEnded());
        d.UserSetText("port", silent.Port());
        d.UserClick(ui::IDOK);
        d.UserSetText("host", longHost);
        d.UserSetText("port", closed.port);
        d.UserClick(ui::IDOK);
        d.UserSetText("host", "127.0.0.1");
        d.UserSetText("port", accepting.Port());
        d.UserClick(ui::IDOK);
    });
    host_.QueueAnswer("Unable to login to UCP server", ui::kNo);
    host_.QueueAnswer("Unable to login to UCP server", ui::kNo);
    host_.QueueAnswer("Unable to connect to UCP server", ui::kNo);
    ASSERT_TRUE(smsc::EditUcpConnection(host_, record));
    const auto boxes = Boxes();
    ASSERT_EQ(boxes.size(), 8u) << host_.TranscriptText();
    EXPECT_EQ(boxes[0], "Invalid Port Number");
    EXPECT_EQ(boxes[1], "Invalid Port Number");
    EXPECT_EQ(boxes[2], "Invalid Port Number");
    EXPECT_EQ(boxes[3], "Invalid Port Number");
    // The transcript writes CR and LF as \r and \n.
    EXPECT_EQ(boxes[4], "Unable to login to UCP server with specified parameters.\\r\\n"
                        "refused with code 5\\r\\n\\r\\nSave connection?");
    EXPECT_EQ(boxes[5], "Unable to login to UCP server with specified parameters.\\r\\n"
                        "refused with code 99\\r\\n\\r\\nSave connection?");
    EXPECT_EQ(boxes[6], "Unable to connect to UCP server at " + longHost + ":" + closed.port +
                            "\\r\\n\\r\\nSave connection?");
    EXPECT_EQ(boxes[7], "UCP Connection OK");
    EXPECT_EQ(refusing.lastLine(), "LOGIN alice pw\n");
    EXPECT_EQ(record, "UCP - 127.0.0.1:" + accepting.Port() +
                          "\tUserName=alice\tPassword=pw\tReceive=No\tReceiveMMS=No"
                          "\tSenderAddressOverride=Yes");
}

TEST_F(LinkDialogs, UcpRefusedLoginAnsweredNoStoresNothingAndIpv6HostsConnect) {
    LoopbackServer refusing("ERR 7\n");
    std::string record = "";
    host_.QueueAnswer("Unable to login to UCP server", ui::kNo);
    EXPECT_FALSE(Run(smsc::EditUcpConnection, record, [&](ui::Dialog& d) {
        d.UserSetText("host", "127.0.0.1");
        d.UserSetText("port", refusing.Port());
    }));
    EXPECT_EQ(record, "");

    LoopbackServer v6("OK\n", true);
    host_.ClearTranscript();
    EXPECT_TRUE(Run(smsc::EditCimdConnection, record, [&](ui::Dialog& d) {
        d.UserSetText("host", "[::1]");
        d.UserSetText("port", v6.Port());
        d.UserClick("receive");
        d.UserSetText("keepAlive", "30s");
        d.UserSetText("senderPrefix", "+44");
    }));
    EXPECT_EQ(Boxes(), std::vector<std::string>{"CIMD Connection OK"});
    EXPECT_EQ(record, "CIMD - [::1]:" + v6.Port() +
                          "\tReceive=Yes\tReceiveMMS=No\tKeepAlive=30\tSenderPrefix=+44"
                          "\tSenderAddressOverride=Yes");
}

TEST_F(LinkDialogs, MissingLinkLibraryShowsNothingAndChangesNothing) {
    shell::FreeLinkLibraries();
    platform::SetLibraryDirectory(dir_);
    shell::LoadLinkLibraries();
    std::string record = "UCP - 10.0.0.1:5000";
    EXPECT_FALSE(smsc::EditUcpConnection(host_, record));
    EXPECT_EQ(record, "UCP - 10.0.0.1:5000");
    EXPECT_EQ(host_.TranscriptText(), "");
}

TEST_F(LinkDialogs, HttpConnectionChecksTemplatesAndConnectsDirectOrThroughProxy) {
    LoopbackServer server("");
    LoopbackServer proxy("");
    ClosedPort closed;
    std::string record;
    host_.QueueDialog("DIALOG_HTTP", [&](ui::Dialog& d) {
        d.UserClick(ui::IDOK);  // URL empty
        for (const char* url : {"127.0.0.1:0/", "127.0.0.1:65536", "127.0.0.1:port"}) {
            d.UserSetText("url", std::string(url));
            d.UserClick(ui::IDOK);
        }
        d.UserSetText("url", "127.0.0.1:" + closed.port + "/sms/send");
        d.UserSetText("templateText", "/?to=@@Text@@");
        d.UserClick(ui::IDOK);
        d.UserSetText("templateText", "/?to=@@phonenumber@@");
        d.UserClick(ui::IDOK);
        d.UserSetText("templateText", "/?to=@@phonenumber@@&d=@@DATABIN@@");
        d.UserClick(ui::IDOK);  // binary template empty
        d.UserSelect("serverType", 1);  // "Quv SMS" fills both
        d.UserClick(ui::IDOK);          // server closed
        d.UserClick("useProxy");
        d.UserClick(ui::IDOK);  // proxy empty
        d.UserSetText("proxy", "127.0.0.1:" + closed.port);
        d.UserClick(ui::IDOK);
        d.UserClick("useProxy");
        d.UserSetText("url", "127.0.0.1:" + server.Port() + "/sms/send");
        d.UserSetText("threadCount", "0");
        d.UserClick(ui::IDOK);
    });
    ASSERT_TRUE(smsc::EditHttpConnection(host_, record));
    const std::string closedAt = "127.0.0.1:" + closed.port;
    EXPECT_EQ(Boxes(), (std::vector<std::string>{
                           "Field is required", "Invalid Port Number", "Invalid Port Number",
                           "Invalid Port Number",
                           "Template must contain @@PhoneNumber@@ parameter!",
                           "Template must contain @@Text@@ or @@Data@@ or @@DataBin@@ parameter!",
                           "Field is required", "Unable to connect to server " + closedAt,
                           "Field is required", "Unable to connect to proxy server " + closedAt,
                           "HTTP Connection OK.\\r\\nSend a test message to verify proper "
                           "configuration."}));
    EXPECT_EQ(server.accepted(), 1);
    EXPECT_EQ(server.lastLine(), "");  // the test sends no request
    EXPECT_EQ(record, "HTTP - 127.0.0.1:" + server.Port() +
                          "\tRootURL=sms/send"
                          "\tTemplateText=/?PhoneNumber=@@PhoneNumber@@&Text=@@Text@@"
                          "\tTemplateBinary=/?PhoneNumber=@@PhoneNumber@@&Binary=1&Data=@@Data@@"
                          "&UDH=@@UDH@@&pid=@@pid@@&dcs=@@dcs@@"
                          "\tServerType=Quv SMS\tHTTPUseAuth=Yes\tSenderAddressOverride=Yes"
                          "\tUseSSL=No\tThreadCount=1\tLongTextAsText=Yes");

    // Through a proxy the secure scheme is not negotiated: the proxy alone decides.
    host_.ClearTranscript();
    record.clear();
    EXPECT_TRUE(Run(smsc::EditHttpConnection, record, [&](ui::Dialog& d) {
        d.UserSelect("serverType", 2);
        d.UserSetText("templateBinary", d.Text("templateBinary") + "x");
        EXPECT_EQ(d.Text("serverType"), "Custom");
        d.UserSetText("url", "https://10.2.2.2/sms/send");
        d.UserClick("useProxy");
        d.UserSetText("proxy", "127.0.0.1:" + proxy.Port());
    }));
    EXPECT_EQ(proxy.accepted(), 1);
    EXPECT_EQ(record.substr(0, record.find('\t')), "HTTP - 10.2.2.2:443");
    EXPECT_EQ(config::FindRecordValue(record, "UseSSL"), "Yes");
    EXPECT_EQ(config::FindRecordValue(record, "RootURL"), "sms/send");
    EXPECT_EQ(config::FindRecordValue(record, "ServerType"), "Custom");
}

}  // namespace
