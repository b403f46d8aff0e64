// The host text a caller hands over is a connection's host field: it may carry the "#n"
// suffix of a duplicate connection name, an IPv6 literal in brackets, or a port.
#include <arpa/inet.h>

#include <cctype>
#include <cstring>

#include "tlslnk/tls_internal.h"

namespace tlslnk {
namespace {

std::string Trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return {};
    const auto last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

bool AllDigits(const std::string& text) {
    if (text.empty()) return false;
    for (unsigned char c : text) {
        if (!std::isdigit(c)) return false;
    }
    return true;
}

bool IsAddress(const std::string& text) {
    unsigned char raw[16];
    return inet_pton(AF_INET, text.c_str(), raw) == 1 || inet_pton(AF_INET6, text.c_str(), raw) == 1;
}

}  // namespace

PeerName ParsePeerName(const char* buffer, int size) {
    PeerName peer;
    if (buffer == nullptr || size <= 0) return peer;
    std::string text(buffer, strnlen(buffer, static_cast<size_t>(size)));
    // "#n" marks a duplicate connection name, never part of a host name.
    const auto hash = text.find('#');
    if (hash != std::string::npos) text.erase(hash);
    text = Trimmed(text);
    if (!text.empty() && text.front() == '[') {
        const auto close = text.find(']');
        text = close == std::string::npos ? text.substr(1) : text.substr(1, close - 1);
    } else if (const auto colon = text.find(':');
               colon != std::string::npos && text.find(':', colon + 1) == std::string::npos &&
               AllDigits(text.substr(colon + 1))) {
        text.erase(colon);  // "host:port"; two or more colons are an IPv6 literal
    }
    // A zone index ("fe80::1%eth0") is local to this machine and never in a certificate.
    if (text.find(':') != std::string::npos) {
        const auto percent = text.find('%');
        if (percent != std::string::npos) text.erase(percent);
    }
    if (!text.empty() && text.back() == '.') text.pop_back();
    peer.name = text;
    peer.isAddress = IsAddress(text);
    return peer;
}

}  // namespace tlslnk
