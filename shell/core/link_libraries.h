// The in-house link libraries, loaded at run time by their logical names
// ("SMPPLNK.DLL" is libsmpplnk.so in platform::LibraryDirectory()) and bound by
// function name into one table per library. A library missing any required function is
// freed and counts as absent; an absent library is not an error, its features are
// simply unavailable.
//
// Every function of these tables has C linkage and plain C types, so a library can be
// written in C or C++ and built separately. Texts are NUL-terminated UTF-8. Sockets are
// connected stream descriptors owned by the caller. A TLS session is an opaque pointer
// from the TLS library, null for "no session". Output buffers come with their capacity
// and are always NUL-terminated by the library when the capacity is at least 1.
#pragma once

#include <cstdint>

extern "C" {

// ---- SMPPLNK.DLL -----------------------------------------------------------------------
// on: 1 turns the library's protocol trace on, 0 off. Result not examined.
typedef int (*SMPPSetDebugModeFn)(int on);
// Connects `socket` to host:port. `reserved` is 0. The host may carry a "#n" suffix
// (duplicate connection names), which the library strips. 0 when connected.
typedef int (*SMPPConnectFn)(int socket, int reserved, const char* host, unsigned port);
// Binds over the connected socket (through `tlsSession` when not null). version is 0x33
// or 0x34, bindType 1 receiver, 2 transmitter, 9 transceiver. The address range and
// bind TON/NPI come from section "SMPP" of ZELLA.INI. 0 when bound, else an error code
// for SMPPErrorText.
typedef int (*SMPPBindFn)(int socket, void* tlsSession, int reserved, int version, int bindType,
                          const char* systemId, const char* password, const char* systemType);
// Submits one short message on a bound session; the console never calls it. dataCoding
// is the SMPP data_coding; message holds `length` octets. Writes the SMSC's message id
// into messageId. 0 when accepted, else an error code for SMPPErrorText.
typedef int (*SMPPSubmitMessageFn)(int socket, void* tlsSession, int reserved, int version,
                                   const char* source, const char* destination, int dataCoding,
                                   const unsigned char* message, int length, char* messageId,
                                   int messageIdSize);
// Unbinds; result not examined.
typedef int (*SMPPUnbindFn)(int socket, void* tlsSession, int reserved, int version);
// Writes the operator's text for an error code of SMPPBind / SMPPSubmitMessage.
// Returns the length written.
typedef int (*SMPPErrorTextFn)(int code, char* buffer, int size);

// ---- UCPLNK.DLL ------------------------------------------------------------------------
typedef int (*UCPSetDebugModeFn)(int on);
// As SMPPConnect. 0 when connected.
typedef int (*UCPConnectFn)(int socket, int reserved, const char* host, unsigned port);
// Logs in (session management operation). 0 when logged in, else an error code.
typedef int (*UCPBindFn)(int socket, int reserved, const char* user, const char* password);
typedef int (*UCPErrorTextFn)(int code, char* buffer, int size);

// ---- CIMDLNK.DLL -----------------------------------------------------------------------
typedef int (*CIMDSetDebugModeFn)(int on);
// `reserved` is an empty text. 0 when connected.
typedef int (*CIMDConnectFn)(const char* reserved, int socket, const char* host, unsigned port);
// 0 when logged in, else an error code for CIMDErrorText.
typedef int (*CIMDBindFn)(const char* reserved, int socket, const char* user, const char* password);
typedef int (*CIMDErrorTextFn)(int code, char* buffer, int size);

// ---- MMSCLNK.DLL -----------------------------------------------------------------------
// How many pages MMSConfigAddPropertySheetPages will add.
typedef int (*MMSConfigGetNumberOfPropertySheetPagesFn)(void);
// `sheet` is the console's ui::Sheet (the library is built from this tree with the same
// compiler and appends its pages with ui::Sheet::AddPage); *pageCount is advanced by the
// number of pages appended. Returns that number.
typedef int (*MMSConfigAddPropertySheetPagesFn)(void* sheet, int* pageCount);
// Service commands; noElevation is 1 from the command line, 0 from the pages. Non-zero
// on success.
typedef int (*MMSCServiceCommandFn)(int noElevation);
// Service queries without arguments; non-zero for yes.
typedef int (*MMSCServiceQueryFn)(void);

// ---- WAPLNK.DLL ------------------------------------------------------------------------
// Dials the network connection entry and reaches `target` (MMS proxy or server URL).
// 0 when connected and reached, 1 when the WAP gateway could not be reached, else an
// error code (600-799 are dial-up error numbers).
typedef int (*WSPRasDialFn)(const char* entry, const char* apn, const char* login,
                            const char* password, const char* target);
typedef int (*WSPRasHangUpFn)(const char* entry);
// Opens a WSP session with a WAP gateway ("host" or "host:port"); null on failure.
typedef void* (*WSPConnectFn)(const char* gateway);
typedef void (*WSPDisconnectFn)(void* session);
// One request: method "GET" or "POST", body may be null with bodyLength 0. The
// response body goes to `response`; returns its length, or -1 on failure.
typedef int (*WSPRequestFn)(void* session, const char* method, const char* url,
                            const char* contentType, const unsigned char* body, int bodyLength,
                            unsigned char* response, int responseCapacity);
// Asks the Gateway service to hand the modem over, waiting at most timeoutSeconds;
// *value receives the port the modem is on. Non-zero allocation, or 0 when in use.
typedef std::intptr_t (*ModemAllocateFn)(const char* modemName, int timeoutSeconds, int* value);
// Non-zero while the Gateway service wants the allocated modem back.
typedef int (*ModemRequestedFn)(std::intptr_t allocation);
// Gives the modem back; 0 (no allocation) is accepted and ignored.
typedef void (*ModemReleaseFn)(std::intptr_t allocation);
// Calls addItem once per dial-up connection and "Modem: <name>" entry.
typedef void (*RasAddItemFn)(void* context, int control, const char* text);
typedef int (*RasLoadListOrComboBoxFn)(void* context, int control, RasAddItemFn addItem);
// The stored credentials of an entry (either may come back empty). Non-zero when found.
typedef int (*RasGetUserAndPasswordFn)(const char* entry, char* login, int loginSize,
                                       char* password, int passwordSize);
// The modem an entry dials through (empty when none). Non-zero when found.
typedef int (*RasGetModemNameFn)(const char* entry, char* modemName, int size);
// The PDP context number for the APN in the low 16 bits; define 1 creates it when
// missing. 0 when none or no answer.
typedef int (*ModemGetCIDForAPNFn)(const char* modemName, const char* apn, int define);
// Non-zero when the modem driver's initialisation strings were updated for the APN.
typedef int (*ModemDriverUpdateInitStringsFn)(const char* modemName, const char* apn);
// The system's text for a dial-up error; returns the length written.
typedef int (*WSPRasGetErrorStringFn)(int code, char* buffer, int size);
// Resets the modem; non-zero on success.
typedef int (*ModemResetFn)(const char* modemName);

// ---- TLSLNK.DLL ------------------------------------------------------------------------
// Starts a TLS session on a connected socket. `buffer` holds the peer's host name on
// entry; on failure (null result) it holds an error text for the operator.
typedef void* (*sslSessionStartFn)(int socket, char* buffer, int size);
typedef void (*sslFreeSessionFn)(void* session);
// Bytes sent; the send succeeded when the result is at least `length`.
typedef int (*sslSendFn)(void* session, const char* data, int length);
// Bytes received (0 at orderly close), or -1.
typedef int (*sslRecvFn)(void* session, char* buffer, int capacity);
// Decrypted bytes waiting (0 when none), or -1 on error.
typedef int (*sslDataPendingFn)(void* session);
// Non-zero when the library is ready for sessions.
typedef int (*sslInitLibFn)(void);
typedef void (*sslTermLibFn)(void);
// Non-zero when the server certificate (or a CA-signed one) is present.
typedef int (*sslCertExistsFn)(void);
// Creates the server key, certificate and certificate sign request. Result not examined.
typedef int (*sslGenerateCertificateFn)(const char* country, const char* state, const char* city,
                                        const char* company, const char* department,
                                        const char* host, const char* email, const char* password);
}

