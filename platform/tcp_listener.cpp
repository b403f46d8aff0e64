#include "platform/tcp_listener.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>

namespace platform {

namespace {

UniqueFd Fail(int* error, int code) {
    if (error != nullptr) *error = code;
    return UniqueFd();
}

}  // namespace

UniqueFd ListenStream(const std::string& address, unsigned port, int* error) {
    if (error != nullptr) *error = 0;
    if (port == 0 || port > 65535) return Fail(error, EINVAL);
    sockaddr_storage local{};
    socklen_t length = 0;
    auto* v4 = reinterpret_cast<sockaddr_in*>(&local);
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&local);
    if (address.empty()) {
        v6->sin6_family = AF_INET6;
        v6->sin6_addr = in6addr_any;
        v6->sin6_port = htons(static_cast<uint16_t>(port));
        length = sizeof *v6;
    } else if (inet_pton(AF_INET, address.c_str(), &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        v4->sin_port = htons(static_cast<uint16_t>(port));
        length = sizeof *v4;
    } else if (inet_pton(AF_INET6, address.c_str(), &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(static_cast<uint16_t>(port));
        length = sizeof *v6;
    } else {
        return Fail(error, EINVAL);
    }
    UniqueFd fd(socket(local.ss_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, IPPROTO_TCP));
    if (!fd && address.empty()) {
        // No IPv6 on this machine: every IPv4 address instead.
        local = {};
        v4->sin_family = AF_INET;
        v4->sin_addr.s_addr = htonl(INADDR_ANY);
        v4->sin_port = htons(static_cast<uint16_t>(port));
        length = sizeof *v4;
        fd.Reset(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, IPPROTO_TCP));
    }
    if (!fd) return Fail(error, errno);
    const int on = 1, off = 0;
    (void)setsockopt(fd.Get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (local.ss_family == AF_INET6 && address.empty())
        (void)setsockopt(fd.Get(), IPPROTO_IPV6, IPV6_V6ONLY, &off, sizeof off);
    if (bind(fd.Get(), reinterpret_cast<sockaddr*>(&local), length) != 0) return Fail(error, errno);
    if (listen(fd.Get(), 128) != 0) return Fail(error, errno);
    return fd;
}

unsigned LocalPort(int fd) {
    sockaddr_storage local{};
    socklen_t length = sizeof local;
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) != 0) return 0;
    if (local.ss_family == AF_INET) return ntohs(reinterpret_cast<sockaddr_in*>(&local)->sin_port);
    if (local.ss_family == AF_INET6) return ntohs(reinterpret_cast<sockaddr_in6*>(&local)->sin6_port);
    return 0;
}

UniqueFd AcceptStream(int listenFd, std::string& peer) {
    sockaddr_storage remote{};
    socklen_t length = sizeof remote;
    UniqueFd fd(accept4(listenFd, reinterpret_cast<sockaddr*>(&remote), &length, SOCK_CLOEXEC));
    peer.clear();
    if (!fd) return fd;
    char text[INET6_ADDRSTRLEN] = {};
    if (remote.ss_family == AF_INET) {
        inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(&remote)->sin_addr, text, sizeof text);
    } else if (remote.ss_family == AF_INET6) {
        const in6_addr& a = reinterpret_cast<sockaddr_in6*>(&remote)->sin6_addr;
        if (IN6_IS_ADDR_V4MAPPED(&a))
            inet_ntop(AF_INET, a.s6_addr + 12, text, sizeof text);
        else
            inet_ntop(AF_INET6, &a, text, sizeof text);
    }
    peer = text;
    return fd;
}

bool IsLoopbackAddress(const std::string& address) { return address.rfind("127.", 0) == 0 || address == "::1"; }

}  // namespace platform

namespace platform {

void ShutdownStream(int fd) { (void)shutdown(fd, SHUT_RDWR); }

}  // namespace platform
