// The MMSC service commands. They follow the console's Gateway service operations, but
// a library has no window to ask from: pkexec's own authentication prompt is the only
// question the operator sees before an elevated run.
#include "mmsclnk/mmsclnk.h"

#include "acctdb/acctdb.h"
#include "platform/clock.h"
#include "platform/dynlib.h"
#include "platform/elevation.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/service_manager.h"
#include "platform/shared_memory.h"

namespace {

constexpr const char* kName = "QuvMMSC";
constexpr const char* kDisplayName = "QuvSMS MMSC";
constexpr int kWaitSteps = 120;
constexpr int kStepMs = 1000;
constexpr int kRestartPauseMs = 2000;
constexpr int kElevatedWaitMs = 60000;

std::unique_ptr<platform::ServiceManager> Services() {
    return platform::OpenServiceManager(acctdb::GetProgramDataDirectory());
}

bool Installed() { return Services()->IsInstalled(kName); }
bool Active() { return platform::IsActiveState(Services()->State(kName)); }

// True when an elevated copy of the console ran (or ran out of time).
bool Elevate(int noElevation, const char* switchText) {
    if (noElevation != 0) return false;
    return platform::RunElevated(
        platform::ElevatedCommand(platform::ExecutablePath(), {switchText},
                                  platform::ElevationEnvironment(acctdb::GetProgramDataDirectory())),
        kElevatedWaitMs);
}

void RequestStop() {
    platform::RequestStopThroughBlock(platform::status_block::kMmscName,
                                      platform::status_block::kMmscGlobalName);
}

bool StopAndWait(platform::ServiceManager& services) {
    services.Stop(kName);
    RequestStop();
    return platform::WaitWhileActive(services, kName, kWaitSteps, kStepMs, RequestStop);
}

bool StartAndWait(platform::ServiceManager& services) {
    if (services.Start(kName) != 0) return false;
    platform::WaitUntilActive(services, kName, kWaitSteps, kStepMs);
    return true;
}

bool CanControl(platform::ServiceManager& services) {
    return services.CanModify() && services.IsInstalled(kName);
}

}  // namespace

extern "C" int InstallMMSCService(int noElevation) {
    auto services = Services();
    if (!services->CanModify()) return Elevate(noElevation, "/INSTALLMMSSERVICE") && Installed();
    std::string dir = platform::LibraryDirectory();
    if (platform::FileExists(dir + "fwsetup")) {
        platform::StartDetached({dir + "fwsetup", dir + "mmsc", kDisplayName});
    }
    if (services->Install({kName, kDisplayName, dir + "mmscnt"}) != 0) return 0;
    services->Start(kName);
    return 1;
}

extern "C" int RemoveMMSCService(int noElevation) {
    auto services = Services();
    if (!services->IsInstalled(kName)) return 1;
    if (!services->CanModify()) return Elevate(noElevation, "/REMOVEMMSSERVICE") && !Installed();
    services->Stop(kName);
    platform::WaitWhileActive(*services, kName, kWaitSteps, kStepMs, RequestStop);
    return services->Remove(kName) == 0 ? 1 : 0;
}

extern "C" int StartMMSCService(int noElevation) {
    auto services = Services();
    if (!CanControl(*services)) return Elevate(noElevation, "/STARTMMSSERVICE") && Active();
    return StartAndWait(*services) ? 1 : 0;
}

extern "C" int StopMMSCService(int noElevation) {
    auto services = Services();
    if (!CanControl(*services)) return Elevate(noElevation, "/STOPMMSSERVICE") && !Active();
    return StopAndWait(*services) ? 1 : 0;
}

extern "C" int RestartMMSCService(int noElevation) {
    auto services = Services();
    if (!CanControl(*services)) return Elevate(noElevation, "/RESTARTMMSSERVICE") && Active();
    StopAndWait(*services);
    platform::Clock().Sleep(kRestartPauseMs);
    return StartAndWait(*services) ? 1 : 0;
}

extern "C" int IsMMSCServiceInstalled(void) { return Installed() ? 1 : 0; }

extern "C" int IsMMSCServiceActive(void) { return Active() ? 1 : 0; }

extern "C" int MMSConfigGetNumberOfPropertySheetPages(void) { return 0; }

extern "C" int MMSConfigAddPropertySheetPages(void*, int*) { return 0; }
