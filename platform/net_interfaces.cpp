#include "platform/net_interfaces.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <unistd.h>

#include <algorithm>
#include <memory>

namespace platform {
namespace {

std::string NumericAddress(const sockaddr* address) {
    char text[INET6_ADDRSTRLEN] = {};
    if (address->sa_family == AF_INET) {
        const auto* in = reinterpret_cast<const sockaddr_in*>(address);
        if (inet_ntop(AF_INET, &in->sin_addr, text, sizeof text) == nullptr) return {};
    } else if (address->sa_family == AF_INET6) {
        const auto* in6 = reinterpret_cast<const sockaddr_in6*>(address);
        if (IN6_IS_ADDR_LINKLOCAL(&in6->sin6_addr)) return {};
        if (inet_ntop(AF_INET6, &in6->sin6_addr, text, sizeof text) == nullptr) return {};
    }
    return text;
}

}  // namespace

std::vector<std::string> LocalInterfaceAddresses(std::size_t limit) {
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return {};
    std::unique_ptr<ifaddrs, void (*)(ifaddrs*)> owner(list, freeifaddrs);
    std::vector<std::string> result;
    for (int family : {AF_INET, AF_INET6}) {
        for (const ifaddrs* i = list; i != nullptr && result.size() < limit; i = i->ifa_next) {
            if (i->ifa_addr == nullptr || i->ifa_addr->sa_family != family) continue;
            if ((i->ifa_flags & IFF_UP) == 0) continue;
            std::string text = NumericAddress(i->ifa_addr);
            if (!text.empty() && std::find(result.begin(), result.end(), text) == result.end())
                result.push_back(std::move(text));
        }
    }
    return result;
}

std::string ResolveHostAddress(const std::string& name) {
    if (name.empty()) return {};
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(name.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) return {};
    std::unique_ptr<addrinfo, void (*)(addrinfo*)> owner(found, freeaddrinfo);
    std::string first;
    for (const addrinfo* a = found; a != nullptr; a = a->ai_next) {
        if (a->ai_family == AF_INET) return NumericAddress(a->ai_addr);
        if (first.empty() && a->ai_family == AF_INET6) first = NumericAddress(a->ai_addr);
    }
    return first;
}

std::string MachineHostName(const std::string& fallback) {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return fallback;
    return name;
}

}  // namespace platform
