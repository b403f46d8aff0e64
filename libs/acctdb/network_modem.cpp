// Network modems: the discovery cache that the search fills and the dialogs read, and the
// host-name rule that lets the console reach a phone by its found or typed address. The
// operator settings list does not ship.
#include "acctdb/network_modem.h"

#include <strings.h>

#include <cctype>
#include <cstring>
#include <deque>
#include <mutex>

#include "acctdb/acctdb.h"

namespace acctdb {
namespace {

constexpr const char* kDeviceHostPrefix = "quvsmsmodem_";

struct CacheEntry {
    QuvsmsModem record;
    std::string address;
};

// Append-only: a deque never moves its elements on push_back, and a record's text is
// written before it is linked, so readers may walk the list without the lock while the
// lock orders the writers.
struct Cache {
    std::mutex mutex;
    std::deque<CacheEntry> entries;
    QuvsmsModem* head = nullptr;
};

Cache& TheCache() {
    static Cache cache;
    return cache;
}

bool StorableDeviceText(const std::string& text) {
    if (text.empty() || text.size() > kQuvsmsModemMaxDeviceText) return false;
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) return false;
    }
    return true;
}

// Only under the cache's lock.
const CacheEntry* FindEntry(const Cache& cache, const std::string& text) {
    for (const CacheEntry& entry : cache.entries) {
        if (strcasecmp(entry.record.name, text.c_str()) == 0) return &entry;
    }
    return nullptr;
}

// fe80::/10: a first group of four digits "fe8x" to "febx".
bool IsLinkLocalIpv6(const std::string& addressText) {
    return addressText.size() > 5 && strncasecmp(addressText.c_str(), "fe", 2) == 0 &&
           std::strchr("89abAB", addressText[2]) != nullptr &&
           std::isxdigit(static_cast<unsigned char>(addressText[3])) && addressText[4] == ':';
}

}  // namespace

bool NetworkModemAddress(const std::string& host, std::string* address) {
    const std::size_t prefixLength = std::char_traits<char>::length(kDeviceHostPrefix);
    if (host.size() <= prefixLength ||
        strncasecmp(host.c_str(), kDeviceHostPrefix, prefixLength) != 0) {
        return false;
    }
    const std::string device = host.substr(prefixLength);
    Cache& cache = TheCache();
    std::lock_guard<std::mutex> lock(cache.mutex);
    const CacheEntry* entry = FindEntry(cache, device);
    *address = entry != nullptr && !entry->address.empty() ? entry->address : device;
    return true;
}

bool CacheNetworkModem(const std::string& deviceText, const std::string& address) {
    if (!StorableDeviceText(deviceText)) return false;
    Cache& cache = TheCache();
    std::lock_guard<std::mutex> lock(cache.mutex);
    if (cache.entries.size() >= static_cast<std::size_t>(kMaxCachedNetworkModems) ||
        FindEntry(cache, deviceText) != nullptr) {
        return false;
    }
    QuvsmsModem* tail = cache.entries.empty() ? nullptr : &cache.entries.back().record;
    CacheEntry& entry = cache.entries.emplace_back();
    std::memcpy(entry.record.name, deviceText.data(), deviceText.size());
    entry.address = address;
    if (tail == nullptr) {
        cache.head = &entry.record;
    } else {
        tail->next.store(&entry.record, std::memory_order_release);
    }
    return true;
}

DiscoveredDevice DescribeDiscoveredDevice(const std::string& addressText, bool ipv6,
                                          const std::string& interfaceName, unsigned port) {
    const std::string portText = ":" + std::to_string(port);
    if (!ipv6) return {addressText + portText, addressText + portText};
    DiscoveredDevice device{"[" + addressText + "]" + portText, ""};
    // A link-local address means nothing without the interface it lives on.
    const bool scoped = IsLinkLocalIpv6(addressText) && !interfaceName.empty();
    device.address =
        scoped ? "[" + addressText + "%" + interfaceName + "]" + portText : device.text;
    return device;
}

QuvsmsModem* QuvsmsModemCacheHead() {
    Cache& cache = TheCache();
    std::lock_guard<std::mutex> lock(cache.mutex);
    return cache.head;
}

std::vector<std::string> QuvsmsModemCacheDevices() {
    Cache& cache = TheCache();
    std::lock_guard<std::mutex> lock(cache.mutex);
    std::vector<std::string> texts;
    texts.reserve(cache.entries.size());
    for (const CacheEntry& entry : cache.entries) texts.emplace_back(entry.record.name);
    return texts;
}

int OperatorSettingsListAvailable() { return 0; }

int ChooseOperatorSettings(void*, char*, char*, char*, char*, char*) { return 0; }

}  // namespace acctdb
