#include "platform/tcp_listener.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>

namespace platform {

namespace {

int Fail(int* error, int value) {
    if (error) *error = value;
    return -1;
}

}  // namespace

UniqueFd ListenStream(const std::string& address, unsigned port, int backlog, int* error) {
    if (port > 65535) return UniqueFd(Fail(error, EINVAL));
    sockaddr_storage storage{};
    socklen_t length = 0;
    int family = AF_INET6;
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&storage);
    auto* v4 = reinterpret_cast<sockaddr_in*>(&storage);
    if (address.empty()) {
        v6->sin6_family = AF_INET6;
        v6->sin6_addr = in6addr_any;
        v6->sin6_port = htons(static_cast<std::uint16_t>(port));
        length = sizeof *v6;
    } else if (inet_pton(AF_INET6, address.c_str(), &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(static_cast<std::uint16_t>(port));
        length = sizeof *v6;
    } else if (inet_pton(AF_INET, address.c_str(), &v4->sin_addr) == 1) {
        family = AF_INET;
        v4->sin_family = AF_INET;
        v4->sin_port = htons(static_cast<std::uint16_t>(port));
        length = sizeof *v4;
    } else {
        return UniqueFd(Fail(error, EINVAL));
    }
    UniqueFd fd(socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!fd.Valid() && address.empty()) {
        // No IPv6 on this system: every IPv4 address instead.
        std::memset(&storage, 0, sizeof storage);
        family = AF_INET;
        v4->sin_family = AF_INET;
        v4->sin_addr.s_addr = htonl(INADDR_ANY);
        v4->sin_port = htons(static_cast<std::uint16_t>(port));
        length = sizeof *v4;
        fd.Reset(socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    }
    if (!fd.Valid()) return UniqueFd(Fail(error, errno));
    const int on = 1, off = 0;
    setsockopt(fd.Get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (family == AF_INET6 && address.empty()) setsockopt(fd.Get(), IPPROTO_IPV6, IPV6_V6ONLY, &off, sizeof off);
    if (bind(fd.Get(), reinterpret_cast<sockaddr*>(&storage), length) != 0 || listen(fd.Get(), backlog) != 0)
        return UniqueFd(Fail(error, errno));
    return fd;
}

unsigned ListeningPort(int listenFd) {
    sockaddr_storage local{};
    socklen_t length = sizeof local;
    if (getsockname(listenFd, reinterpret_cast<sockaddr*>(&local), &length) != 0) return 0;
    if (local.ss_family == AF_INET6) return ntohs(reinterpret_cast<sockaddr_in6&>(local).sin6_port);
    if (local.ss_family == AF_INET) return ntohs(reinterpret_cast<sockaddr_in&>(local).sin_port);
    return 0;
}

UniqueFd AcceptStream(int listenFd, std::string& peer, int* error) {
    sockaddr_storage remote{};
    socklen_t length = sizeof remote;
    UniqueFd fd(accept4(listenFd, reinterpret_cast<sockaddr*>(&remote), &length, SOCK_NONBLOCK | SOCK_CLOEXEC));
    if (!fd.Valid()) {
        if (error) *error = errno;
        return fd;
    }
    char text[INET6_ADDRSTRLEN] = "";
    if (remote.ss_family == AF_INET) {
        inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in&>(remote).sin_addr, text, sizeof text);
    } else if (remote.ss_family == AF_INET6) {
        const in6_addr& a = reinterpret_cast<sockaddr_in6&>(remote).sin6_addr;
        if (IN6_IS_ADDR_V4MAPPED(&a)) inet_ntop(AF_INET, &a.s6_addr[12], text, sizeof text);
        else inet_ntop(AF_INET6, &a, text, sizeof text);
    }
    peer = text;
    return fd;
}

void SetSocketSendBuffer(int fd, int bytes) { setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &bytes, sizeof bytes); }

void ShutdownSocket(int fd) { shutdown(fd, SHUT_RDWR); }

bool StreamPair(UniqueFd& a, UniqueFd& b) {
    int fds[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) return false;
    a.Reset(fds[0]);
    b.Reset(fds[1]);
    return true;
}

unsigned WaitForInput(int a, int b, int ms) {
    pollfd fds[2] = {{a, POLLIN, 0}, {b, POLLIN, 0}};
    if (poll(fds, 2, ms) <= 0) return 0;
    return (fds[0].revents ? 1u : 0u) | (fds[1].revents ? 2u : 0u);
}

bool IsLoopbackAddress(const std::string& address) { return address.rfind("127.", 0) == 0 || address == "::1"; }

}  // namespace platform
