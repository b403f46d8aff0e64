// Finding phones on the local network: DNS-SD through the Avahi daemon. Each search owns
// its poll loop and client, so nothing runs or lingers between searches, and a machine
// without the daemon (or without a system bus) simply finds nothing.
#include <avahi-client/client.h>
#include <avahi-client/lookup.h>
#include <avahi-common/address.h>
#include <avahi-common/simple-watch.h>
#include <net/if.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <memory>

#include "acctdb/acctdb.h"
#include "acctdb/network_modem.h"
#include "platform/cancel.h"

namespace acctdb {
namespace {

// A phone that answers does so within a second or two; the dialog searches again and
// again, so a search that waited for its whole argument would only delay what it found.
constexpr int kMaxSearchMs = 3000;
// Each poll slice ends within the platform's cancel slice, so a cancelled search stops promptly.
constexpr int kPollSliceMs = static_cast<int>(platform::kCancelSliceMs);

struct PollDeleter {
    void operator()(AvahiSimplePoll* poll) const { avahi_simple_poll_free(poll); }
};
struct ClientDeleter {
    void operator()(AvahiClient* client) const { avahi_client_free(client); }
};
struct BrowserDeleter {
    void operator()(AvahiServiceBrowser* browser) const { avahi_service_browser_free(browser); }
};

// One phone's best address so far: IPv4 first, then a routable IPv6 address, then a
// link-local one, so a phone seen over both protocols is offered once.
struct Candidate {
    int rank = 0;
    DiscoveredDevice device;
};

struct Search {
    AvahiClient* client = nullptr;
    bool failed = false;
    bool allForNow = false;
    int pendingResolves = 0;
    std::map<std::string, Candidate> phones;  // by service instance name and domain

    bool Finished() const { return failed || (allForNow && pendingResolves == 0); }
};

int RankOf(const AvahiAddress& address, const DiscoveredDevice& device) {
    if (address.proto == AVAHI_PROTO_INET) return 0;
    return device.address == device.text ? 1 : 2;
}

void OnResolved(AvahiServiceResolver* resolver, AvahiIfIndex interface, AvahiProtocol,
                AvahiResolverEvent event, const char* name, const char*, const char* domain,
                const char*, const AvahiAddress* address, uint16_t port, AvahiStringList*,
                AvahiLookupResultFlags, void* userdata) {
    auto* search = static_cast<Search*>(userdata);
    --search->pendingResolves;
    if (event == AVAHI_RESOLVER_FOUND && address != nullptr && port != 0) {
        char text[AVAHI_ADDRESS_STR_MAX] = {};
        char interfaceName[IF_NAMESIZE] = {};
        avahi_address_snprint(text, sizeof text, address);
        if (interface < 0 ||
            if_indextoname(static_cast<unsigned>(interface), interfaceName) == nullptr) {
            interfaceName[0] = '\0';
        }
        Candidate found;
        found.device = DescribeDiscoveredDevice(text, address->proto == AVAHI_PROTO_INET6,
                                                interfaceName, port);
        found.rank = RankOf(*address, found.device);
        const std::string key = std::string(name) + "." + domain;
        auto it = search->phones.find(key);
        if (it == search->phones.end() || found.rank < it->second.rank) {
            search->phones[key] = std::move(found);
        }
    }
    avahi_service_resolver_free(resolver);
}

void OnBrowse(AvahiServiceBrowser*, AvahiIfIndex interface, AvahiProtocol protocol,
              AvahiBrowserEvent event, const char* name, const char* type, const char* domain,
              AvahiLookupResultFlags, void* userdata) {
    auto* search = static_cast<Search*>(userdata);
    switch (event) {
        case AVAHI_BROWSER_NEW:
            // Resolved over the protocol it was seen on: each address family of a phone
            // arrives as its own answer and the best one wins.
            if (avahi_service_resolver_new(search->client, interface, protocol, name, type, domain,
                                           protocol, static_cast<AvahiLookupFlags>(0), OnResolved,
                                           search) != nullptr) {
                ++search->pendingResolves;
            }
            break;
        case AVAHI_BROWSER_ALL_FOR_NOW:
            search->allForNow = true;
            break;
        case AVAHI_BROWSER_FAILURE:
            search->failed = true;
            break;
        default:
            break;
    }
}

void OnClientState(AvahiClient*, AvahiClientState state, void* userdata) {
    if (state == AVAHI_CLIENT_FAILURE) static_cast<Search*>(userdata)->failed = true;
}

int SearchBoundMs(int timeoutSeconds) {
    if (timeoutSeconds <= 0) return 0;
    return std::min(timeoutSeconds, kMaxSearchMs / 1000) * 1000;
}

// Runs the poll loop until the search is finished or `boundMs` has passed.
void RunSearch(AvahiSimplePoll* poll, const Search& search, int boundMs) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(boundMs);
    // A search on a thread with a cancel token (the add dialog's, cancelled when it
    // closes) ends at the next slice instead of running its course.
    while (!search.Finished() && !platform::CancelRequested()) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) break;
        const int slice = static_cast<int>(std::min<long long>(left, kPollSliceMs));
        if (avahi_simple_poll_iterate(poll, slice) != 0) break;
    }
}

int CachedCount() { return static_cast<int>(QuvsmsModemCacheDevices().size()); }

}  // namespace

int FindQuvSMSModem(int, int, int timeoutSeconds) {
    const int boundMs = SearchBoundMs(timeoutSeconds);
    if (boundMs == 0) return CachedCount();
    std::unique_ptr<AvahiSimplePoll, PollDeleter> poll(avahi_simple_poll_new());
    if (!poll) return CachedCount();
    Search search;
    int error = 0;
    // Without the daemon this fails at once instead of waiting for it to appear.
    std::unique_ptr<AvahiClient, ClientDeleter> client(
        avahi_client_new(avahi_simple_poll_get(poll.get()), static_cast<AvahiClientFlags>(0),
                         OnClientState, &search, &error));
    if (!client) return CachedCount();
    search.client = client.get();
    std::unique_ptr<AvahiServiceBrowser, BrowserDeleter> browser(avahi_service_browser_new(
        client.get(), AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC, kQuvsmsModemServiceType, nullptr,
        static_cast<AvahiLookupFlags>(0), OnBrowse, &search));
    if (browser) RunSearch(poll.get(), search, boundMs);
    for (const auto& [key, phone] : search.phones) {
        CacheNetworkModem(phone.device.text, phone.device.address);
    }
    return CachedCount();
}

}  // namespace acctdb
