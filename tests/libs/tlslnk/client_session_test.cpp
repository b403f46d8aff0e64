// The client side against real peers on loopback: openssl s_server with a certificate
// made for the test (untrusted, as an SMSC's private one is), and bare sockets that play
// a plain-text server, a silent one and one that hangs up mid-handshake.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstring>
#include <thread>

#include "platform/cancel.h"
#include "tests/libs/tlslnk/openssl_peer.h"
#include "tests/support/held_port.h"
#include "tests/support/temp_dir.h"
#include "tlslnk/tlslnk.h"

namespace tlslnk_test {
namespace {

constexpr const char* kHost = "smsc.zella.test";

unsigned AcceptPort(const std::string& output) {
    const auto line = output.find("ACCEPT ");
    const auto colon = output.rfind(':', output.find('\n', line));
    return line == std::string::npos ? 0u : static_cast<unsigned>(std::stoul(output.substr(colon + 1)));
}

std::string Recv(void* session, int capacity) {
    std::string text(static_cast<std::size_t>(capacity), '\0');
    const int n = sslRecv(session, text.data(), capacity);
    text.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return text;
}

TEST(TlsClientSession, UntrustedServerWorksReportsItsCertificateAndEndsWithCloseNotify) {
    zella_test::TempDir dir("tlslnk");
    ASSERT_EQ(RunOpenssl({"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", dir.File("k.pem"),
                          "-out", dir.File("c.pem"), "-days", "30", "-subj", "/CN=smsc.zella.test/O=Zella SMSC"},
                         nullptr),
              0);
    std::string enddate;
    ASSERT_EQ(RunOpenssl({"x509", "-in", dir.File("c.pem"), "-noout", "-enddate", "-dateopt", "iso_8601"}, &enddate), 0);
    const std::string expiryDay = enddate.substr(enddate.find('=') + 1, 10);  // YYYY-MM-DD

    OpensslPeer server({"s_server", "-accept", "0", "-cert", dir.File("c.pem"), "-key", dir.File("k.pem"),
                        "-servername", kHost, "-cert2", dir.File("c.pem"), "-key2", dir.File("k.pem"),
                        "-naccept", "2", "-msg"});
    ASSERT_TRUE(server.WaitFor("ACCEPT")) << server.Output();
    ASSERT_TRUE(server.WaitFor("\n", 5000));
    const unsigned port = AcceptPort(server.Output());
    ASSERT_NE(port, 0u) << server.Output();
    ASSERT_NE(sslInitLib(), 0);

    int fd = ConnectLoopback(port);
    ASSERT_GE(fd, 0);
    char buffer[512];
    std::snprintf(buffer, sizeof buffer, "%s#2", kHost);  // a duplicate connection's host
    void* session = sslInitSession(fd, buffer, sizeof buffer);
    ASSERT_NE(session, nullptr) << buffer;
    EXPECT_TRUE(server.WaitFor("Hostname in TLS extension: \"smsc.zella.test\"")) << server.Output();

    char report[1024];
    ASSERT_GT(sslPeerReport(session, report, sizeof report), 0);
    const std::string text = report;
    EXPECT_NE(text.find("Certificate subject: CN=smsc.zella.test"), std::string::npos) << text;
    EXPECT_NE(text.find("O=Zella SMSC"), std::string::npos) << text;
    EXPECT_NE(text.find("Valid until: " + expiryDay), std::string::npos) << text << " / " << enddate;
    EXPECT_NE(text.find("Verification: self-signed certificate"), std::string::npos) << text;
    EXPECT_EQ(text.find("mismatch"), std::string::npos) << text;

    const std::string ping = "ping from zella\n";
    EXPECT_EQ(sslSend(session, ping.data(), static_cast<int>(ping.size())), static_cast<int>(ping.size()));
    EXPECT_TRUE(server.WaitFor(ping)) << server.Output();

    // One record of 17 bytes read in two parts: the rest is decrypted and waiting, which
    // the socket does not show, so the reader must ask before waiting on it.
    EXPECT_EQ(sslDataPending(session), 0);
    server.Write("0123456789ABCDEF\n");
    EXPECT_EQ(Recv(session, 4), "0123");
    EXPECT_EQ(sslDataPending(session), 13);
    EXPECT_EQ(Recv(session, 64), "456789ABCDEF\n");
    EXPECT_EQ(sslDataPending(session), 0);
    server.Write("second record\n");
    EXPECT_EQ(Recv(session, 64), "second record\n");

    // A read from a server that sends nothing ends within the bound, and the session
    // stays usable.
    sslSetTimeout(300);
    char none[16];
    EXPECT_EQ(sslRecv(session, none, sizeof none), -1);
    char why[128];
    sslLastError(session, why, sizeof why);
    EXPECT_STREQ(why, "No answer from the server within 300 milliseconds during a read");
    sslSetTimeout(0);
    EXPECT_EQ(sslSend(session, ping.data(), static_cast<int>(ping.size())), static_cast<int>(ping.size()));

    sslFreeSession(session);
    close(fd);
    EXPECT_TRUE(server.WaitFor("close_notify")) << server.Output();
    EXPECT_EQ(server.Output().find("unexpected eof"), std::string::npos) << server.Output();

    // An address literal is checked as an address and never sent as a server name.
    fd = ConnectLoopback(port);
    ASSERT_GE(fd, 0);
    std::snprintf(buffer, sizeof buffer, "127.0.0.1#3");
    session = sslInitSession(fd, buffer, sizeof buffer);
    ASSERT_NE(session, nullptr) << buffer;
    ASSERT_GT(sslPeerReport(session, report, sizeof report), 0);
    EXPECT_NE(std::string(report).find("IP address mismatch"), std::string::npos) << report;
    sslFreeSession(session);
    close(fd);
    server.WaitFor("CONNECTION CLOSED", 5000);
    const std::string& log = server.Output();
    const auto first = log.find("Hostname in TLS extension");
    EXPECT_EQ(log.find("Hostname in TLS extension", first + 1), std::string::npos) << log;
}

enum class Peer { PlainText, Silent, HangsUpMidHandshake, SilentCancelled };

// One bad server per row; each start must fail within the bound with its own text, and
// the text must fit the caller's buffer.
TEST(TlsClientSession, BadServersEndTheHandshakeWithAText) {
    struct Row {
        Peer peer;
        const char* expected;
    } rows[] = {
        {Peer::PlainText, "The server did not answer with TLS"},
        {Peer::Silent, "No answer from the server within 300 milliseconds during the TLS handshake"},
        {Peer::HangsUpMidHandshake, "The server closed the connection during the TLS handshake"},
        {Peer::SilentCancelled, "Cancelled during the TLS handshake"},
    };
    ASSERT_NE(sslInitLib(), 0);
    sslSetTimeout(300);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.expected);
        zella_test::HeldPort listener;
        std::thread peer([&] {
            if (row.peer == Peer::Silent || row.peer == Peer::SilentCancelled) return;
            const int s = accept(listener.fd, nullptr, nullptr);
            char hello[64];
            if (row.peer == Peer::PlainText) {
                const char banner[] = "220 smsc.zella.test plain text ready\r\n";
                send(s, banner, sizeof banner - 1, MSG_NOSIGNAL);
                while (recv(s, hello, sizeof hello, 0) > 0) {
                }
            } else {
                recv(s, hello, sizeof hello, 0);  // part of the ClientHello, then gone
            }
            close(s);
        });
        const int fd = ConnectLoopback(listener.port);
        ASSERT_GE(fd, 0);
        char buffer[600];
        std::memset(buffer, 'x', sizeof buffer);
        std::snprintf(buffer, 100, "%s", kHost);
        platform::CancelToken token;
        if (row.peer == Peer::SilentCancelled) token.Cancel();
        void* session = nullptr;
        {
            platform::ScopedCancelToken scope(&token);
            session = sslInitSession(fd, buffer, 500);
        }
        EXPECT_EQ(session, nullptr);
        EXPECT_NE(std::string(buffer).find(row.expected), std::string::npos) << buffer;
        EXPECT_EQ(buffer[500], 'x');
        char last[600];
        sslLastError(nullptr, last, sizeof last);
        EXPECT_STREQ(last, buffer);
        close(fd);
        peer.join();
    }
    // A buffer too small for the text gets its start, terminated, and nothing beyond.
    zella_test::HeldPort listener;
    const int fd = ConnectLoopback(listener.port);
    char small[32];
    std::memset(small, 'x', sizeof small);
    std::snprintf(small, 16, "%s", kHost);
    EXPECT_EQ(sslInitSession(fd, small, 16), nullptr);
    EXPECT_EQ(std::strlen(small), 15u);
    EXPECT_EQ(std::string(small), "No answer from ");
    EXPECT_EQ(small[16], 'x');
    close(fd);
    sslSetTimeout(0);
}

}  // namespace
}  // namespace tlslnk_test
