// The command-line actions: one service operation, its result box unless quiet, exit.
#include <filesystem>

#include "acctdb/acctdb.h"
#include "platform/files.h"
#include "shell/sheet/command_line.h"
#include "shell/core/console_state.h"
#include "shell/core/link_libraries.h"
#include "shell/core/service_control.h"
#include "shell/sheet/startup.h"

namespace shell {
namespace {

void ResultBox(ui::Host& host, bool ok, const char* success, const char* failure) {
    if (Console().quiet) return;
    ui::MessageBoxSpec spec;
    spec.caption = host.Caption();
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

namespace fs = std::filesystem;

// True when both name one directory on disk (device and inode), however they are spelled.
bool IsSameDirectory(const std::string& a, const std::string& b) {
    std::error_code error;
    return fs::equivalent(a, b, error) && !error;
}

// True when `outer` is `inner` itself or one of its parents, judged by device and inode
// along the real path of `inner`: "dir/./", "//dir", "dir/sub/.." and a symbolic link
// all name the same directory, however differently they read.
bool IsSameOrParentDirectory(const std::string& outer, const std::string& inner) {
    std::error_code error;
    fs::path walk = fs::canonical(inner, error);
    if (error || outer.empty()) return false;
    for (;;) {
        if (IsSameDirectory(outer, walk.string())) return true;
        if (walk == walk.parent_path()) return false;
        walk = walk.parent_path();
    }
}

// The reason a data directory must not be deleted, or "" when it may be: it holds the
// program directory or the user's home, which a stray ZELLA_DATA_DIR could name.
std::string DeletionRefusal(const std::string& dataDir, const std::string& programDir) {
    if (IsSameOrParentDirectory(dataDir, programDir)) {
        return "Cannot delete " + dataDir + ": it contains the program directory " + programDir;
    }
    const std::string home = platform::HomeDirectory();
    if (!home.empty() && IsSameOrParentDirectory(dataDir, home)) {
        return "Cannot delete " + dataDir + ": it contains the home directory " + home;
    }
    return {};
}

// Deletes the instance's own files and folders. The default instance's data directory
// also holds the instances folder, which belongs to the other instances and stays.
void DeleteInstanceData(const std::string& dataDir) {
    const std::string instances = acctdb::GetInstancesDirectory();
    if (!acctdb::MultiHost().empty()) {
        platform::DeleteDirectoryTree(dataDir);
        platform::RemoveDirectory(instances);  // only once the last instance is gone
        return;
    }
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(dataDir, error)) {
        const std::string path = entry.path().string();
        const fs::file_status status = fs::symlink_status(entry.path(), error);
        if (fs::is_directory(status)) {
            const std::string name = entry.path().filename().string();
            if (name[0] != '.' && !IsSameDirectory(path, instances)) {
                platform::DeleteDirectoryTree(path);
            }
        } else if (fs::is_symlink(status)) {
            fs::remove(entry.path(), error);
        } else {
            platform::DeleteFileChecked(path);
        }
    }
    platform::RemoveDirectory(dataDir);
}

void DeleteDataDirectory(ui::Host& host) {
    const std::string dataDir = acctdb::GetPrivateDataDirectory();
    const std::string programDir = acctdb::GetRealProgramDirectory();
    // The data kept beside the program (as a portable copy keeps it) is never deleted.
    if (IsSameDirectory(dataDir, programDir)) return;
    ui::MessageBoxSpec spec;
    spec.caption = host.Caption();
    spec.foreground = true;
    const std::string refusal = DeletionRefusal(dataDir, programDir);
    if (!refusal.empty()) {
        spec.text = refusal;
        spec.icon = ui::Icon::Error;
        host.MessageBox(spec);
        return;
    }
    spec.text = "Delete Configuration files for QuvSMS?";
    spec.icon = ui::Icon::Question;
    spec.buttons = ui::Buttons::YesNo;
    if (host.MessageBox(spec) == ui::kYes) DeleteInstanceData(dataDir);
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
