// WSP sessions of libwaplnk.so through a loopback HTTP proxy that answers with a
// Content-Length body, a chunked body, an error status and a body too large.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <thread>
#include <vector>

#include "tests/support/held_port.h"
#include "waplnk/waplnk.h"

namespace {

// Reads one request head and the body its Content-Length announces.
std::string ReadRequest(int fd) {
    std::string data;
    char c;
    while (data.find("\r\n\r\n") == std::string::npos && read(fd, &c, 1) == 1) data += c;
    std::size_t at = data.find("Content-Length: ");
    std::size_t length = at == std::string::npos ? 0 : std::stoul(data.substr(at + 16));
    std::string body(length, '\0');
    std::size_t got = 0;
    while (got < length) {
        ssize_t n = read(fd, body.data() + got, length - got);
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
    }
    return data + body.substr(0, got);
}

TEST(WapLinkWsp, RequestsGoThroughTheGatewayAsHttp) {
    zella_test::HeldPort gateway;
    std::vector<std::string> requests;
    std::thread server([&] {
        int fd = accept(gateway.fd, nullptr, nullptr);
        const std::string replies[] = {
            "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 5\r\n\r\nhello",
            "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n4\r\nmms-\r\n6;x=y\r\nreply!\r\n0\r\nX-Trailer: 1\r\n\r\n",
            "HTTP/1.1 404 Not Found\r\nContent-Length: 3\r\n\r\nno!",
        };
        for (const std::string& reply : replies) {
            requests.push_back(ReadRequest(fd));
            send(fd, reply.data(), reply.size(), MSG_NOSIGNAL);
        }
        close(fd);
        fd = accept(gateway.fd, nullptr, nullptr);
        requests.push_back(ReadRequest(fd));
        const std::string big = "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n" + std::string(100, 'b');
        send(fd, big.data(), big.size(), MSG_NOSIGNAL);
        close(fd);
    });

    void* session = WSPConnect(("127.0.0.1:" + std::to_string(gateway.port)).c_str());
    ASSERT_NE(session, nullptr);
    unsigned char response[64];
    int n = WSPRequest(session, "GET", "http://mms.example.net/m/1", nullptr, nullptr, 0, response, sizeof response);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(response), n > 0 ? n : 0), "hello");
    const unsigned char pdu[] = {0x8c, 0x80, 0x98, 0x00};
    n = WSPRequest(session, "POST", "http://mms.example.net/", "application/vnd.wap.mms-message", pdu,
                   sizeof pdu, response, sizeof response);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(response), n > 0 ? n : 0), "mms-reply!");
    EXPECT_EQ(WSPRequest(session, "GET", "http://mms.example.net/gone", nullptr, nullptr, 0, response,
                         sizeof response), -1);
    WSPDisconnect(session);
    session = nullptr;

    // A body beyond the caller's room is a failure, never a silent cut.
    void* second = WSPConnect(("127.0.0.1:" + std::to_string(gateway.port)).c_str());
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(WSPRequest(second, "GET", "http://mms.example.net/big", nullptr, nullptr, 0, response,
                         sizeof response), -1);
    WSPDisconnect(second);
    server.join();

    ASSERT_EQ(requests.size(), 4u);
    EXPECT_EQ(requests[0], "GET http://mms.example.net/m/1 HTTP/1.1\r\nHost: mms.example.net\r\n\r\n");
    EXPECT_EQ(requests[1],
              "POST http://mms.example.net/ HTTP/1.1\r\nHost: mms.example.net\r\n"
              "Content-Type: application/vnd.wap.mms-message\r\nContent-Length: 4\r\n\r\n" +
                  std::string(reinterpret_cast<const char*>(pdu), sizeof pdu));
    EXPECT_EQ(WSPRequest(nullptr, "GET", "http://x/", nullptr, nullptr, 0, response, sizeof response), -1);
    EXPECT_EQ(WSPConnect(""), nullptr);
}

// A chunk size so large that adding it to what was read wraps around: the client must
// refuse it at once, not keep reading what the proxy streams after it. The proxy's
// stream is far beyond what the sockets buffer, so it can only end early when the client
// stopped reading and hung up.
TEST(WapLinkWsp, ChunkSizeThatWrapsIsRefusedBeforeReadingOn) {
    zella_test::HeldPort gateway;
    std::size_t streamed = 0;
    constexpr std::size_t kStream = 64u << 20;
    std::thread server([&] {
        const int fd = accept(gateway.fd, nullptr, nullptr);
        ReadRequest(fd);
        const std::string head =
            "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n4\r\nmms-\r\nfffffffffffffffe\r\n";
        send(fd, head.data(), head.size(), MSG_NOSIGNAL);
        const std::string block(1 << 16, 'z');
        while (streamed < kStream) {
            const ssize_t n = send(fd, block.data(), block.size(), MSG_NOSIGNAL);
            if (n <= 0) break;
            streamed += static_cast<std::size_t>(n);
        }
        close(fd);
    });
    void* session = WSPConnect(("127.0.0.1:" + std::to_string(gateway.port)).c_str());
    ASSERT_NE(session, nullptr);
    unsigned char response[64];
    EXPECT_EQ(WSPRequest(session, "GET", "http://mms.example.net/m/1", nullptr, nullptr, 0, response,
                         sizeof response), -1);
    WSPDisconnect(session);
    server.join();
    EXPECT_LT(streamed, kStream);
}

}  // namespace
