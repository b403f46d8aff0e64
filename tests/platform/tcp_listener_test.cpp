// Listening sockets: a port already taken, a malformed address, and the peer address of
// IPv4 clients reaching a dual-stack listener.
#include <gtest/gtest.h>

#include <cerrno>

#include "platform/tcp_listener.h"
#include "platform/tcp_socket.h"

namespace platform {
namespace {

TEST(TcpListener, TakenPortsAndBadAddressesAreErrorsAndPeersReadAsDottedIPv4) {
    int error = 0;
    EXPECT_FALSE(ListenStream("not-an-address", 8800, 8, &error).Valid());
    EXPECT_EQ(EINVAL, error);
    UniqueFd listener = ListenStream("", 0, 8, &error);
    ASSERT_TRUE(listener.Valid()) << error;
    const unsigned port = ListeningPort(listener.Get());
    ASSERT_NE(0u, port);
    EXPECT_FALSE(ListenStream("127.0.0.1", port, 8, &error).Valid());
    EXPECT_EQ(EADDRINUSE, error);

    TcpSocket client = TcpSocket::Connect("127.0.0.1", port, 5'000);
    ASSERT_TRUE(client.IsOpen());
    std::string peer;
    UniqueFd accepted;
    for (int i = 0; i < 500 && !accepted.Valid(); ++i) {
        accepted = AcceptStream(listener.Get(), peer);
        if (!accepted.Valid()) client.Wait(IoEvent::Readable, 10);
    }
    ASSERT_TRUE(accepted.Valid());
    EXPECT_EQ("127.0.0.1", peer);
    EXPECT_TRUE(IsLoopbackAddress(peer));
    EXPECT_TRUE(IsLoopbackAddress("::1"));
    EXPECT_FALSE(IsLoopbackAddress("10.0.0.1"));
    EXPECT_FALSE(IsLoopbackAddress("1127.0.0.1"));
}

}  // namespace
}  // namespace platform
