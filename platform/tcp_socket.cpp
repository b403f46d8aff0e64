#include "platform/tcp_socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace platform {
namespace {

int SocketFamily(int fd) {
    sockaddr_storage local{};
    socklen_t length = sizeof local;
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) != 0) return -1;
    return local.ss_family;
}

// An IPv4 address for a dual-stack socket becomes ::ffff:a.b.c.d.
bool AddressForSocket(int family, const addrinfo& info, sockaddr_storage* out,
                      socklen_t* length) {
    std::memset(out, 0, sizeof *out);
    if (info.ai_family == family) {
        std::memcpy(out, info.ai_addr, info.ai_addrlen);
        *length = info.ai_addrlen;
        return true;
    }
    if (family != AF_INET6 || info.ai_family != AF_INET) return false;
    const auto* v4 = reinterpret_cast<const sockaddr_in*>(info.ai_addr);
    auto* v6 = reinterpret_cast<sockaddr_in6*>(out);
    v6->sin6_family = AF_INET6;
    v6->sin6_port = v4->sin_port;
    v6->sin6_addr.s6_addr[10] = 0xff;
    v6->sin6_addr.s6_addr[11] = 0xff;
    std::memcpy(&v6->sin6_addr.s6_addr[12], &v4->sin_addr, 4);
    *length = sizeof(sockaddr_in6);
    return true;
}

// Waits for a non-blocking connect to finish; its outcome as an errno.
int AwaitConnect(int fd, std::uint64_t timeoutMs) {
    switch (WaitForIo(fd, IoEvent::Writable, timeoutMs)) {
        case WaitStatus::TimedOut: return ETIMEDOUT;
        case WaitStatus::Cancelled: return ECANCELED;
        case WaitStatus::Error: return EBADF;
        case WaitStatus::Ready: break;
    }
    int error = 0;
    socklen_t length = sizeof error;
    if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) return errno;
    return error;
}

int ConnectOnce(int fd, const sockaddr_storage& address, socklen_t length,
                std::uint64_t timeoutMs) {
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), length) == 0) return 0;
    if (errno != EINPROGRESS && errno != EINTR) return errno;
    const int error = AwaitConnect(fd, timeoutMs);
    if (error != 0) {
        // Dissolves the half-open attempt so that the next address can be tried on the
        // same descriptor (the caller owns it and expects it back connected).
        sockaddr unspecified{};
        unspecified.sa_family = AF_UNSPEC;
        (void)connect(fd, &unspecified, sizeof unspecified);
    }
    return error;
}

int ResolveError(int gaiError) {
    if (gaiError == EAI_SYSTEM) return errno;
    if (gaiError == EAI_AGAIN) return EAGAIN;
    return EHOSTUNREACH;
}

int ConnectResolved(int fd, const std::string& host, unsigned port, std::uint64_t timeoutMs) {
    const int family = SocketFamily(fd);
    if (family != AF_INET && family != AF_INET6) return ENOTSOCK;
    addrinfo hints{};
    hints.ai_family = family == AF_INET ? AF_INET : AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    const int gai = getaddrinfo(host.c_str(), service.c_str(), &hints, &found);
    if (gai != 0) return ResolveError(gai);
    int error = EHOSTUNREACH;
    for (const addrinfo* info = found; info != nullptr; info = info->ai_next) {
        sockaddr_storage address{};
        socklen_t length = 0;
        if (!AddressForSocket(family, *info, &address, &length)) continue;
        error = ConnectOnce(fd, address, length, timeoutMs);
        if (error == 0 || error == ECANCELED) break;
    }
    freeaddrinfo(found);
    return error;
}

IoResult FromErrno(int error, std::size_t bytes) {
    if (error == ECONNRESET || error == EPIPE) return {IoStatus::Closed, bytes, error};
    return {IoStatus::Error, bytes, error};
}

IoResult FromWait(WaitStatus w, std::size_t bytes) {
    if (w == WaitStatus::Cancelled) return {IoStatus::Cancelled, bytes, 0};
    if (w == WaitStatus::Error) return {IoStatus::Error, bytes, EBADF};
    return {IoStatus::TimedOut, bytes, 0};
}

