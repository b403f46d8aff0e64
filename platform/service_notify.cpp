#include "platform/service_notify.h"

#include <systemd/sd-daemon.h>

namespace platform {

bool NotifyServiceManager(const std::string& state) { return sd_notify(0, state.c_str()) > 0; }

std::uint64_t ServiceWatchdogMicros() {
    std::uint64_t usec = 0;
    return sd_watchdog_enabled(0, &usec) > 0 ? usec : 0;
}

}  // namespace platform
