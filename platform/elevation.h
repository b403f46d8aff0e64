// Running this program again with administrator rights, the way a Windows program
// re-runs itself with the "runas" verb: through pkexec, which asks the user to
// authenticate. $ZELLA_PKEXEC names another program to use instead (tests).
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace platform {

// The environment the elevated copy needs to act on the same gateway instance as this
// one. pkexec clears the environment, so these are handed over explicitly through
// `env NAME=VALUE ...`.
using EnvironmentList = std::vector<std::pair<std::string, std::string>>;

// The argument vector for re-running `executable` elevated with `arguments`:
// pkexec, "env", every NAME=VALUE of `environment`, the executable, the arguments.
std::vector<std::string> ElevatedCommand(const std::string& executable,
                                         const std::vector<std::string>& arguments,
                                         const EnvironmentList& environment);

// Variables of this process worth handing to an elevated copy: the display (DISPLAY,
// WAYLAND_DISPLAY, XAUTHORITY, XDG_RUNTIME_DIR, QT_QPA_PLATFORM), the service manager and
// shared-memory namespace choices, and ZELLA_DATA_DIR set to `dataDirectory` so the
// copy works on the same data whatever its own defaults would be.
EnvironmentList ElevationEnvironment(const std::string& dataDirectory);

// Runs the command of ElevatedCommand and waits for it at most `timeoutMs`, polling
// through platform::Clock(). Returns false when it could not be started (no pkexec);
// true once it ended or the time ran out (a child still running is left to finish on
// its own and reaped in the background).
bool RunElevated(const std::vector<std::string>& command, int timeoutMs);

}  // namespace platform