std::uint64_t Left(std::uint64_t deadline) {
    const std::uint64_t now = SteadyMillis();
    return now >= deadline ? 0 : deadline - now;
}

}  // namespace

UniqueFd OpenStreamSocket(unsigned localPort, int* error) {
    if (error != nullptr) *error = 0;
    if (localPort > 65535) {
        if (error != nullptr) *error = EINVAL;
        return {};
    }
    UniqueFd fd(socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP));
    if (fd) {
        const int off = 0;
        (void)setsockopt(fd.Get(), IPPROTO_IPV6, IPV6_V6ONLY, &off, sizeof off);
    } else {
        fd.Reset(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP));
    }
    if (!fd || localPort == 0) {
        if (!fd && error != nullptr) *error = errno;
        return fd;
    }
    // A fixed source port must be reusable at once after the previous test's close.
    const int on = 1;
    (void)setsockopt(fd.Get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_storage local{};
    socklen_t length = 0;
    if (SocketFamily(fd.Get()) == AF_INET6) {
        auto* v6 = reinterpret_cast<sockaddr_in6*>(&local);
        v6->sin6_family = AF_INET6;
        v6->sin6_addr = in6addr_any;
        v6->sin6_port = htons(static_cast<uint16_t>(localPort));
        length = sizeof(sockaddr_in6);
    } else {
        auto* v4 = reinterpret_cast<sockaddr_in*>(&local);
        v4->sin_family = AF_INET;
        v4->sin_addr.s_addr = htonl(INADDR_ANY);
        v4->sin_port = htons(static_cast<uint16_t>(localPort));
        length = sizeof(sockaddr_in);
    }
    if (bind(fd.Get(), reinterpret_cast<sockaddr*>(&local), length) != 0) {
        if (error != nullptr) *error = errno;
        return {};
    }
    return fd;
}

int ConnectStreamSocket(int fd, const std::string& host, unsigned port, std::uint64_t timeoutMs) {
    std::string name = host;
    if (name.size() >= 2 && name.front() == '[' && name.back() == ']')
        name = name.substr(1, name.size() - 2);
    if (name.empty() || port == 0 || port > 65535) return EINVAL;
    const int flags = fcntl(fd, F_GETFL);
    if (flags < 0) return errno;
    if (fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) return errno;
    const int error = ConnectResolved(fd, name, port, timeoutMs);
    (void)fcntl(fd, F_SETFL, flags);
    return error;
}

TcpSocket::TcpSocket(UniqueFd fd) : fd_(std::move(fd)) {
    if (!fd_) return;
    const int flags = fcntl(fd_.Get(), F_GETFL, 0);
    if (flags >= 0) (void)fcntl(fd_.Get(), F_SETFL, flags | O_NONBLOCK);
}

TcpSocket TcpSocket::Connect(const std::string& host, unsigned port, std::uint64_t timeoutMs,
                             int* error) {
    int why = 0;
    UniqueFd fd = OpenStreamSocket(0, &why);
    if (fd) why = ConnectStreamSocket(fd.Get(), host, port, timeoutMs);
    if (error != nullptr) *error = why;
    if (why != 0) return {};
    return TcpSocket(std::move(fd));
}

void TcpSocket::Close() {
    fd_.Reset();
    pending_.clear();
}

void TcpSocket::SetNoDelay(bool on) {
    const int value = on ? 1 : 0;
    (void)setsockopt(fd_.Get(), IPPROTO_TCP, TCP_NODELAY, &value, sizeof value);
}

void TcpSocket::SetSendBuffer(int bytes) {
    (void)setsockopt(fd_.Get(), SOL_SOCKET, SO_SNDBUF, &bytes, sizeof bytes);
}

WaitStatus TcpSocket::Wait(IoEvent event, std::uint64_t ms) const {
    if (event == IoEvent::Readable && !pending_.empty()) return WaitStatus::Ready;
    return WaitForIo(fd_.Get(), event, ms);
}

