// Network modems: the discovery cache and the operator settings list. Neither discovery
// nor an operator list ships yet, so the cache stays empty and the list is absent; the
// host-name rule below is what lets the console reach a phone by its typed address.
#include "acctdb/network_modem.h"

#include <strings.h>

#include <mutex>

#include "acctdb/acctdb.h"

namespace acctdb {
namespace {

constexpr const char* kDeviceHostPrefix = "quvsmsmodem_";

std::mutex& CacheMutex() {
    static std::mutex mutex;
    return mutex;
}

QuvsmsModem*& CacheHead() {
    static QuvsmsModem* head = nullptr;
    return head;
}

}  // namespace

bool NetworkModemAddress(const std::string& host, std::string* address) {
    const std::size_t prefixLength = std::char_traits<char>::length(kDeviceHostPrefix);
    if (host.size() <= prefixLength ||
        strncasecmp(host.c_str(), kDeviceHostPrefix, prefixLength) != 0) {
        return false;
    }
    const std::string device = host.substr(prefixLength);
    std::lock_guard<std::mutex> lock(CacheMutex());
    for (const QuvsmsModem* modem = CacheHead(); modem != nullptr; modem = modem->next) {
        if (strcasecmp(modem->name.c_str(), device.c_str()) == 0 && !modem->address.empty()) {
            *address = modem->address;
            return true;
        }
    }
    *address = device;
    return true;
}

int FindQuvSMSModem(int, int, int) {
    std::lock_guard<std::mutex> lock(CacheMutex());
    int count = 0;
    for (const QuvsmsModem* modem = CacheHead(); modem != nullptr; modem = modem->next) ++count;
    return count;
}

QuvsmsModem* QuvsmsModemCacheHead() {
    std::lock_guard<std::mutex> lock(CacheMutex());
    return CacheHead();
}

int OperatorSettingsListAvailable() { return 0; }

int ChooseOperatorSettings(void*, char*, char*, char*, char*, char*) { return 0; }

}  // namespace acctdb
