// TCP sockets for every connection test: one dual-stack socket, and a connect that
// understands the host texts the console stores ("host:port", "[v6]:port", "#n").
#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "acctdb/acctdb.h"
#include "acctdb/network_modem.h"

namespace acctdb {
namespace {

constexpr int kDefaultConnectTimeoutMs = 15'000;
std::atomic<int> gConnectTimeoutMs{kDefaultConnectTimeoutMs};

struct Target {
    std::string host;
    unsigned port = 0;
};

std::string Trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return std::string();
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

bool ParsePort(const std::string& text, unsigned* port) {
    if (text.empty() || text.size() > 5) return false;
    unsigned value = 0;
    for (char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value == 0 || value > 65535) return false;
    *port = value;
    return true;
}

// Two connections to one server are told apart by a "#2" after the host; the suffix
// names the connection, not the machine.
std::string WithoutDuplicateSuffix(const std::string& host) {
    const auto hash = host.find_last_of('#');
    if (hash == std::string::npos || hash + 1 == host.size()) return host;
    for (std::size_t i = hash + 1; i < host.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(host[i]))) return host;
    }
    return host.substr(0, hash);
}

// Splits "host:port" and "[v6]:port"; a bare IPv6 literal (several colons) has no port.
// An explicit port argument wins over one carried in the text.
bool ParseTarget(const std::string& text, unsigned port, Target* target) {
    std::string host = Trimmed(WithoutDuplicateSuffix(Trimmed(text)));
    std::string portText;
    bool hasPort = false;
    if (!host.empty() && host[0] == '[') {
        const auto close = host.find(']');
        if (close == std::string::npos) return false;
        if (close + 1 < host.size()) {
            if (host[close + 1] != ':') return false;
            portText = host.substr(close + 2);
            hasPort = true;
        }
        host = host.substr(1, close - 1);
    } else if (const auto colon = host.find(':');
               colon != std::string::npos && host.find(':', colon + 1) == std::string::npos) {
        portText = host.substr(colon + 1);
        host = host.substr(0, colon);
        hasPort = true;
    }
    if (host.empty()) return false;
    target->host = host;
    if (port != 0) {
        target->port = port;
        return port <= 65535;
    }
    return hasPort && ParsePort(portText, &target->port);
}

int SocketFamily(int socket) {
    sockaddr_storage local{};
    socklen_t length = sizeof local;
    if (getsockname(socket, reinterpret_cast<sockaddr*>(&local), &length) != 0) return -1;
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

// Waits for a non-blocking connect; EINTR does not extend the time-out.
int AwaitConnect(int socket, int timeoutMs) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - Clock::now()).count();
        if (left <= 0) return ETIMEDOUT;
        pollfd pfd{socket, POLLOUT, 0};
        const int ready = poll(&pfd, 1, static_cast<int>(left));
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) return errno;
        if (ready == 0) return ETIMEDOUT;
        int error = 0;
        socklen_t length = sizeof error;
        if (getsockopt(socket, SOL_SOCKET, SO_ERROR, &error, &length) != 0) return errno;
        return error;
    }
}

int ConnectOnce(int socket, const sockaddr_storage& address, socklen_t length, int timeoutMs) {
    if (connect(socket, reinterpret_cast<const sockaddr*>(&address), length) == 0) return 0;
    if (errno != EINPROGRESS && errno != EINTR) return errno;
    const int error = AwaitConnect(socket, timeoutMs);
    if (error != 0) {
        // Dissolves the half-open attempt so that the next address can be tried on the
        // same descriptor (the caller owns it and expects it back connected).
        sockaddr unspecified{};
        unspecified.sa_family = AF_UNSPEC;
        (void)connect(socket, &unspecified, sizeof unspecified);
    }
    return error;
}

int ResolveError(int gaiError) {
    if (gaiError == EAI_SYSTEM) return errno;
    if (gaiError == EAI_AGAIN) return EAGAIN;
    return EHOSTUNREACH;
}

int ConnectToTarget(int socket, const Target& target) {
    const int family = SocketFamily(socket);
    if (family != AF_INET && family != AF_INET6) return ENOTSOCK;
    addrinfo hints{};
    hints.ai_family = family == AF_INET ? AF_INET : AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(target.port);
    const int gai = getaddrinfo(target.host.c_str(), service.c_str(), &hints, &found);
    if (gai != 0) return ResolveError(gai);
    const int timeoutMs = gConnectTimeoutMs.load();
    int error = EHOSTUNREACH;
    for (const addrinfo* info = found; info != nullptr; info = info->ai_next) {
        sockaddr_storage address{};
        socklen_t length = 0;
        if (!AddressForSocket(family, *info, &address, &length)) continue;
        error = ConnectOnce(socket, address, length, timeoutMs);
        if (error == 0) break;
    }
    freeaddrinfo(found);
    return error;
}

}  // namespace

int IPV6OpenSocket(int, unsigned localPort, int) {
    if (localPort > 65535) return -1;
    int fd = socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    if (fd >= 0) {
        const int off = 0;
        (void)setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &off, sizeof off);
    } else {
        fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
        if (fd < 0) return -1;
    }
    if (localPort == 0) return fd;
    // A fixed source port must be reusable at once after the previous test's close.
    const int on = 1;
    (void)setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_storage local{};
    socklen_t length = 0;
    if (SocketFamily(fd) == AF_INET6) {
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
    if (bind(fd, reinterpret_cast<sockaddr*>(&local), length) != 0) {
        const int error = errno;
        close(fd);
        errno = error;
        return -1;
    }
    return fd;
}

int IPV6ConnectToINetServer(int socket, const std::string& host, unsigned port) {
    Target target;
    std::string text = host;
    std::string modemAddress;
    if (NetworkModemAddress(WithoutDuplicateSuffix(Trimmed(host)), &modemAddress)) {
        text = modemAddress;
        if (port == 0 && !ParseTarget(text, 0, &target)) {
            port = kNetworkModemDefaultPort;
        }
    }
    if (!ParseTarget(text, port, &target)) {
        errno = EINVAL;
        return -1;
    }
    const int flags = fcntl(socket, F_GETFL);
    if (flags < 0) return -1;
    if (fcntl(socket, F_SETFL, flags | O_NONBLOCK) != 0) return -1;
    const int error = ConnectToTarget(socket, target);
    // Callers read and write with plain blocking calls afterwards.
    (void)fcntl(socket, F_SETFL, flags & ~O_NONBLOCK);
    errno = error;
    return error == 0 ? 0 : -1;
}

void SetConnectTimeout(int ms) {
    gConnectTimeoutMs.store(ms > 0 ? ms : kDefaultConnectTimeoutMs);
}

}  // namespace acctdb
