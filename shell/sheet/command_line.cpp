#include "shell/sheet/command_line.h"
#include "platform/text.h"

#include <algorithm>
#include <cctype>
#include <utility>

namespace shell {
namespace {

std::string Lower(std::string text) { return platform::ToLowerAscii(std::move(text)); }

struct SwitchRow {
    SwitchAction action;
    std::vector<const char*> names;
};

// The table order decides when several action switches are given.
const std::vector<SwitchRow>& ActionTable() {
    static const std::vector<SwitchRow> table = {
        {SwitchAction::InstallSmsService, {"-INSTALLSMSSERVICE", "/INSTALLSMSSERVICE"}},
        {SwitchAction::InstallMmsService, {"-INSTALLMMSSERVICE", "/INSTALLMMSSERVICE"}},
        {SwitchAction::RemoveSmsService, {"-REMOVESMSSERVICE", "/REMOVESMSSERVICE"}},
        {SwitchAction::RemoveMmsService, {"-REMOVEMMSSERVICE", "/REMOVEMMSSERVICE"}},
        {SwitchAction::StopSmsService, {"-STOPSMSSERVICE", "/STOPSMSSERVICE"}},
        {SwitchAction::StartSmsService, {"-STARTSMSSERVICE", "/STARTSMSSERVICE"}},
        {SwitchAction::RestartSmsService, {"-RESTARTSMSSERVICE", "/RESTARTSMSSERVICE"}},
        {SwitchAction::StopMmsService, {"-STOPMMSSERVICE", "/STOPMMSSERVICE"}},
        {SwitchAction::StartMmsService, {"-STARTMMSSERVICE", "/STARTMMSSERVICE"}},
        {SwitchAction::RestartMmsService, {"-RESTARTMMSSERVICE", "/RESTARTMMSSERVICE"}},
        {SwitchAction::DeleteDataDir, {"-DELETEDATADIR", "/DELETEDATADIR"}},
        {SwitchAction::InstallService, {"-INSTALLSERVICE", "/INSTALLSERVICE", "/I", "-I"}},
        {SwitchAction::RemoveService, {"-REMOVESERVICE", "/REMOVESERVICE", "/R", "-R"}},
    };
    return table;
}

}  // namespace

bool FindSwitch(const std::string& commandLine, const std::string& name) {
    if (name.empty()) return false;
    return Lower(commandLine).find(Lower(name)) != std::string::npos;
}

std::string JoinCommandLine(const std::vector<std::string>& args) {
    std::string line;
    for (const std::string& arg : args) {
        if (!line.empty()) line += ' ';
        line += arg;
    }
    return line;
}

std::string MultiHostName(const std::string& commandLine) {
    static const std::string kSwitch = "-multihost";
    std::size_t at = Lower(commandLine).find(kSwitch);
    if (at == std::string::npos) return {};
    std::size_t pos = at + kSwitch.size();
    while (pos < commandLine.size() && (commandLine[pos] == ' ' || commandLine[pos] == '\t')) ++pos;
    std::string name;
    while (pos < commandLine.size() && name.size() < 260 &&
           static_cast<unsigned char>(commandLine[pos]) >= 0x20 && commandLine[pos] != 0x7f) {
        name += commandLine[pos++];
    }
    return name;
}

bool HasQuietSwitch(const std::string& commandLine) {
    for (const char* name : {"-QUIET", "/QUIET", "/Q", "-Q"}) {
        if (FindSwitch(commandLine, name)) return true;
    }
    return false;
}

SwitchAction FindActionSwitch(const std::string& commandLine) {
    for (const SwitchRow& row : ActionTable()) {
        for (const char* name : row.names) {
            if (FindSwitch(commandLine, name)) return row.action;
        }
    }
    return SwitchAction::None;
}

}  // namespace shell
