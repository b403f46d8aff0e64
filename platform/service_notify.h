// A service's side of its supervision: readiness, stopping and watchdog messages to
// systemd when it runs the process as a notify service; nothing happens otherwise.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// Sends `state` ("READY=1", "STOPPING=1", "WATCHDOG=1", "STATUS=...") when the process
// runs under systemd with a notification socket; false when there is none.
bool NotifyServiceManager(const std::string& state);

// The watchdog interval systemd expects pings within, in microseconds; 0 when none.
std::uint64_t ServiceWatchdogMicros();

}  // namespace platform
