// MMSCLNK.DLL, built as libmmsclnk.so: the MMSC service commands over the platform
// service manager, the property-sheet hooks of the MMSC configuration (which add no
// pages in this build), and the outbound VASP account registry.
#pragma once

#define MMSCLNK_EXPORT extern "C" __attribute__((visibility("default")))

// ---- the MMSC service "QuvMMSC" ("QuvSMS MMSC", program directory + "mmscnt") --------
// noElevation is 1 from the command line and 0 from the pages. When this process may not
// change services, 0 re-runs the console through pkexec with the matching switch
// ("/INSTALLMMSSERVICE", "/REMOVEMMSSERVICE", "/STARTMMSSERVICE", "/STOPMMSSERVICE",
// "/RESTARTMMSSERVICE") and waits at most 60 seconds; 1 fails at once. Waits for the
// service are bounded by 120 one-second steps of platform::Clock().

// Creates or reconfigures the service (telling "fwsetup" about "mmsc" when present) and
// starts it. Non-zero when the service is installed afterwards.
MMSCLNK_EXPORT int InstallMMSCService(int noElevation);
// Stops the service (stop request, then the MMSC block's stop byte while it stays
// active) and removes it. Non-zero when it is not installed afterwards.
MMSCLNK_EXPORT int RemoveMMSCService(int noElevation);
// Starts the service and waits until it is active. Non-zero when the start was accepted.
MMSCLNK_EXPORT int StartMMSCService(int noElevation);
// Stops the service and waits while it is active. Non-zero when it is no longer active.
MMSCLNK_EXPORT int StopMMSCService(int noElevation);
// Stop, a 2-second pause, start. Non-zero when the start was accepted.
MMSCLNK_EXPORT int RestartMMSCService(int noElevation);
// Non-zero when the service is installed.
MMSCLNK_EXPORT int IsMMSCServiceInstalled(void);
// Non-zero when it is running, start pending or stop pending.
MMSCLNK_EXPORT int IsMMSCServiceActive(void);

// ---- MMSC configuration pages ------------------------------------------------------------
// This build carries no MMSC pages: 0.
MMSCLNK_EXPORT int MMSConfigGetNumberOfPropertySheetPages(void);
// Appends no page and leaves *pageCount as it is; returns 0 (pages added).
MMSCLNK_EXPORT int MMSConfigAddPropertySheetPages(void* sheet, int* pageCount);

// ---- outbound VASP accounts ----------------------------------------------------------------
// Registers the account: creates "VASPOUT/<name>/" under the VASP configuration
// directory ("VASPConfigDir" of [MMSC] in MMSC.INI, else the program data directory)
// and records name=Yes in section "VASPOut" of "VASPOUT.INI" there. Non-zero on
// success; 0 for a name that cannot be one directory level (empty, ".", "..",
// separators, "=", control characters) or when nothing could be written.
MMSCLNK_EXPORT int VASPOutAddUser(const char* name);
// Drops the record of the account (its directory is the caller's to delete). Non-zero
// on success, with the same name rule.
MMSCLNK_EXPORT int VASPOutDeleteUser(const char* name);
