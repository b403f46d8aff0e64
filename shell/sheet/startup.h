// The console's process start: everything before the first window, the command-line
// actions, the property sheet and the exit steps.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "ui/host.h"

namespace shell {

struct StartupOptions {
    // The arguments after the program name.
    std::vector<std::string> args;
    // Loads the program icon for the windows; false when it cannot be loaded.
    std::function<bool()> loadIcon;
};

// Runs the console on `host` and returns the process exit code: 0 after an action
// switch or when the sheet closed, -1 when the configuration files cannot be created.
int RunConsole(ui::Host& host, const StartupOptions& options);

// "-multihost": must run before anything asks for a directory.
void ApplyMultiHost(const std::string& commandLine);

// `CleanVirtualStore`: removes the per-user virtualised copies of the gateway's folders
// below the home directory.
void CleanVirtualStore();

// Carries out the first action switch of the command line. Returns false when there is
// none (the sheet is to be shown).
bool RunActionSwitch(ui::Host& host, const std::string& commandLine);

}  // namespace shell
