#include "shell/sheet/startup.h"

#include <csignal>
#include <cstdio>

#include "acctdb/acctdb.h"
#include "config/config_store.h"
#include "modem/engine/port.h"
#include "platform/dynlib.h"
#include "platform/files.h"
#include "shell/sheet/command_line.h"
#include "shell/core/console_page.h"
#include "shell/core/console_state.h"
#include "shell/core/link_libraries.h"
#include "shell/sheet/property_sheet.h"
#include "shell/sheet/restart_watcher.h"
#include "shell/core/service_control.h"
#include "twoway/keyword_store.h"

namespace shell {
namespace {

void StartupError(ui::Host& host, const std::string& text) {
    ui::MessageBoxSpec spec;
    spec.caption = host.Caption();
    spec.text = text;
    spec.icon = ui::Icon::Error;
    spec.foreground = true;
    host.MessageBox(spec);
}

// Gives the gateway's group access to a directory reported with its final "/".
void TrustDirectory(const std::string& dir) {
    if (dir.empty() || dir.back() != '/') return;
    acctdb::SetQuvSMSTrustees(platform::WithoutSlash(dir));
}

// Creates the file empty when missing; when that fails the group-access pass may be
// what lets this user create it, so it is tried once more after it.
bool CreateConfigurationFile(ui::Host& host, const std::string& path) {
    if (platform::CreatePrivateFileIfMissing(path)) return true;
    TrustDirectory(acctdb::GetProgramDataDirectory());
    if (platform::CreatePrivateFileIfMissing(path)) return true;
    StartupError(host, "Cannot open " + path);
    return false;
}

// Creates ZELLA.INI and MMSC.INI empty when missing and hands their paths on. The files
// are created before the group-access pass so that they get the group's access as every
// other file does; created after it they would keep the umask's mode and other members
// of the gateway's group could not save.
bool PrepareConfigurationFiles(ui::Host& host) {
    const std::string dataDir = acctdb::GetProgramDataDirectory();
    const std::string zellaIni = dataDir + "ZELLA.INI";
    const std::string mmscIni = dataDir + "MMSC.INI";
    const bool zellaMissing = !platform::FileExists(zellaIni);
    const bool mmscMissing = !platform::FileExists(mmscIni);
    if (zellaMissing && !CreateConfigurationFile(host, zellaIni)) return false;
    if (mmscMissing && !CreateConfigurationFile(host, mmscIni)) return false;
    if (zellaMissing || mmscMissing) {
        TrustDirectory(dataDir);
        TrustDirectory(acctdb::GetPrivateDataDirectory());
    }
    acctdb::SMSIniSetFilename(zellaIni);
    acctdb::MMSCIniSetFilename(mmscIni);
    return true;
}

// Left-overs of an earlier update, and the exit file of an earlier run.
void RemoveLeftovers() {
    const std::string programDir = acctdb::GetRealProgramDirectory();
    platform::DeleteFileChecked(programDir + platform::SharedLibraryFileName("ichklnk.dll"));
    const std::string exitFile = programDir + kExitFileName;
    platform::DeleteFileChecked(exitFile);
    Console().exitFileStuck = platform::PathExists(exitFile);
}

void LoadIcon(ui::Host& host, const StartupOptions& options) {
    if (!options.loadIcon || options.loadIcon()) return;
    ui::MessageBoxSpec spec;
    spec.caption = "Debug";
    spec.text = "Error loading Icon";
    host.MessageBox(spec);
}

void RunSheetAndExitSteps(ui::Host& host) {
    ConsoleState& console = Console();
    console.oldModemHandler = config::IsYes(config::ReadZellaKey("OldModemHandler", "No"));
    modem::SetOldModemHandler(console.oldModemHandler);
    console.statusPageEnabled = config::IsYes(config::ReadZellaKey("StatusDialogEnabled", "Yes"));

    std::unique_ptr<ui::Sheet> sheet = BuildPropertySheet();
    StartRestartWatcher();
    host.RunSheet(*sheet);

    StopRestartWatcher();
    if (!IsGatewayServiceActive() && !config::ReadZellaKey("Modem1", "").empty()) {
        ui::MessageBoxSpec spec;
        spec.caption = host.Caption();
        spec.text = "Service is not active, do you wish to activate the service?";
        spec.icon = ui::Icon::Question;
        spec.buttons = ui::Buttons::YesNo;
        if (host.MessageBox(spec) == ui::kYes) InstallAllServices(host, false);
    }
}

}  // namespace

void ApplyMultiHost(const std::string& commandLine) {
    std::string instance = MultiHostName(commandLine);
    if (!instance.empty()) acctdb::SetMultiHost(instance);
}

void CleanVirtualStore() {
    static const char* const kFolders[] = {
        "AppData/Local/VirtualStore/ProgramData/QuvSMS",
        "AppData/Local/VirtualStore/Program Files/QuvSMS",
        "AppData/Local/VirtualStore/Program Files (x86)/QuvSMS",
    };
    std::string home = platform::HomeDirectory().substr(0, 260);
    if (home.empty()) return;
    home = platform::WithSlash(home);
    for (const char* folder : kFolders) {
        std::string path = home + folder;
        if (!platform::DirectoryExists(path)) continue;
        platform::DeleteDirectoryTree(path);
        acctdb::SetQuvSMSTrustees(platform::WithoutSlash(acctdb::GetProgramDataDirectory()));
    }
}

int RunConsole(ui::Host& host, const StartupOptions& options) {
    const std::string commandLine = JoinCommandLine(options.args);
    ApplyMultiHost(commandLine);
    // Sockets need no start-up here; a peer closing a test connection must not kill us.
    std::signal(SIGPIPE, SIG_IGN);
    if (!PrepareConfigurationFiles(host)) return -1;
    RemoveLeftovers();

    ConsoleState& console = Console();
    console.manualPath = ManualPath(acctdb::GetRealProgramDirectory());
    console.manualPresent = platform::FileExists(console.manualPath);

    LoadLinkLibraries();
    twoway::UpgradeKeywordFormat();

    console.quiet = HasQuietSwitch(commandLine);
    if (RunActionSwitch(host, commandLine)) {
        FreeLinkLibraries();
        return 0;
    }
    LoadIcon(host, options);
    CleanVirtualStore();
    RunSheetAndExitSteps(host);
    FreeLinkLibraries();
    return 0;
}

}  // namespace shell
