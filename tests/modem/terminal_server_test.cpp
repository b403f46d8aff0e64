// The terminal server the IP-modem tests run against must read a login the way a real
// one does, whatever segments the bytes arrive in.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "tests/modem/modem_fixture.h"

namespace modemtest {
namespace {

// A raw TCP client of the terminal server on loopback.
class RawClient {
public:
    explicit RawClient(unsigned port) {
        fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(static_cast<std::uint16_t>(port));
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (fd_ >= 0 && connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
            close(fd_);
            fd_ = -1;
        }
        int one = 1;
        if (fd_ >= 0) setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    }
    ~RawClient() {
        if (fd_ >= 0) close(fd_);
    }
    RawClient(const RawClient&) = delete;
    RawClient& operator=(const RawClient&) = delete;

    bool Connected() const { return fd_ >= 0; }
    bool Send(const std::string& text) {
        return send(fd_, text.data(), text.size(), MSG_NOSIGNAL) ==
               static_cast<ssize_t>(text.size());
    }
    // Everything received until `what` has arrived, the server closed, or a minute of
    // silence (a bound against hanging, never reached when the server behaves).
    std::string ReceiveUntil(const std::string& what) {
        std::string got;
        while (got.find(what) == std::string::npos) {
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, 60'000) <= 0) break;
            char buf[512];
            const ssize_t n = recv(fd_, buf, sizeof buf, 0);
            if (n <= 0) break;
            got.append(buf, static_cast<std::size_t>(n));
        }
        return got;
    }

private:
    int fd_ = -1;
};

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

class TerminalServer : public ModemFixture {};

// The server answers the name with the password prompt only after it has read the CR,
// so the LF is sure to come in a later read: it ends the name's line, not the password's.
TEST_F(TerminalServer, LineEndSplitAfterCarriageReturnDoesNotEndTheNextLine) {
    const unsigned port = StartTerminalServer(
        {"--user=ops", "--password=secret", "--script=CONNECT=AT\r"}, dir_ + "no-modem");
    RawClient client(port);
    ASSERT_TRUE(client.Connected());
    ASSERT_TRUE(EndsWith(client.ReceiveUntil("Username: "), "Username: "));
    ASSERT_TRUE(client.Send("ops\r"));
    ASSERT_EQ(client.ReceiveUntil("Password: "), "Password: ");
    ASSERT_TRUE(client.Send("\n"));
    ASSERT_TRUE(client.Send("secret\r\n"));
    EXPECT_EQ(client.ReceiveUntil("CONNECT"), "CONNECT");
}

TEST_F(TerminalServer, BareTelnetCarriageReturnEndsTheLine) {
    const unsigned port = StartTerminalServer({"--user=ops", "--password=secret",
                                               "--script=CONNECT=AT\r"}, dir_ + "no-modem");
    RawClient client(port);
    ASSERT_TRUE(client.Connected());
    client.ReceiveUntil("Username: ");
    ASSERT_TRUE(client.Send("ops\r"));
    ASSERT_EQ(client.ReceiveUntil("Password: "), "Password: ");
    ASSERT_TRUE(client.Send(std::string("\0secret\r", 8)));
    EXPECT_EQ(client.ReceiveUntil("CONNECT"), "CONNECT");
}

TEST_F(TerminalServer, WrongPasswordIsRefused) {
    const unsigned port =
        StartTerminalServer({"--user=ops", "--password=secret"}, dir_ + "no-modem");
    RawClient client(port);
    ASSERT_TRUE(client.Connected());
    client.ReceiveUntil("Username: ");
    ASSERT_TRUE(client.Send("ops\r\n"));
    client.ReceiveUntil("Password: ");
    ASSERT_TRUE(client.Send("guess\r\n"));
    EXPECT_NE(client.ReceiveUntil("Login incorrect").find("Login incorrect"), std::string::npos);
}

}  // namespace
}  // namespace modemtest
