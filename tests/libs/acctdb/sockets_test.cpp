// Connects against real listeners on the loopback interfaces.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>
#include <vector>

#include "acctdb/acctdb.h"

namespace {

class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

// A listening socket on 127.0.0.1 or ::1 with a port of the system's choosing.
class Listener {
public:
    explicit Listener(int family, int backlog = 8) {
        fd_ = socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd_ < 0) return;
        sockaddr_storage address{};
        socklen_t length;
        if (family == AF_INET6) {
            auto* v6 = reinterpret_cast<sockaddr_in6*>(&address);
            v6->sin6_family = AF_INET6;
            v6->sin6_addr = in6addr_loopback;
            length = sizeof *v6;
        } else {
            auto* v4 = reinterpret_cast<sockaddr_in*>(&address);
            v4->sin_family = AF_INET;
            v4->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            length = sizeof *v4;
        }
        if (bind(fd_, reinterpret_cast<sockaddr*>(&address), length) != 0 || listen(fd_, backlog) != 0 ||
            getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            close(fd_);
            fd_ = -1;
            return;
        }
        port_ = ntohs(family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&address)->sin6_port
                                         : reinterpret_cast<sockaddr_in*>(&address)->sin_port);
    }
    ~Listener() {
        if (fd_ >= 0) close(fd_);
    }
    bool Ok() const { return fd_ >= 0; }
    unsigned Port() const { return port_; }
    // The accepted peer, or -1 when none arrives within two seconds.
    int Accept() {
        pollfd pfd{fd_, POLLIN, 0};
        if (poll(&pfd, 1, 2000) != 1) return -1;
        return accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
    }

private:
    int fd_ = -1;
    unsigned port_ = 0;
};

// A port nobody listens on: taken from the system, then released.
unsigned ClosedPort() {
    Listener probe(AF_INET);
    return probe.Port();
}

bool IsBlocking(int fd) { return (fcntl(fd, F_GETFL) & O_NONBLOCK) == 0; }

// Connects and proves the connection real by passing a byte to the accepted peer.
void ExpectConnects(Listener& listener, const std::string& host, unsigned port) {
    Fd client(acctdb::IPV6OpenSocket(0, 0, 0));
    ASSERT_GE(client.get(), 0);
    ASSERT_EQ(acctdb::IPV6ConnectToINetServer(client.get(), host, port), 0)
        << host << " port " << port << ": " << std::strerror(errno);
    EXPECT_TRUE(IsBlocking(client.get()));
    Fd peer(listener.Accept());
    ASSERT_GE(peer.get(), 0);
    ASSERT_EQ(send(client.get(), "x", 1, MSG_NOSIGNAL), 1);
    char byte = 0;
    EXPECT_EQ(recv(peer.get(), &byte, 1, 0), 1);
    EXPECT_EQ(byte, 'x');
}

class SocketTest : public ::testing::Test {
protected:
    void TearDown() override { acctdb::SetConnectTimeout(0); }
};

}  // namespace

TEST_F(SocketTest, ConnectsToIpv4LiteralWithSeparatePort) {
    Listener listener(AF_INET);
    ASSERT_TRUE(listener.Ok());
    ExpectConnects(listener, "127.0.0.1", listener.Port());
}

TEST_F(SocketTest, HostCarriesItsPortWhenPortArgumentIsZero) {
    Listener listener(AF_INET);
    ASSERT_TRUE(listener.Ok());
    ExpectConnects(listener, "127.0.0.1:" + std::to_string(listener.Port()), 0);
}

TEST_F(SocketTest, DuplicateConnectionSuffixIsStripped) {
    Listener listener(AF_INET);
    ASSERT_TRUE(listener.Ok());
    ExpectConnects(listener, "127.0.0.1#2", listener.Port());
    ExpectConnects(listener, "127.0.0.1:" + std::to_string(listener.Port()) + "#13", 0);
}

TEST_F(SocketTest, NameIsResolvedAndEveryAddressTried) {
    // "localhost" may resolve to ::1 first; only 127.0.0.1 listens, so a refused first
    // address must lead on to the next.
    Listener listener(AF_INET);
    ASSERT_TRUE(listener.Ok());
    ExpectConnects(listener, "localhost", listener.Port());
}

TEST_F(SocketTest, ConnectsToIpv6LiteralsBareAndBracketed) {
    Listener listener(AF_INET6);
    if (!listener.Ok()) GTEST_SKIP() << "no IPv6 loopback here";
    const std::string port = std::to_string(listener.Port());
    ExpectConnects(listener, "::1", listener.Port());
    ExpectConnects(listener, "[::1]", listener.Port());
    ExpectConnects(listener, "[::1]:" + port, 0);
    ExpectConnects(listener, "[::1]:" + port + "#2", 0);
}

