// The network-modem discovery cache on its own: which device texts it keeps, how a
// "quvsmsmodem_" host name is resolved through it, and that walking it while a search
// appends is safe.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "acctdb/acctdb.h"
#include "acctdb/network_modem.h"

namespace {

std::vector<std::string> WalkCache() {
    std::vector<std::string> texts;
    for (const acctdb::QuvsmsModem* m = acctdb::QuvsmsModemCacheHead(); m; m = m->next) {
        texts.emplace_back(m->name);
    }
    return texts;
}

bool Cached(const std::string& text) {
    for (const std::string& cached : acctdb::QuvsmsModemCacheDevices()) {
        if (cached == text) return true;
    }
    return false;
}

// Port of a fresh listener on 127.0.0.1; the descriptor stays open in `fd`.
unsigned ListenOnLoopback(int* fd) {
    *fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (*fd < 0 || bind(*fd, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        listen(*fd, 4) != 0 ||
        getsockname(*fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return 0;
    }
    return ntohs(address.sin_port);
}

TEST(DiscoveredDevice, TextIsWhatAnOperatorTypesAndLinkLocalKeepsItsInterface) {
    struct Case {
        std::string address;
        bool ipv6;
        std::string text, connectTo;
    };
    const std::vector<Case> cases = {
        {"192.168.1.20", false, "192.168.1.20:8990", "192.168.1.20:8990"},
        {"fd00::7", true, "[fd00::7]:8990", "[fd00::7]:8990"},
        {"fe80::1c2:3", true, "[fe80::1c2:3]:8990", "[fe80::1c2:3%wlan0]:8990"},
        {"FEBF::1", true, "[FEBF::1]:8990", "[FEBF::1%wlan0]:8990"},
        {"fec0::1", true, "[fec0::1]:8990", "[fec0::1]:8990"},
        {"fe8::1", true, "[fe8::1]:8990", "[fe8::1]:8990"},
    };
    for (const Case& c : cases) {
        const acctdb::DiscoveredDevice device =
            acctdb::DescribeDiscoveredDevice(c.address, c.ipv6, "wlan0", 8990);
        EXPECT_EQ(device.text, c.text);
        EXPECT_EQ(device.address, c.connectTo);
    }
}

TEST(NetworkModemCache, KeepsStorableTextsOnceResolvesThroughThemAndStopsWhenFull) {
    const std::size_t before = acctdb::QuvsmsModemCacheDevices().size();
    const std::string longest(acctdb::kQuvsmsModemMaxDeviceText, 'p');
    EXPECT_TRUE(acctdb::CacheNetworkModem(longest, "127.0.0.1:1"));
    EXPECT_FALSE(acctdb::CacheNetworkModem(longest + "p", "127.0.0.1:1"));
    EXPECT_FALSE(acctdb::CacheNetworkModem("", "127.0.0.1:1"));
    EXPECT_FALSE(acctdb::CacheNetworkModem("10.0.0.1:89\t90", "10.0.0.1:8990"));
    EXPECT_FALSE(acctdb::CacheNetworkModem("phone\x7f", "10.0.0.1:8990"));

    int listener = -1;
    const unsigned port = ListenOnLoopback(&listener);
    ASSERT_NE(port, 0u);
    // The record's address wins over its text: the text names no reachable host.
    EXPECT_TRUE(acctdb::CacheNetworkModem("Cached-Phone.example:8990",
                                          "127.0.0.1:" + std::to_string(port)));
    EXPECT_FALSE(acctdb::CacheNetworkModem("cached-phone.EXAMPLE:8990", "10.9.9.9:1"));
    std::string address;
    ASSERT_TRUE(acctdb::NetworkModemAddress("QUVSMSMODEM_cached-phone.example:8990", &address));
    EXPECT_EQ(address, "127.0.0.1:" + std::to_string(port));
    ASSERT_TRUE(acctdb::NetworkModemAddress("quvsmsmodem_10.0.0.200:8990", &address));
    EXPECT_EQ(address, "10.0.0.200:8990");
    EXPECT_FALSE(acctdb::NetworkModemAddress("10.0.0.200:8990", &address));
    const int client = acctdb::IPV6OpenSocket(0, 0, 0);
    ASSERT_GE(client, 0);
    EXPECT_EQ(acctdb::IPV6ConnectToINetServer(client, "quvsmsmodem_Cached-Phone.example:8990", 0),
              0);
    close(client);
    close(listener);

    EXPECT_EQ(acctdb::QuvsmsModemCacheDevices().size(), before + 2);
    EXPECT_TRUE(Cached(longest));
    EXPECT_TRUE(Cached("Cached-Phone.example:8990"));
    EXPECT_EQ(WalkCache(), acctdb::QuvsmsModemCacheDevices());

    // A reader walks the list while records are appended up to the limit.
    std::atomic<bool> filling{true};
    std::size_t longestWalk = 0;
    bool emptyNameSeen = false;
    std::thread reader([&] {
        while (filling.load()) {
            const std::vector<std::string> walked = WalkCache();
            for (const std::string& text : walked) emptyNameSeen = emptyNameSeen || text.empty();
            longestWalk = std::max(longestWalk, walked.size());
        }
    });
    int added = 0;
    while (acctdb::CacheNetworkModem("filler-" + std::to_string(added), "") && added < 1000)
        ++added;
    filling.store(false);
    reader.join();
    EXPECT_EQ(acctdb::QuvsmsModemCacheDevices().size(),
              static_cast<std::size_t>(acctdb::kMaxCachedNetworkModems));
    EXPECT_FALSE(emptyNameSeen);
    EXPECT_LE(longestWalk, static_cast<std::size_t>(acctdb::kMaxCachedNetworkModems));
    EXPECT_EQ(WalkCache(), acctdb::QuvsmsModemCacheDevices());
    ASSERT_TRUE(acctdb::NetworkModemAddress("quvsmsmodem_filler-0", &address));
    EXPECT_EQ(address, "filler-0");
}

}  // namespace
