// TCP sockets for every connection test: one dual-stack socket, and a connect that
// understands the host texts the console stores ("host:port", "[v6]:port", "#n").
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdint>

#include "acctdb/acctdb.h"
#include "acctdb/network_modem.h"
#include "platform/tcp_socket.h"
#include "platform/text.h"

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

// Splits "host:port" and "[v6]:port"; a bare IPv6 literal (several colons) has no port.
// An explicit port argument wins over one carried in the text.
bool ParseTarget(const std::string& text, unsigned port, Target* target) {
    std::string host = Trimmed(platform::WithoutDuplicateSuffix(Trimmed(text)));
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

}  // namespace

int IPV6OpenSocket(int, unsigned localPort, int) {
    int error = 0;
    platform::UniqueFd fd = platform::OpenStreamSocket(localPort, &error);
    errno = error;
    return fd.Release();
}

int IPV6ConnectToINetServer(int socket, const std::string& host, unsigned port) {
    Target target;
    std::string text = host;
    std::string modemAddress;
    if (NetworkModemAddress(platform::WithoutDuplicateSuffix(Trimmed(host)), &modemAddress)) {
        text = modemAddress;
        if (port == 0 && !ParseTarget(text, 0, &target)) {
            port = kNetworkModemDefaultPort;
        }
    }
    if (!ParseTarget(text, port, &target)) {
        errno = EINVAL;
        return -1;
    }
    // The socket comes back in the blocking mode it had: callers read and write with
    // plain blocking calls afterwards.
    const int error = platform::ConnectStreamSocket(
        socket, target.host, target.port, static_cast<std::uint64_t>(gConnectTimeoutMs.load()));
    errno = error;
    return error == 0 ? 0 : -1;
}

void SetConnectTimeout(int ms) {
    gConnectTimeoutMs.store(ms > 0 ? ms : kDefaultConnectTimeoutMs);
}

}  // namespace acctdb
