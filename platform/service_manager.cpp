// Backend choice and the bounded waits shared by both backends.
#include "platform/service_manager.h"

#include <cstdlib>
#include <cstring>

#include "platform/cancel.h"
#include "platform/clock.h"
#include "platform/dynlib.h"
#include "platform/files.h"

namespace platform {

bool IsActiveState(ServiceState state) {
    return state == ServiceState::Running || state == ServiceState::StartPending ||
           state == ServiceState::StopPending;
}

std::unique_ptr<ServiceManager> OpenServiceManager(const std::string& programDataDirectory) {
    const char* forced = std::getenv("ZELLA_SERVICE_MANAGER");
    bool systemd = DirectoryExists("/run/systemd/system");
    if (forced != nullptr && std::strcmp(forced, "systemd") == 0) systemd = true;
    if (forced != nullptr && std::strcmp(forced, "supervisor") == 0) systemd = false;
    if (systemd) {
        const char* ns = std::getenv("ZELLA_SHM_NAMESPACE");
        return MakeSystemdServiceManager("systemctl", "/etc/systemd/system/", true,
                                         {WithSlash(programDataDirectory), ns != nullptr ? ns : ""});
    }
    return MakeSupervisorServiceManager(WithSlash(programDataDirectory) + "SERVICES/",
                                        LibraryDirectory());
}

bool WaitWhileActive(ServiceManager& manager, const std::string& name, int steps, int stepMs,
                     const std::function<void()>& eachStep) {
    for (int i = 0; i < steps; ++i) {
        if (!IsActiveState(manager.State(name))) return true;
        if (CancelRequested()) return false;
        if (eachStep) eachStep();
        Clock().Sleep(static_cast<std::uint64_t>(stepMs));
    }
    return !IsActiveState(manager.State(name));
}

bool WaitUntilActive(ServiceManager& manager, const std::string& name, int steps, int stepMs) {
    for (int i = 0; i < steps; ++i) {
        if (IsActiveState(manager.State(name))) return true;
        if (CancelRequested()) return false;
        Clock().Sleep(static_cast<std::uint64_t>(stepMs));
    }
    return IsActiveState(manager.State(name));
}

}  // namespace platform
