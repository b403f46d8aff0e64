// Inside the library: how "quvsmsmodem_<device>" host names become addresses.
#pragma once

#include <string>

namespace acctdb {

// The port a phone's app listens on when a device text names only its host.
inline constexpr unsigned kNetworkModemDefaultPort = 8990;

// True when `host` begins with "quvsmsmodem_" (ignoring case); `address` then receives
// the address of that device from the discovery cache, else the device text itself
// ("10.0.0.200", "10.0.0.200:8990").
bool NetworkModemAddress(const std::string& host, std::string* address);

}  // namespace acctdb
