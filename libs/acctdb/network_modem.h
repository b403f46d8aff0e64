// Inside the library: the network-modem discovery cache and how "quvsmsmodem_<device>"
// host names become addresses.
#pragma once

#include <string>

namespace acctdb {

// The port a phone's app listens on when a device text names only its host.
inline constexpr unsigned kNetworkModemDefaultPort = 8990;
// The most records the cache holds: records are never freed, so a network that
// advertises endless phones must not grow the process without end.
inline constexpr int kMaxCachedNetworkModems = 128;

// True when `host` begins with "quvsmsmodem_" (ignoring case); `address` then receives
// the resolved address of the cache record whose device text matches the rest
// (ignoring case), else that device text itself ("10.0.0.200", "10.0.0.200:8990").
bool NetworkModemAddress(const std::string& host, std::string* address);

// Appends a record for `deviceText` reached at `address` (a host text with its port, as
// IPV6ConnectToINetServer takes it). Returns false, adding nothing, when the text is
// empty, longer than kQuvsmsModemMaxDeviceText, holds a control character, is already
// cached (ignoring case), or the cache is full.
bool CacheNetworkModem(const std::string& deviceText, const std::string& address);

// What discovery records for a phone resolved to `addressText` (as printed, without
// brackets) on `port`.
struct DiscoveredDevice {
    std::string text;     // as an operator types it: "10.0.0.5:8990", "[fd00::5]:8990"
    std::string address;  // what to connect to: the text, plus "%<interface>" inside the
                          // brackets for a link-local IPv6 address
};
// The device text and address of a resolved phone; `interfaceName` is the interface it
// was found on (used only for link-local IPv6 addresses).
DiscoveredDevice DescribeDiscoveredDevice(const std::string& addressText, bool ipv6,
                                          const std::string& interfaceName, unsigned port);

}  // namespace acctdb
