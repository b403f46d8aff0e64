// The in-house link libraries, loaded at run time by their logical names
// ("SMPPLNK.DLL" is libsmpplnk.so in platform::LibraryDirectory()) and bound by
// function name into one table per library. A library missing any required function is
// freed and counts as absent; an absent library is not an error, its features are
// simply unavailable.
//
// The function types come from each library's own header, which the library and the
// test libraries include too, so the three can never disagree without a compile error.
#pragma once

#include "cimdlnk/cimdlnk.h"
#include "mmsclnk/mmsclnk.h"
#include "smpplnk/smpplnk.h"
#include "tlslnk/tlslnk.h"
#include "ucplnk/ucplnk.h"
#include "waplnk/waplnk.h"

namespace shell {

struct SmppLinkTable {
    decltype(&::SMPPSetDebugMode) SMPPSetDebugMode = nullptr;
    decltype(&::SMPPBind) SMPPBind = nullptr;
    decltype(&::SMPPSubmitMessage) SMPPSubmitMessage = nullptr;
    decltype(&::SMPPUnbind) SMPPUnbind = nullptr;
    decltype(&::SMPPConnect) SMPPConnect = nullptr;
    decltype(&::SMPPErrorText) SMPPErrorText = nullptr;
};

struct UcpLinkTable {
    decltype(&::UCPSetDebugMode) UCPSetDebugMode = nullptr;
    decltype(&::UCPBind) UCPBind = nullptr;
    decltype(&::UCPConnect) UCPConnect = nullptr;
    decltype(&::UCPErrorText) UCPErrorText = nullptr;
};

struct CimdLinkTable {
    decltype(&::CIMDSetDebugMode) CIMDSetDebugMode = nullptr;
    decltype(&::CIMDBind) CIMDBind = nullptr;
    decltype(&::CIMDConnect) CIMDConnect = nullptr;
    decltype(&::CIMDErrorText) CIMDErrorText = nullptr;
};

// The type shared by the five MMSC service commands, and by the two service queries.
using MMSCServiceCommandFn = decltype(&::InstallMMSCService);
using MMSCServiceQueryFn = decltype(&::IsMMSCServiceInstalled);

struct MmscLinkTable {
    decltype(&::MMSConfigAddPropertySheetPages) MMSConfigAddPropertySheetPages = nullptr;
    decltype(&::MMSConfigGetNumberOfPropertySheetPages) MMSConfigGetNumberOfPropertySheetPages =
        nullptr;
    decltype(&::RemoveMMSCService) RemoveMMSCService = nullptr;
    decltype(&::InstallMMSCService) InstallMMSCService = nullptr;
    decltype(&::StopMMSCService) StopMMSCService = nullptr;
    decltype(&::StartMMSCService) StartMMSCService = nullptr;
    decltype(&::RestartMMSCService) RestartMMSCService = nullptr;
};

struct WapLinkTable {
    decltype(&::WSPRasDial) WSPRasDial = nullptr;
    decltype(&::WSPRasHangUp) WSPRasHangUp = nullptr;
    decltype(&::WSPConnect) WSPConnect = nullptr;
    decltype(&::WSPDisconnect) WSPDisconnect = nullptr;
    decltype(&::WSPRequest) WSPRequest = nullptr;
    decltype(&::ModemAllocate) ModemAllocate = nullptr;
    decltype(&::ModemRequested) ModemRequested = nullptr;
    decltype(&::ModemRelease) ModemRelease = nullptr;
    decltype(&::RasLoadListOrComboBox) RasLoadListOrComboBox = nullptr;
    decltype(&::RasGetUserAndPassword) RasGetUserAndPassword = nullptr;
    decltype(&::RasGetModemName) RasGetModemName = nullptr;
    // Optional: callers test each before calling it.
    decltype(&::ModemGetCIDForAPN) ModemGetCIDForAPN = nullptr;
    decltype(&::ModemDriverUpdateInitStrings) ModemDriverUpdateInitStrings = nullptr;
    decltype(&::WSPRasGetErrorString) WSPRasGetErrorString = nullptr;
    decltype(&::ModemReset) ModemReset = nullptr;
};

struct TlsLinkTable {
    decltype(&::sslInitSession) sslInitSession = nullptr;
    decltype(&::sslAcceptSession) sslAcceptSession = nullptr;
    decltype(&::sslInitSessionApp) sslInitSessionApp = nullptr;
    decltype(&::sslAcceptSessionApp) sslAcceptSessionApp = nullptr;
    decltype(&::sslInitSessionCloud) sslInitSessionCloud = nullptr;
    decltype(&::sslAcceptSessionCloud) sslAcceptSessionCloud = nullptr;
    decltype(&::sslFreeSession) sslFreeSession = nullptr;
    decltype(&::sslSend) sslSend = nullptr;
    decltype(&::sslRecv) sslRecv = nullptr;
    decltype(&::sslDataPending) sslDataPending = nullptr;
    decltype(&::sslInitLib) sslInitLib = nullptr;
    decltype(&::sslTermLib) sslTermLib = nullptr;
    decltype(&::sslServerCertExists) sslServerCertExists = nullptr;
    decltype(&::sslSignedCertExists) sslSignedCertExists = nullptr;
    decltype(&::sslGenerateCertificate) sslGenerateCertificate = nullptr;
    // Optional: callers test each before calling it.
    decltype(&::sslPeerVerified) sslPeerVerified = nullptr;
    decltype(&::sslPeerFingerprint) sslPeerFingerprint = nullptr;
};

// Start-up: loads MMSCLNK, SMPPLNK, UCPLNK and CIMDLNK, then TLSLNK through its lazy
// loader. Then SMPPSetDebugMode(1), CIMDSetDebugMode(1), and sslInitLib(): non-zero sets
// TLS-available, and then sslServerCertExists() non-zero sets
// server-certificate-present. Libraries already loaded are kept. Call from the UI
// thread before any other thread uses the tables.
void LoadLinkLibraries();

// Frees every library (sslTermLib first when TLS-available) and clears the tables, the
// flags and the load-attempted marks, so a later LoadLinkLibraries starts afresh.
void FreeLinkLibraries();

// The tables of the libraries loaded at start-up; null when absent (or not loaded yet).
const SmppLinkTable* SmppLink();
const UcpLinkTable* UcpLink();
const CimdLinkTable* CimdLink();
const MmscLinkTable* MmscLink();

// The lazily loaded libraries: the first call loads the library, every later call in
// the run returns the stored table, which is null when the library was absent or
// incomplete, or (WAPLNK) exports WAPLinkAvailable and it returned 0. Loaded at most once per run (until FreeLinkLibraries).
const WapLinkTable* WapLink();
const TlsLinkTable* TlsLink();

// TLS-available: TLSLNK loaded at start-up and sslInitLib returned non-zero.
bool TlsAvailable();
// server-certificate-present: found at start-up, or set by the SSL/TLS page after it
// found or generated a certificate.
bool ServerCertificatePresent();
void SetServerCertificatePresent(bool present);

// The MMSC service as MMSCLNK reports it on a loading of its own, freed before return.
// `available` is false when the library or either query function is missing; then both
// answers are false. Otherwise `installed` and `active` are the answers of
// IsMMSCServiceInstalled and IsMMSCServiceActive, both asked.
struct MmscServiceState {
    bool available = false;
    bool installed = false;
    bool active = false;
};
MmscServiceState QueryMmscService();

// One of the two query functions ("IsMMSCServiceInstalled" or "IsMMSCServiceActive"),
// looked up alone on a loading of its own that is freed before return: 1 when it
// answered non-zero, 0 when zero, -1 when the library or the function is missing.
int CallMmscServiceQuery(const char* functionName);

// One MMSC service command ("InstallMMSCService", "RemoveMMSCService",
// "StartMMSCService", "StopMMSCService", "RestartMMSCService") on a loading of its own,
// when `requiredAlongside` (null-terminated list of further names, may be null) are all
// present too: 1 when the command reported success, 0 when it failed, -1 when anything
// is missing (the command is then not called).
int CallMmscServiceCommand(const char* functionName, int noElevation,
                           const char* const* requiredAlongside = nullptr);

}  // namespace shell
