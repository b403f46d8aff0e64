// The command-line actions: one service operation, its result box unless quiet, exit.

#include "acctdb/acctdb.h"
#include "platform/files.h"
#include "platform/text.h"
#include "shell/command_line.h"
#include "shell/console_state.h"
#include "shell/link_libraries.h"
#include "shell/service_control.h"
#include "shell/startup.h"

namespace shell {
namespace {

void ResultBox(ui::Host& host, bool ok, const char* success, const char* failure) {
    if (Console().quiet) return;
    ui::MessageBoxSpec spec;
    spec.caption = ui::kCaption;
    spec.text = ok ? success : failure;
    spec.icon = ok ? ui::Icon::Information : ui::Icon::Error;
    spec.foreground = true;
    host.MessageBox(spec);
}

void InstallBoxes(ui::Host& host, bool ok) {
    ResultBox(host, ok, "Service successfully installed!", "Service installation failed!");
}

void RemoveBoxes(ui::Host& host, bool ok) {
    ResultBox(host, ok, "Service successfully removed!", "Service removal failed!");
}

// An MMSC service function of MMSCLNK.DLL given the no-elevation argument; an absent
// library counts as failure.
bool CallMmsc(MMSCServiceCommandFn MmscLinkTable::*function) {
    const MmscLinkTable* mmsc = MmscLink();
    if (mmsc == nullptr || mmsc->*function == nullptr) return false;
    return (mmsc->*function)(1) != 0;
}

// Refuses to wipe a directory that is plainly not the gateway's own: the file-system
// root or the user's home, which a stray ZELLA_DATA_DIR could otherwise name.
bool SafeToDelete(const std::string& dir) {
    std::string bare = platform::WithoutSlash(dir);
    return !bare.empty() && bare != "/" && bare != platform::WithoutSlash(platform::HomeDirectory());
}

void DeleteDataDirectory(ui::Host& host) {
    std::string privateDir = acctdb::GetPrivateDataDirectory();
    if (platform::EqualsNoCase(privateDir, acctdb::GetRealProgramDirectory())) return;
    ui::MessageBoxSpec spec;
    spec.caption = ui::kCaption;
    spec.text = "Delete Configuration files for QuvSMS?";
    spec.icon = ui::Icon::Question;
    spec.buttons = ui::Buttons::YesNo;
    spec.foreground = true;
    if (host.MessageBox(spec) == ui::kYes && SafeToDelete(privateDir)) {
        platform::DeleteDirectoryTree(privateDir);
    }
}

}  // namespace

bool RunActionSwitch(ui::Host& host, const std::string& commandLine) {
    switch (FindActionSwitch(commandLine)) {
        case SwitchAction::None:
            return false;
        case SwitchAction::InstallSmsService:
            InstallBoxes(host, InstallGatewayService(host, true));
            break;
        case SwitchAction::InstallMmsService:
            InstallBoxes(host, CallMmsc(&MmscLinkTable::InstallMMSCService));
            break;
        case SwitchAction::RemoveSmsService:
            RemoveBoxes(host, RemoveGatewayService(host, true));
            break;
        case SwitchAction::RemoveMmsService:
            RemoveBoxes(host, CallMmsc(&MmscLinkTable::RemoveMMSCService));
            break;
        case SwitchAction::StopSmsService:
            StopGatewayService(host, true);
            break;
        case SwitchAction::StartSmsService:
            StartGatewayService(host, true);
            break;
        case SwitchAction::RestartSmsService:
            RestartGatewayService(host, true);
            break;
        case SwitchAction::StopMmsService:
            CallMmsc(&MmscLinkTable::StopMMSCService);
            break;
        case SwitchAction::StartMmsService:
            CallMmsc(&MmscLinkTable::StartMMSCService);
            break;
        case SwitchAction::RestartMmsService:
            CallMmsc(&MmscLinkTable::RestartMMSCService);
            break;
        case SwitchAction::DeleteDataDir:
            DeleteDataDirectory(host);
            break;
        case SwitchAction::InstallService:
            CallMmsc(&MmscLinkTable::InstallMMSCService);
            InstallBoxes(host, InstallGatewayService(host, true));
            break;
        case SwitchAction::RemoveService: {
            CallMmsc(&MmscLinkTable::RemoveMMSCService);
            bool removed = RemoveGatewayService(host, true);
            RemoveBoxes(host, removed);
            if (removed && !Console().quiet) DeleteDataDirectory(host);
            break;
        }
    }
    return true;
}

}  // namespace shell
