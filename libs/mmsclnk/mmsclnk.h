/* MMSCLNK.DLL, built as libmmsclnk.so: the MMSC service commands over the platform
 * service manager, the property-sheet hooks of the MMSC configuration (which add no
 * pages in this build), and the outbound VASP account registry. The console loads the
 * service and page functions at run time and links the VASP functions by import. This
 * header is the library's interface, included by the library itself, by the console's
 * loader (which takes its function types from these declarations) and by test
 * libraries, so a signature that drifts is a compile error in whichever of them is
 * wrong. The library's C++ sources define each function with extern "C", so a
 * definition whose parameters differ from the declaration below is rejected rather
 * than silently overloaded. */
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

#define MMSCLNK_API __attribute__((visibility("default")))

// ---- the MMSC service "QuvMMSC" ("QuvSMS MMSC", program directory + "mmscnt") --------
// noElevation is 1 from the command line and 0 from the pages. When this process may not
// change services, 0 re-runs the console through pkexec with the matching switch
// ("/INSTALLMMSSERVICE", "/REMOVEMMSSERVICE", "/STARTMMSSERVICE", "/STOPMMSSERVICE",
// "/RESTARTMMSSERVICE") and waits at most 60 seconds; 1 fails at once. Waits for the
// service are bounded by 120 one-second steps of platform::Clock().

// Creates or reconfigures the service (telling "fwsetup" about "mmsc" when present) and
// starts it. Non-zero when the service is installed afterwards.
MMSCLNK_API int InstallMMSCService(int noElevation);
// Stops the service (stop request, then the MMSC block's stop byte while it stays
// active) and removes it. Non-zero when it is not installed afterwards.
MMSCLNK_API int RemoveMMSCService(int noElevation);
// Starts the service and waits until it is active. Non-zero when the start was accepted.
MMSCLNK_API int StartMMSCService(int noElevation);
// Stops the service and waits while it is active. Non-zero when it is no longer active.
MMSCLNK_API int StopMMSCService(int noElevation);
// Stop, a 2-second pause, start. Non-zero when the start was accepted.
MMSCLNK_API int RestartMMSCService(int noElevation);
// Non-zero when the service is installed.
MMSCLNK_API int IsMMSCServiceInstalled(void);
// Non-zero when it is running, start pending or stop pending.
MMSCLNK_API int IsMMSCServiceActive(void);

// ---- MMSC configuration pages ------------------------------------------------------------
// How many pages MMSConfigAddPropertySheetPages adds; this build carries none: 0.
MMSCLNK_API int MMSConfigGetNumberOfPropertySheetPages(void);
// Appends the pages to `sheet`, the console's ui::Sheet (the library is built from the
// same tree with the same compiler), advances *pageCount by their number and returns
// it; this build appends none, leaves *pageCount as it is and returns 0.
MMSCLNK_API int MMSConfigAddPropertySheetPages(void* sheet, int* pageCount);

// ---- outbound VASP accounts ----------------------------------------------------------------
// Registers the account: creates "VASPOUT/<name>/" under the VASP configuration
// directory ("VASPConfigDir" of [MMSC] in MMSC.INI, else the program data directory)
// and records name=Yes in section "VASPOut" of "VASPOUT.INI" there. Non-zero on
// success; 0 for a name that cannot be one directory level (empty, ".", "..",
// separators, "=", control characters) or when nothing could be written.
MMSCLNK_API int VASPOutAddUser(const char* name);
// Drops the record of the account (its directory is the caller's to delete). Non-zero
// on success, with the same name rule.
MMSCLNK_API int VASPOutDeleteUser(const char* name);

#ifdef __cplusplus
}
#endif
