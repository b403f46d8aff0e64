#include "shell/sheet/service_page_controls.h"

#include "shell/core/console_page.h"
#include "shell/core/link_libraries.h"
#include "shell/core/service_control.h"
#include "ui/host.h"
#include "ui/long_operation.h"

namespace shell {
namespace {

enum class Action { Install, Remove, Start, Stop };

// The MMSC command of MMSCLNK for an action, with the functions that must be present
// beside it for the action to be allowed.
void RunMmscAction(Action action) {
    static const char* const kWithRemove[] = {"RemoveMMSCService", nullptr};
    static const char* const kWithInstall[] = {"InstallMMSCService", nullptr};
    static const char* const kWithBoth[] = {"InstallMMSCService", "RemoveMMSCService", nullptr};
    switch (action) {
        case Action::Install: CallMmscServiceCommand("InstallMMSCService", 0, kWithRemove); break;
        case Action::Remove: CallMmscServiceCommand("RemoveMMSCService", 0, kWithInstall); break;
        case Action::Start: CallMmscServiceCommand("StartMMSCService", 0, kWithBoth); break;
        case Action::Stop: CallMmscServiceCommand("StopMMSCService", 0, kWithBoth); break;
    }
}

const char* ProgressText(ServiceKind kind, Action action) {
    const bool mmsc = kind == ServiceKind::Mmsc;
    switch (action) {
        case Action::Install: return mmsc ? "Installing the MMSC service..." : "Installing the Gateway service...";
        case Action::Remove: return mmsc ? "Removing the MMSC service..." : "Removing the Gateway service...";
        case Action::Start: return mmsc ? "Starting the MMSC service..." : "Starting the Gateway service...";
        case Action::Stop: break;
    }
    return mmsc ? "Stopping the MMSC service..." : "Stopping the Gateway service...";
}

// Runs as one long operation, so the page stays painted through the service waits.
void RunAction(ui::Host& host, ServiceKind kind, Action action) {
    ui::RunLong(host, ProgressText(kind, action), [kind, action](ui::Host& worker) {
        if (kind == ServiceKind::Mmsc) return RunMmscAction(action);
        switch (action) {
            case Action::Install: InstallGatewayService(worker, false); break;
            case Action::Remove: RemoveGatewayService(worker, false); break;
            case Action::Start: StartGatewayService(worker, false); break;
            case Action::Stop: StopGatewayService(worker, false); break;
        }
    });
}

bool ConfirmRemoval(ui::Host& host) {
    ui::MessageBoxSpec spec;
    spec.text = "Are you sure?";
    spec.caption = "Remove Service";
    spec.icon = ui::Icon::Question;
    spec.buttons = ui::Buttons::YesNoCancel;
    spec.defaultButton = 1;  // No
    return host.MessageBox(spec) == ui::kYes;
}

void RunAsServiceClicked(ui::Page& page, ServiceKind kind, const ServiceControlIds& ids,
                         bool& busy) {
    busy = true;
    if (page.Checked(ids.run)) {
        if (SaveChangesBeforeServiceAction(page)) RunAction(page.GetHost(), kind, Action::Install);
    } else if (ConfirmRemoval(page.GetHost())) {
        RunAction(page.GetHost(), kind, Action::Remove);
    }
    busy = false;
}

}  // namespace

ServiceSnapshot QueryService(ServiceKind kind) {
    ServiceSnapshot s;
    if (kind == ServiceKind::Gateway) {
        s.installed = IsGatewayServiceInstalled();
        s.active = s.installed && IsGatewayServiceActive();
        return s;
    }
    MmscServiceState mmsc = QueryMmscService();
    s.available = mmsc.available;
    s.installed = mmsc.installed;
    s.active = mmsc.installed && mmsc.active;
    return s;
}

void ShowServiceControls(ui::Dialog& page, const ServiceControlIds& ids,
                         const ServiceSnapshot& snapshot, bool busy) {
    if (!snapshot.available) {
        for (const std::string* id : {&ids.state, &ids.run, &ids.start, &ids.stop}) {
            if (!id->empty() && page.Enabled(*id)) page.Enable(*id, false);
        }
        return;
    }
    if (!busy && page.Checked(ids.run) != snapshot.installed) page.SetChecked(ids.run, snapshot.installed);
    auto enable = [&page](const std::string& id, bool on) {
        if (!id.empty() && page.Enabled(id) != on) page.Enable(id, on);
    };
    enable(ids.state, true);
    enable(ids.run, true);
    enable(ids.start, snapshot.installed && !snapshot.active);
    enable(ids.stop, snapshot.installed && snapshot.active);
}

bool HandleServiceCommand(ui::Page& page, ServiceKind kind, const ServiceControlIds& ids,
                          const std::string& id, bool& busy) {
    if (id == ids.run) {
        RunAsServiceClicked(page, kind, ids, busy);
    } else if (id == ids.start) {
        if (page.Checked(ids.run) && SaveChangesBeforeServiceAction(page))
            RunAction(page.GetHost(), kind, Action::Start);
    } else if (id == ids.stop) {
        if (page.Checked(ids.run)) RunAction(page.GetHost(), kind, Action::Stop);
    } else {
        return false;
    }
    return true;
}

}  // namespace shell