IoResult TcpSocket::SendSome(const char* data, std::size_t size) {
    if (!fd_) return {IoStatus::Error, 0, EBADF};
    if (size == 0) return {};
    for (;;) {
        const ssize_t n = send(fd_.Get(), data, size, MSG_NOSIGNAL);
        if (n >= 0) return {IoStatus::Ok, static_cast<std::size_t>(n), 0};
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return {};
        return FromErrno(errno, 0);
    }
}

IoResult TcpSocket::SendAll(std::string_view data, std::uint64_t timeoutMs) {
    const std::uint64_t deadline = SteadyMillis() + timeoutMs;
    std::size_t sent = 0;
    while (sent < data.size()) {
        const IoResult r = SendSome(data.data() + sent, data.size() - sent);
        if (!r.Ok()) return {r.status, sent, r.error};
        sent += r.bytes;
        if (r.bytes > 0) continue;
        const WaitStatus w = WaitForIo(fd_.Get(), IoEvent::Writable, Left(deadline));
        if (w != WaitStatus::Ready) return FromWait(w, sent);
    }
    return {IoStatus::Ok, sent, 0};
}

std::size_t TcpSocket::TakePending(char* data, std::size_t size) {
    const std::size_t n = std::min(size, pending_.size());
    std::memcpy(data, pending_.data(), n);
    pending_.erase(0, n);
    return n;
}

IoResult TcpSocket::ReceiveAvailable(char* data, std::size_t size) {
    if (!fd_) return {IoStatus::Error, 0, EBADF};
    if (size == 0) return {};
    if (!pending_.empty()) return {IoStatus::Ok, TakePending(data, size), 0};
    for (;;) {
        const ssize_t n = recv(fd_.Get(), data, size, 0);
        if (n > 0) return {IoStatus::Ok, static_cast<std::size_t>(n), 0};
        if (n == 0) return {IoStatus::Closed, 0, 0};
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return {};
        return FromErrno(errno, 0);
    }
}

IoResult TcpSocket::Receive(char* data, std::size_t size, std::uint64_t timeoutMs) {
    const std::uint64_t deadline = SteadyMillis() + timeoutMs;
    for (;;) {
        const IoResult r = ReceiveAvailable(data, size);
        if (!r.Ok() || r.bytes > 0 || size == 0) return r;
        const WaitStatus w = WaitForIo(fd_.Get(), IoEvent::Readable, Left(deadline));
        if (w != WaitStatus::Ready) return FromWait(w, 0);
    }
}

IoResult TcpSocket::ReceiveUntil(std::string& frame, std::string_view delimiter,
                                 std::size_t maxBytes, std::uint64_t timeoutMs) {
    const std::uint64_t deadline = SteadyMillis() + timeoutMs;
    char chunk[4096];
    for (;;) {
        if (!delimiter.empty()) {
            const std::size_t end = frame.find(delimiter);
            if (end != std::string::npos) {
                pending_.insert(0, frame, end + delimiter.size());
                frame.resize(end + delimiter.size());
                return {IoStatus::Ok, frame.size(), 0};
            }
        }
        if (frame.size() >= maxBytes) {
            pending_.insert(0, frame, maxBytes);
            frame.resize(maxBytes);
            return {delimiter.empty() ? IoStatus::Ok : IoStatus::Error, frame.size(),
                    delimiter.empty() ? 0 : EMSGSIZE};
        }
        const IoResult r = Receive(chunk, sizeof chunk, Left(deadline));
        if (!r.Ok()) return {r.status, frame.size(), r.error};
        frame.append(chunk, r.bytes);
    }
}

void TcpSocket::ShutdownSend() {
    if (fd_) (void)shutdown(fd_.Get(), SHUT_WR);
}

std::size_t TcpSocket::Drain(std::uint64_t timeoutMs) {
    const std::uint64_t deadline = SteadyMillis() + timeoutMs;
    std::size_t thrown = 0;
    char chunk[4096];
    for (;;) {
        const IoResult r = Receive(chunk, sizeof chunk, Left(deadline));
        if (!r.Ok()) return thrown;
        thrown += r.bytes;
    }
}

void TcpSocket::CloseGracefully(std::uint64_t drainMs) {
    if (!fd_) return;
    ShutdownSend();
    Drain(drainMs);
    Close();
}

}  // namespace platform
