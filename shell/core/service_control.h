// Installing, removing, starting, stopping and restarting the Gateway service and the
// MMSC service. `noElevation` is true from the command line (never re-run elevated) and
// false from the pages.
#pragma once

#include <string>

#include "ui/host.h"

namespace shell {

inline constexpr const char* kGatewayServiceName = "QuvSMS";
inline constexpr const char* kGatewayDisplayName = "Quv SMS/MMS Gateway";
inline constexpr const char* kMmscServiceName = "QuvMMSC";
inline constexpr const char* kMmscDisplayName = "QuvSMS MMSC";

// Whether the service "QuvSMS" exists in the platform service manager.
bool IsGatewayServiceInstalled();
// Running, start pending or stop pending.
bool IsGatewayServiceActive();

// Operations that change the service. When the service manager refuses this process
// (no rights), `noElevation` shows the operation's refusal message and stops; otherwise
// the operator is asked first and, on Yes, the console re-runs itself through pkexec
// with the operation's switch, waiting at most 60 seconds. Waits for the service are
// 120 steps of one second on platform::Clock(). Each operation runs as a long operation
// of the host (progress line and Cancel); a Cancel ends the waits at once and the
// operation goes on as if their time had run out.

// Creates or reconfigures the service (program directory + "zellant"), tells "fwsetup"
// about it when present, and starts it. True on success; after an elevated run, true
// when the service is installed.
bool InstallGatewayService(ui::Host& host, bool noElevation);
// Stops the service (renewing the status block's stop request while it stays active)
// and removes it. True on success, and when the service was not installed.
bool RemoveGatewayService(ui::Host& host, bool noElevation);
// Sends the stop request and sets the status block's stop byte, then waits while the
// service stays active. A service that is not installed leads to elevation.
void StopGatewayService(ui::Host& host, bool noElevation);
// Starts the service ("Error %lu starting service" when refused) and waits until it is
// active. A service that is not installed leads to elevation.
void StartGatewayService(ui::Host& host, bool noElevation);
// Writes the restart trigger first, whatever follows; then stop, 2 seconds, start.
void RestartGatewayService(ui::Host& host, bool noElevation);
// The Gateway service as above, then the MMSC service "QuvMMSC" (program directory +
// "mmscnt") the same way. True when both were installed.
bool InstallAllServices(ui::Host& host, bool noElevation);
// IsMMSCServiceInstalled of MMSCLNK.DLL, on a loading of its own; false when missing.
bool IsMMSCInstalled();
// IsMMSCServiceInstalled and IsMMSCServiceActive both true; false when missing.
bool IsMMSCReady();

// The program directory the services' executables ("zellant", "mmscnt") and the
// firewall helper "fwsetup" are taken from: platform::LibraryDirectory(), which is the
// console's own directory unless a test pointed it elsewhere. Ends in "/".
std::string ServiceProgramDirectory();

}  // namespace shell
