// Running this program again with administrator rights, the way a Windows program
// re-runs itself with the "runas" verb: through pkexec, which asks the user to
// authenticate (the polkit action of the console names it in the prompt) and starts the
// console itself with a clean environment. $ZELLA_PKEXEC names another program to use
// instead (tests).
//
// The elevated copy takes nothing from the caller's environment that chooses where it
// acts. What it must share with the caller travels as checked arguments, each one word
// of the form "+NAME=value" (no "-" or "/", so no console switch can be read into one):
//   +DATADIR=<hex>        the program data directory, hex-encoded; accepted only as an
//                         absolute path of a real directory (no link anywhere in it)
//                         owned by root or by the user pkexec reports in PKEXEC_UID
//   +SERVICEMANAGER=...   "systemd" or "supervisor"
//   +SHMNAMESPACE=...     letters, digits, "_" and ".", at most 64
//   +QTPLATFORM=...       "xcb", "wayland", "offscreen" or "minimal"
// Without +DATADIR the copy derives its data directory itself (installed location,
// "-multihost").
#pragma once

#include <string>
#include <vector>

namespace platform {

// The checked arguments above for an elevated copy of this console acting on
// `dataDirectory`, with this process's service manager, shared-memory namespace and
// Qt platform choices when they are set and valid.
std::vector<std::string> ElevationEnvironment(const std::string& dataDirectory);

// The argument vector for re-running `executable` elevated: pkexec, the executable,
// `arguments`, then `checkedArguments` (from ElevationEnvironment).
std::vector<std::string> ElevatedCommand(const std::string& executable,
                                         const std::vector<std::string>& arguments,
                                         const std::vector<std::string>& checkedArguments);

// For the console's start, before anything reads the environment. In a copy started by
// pkexec (PKEXEC_UID set) the environment is cut down to the display and locale
// variables (HOME and PATH set to root's own), then the checked arguments are taken out
// of `args` and applied (ZELLA_DATA_DIR, ZELLA_SERVICE_MANAGER, ZELLA_SHM_NAMESPACE,
// QT_QPA_PLATFORM). Elsewhere the "+NAME=" arguments are only removed. False, with the
// reason on standard error, when an argument is refused: the copy must then do nothing.
bool AdoptElevationArguments(std::vector<std::string>& args);

// Runs the command of ElevatedCommand and waits for it at most `timeoutMs`, polling
// through platform::Clock(). Returns false when it could not be started (no pkexec);
// true once it ended or the time ran out (a child still running is left to finish on
// its own and reaped in the background).
bool RunElevated(const std::vector<std::string>& command, int timeoutMs);

}  // namespace platform
