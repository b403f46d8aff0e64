// The TCP socket service against listeners on the loopback interface.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/cancel.h"
#include "platform/tcp_socket.h"

namespace {

using platform::IoStatus;
using platform::TcpSocket;
using platform::UniqueFd;

// A listening socket on 127.0.0.1 with a port of the system's choosing.
struct Listener {
    explicit Listener(int backlog = 8) {
        fd.Reset(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t n = sizeof a;
        if (bind(fd.Get(), reinterpret_cast<sockaddr*>(&a), n) != 0 ||
            listen(fd.Get(), backlog) != 0 ||
            getsockname(fd.Get(), reinterpret_cast<sockaddr*>(&a), &n) != 0) {
            fd.Reset();
            return;
        }
        port = ntohs(a.sin_port);
    }
    // The accepted peer; invalid when none arrives within ten seconds.
    UniqueFd Accept() {
        pollfd p{fd.Get(), POLLIN, 0};
        if (poll(&p, 1, 10'000) != 1) return {};
        return UniqueFd(accept4(fd.Get(), nullptr, nullptr, SOCK_CLOEXEC));
    }
    UniqueFd fd;
    unsigned port = 0;
};

// A listener whose accept queue is full: further connects are never answered.
struct BlackHole {
    BlackHole() : listener(0) {
        for (int i = 0; i < 4; ++i) {
            fillers.emplace_back(socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0));
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            a.sin_port = htons(static_cast<uint16_t>(listener.port));
            (void)connect(fillers.back().Get(), reinterpret_cast<sockaddr*>(&a), sizeof a);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    Listener listener;
    std::vector<UniqueFd> fillers;
};

void Send(const UniqueFd& peer, const std::string& text) {
    ASSERT_EQ(send(peer.Get(), text.data(), text.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(text.size()));
}

// Cancels `token` after a moment, as the operator's Cancel would.
std::thread CancelSoon(platform::CancelToken& token) {
    return std::thread([&token] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        token.Cancel();
    });
}

TEST(TcpSocket, ConnectIsBoundedAndFailuresAreTold) {
    int error = 0;
    unsigned closedPort = 0;
    {
        Listener probe;
        closedPort = probe.port;
    }
    EXPECT_FALSE(TcpSocket::Connect("127.0.0.1", closedPort, 5000, &error).IsOpen());
    EXPECT_EQ(error, ECONNREFUSED);

    BlackHole hole;
    ASSERT_TRUE(hole.listener.fd.Valid());
    EXPECT_FALSE(TcpSocket::Connect("127.0.0.1", hole.listener.port, 300, &error).IsOpen());
    EXPECT_EQ(error, ETIMEDOUT);

    platform::CancelToken token;
    platform::ScopedCancelToken scope(&token);
    std::thread cancel = CancelSoon(token);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(TcpSocket::Connect("127.0.0.1", hole.listener.port, 120'000, &error).IsOpen());
    cancel.join();
    EXPECT_EQ(error, ECANCELED);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(60));  // hang guard
}

TEST(TcpSocket, FramesArriveAcrossPartialWritesAndAPeerClosingMidFrameIsTold) {
    Listener listener;
    ASSERT_TRUE(listener.fd.Valid());
    int error = 0;
    TcpSocket client = TcpSocket::Connect("127.0.0.1", listener.port, 5000, &error);
    ASSERT_TRUE(client.IsOpen()) << error;
    UniqueFd peer = listener.Accept();
    ASSERT_TRUE(peer.Valid());

    // Nothing sent: the bounded receive ends empty.
    char buf[64];
    platform::IoResult r = client.Receive(buf, sizeof buf, 100);
    EXPECT_EQ(r.status, IoStatus::TimedOut);

    // A frame in pieces, with the start of the next one behind it.
    std::thread writer([&peer] {
        Send(peer, "+CS");
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        Send(peer, "Q: 17\r");
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        Send(peer, "\nABCDxyz");
    });
    std::string frame;
    r = client.ReceiveUntil(frame, "\r\n", 1024, 10'000);
    writer.join();
    EXPECT_EQ(r.status, IoStatus::Ok);
    EXPECT_EQ(frame, "+CSQ: 17\r\n");
    // A counted frame is served from what arrived behind the first.
    frame.clear();
    r = client.ReceiveUntil(frame, "", 4, 10'000);
    EXPECT_EQ(r.status, IoStatus::Ok);
    EXPECT_EQ(frame, "ABCD");
    // Too long a frame without its delimiter.
    frame.clear();
    r = client.ReceiveUntil(frame, "\r\n", 3, 10'000);
    EXPECT_EQ(r.status, IoStatus::Error);
    EXPECT_EQ(r.error, EMSGSIZE);

    // Sent both ways.
    EXPECT_EQ(client.SendAll("AT\r", 1000).status, IoStatus::Ok);
    char got[3];
    ASSERT_EQ(recv(peer.Get(), got, sizeof got, MSG_WAITALL), 3);
    EXPECT_EQ(std::string(got, 3), "AT\r");

    // Cancel ends a long frame read.
    {
        platform::CancelToken token;
        platform::ScopedCancelToken scope(&token);
        std::thread cancel = CancelSoon(token);
        frame.clear();
        r = client.ReceiveUntil(frame, "\r\n", 1024, 120'000);
        cancel.join();
        EXPECT_EQ(r.status, IoStatus::Cancelled);
    }

    // The peer closes in the middle of a frame.
    Send(peer, "PARTIAL");
    peer.Reset();
    frame.clear();
    r = client.ReceiveUntil(frame, "\r\n", 1024, 10'000);
    EXPECT_EQ(r.status, IoStatus::Closed);
    EXPECT_EQ(frame, "PARTIAL");
}

TEST(TcpSocket, GracefulCloseDeliversEverythingSentBeforeIt) {
    Listener listener;
    ASSERT_TRUE(listener.fd.Valid());
    TcpSocket client = TcpSocket::Connect("localhost", listener.port, 5000);
    ASSERT_TRUE(client.IsOpen());
    UniqueFd peer = listener.Accept();
    ASSERT_TRUE(peer.Valid());
    std::string seen;
    std::thread server([&peer, &seen] {
        // Reads to the end of the stream, answers, then closes.
        char buf[256];
        ssize_t n;
        while ((n = recv(peer.Get(), buf, sizeof buf, 0)) > 0)
            seen.append(buf, static_cast<std::size_t>(n));
        (void)send(peer.Get(), "BYE", 3, MSG_NOSIGNAL);
        peer.Reset();
    });
    const std::string unbind(4096, 'u');
    EXPECT_EQ(client.SendAll(unbind, 5000).status, IoStatus::Ok);
    client.CloseGracefully(10'000);
    server.join();
    EXPECT_FALSE(client.IsOpen());
    EXPECT_EQ(seen, unbind);
}

}  // namespace