namespace shell {

struct SmppLinkTable {
    SMPPSetDebugModeFn SMPPSetDebugMode = nullptr;
    SMPPBindFn SMPPBind = nullptr;
    SMPPSubmitMessageFn SMPPSubmitMessage = nullptr;
    SMPPUnbindFn SMPPUnbind = nullptr;
    SMPPConnectFn SMPPConnect = nullptr;
    SMPPErrorTextFn SMPPErrorText = nullptr;
};

struct UcpLinkTable {
    UCPSetDebugModeFn UCPSetDebugMode = nullptr;
    UCPBindFn UCPBind = nullptr;
    UCPConnectFn UCPConnect = nullptr;
    UCPErrorTextFn UCPErrorText = nullptr;
};

struct CimdLinkTable {
    CIMDSetDebugModeFn CIMDSetDebugMode = nullptr;
    CIMDBindFn CIMDBind = nullptr;
    CIMDConnectFn CIMDConnect = nullptr;
    CIMDErrorTextFn CIMDErrorText = nullptr;
};

struct MmscLinkTable {
    MMSConfigAddPropertySheetPagesFn MMSConfigAddPropertySheetPages = nullptr;
    MMSConfigGetNumberOfPropertySheetPagesFn MMSConfigGetNumberOfPropertySheetPages = nullptr;
    MMSCServiceCommandFn RemoveMMSCService = nullptr;
    MMSCServiceCommandFn InstallMMSCService = nullptr;
    MMSCServiceCommandFn StopMMSCService = nullptr;
    MMSCServiceCommandFn StartMMSCService = nullptr;
    MMSCServiceCommandFn RestartMMSCService = nullptr;
};

struct WapLinkTable {
    WSPRasDialFn WSPRasDial = nullptr;
    WSPRasHangUpFn WSPRasHangUp = nullptr;
    WSPConnectFn WSPConnect = nullptr;
    WSPDisconnectFn WSPDisconnect = nullptr;
    WSPRequestFn WSPRequest = nullptr;
    ModemAllocateFn ModemAllocate = nullptr;
    ModemRequestedFn ModemRequested = nullptr;
    ModemReleaseFn ModemRelease = nullptr;
    RasLoadListOrComboBoxFn RasLoadListOrComboBox = nullptr;
    RasGetUserAndPasswordFn RasGetUserAndPassword = nullptr;
    RasGetModemNameFn RasGetModemName = nullptr;
    // Optional: callers test each before calling it.
    ModemGetCIDForAPNFn ModemGetCIDForAPN = nullptr;
    ModemDriverUpdateInitStringsFn ModemDriverUpdateInitStrings = nullptr;
    WSPRasGetErrorStringFn WSPRasGetErrorString = nullptr;
    ModemResetFn ModemReset = nullptr;
};

struct TlsLinkTable {
    sslSessionStartFn sslInitSession = nullptr;
    sslSessionStartFn sslAcceptSession = nullptr;
    sslSessionStartFn sslInitSessionApp = nullptr;
    sslSessionStartFn sslAcceptSessionApp = nullptr;
    sslSessionStartFn sslInitSessionCloud = nullptr;
    sslSessionStartFn sslAcceptSessionCloud = nullptr;
    sslFreeSessionFn sslFreeSession = nullptr;
    sslSendFn sslSend = nullptr;
    sslRecvFn sslRecv = nullptr;
    sslDataPendingFn sslDataPending = nullptr;
    sslInitLibFn sslInitLib = nullptr;
    sslTermLibFn sslTermLib = nullptr;
    sslCertExistsFn sslServerCertExists = nullptr;
    sslCertExistsFn sslSignedCertExists = nullptr;
    sslGenerateCertificateFn sslGenerateCertificate = nullptr;
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
// incomplete. Loaded at most once per run (until FreeLinkLibraries).
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
