// The console's command line: switches found as substrings anywhere, ignoring case.
#pragma once

#include <string>
#include <vector>

namespace shell {

// `FindSwitch`: true when `name` occurs anywhere in the command line, ignoring case.
bool FindSwitch(const std::string& commandLine, const std::string& name);

// The command line as one text, the way the console sees it: the arguments after the
// program name joined by blanks.
std::string JoinCommandLine(const std::vector<std::string>& args);

// The "-multihost" instance name: the text after the switch, leading blanks skipped, up
// to the first control character and at most 260 characters. Empty when absent.
std::string MultiHostName(const std::string& commandLine);

// True when one of "-QUIET", "/QUIET", "/Q", "-Q" occurs.
bool HasQuietSwitch(const std::string& commandLine);

enum class SwitchAction {
    None,
    InstallSmsService,
    InstallMmsService,
    RemoveSmsService,
    RemoveMmsService,
    StopSmsService,
    StartSmsService,
    RestartSmsService,
    StopMmsService,
    StartMmsService,
    RestartMmsService,
    DeleteDataDir,
    InstallService,
    RemoveService,
};

// The first action switch of the table that occurs in the command line.
SwitchAction FindActionSwitch(const std::string& commandLine);

}  // namespace shell
