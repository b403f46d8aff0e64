// The machine's own network addresses and host-name resolution, in numeric text form.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace platform {

// The addresses of the machine's interfaces that are up, IPv4 first and then IPv6, as
// numeric text ("192.168.1.5", "2001:db8::5"), without duplicates and at most `limit`.
// IPv6 link-local addresses are left out, since a server cannot listen on one without
// naming its interface. Empty when the interfaces cannot be listed.
std::vector<std::string> LocalInterfaceAddresses(std::size_t limit = 100);

// The first address `name` resolves to, IPv4 preferred, as numeric text; empty when the
// name does not resolve. Blocks for as long as the resolver takes.
std::string ResolveHostAddress(const std::string& name);

// The machine's host name, or `fallback` when it has none.
std::string MachineHostName(const std::string& fallback);

}  // namespace platform
