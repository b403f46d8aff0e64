// Service operations over the platform service manager. Every operation opens its own
// manager, so nothing is kept between calls, runs as a long operation of the host, and
// every wait is a bounded loop on platform::Clock() that a Cancel ends.
#include "shell/core/service_control.h"

#include <cstdio>

#include "acctdb/acctdb.h"
#include "config/config_store.h"
#include "platform/cancel.h"
#include "platform/clock.h"
#include "platform/dynlib.h"
#include "platform/elevation.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/service_manager.h"
#include "platform/shared_memory.h"
#include "shell/core/console_state.h"
#include "shell/core/link_libraries.h"
#include "ui/long_operation.h"

namespace shell {
namespace {

constexpr int kWaitSteps = 120;
constexpr int kStepMs = 1000;
constexpr int kRestartPauseMs = 2000;
constexpr int kElevatedWaitMs = 60000;

constexpr const char* kInstallRefusal = "Administrator rights are required for service installation.";
constexpr const char* kRemoveRefusal = "Administrator rights are required for service modification.";
constexpr const char* kControlRefusal =
    "Administrator rights are required for service installation or modification.";
constexpr const char* kElevationQuestion =
    "Administrator rights are required for service installation or modification.\r\n\r\n"
    "If you continue, Windows will ask you to confirm that you will allow this application "
    "to assume administrator rights to perform this task.\r\n\r\nDo you wish to continue?";

struct ElevationRow {
    const char* switchText;
    const char* refusal;
    bool errorBox;  // foreground, task-modal, error icon; else foreground without icon
};

constexpr ElevationRow kInstallRow{"/INSTALLSMSSERVICE", kInstallRefusal, false};
constexpr ElevationRow kInstallAllRow{"/INSTALLSERVICE", kInstallRefusal, false};
constexpr ElevationRow kRemoveRow{"/REMOVESMSSERVICE", kRemoveRefusal, false};
constexpr ElevationRow kStopRow{"/STOPSMSSERVICE", kControlRefusal, true};
constexpr ElevationRow kStartRow{"/STARTSMSSERVICE", kControlRefusal, true};
constexpr ElevationRow kRestartRow{"/RESTARTSMSSERVICE", kControlRefusal, true};

// A service and the executable named to the firewall set-up helper for it.
struct ServiceSet {
    platform::ServiceDefinition definition;
    std::string firewallProgram;
};

ServiceSet GatewaySet() {
    std::string dir = ServiceProgramDirectory();
    return {{kGatewayServiceName, kGatewayDisplayName, dir + "zellant"}, dir + "zellas"};
}

ServiceSet MmscSet() {
    std::string dir = ServiceProgramDirectory();
    return {{kMmscServiceName, kMmscDisplayName, dir + "mmscnt"}, dir + "mmsc"};
}

std::unique_ptr<platform::ServiceManager> Services() {
    return platform::OpenServiceManager(acctdb::GetProgramDataDirectory());
}

void Box(ui::Host& host, const std::string& text, ui::Icon icon, bool foreground) {
    ui::MessageBoxSpec spec;
    spec.text = text;
    spec.caption = host.Caption();
    spec.icon = icon;
    spec.foreground = foreground;
    host.MessageBox(spec);
}

void Refuse(ui::Host& host, const ElevationRow& row) {
    Box(host, row.refusal, row.errorBox ? ui::Icon::Error : ui::Icon::None, true);
}

// Asks, then re-runs the console elevated with the operation's switch and waits for it.
// True when an elevated run took place; otherwise the refusal has been shown.
bool Elevate(ui::Host& host, bool noElevation, const ElevationRow& row) {
    if (!noElevation) {
        ui::MessageBoxSpec spec;
        spec.text = kElevationQuestion;
        spec.caption = host.Caption();
        spec.buttons = ui::Buttons::YesNoCancel;
        spec.foreground = true;
        if (host.MessageBox(spec) == ui::kYes) {
            auto command = platform::ElevatedCommand(
                platform::ExecutablePath(), {row.switchText},
                platform::ElevationEnvironment(acctdb::GetProgramDataDirectory()));
            host.SetProgress("Waiting for the console with administrator rights...");
            // Without pkexec nothing can be re-run: the operator learns why instead.
            if (platform::RunElevated(command, kElevatedWaitMs)) return true;
        }
    }
    Refuse(host, row);
    return false;
}

void StartFirewallSetup(const ServiceSet& set) {
    std::string helper = ServiceProgramDirectory() + "fwsetup";
    if (!platform::FileExists(helper)) return;
    platform::StartDetached({helper, set.firewallProgram, set.definition.displayName});
}

// Registers (or reconfigures) the service and starts it; the start's outcome is left to
// the pages' next refresh.
bool InstallOne(ui::Host& host, platform::ServiceManager& services, const ServiceSet& set) {
    StartFirewallSetup(set);
    int rc = services.Install(set.definition);
    if (rc != 0) {
        char text[160];
        std::snprintf(text, sizeof text,
                      "CreateService Failed, %lu\r\nAdministrator rights are required for "
                      "service installation.",
                      static_cast<unsigned long>(rc));
        Box(host, text, ui::Icon::None, true);
        return false;
    }
    services.Start(set.definition.name);
    return true;
}

void RequestGatewayStop() {
    platform::RequestStopThroughBlock(platform::status_block::kGatewayName,
                                      platform::status_block::kGatewayGlobalName);
}

// Polls the Gateway service until its active state is `active`, at most kWaitSteps
// steps, calling `eachStep` before every sleep. A cancelled operation stops polling at
// once, as if the time had run out.
void AwaitActive(platform::ServiceManager& services, bool active,
                 const std::function<void()>& eachStep = {}) {
    for (int step = 0; step < kWaitSteps && !platform::CancelRequested(); ++step) {
        if (platform::IsActiveState(services.State(kGatewayServiceName)) == active) return;
        if (eachStep) eachStep();
        platform::Clock().Sleep(kStepMs);
    }
}

void StopAndWait(platform::ServiceManager& services) {
    services.Stop(kGatewayServiceName);
    RequestGatewayStop();
    AwaitActive(services, false, RequestGatewayStop);
}

void StartAndWait(ui::Host& host, platform::ServiceManager& services) {
    int rc = services.Start(kGatewayServiceName);
    if (rc != 0) {
        Box(host, "Error " + std::to_string(rc) + " starting service", ui::Icon::Error, false);
        // A start that was refused will not make the service active: two minutes of a
        // frozen console would tell the operator nothing more.
        return;
    }
    AwaitActive(services, true);
}

// The service can be changed by this process: the manager allows it and the service
// exists (a service that cannot be opened leads to elevation, as a missing one does).
bool CanControl(platform::ServiceManager& services) {
    return services.CanModify() && services.IsInstalled(kGatewayServiceName);
}

bool InstallGatewayServiceNow(ui::Host& host, bool noElevation) {
    auto services = Services();
    if (!services->CanModify()) {
        return Elevate(host, noElevation, kInstallRow) && IsGatewayServiceInstalled();
    }
    return InstallOne(host, *services, GatewaySet());
}

bool InstallAllServicesNow(ui::Host& host, bool noElevation) {
    auto services = Services();
    if (!services->CanModify()) {
        return Elevate(host, noElevation, kInstallAllRow) && IsGatewayServiceInstalled() &&
               IsMMSCInstalled();
    }
    if (!InstallOne(host, *services, GatewaySet())) return false;
    return InstallOne(host, *services, MmscSet());
}

bool RemoveGatewayServiceNow(ui::Host& host, bool noElevation) {
    if (!IsGatewayServiceInstalled()) return true;
    auto services = Services();
    if (!services->CanModify()) {
        return Elevate(host, noElevation, kRemoveRow) && !IsGatewayServiceInstalled();
    }
    services->Stop(kGatewayServiceName);
    AwaitActive(*services, false, RequestGatewayStop);
    // A definition that could not be deleted is a failure, whatever came before.
    return services->Remove(kGatewayServiceName) == 0;
}

void StopGatewayServiceNow(ui::Host& host, bool noElevation) {
    auto services = Services();
    if (!CanControl(*services)) {
        Elevate(host, noElevation, kStopRow);
        return;
    }
    StopAndWait(*services);
}

void StartGatewayServiceNow(ui::Host& host, bool noElevation) {
    auto services = Services();
    if (!CanControl(*services)) {
        Elevate(host, noElevation, kStartRow);
        return;
    }
    StartAndWait(host, *services);
}

void RestartGatewayServiceNow(ui::Host& host, bool noElevation) {
    config::WriteRestartTrigger(SetRestartTriggerBaseline);
    auto services = Services();
    if (!CanControl(*services)) {
        Elevate(host, noElevation, kRestartRow);
        return;
    }
    StopAndWait(*services);
    platform::Clock().Sleep(kRestartPauseMs);
    StartAndWait(host, *services);
}

}  // namespace

std::string ServiceProgramDirectory() { return platform::LibraryDirectory(); }

bool IsGatewayServiceInstalled() { return Services()->IsInstalled(kGatewayServiceName); }

bool IsGatewayServiceActive() {
    return platform::IsActiveState(Services()->State(kGatewayServiceName));
}

bool InstallGatewayService(ui::Host& host, bool noElevation) {
    return ui::RunLong<bool>(host, "Installing the Gateway service...", [&](ui::Host& worker) {
        return InstallGatewayServiceNow(worker, noElevation);
    });
}

bool InstallAllServices(ui::Host& host, bool noElevation) {
    return ui::RunLong<bool>(host, "Installing the services...", [&](ui::Host& worker) {
        return InstallAllServicesNow(worker, noElevation);
    });
}

bool RemoveGatewayService(ui::Host& host, bool noElevation) {
    return ui::RunLong<bool>(host, "Removing the Gateway service...", [&](ui::Host& worker) {
        return RemoveGatewayServiceNow(worker, noElevation);
    });
}

void StopGatewayService(ui::Host& host, bool noElevation) {
    ui::RunLong(host, "Stopping the Gateway service...",
                [&](ui::Host& worker) { StopGatewayServiceNow(worker, noElevation); });
}

void StartGatewayService(ui::Host& host, bool noElevation) {
    ui::RunLong(host, "Starting the Gateway service...",
                [&](ui::Host& worker) { StartGatewayServiceNow(worker, noElevation); });
}

void RestartGatewayService(ui::Host& host, bool noElevation) {
    ui::RunLong(host, "Restarting the Gateway service...",
                [&](ui::Host& worker) { RestartGatewayServiceNow(worker, noElevation); });
}

bool IsMMSCInstalled() { return CallMmscServiceQuery("IsMMSCServiceInstalled") == 1; }

bool IsMMSCReady() {
    MmscServiceState state = QueryMmscService();
    return state.installed && state.active;
}

}  // namespace shell
