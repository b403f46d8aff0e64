// Where a dial's target is and the bounded TCP connect that proves it reachable.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace waplnk {

struct Target {
    std::string host;
    unsigned port = 0;
};

// Reads the target of a dial: an MMS proxy "host[:port]" (port 8080 when absent), or an
// MMS server URL, told apart by a scheme ("http://") or a path ("/"), whose host and port
// count (port 80 when absent). IPv6 literals come bracketed ("[::1]:8080"). False for an
// empty host or a port that is not 1-65535.
bool ParseTarget(std::string_view text, Target& target);

// Reads a gateway "host[:port]" for a WSP session (port 8080 when absent).
bool ParseGateway(std::string_view text, Target& target);

// Connects to `target` within `timeoutMs` and closes again. When `interfaceName` is a
// network interface of this system the socket is bound to it (where the process may do
// that), and when `sourceAddress` is one of this system's addresses it is the source
// address, so the test goes through the dialled connection; otherwise a plain connect.
bool ReachTarget(const Target& target, const std::string& interfaceName,
                 const std::string& sourceAddress, std::uint64_t timeoutMs);

}  // namespace waplnk