TEST_F(SocketTest, NetworkModemHostNameIsReachedByItsDeviceText) {
    Listener listener(AF_INET);
    ASSERT_TRUE(listener.Ok());
    ExpectConnects(listener, "quvsmsmodem_127.0.0.1:" + std::to_string(listener.Port()), 0);
}

TEST_F(SocketTest, RefusedConnectionFailsAndLeavesSocketBlocking) {
    Fd client(acctdb::IPV6OpenSocket(0, 0, 0));
    ASSERT_GE(client.get(), 0);
    EXPECT_NE(acctdb::IPV6ConnectToINetServer(client.get(), "127.0.0.1", ClosedPort()), 0);
    EXPECT_EQ(errno, ECONNREFUSED);
    EXPECT_TRUE(IsBlocking(client.get()));
}

TEST_F(SocketTest, SocketIsReusableAfterAFailedAttempt) {
    Listener listener(AF_INET);
    ASSERT_TRUE(listener.Ok());
    Fd client(acctdb::IPV6OpenSocket(0, 0, 0));
    ASSERT_GE(client.get(), 0);
    ASSERT_NE(acctdb::IPV6ConnectToINetServer(client.get(), "127.0.0.1", ClosedPort()), 0);
    EXPECT_EQ(acctdb::IPV6ConnectToINetServer(client.get(), "127.0.0.1", listener.Port()), 0)
        << std::strerror(errno);
}

TEST_F(SocketTest, MissingOrMalformedPortIsRejectedAsInvalid) {
    const std::string hosts[] = {"127.0.0.1", "127.0.0.1:", "127.0.0.1:99999", "127.0.0.1:12ab",
                                 "[::1", "[::1]x80", ""};
    for (const std::string& host : hosts) {
        Fd client(acctdb::IPV6OpenSocket(0, 0, 0));
        ASSERT_GE(client.get(), 0);
        EXPECT_NE(acctdb::IPV6ConnectToINetServer(client.get(), host, 0), 0) << host;
        EXPECT_EQ(errno, EINVAL) << host;
    }
}

TEST_F(SocketTest, ClosedDescriptorFails) {
    EXPECT_NE(acctdb::IPV6ConnectToINetServer(-1, "127.0.0.1", 80), 0);
}

TEST_F(SocketTest, UnansweredConnectEndsWithinTheConnectTimeOut) {
    // A listener whose accept queue is full drops further SYNs without a word, so the
    // next connect is never answered and only the time-out can end it. (A non-routable
    // address is no use here: some networks answer every address through a proxy.)
    Listener listener(AF_INET, 0);
    ASSERT_TRUE(listener.Ok());
    std::vector<std::unique_ptr<Fd>> fillers;
    for (int i = 0; i < 4; ++i) {
        fillers.push_back(std::make_unique<Fd>(socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0)));
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(static_cast<uint16_t>(listener.Port()));
        (void)connect(fillers.back()->get(), reinterpret_cast<sockaddr*>(&address),
                      sizeof address);
    }
    usleep(100'000);
    acctdb::SetConnectTimeout(300);
    Fd client(acctdb::IPV6OpenSocket(0, 0, 0));
    ASSERT_GE(client.get(), 0);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_NE(acctdb::IPV6ConnectToINetServer(client.get(), "127.0.0.1", listener.Port()), 0);
    EXPECT_EQ(errno, ETIMEDOUT) << std::strerror(errno);
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
                             std::chrono::steady_clock::now() - start).count();
    // Far above 300 ms, far below the 15 s default: only the configured time-out fits.
    EXPECT_LT(elapsed, 5000);
    EXPECT_GE(elapsed, 250);
    EXPECT_TRUE(IsBlocking(client.get()));
}

TEST_F(SocketTest, OpenSocketBindsTheRequestedLocalPort) {
    const unsigned wanted = ClosedPort();
    Fd client(acctdb::IPV6OpenSocket(0, wanted, 0));
    ASSERT_GE(client.get(), 0);
    sockaddr_storage local{};
    socklen_t length = sizeof local;
    ASSERT_EQ(getsockname(client.get(), reinterpret_cast<sockaddr*>(&local), &length), 0);
    const unsigned bound =
        ntohs(local.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&local)->sin6_port
                                          : reinterpret_cast<sockaddr_in*>(&local)->sin_port);
    EXPECT_EQ(bound, wanted);
}

TEST_F(SocketTest, OpenSocketFailsWhenLocalPortIsTaken) {
    Listener holder(AF_INET);
    ASSERT_TRUE(holder.Ok());
    EXPECT_EQ(acctdb::IPV6OpenSocket(0, holder.Port(), 0), -1);
}
