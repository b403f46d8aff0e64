#include "waplnk/target_connect.h"

#include <arpa/inet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <charconv>

#include "platform/net_interfaces.h"
#include "platform/tcp_socket.h"

namespace waplnk {

namespace {

bool SplitHostPort(std::string_view text, unsigned defaultPort, Target& target) {
    std::string_view host = text;
    std::string_view port;
    if (!text.empty() && text.front() == '[') {
        std::size_t close = text.find(']');
        if (close == std::string_view::npos) return false;
        host = text.substr(1, close - 1);
        std::string_view rest = text.substr(close + 1);
        if (!rest.empty()) {
            if (rest.front() != ':') return false;
            port = rest.substr(1);
        }
    } else if (std::size_t colon = text.rfind(':'); colon != std::string_view::npos &&
                                                   text.find(':') == colon) {
        host = text.substr(0, colon);
        port = text.substr(colon + 1);
    }
    if (host.empty()) return false;
    target.host = std::string(host);
    target.port = defaultPort;
    if (port.empty()) return true;
    unsigned value = 0;
    auto [end, ec] = std::from_chars(port.data(), port.data() + port.size(), value);
    if (ec != std::errc() || end != port.data() + port.size() || value == 0 || value > 65535) return false;
    target.port = value;
    return true;
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

}  // namespace

bool ParseGateway(std::string_view text, Target& target) {
    return SplitHostPort(Trim(text), 8080, target);
}

bool ParseTarget(std::string_view text, Target& target) {
    text = Trim(text);
    std::size_t scheme = text.find("://");
    bool url = scheme != std::string_view::npos || text.find('/') != std::string_view::npos;
    if (!url) return SplitHostPort(text, 8080, target);
    if (scheme != std::string_view::npos) text.remove_prefix(scheme + 3);
    text = text.substr(0, std::min({text.find('/'), text.find('?'), text.find('#')}));
    if (std::size_t at = text.rfind('@'); at != std::string_view::npos) text.remove_prefix(at + 1);
    return SplitHostPort(text, 80, target);
}

bool ReachTarget(const Target& target, const std::string& interfaceName,
                 const std::string& sourceAddress, std::uint64_t timeoutMs) {
    in_addr source{};
    bool bindSource = false;
    if (!sourceAddress.empty() && inet_pton(AF_INET, sourceAddress.c_str(), &source) == 1) {
        auto local = platform::LocalInterfaceAddresses();
        bindSource = std::find(local.begin(), local.end(), sourceAddress) != local.end();
    }
    bool onInterface = !interfaceName.empty() && if_nametoindex(interfaceName.c_str()) != 0;
    platform::UniqueFd fd = (bindSource || onInterface)
                                ? platform::OpenStreamSocketOf(platform::AddressFamily::IPv4)
                                : platform::OpenStreamSocket(0);
    if (!fd.Valid()) return false;
    if (onInterface) {
        // Needs CAP_NET_RAW; without it the source address alone steers the route.
        setsockopt(fd.Get(), SOL_SOCKET, SO_BINDTODEVICE, interfaceName.c_str(),
                   static_cast<socklen_t>(interfaceName.size()));
    }
    if (bindSource) {
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr = source;
        if (bind(fd.Get(), reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) return false;
    }
    platform::ShutdownOnCancel cancel(fd.Get());
    return platform::ConnectStreamSocket(fd.Get(), target.host, target.port, timeoutMs) == 0;
}

}  // namespace waplnk
