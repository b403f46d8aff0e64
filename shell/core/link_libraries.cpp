#include "shell/core/link_libraries.h"

#include <atomic>
#include <mutex>

#include "platform/dynlib.h"

namespace shell {

namespace {

// Looks one function up into its slot; true when found.
template <typename Fn>
bool Bind(const platform::DynamicLibrary& library, const char* name, Fn& slot) {
    slot = library.Function<Fn>(name);
    return slot != nullptr;
}

// Each FillTable looks every function up (no short cut, so optional slots are filled
// too) and tells whether all required ones were found.
bool FillTable(const platform::DynamicLibrary& l, SmppLinkTable& t) {
    bool ok = Bind(l, "SMPPSetDebugMode", t.SMPPSetDebugMode);
    ok = Bind(l, "SMPPBind", t.SMPPBind) && ok;
    ok = Bind(l, "SMPPSubmitMessage", t.SMPPSubmitMessage) && ok;
    ok = Bind(l, "SMPPUnbind", t.SMPPUnbind) && ok;
    ok = Bind(l, "SMPPConnect", t.SMPPConnect) && ok;
    return Bind(l, "SMPPErrorText", t.SMPPErrorText) && ok;
}

bool FillTable(const platform::DynamicLibrary& l, UcpLinkTable& t) {
    bool ok = Bind(l, "UCPSetDebugMode", t.UCPSetDebugMode);
    ok = Bind(l, "UCPBind", t.UCPBind) && ok;
    ok = Bind(l, "UCPConnect", t.UCPConnect) && ok;
    return Bind(l, "UCPErrorText", t.UCPErrorText) && ok;
}

bool FillTable(const platform::DynamicLibrary& l, CimdLinkTable& t) {
    bool ok = Bind(l, "CIMDSetDebugMode", t.CIMDSetDebugMode);
    ok = Bind(l, "CIMDBind", t.CIMDBind) && ok;
    ok = Bind(l, "CIMDConnect", t.CIMDConnect) && ok;
    return Bind(l, "CIMDErrorText", t.CIMDErrorText) && ok;
}

bool FillTable(const platform::DynamicLibrary& l, MmscLinkTable& t) {
    bool ok = Bind(l, "MMSConfigAddPropertySheetPages", t.MMSConfigAddPropertySheetPages);
    ok = Bind(l, "MMSConfigGetNumberOfPropertySheetPages",
              t.MMSConfigGetNumberOfPropertySheetPages) &&
         ok;
    ok = Bind(l, "RemoveMMSCService", t.RemoveMMSCService) && ok;
    ok = Bind(l, "InstallMMSCService", t.InstallMMSCService) && ok;
    ok = Bind(l, "StopMMSCService", t.StopMMSCService) && ok;
    ok = Bind(l, "StartMMSCService", t.StartMMSCService) && ok;
    return Bind(l, "RestartMMSCService", t.RestartMMSCService) && ok;
}

bool FillTable(const platform::DynamicLibrary& l, WapLinkTable& t) {
    bool ok = Bind(l, "WSPRasDial", t.WSPRasDial);
    ok = Bind(l, "WSPRasHangUp", t.WSPRasHangUp) && ok;
    ok = Bind(l, "WSPConnect", t.WSPConnect) && ok;
    ok = Bind(l, "WSPDisconnect", t.WSPDisconnect) && ok;
    ok = Bind(l, "WSPRequest", t.WSPRequest) && ok;
    ok = Bind(l, "ModemAllocate", t.ModemAllocate) && ok;
    ok = Bind(l, "ModemRequested", t.ModemRequested) && ok;
    ok = Bind(l, "ModemRelease", t.ModemRelease) && ok;
    ok = Bind(l, "RasLoadListOrComboBox", t.RasLoadListOrComboBox) && ok;
    ok = Bind(l, "RasGetUserAndPassword", t.RasGetUserAndPassword) && ok;
    ok = Bind(l, "RasGetModemName", t.RasGetModemName) && ok;
    Bind(l, "ModemGetCIDForAPN", t.ModemGetCIDForAPN);
    Bind(l, "ModemDriverUpdateInitStrings", t.ModemDriverUpdateInitStrings);
    Bind(l, "WSPRasGetErrorString", t.WSPRasGetErrorString);
    Bind(l, "ModemReset", t.ModemReset);
    // A library whose system service is not there (no NetworkManager) counts as absent.
    decltype(&::WAPLinkAvailable) available = nullptr;
    if (ok && Bind(l, "WAPLinkAvailable", available) && available() == 0) return false;
    return ok;
}

bool FillTable(const platform::DynamicLibrary& l, TlsLinkTable& t) {
    bool ok = Bind(l, "sslInitSession", t.sslInitSession);
    ok = Bind(l, "sslAcceptSession", t.sslAcceptSession) && ok;
    ok = Bind(l, "sslInitSessionApp", t.sslInitSessionApp) && ok;
    ok = Bind(l, "sslAcceptSessionApp", t.sslAcceptSessionApp) && ok;
    ok = Bind(l, "sslInitSessionCloud", t.sslInitSessionCloud) && ok;
    ok = Bind(l, "sslAcceptSessionCloud", t.sslAcceptSessionCloud) && ok;
    ok = Bind(l, "sslFreeSession", t.sslFreeSession) && ok;
    ok = Bind(l, "sslSend", t.sslSend) && ok;
    ok = Bind(l, "sslRecv", t.sslRecv) && ok;
    ok = Bind(l, "sslDataPending", t.sslDataPending) && ok;
    ok = Bind(l, "sslInitLib", t.sslInitLib) && ok;
    ok = Bind(l, "sslTermLib", t.sslTermLib) && ok;
    ok = Bind(l, "sslServerCertExists", t.sslServerCertExists) && ok;
    ok = Bind(l, "sslSignedCertExists", t.sslSignedCertExists) && ok;
    ok = Bind(l, "sslGenerateCertificate", t.sslGenerateCertificate) && ok;
    Bind(l, "sslPeerVerified", t.sslPeerVerified);
    Bind(l, "sslPeerFingerprint", t.sslPeerFingerprint);
    return ok;
}

template <typename Table>
struct LinkSlot {
    const char* logicalName;
    platform::DynamicLibrary library;
    Table table;
    bool present = false;
    bool attempted = false;

    explicit LinkSlot(const char* name) : logicalName(name) {}

    // Loads once; an incomplete library is freed and stays absent.
    void LoadOnce() {
        if (attempted) return;
        attempted = true;
        if (!library.Load(logicalName)) return;
        Table found;
        if (!FillTable(library, found)) {
            library.Free();
            return;
        }
        table = found;
        present = true;
    }

    const Table* Get() const { return present ? &table : nullptr; }

    void Reset() {
        library.Free();
        table = Table{};
        present = false;
        attempted = false;
    }
};

struct LinkState {
    std::recursive_mutex mutex;
    LinkSlot<MmscLinkTable> mmsc{"MMSCLNK.DLL"};
    LinkSlot<SmppLinkTable> smpp{"SMPPLNK.DLL"};
    LinkSlot<UcpLinkTable> ucp{"UCPLNK.DLL"};
    LinkSlot<CimdLinkTable> cimd{"CIMDLNK.DLL"};
    LinkSlot<WapLinkTable> wap{"WAPLNK.DLL"};
    LinkSlot<TlsLinkTable> tls{"TLSLNK.DLL"};
    bool startedUp = false;
    std::atomic<bool> tlsAvailable{false};
    std::atomic<bool> serverCertificatePresent{false};
};

LinkState& State() {
    static LinkState state;
    return state;
}

}  // namespace

void LoadLinkLibraries() {
    LinkState& s = State();
    std::lock_guard<std::recursive_mutex> lock(s.mutex);
    if (s.startedUp) return;
    s.startedUp = true;
    s.mmsc.LoadOnce();
    s.smpp.LoadOnce();
    s.ucp.LoadOnce();
    s.cimd.LoadOnce();
    const TlsLinkTable* tls = TlsLink();

    if (const SmppLinkTable* smpp = s.smpp.Get()) smpp->SMPPSetDebugMode(1);
    if (const CimdLinkTable* cimd = s.cimd.Get()) cimd->CIMDSetDebugMode(1);
    if (tls && tls->sslInitLib() != 0) {
        s.tlsAvailable = true;
        if (tls->sslServerCertExists() != 0) s.serverCertificatePresent = true;
    }
}

void FreeLinkLibraries() {
    LinkState& s = State();
    std::lock_guard<std::recursive_mutex> lock(s.mutex);
    if (s.tlsAvailable) {
        if (const TlsLinkTable* tls = s.tls.Get()) tls->sslTermLib();
    }
    s.mmsc.Reset();
    s.smpp.Reset();
    s.ucp.Reset();
    s.cimd.Reset();
    s.wap.Reset();
    s.tls.Reset();
    s.startedUp = false;
    s.tlsAvailable = false;
    s.serverCertificatePresent = false;
}

const SmppLinkTable* SmppLink() {
    std::lock_guard<std::recursive_mutex> lock(State().mutex);
    return State().smpp.Get();
}

const UcpLinkTable* UcpLink() {
    std::lock_guard<std::recursive_mutex> lock(State().mutex);
    return State().ucp.Get();
}

const CimdLinkTable* CimdLink() {
    std::lock_guard<std::recursive_mutex> lock(State().mutex);
    return State().cimd.Get();
}

const MmscLinkTable* MmscLink() {
    std::lock_guard<std::recursive_mutex> lock(State().mutex);
    return State().mmsc.Get();
}

const WapLinkTable* WapLink() {
    std::lock_guard<std::recursive_mutex> lock(State().mutex);
    State().wap.LoadOnce();
    return State().wap.Get();
}

const TlsLinkTable* TlsLink() {
    std::lock_guard<std::recursive_mutex> lock(State().mutex);
    State().tls.LoadOnce();
    return State().tls.Get();
}

bool TlsAvailable() { return State().tlsAvailable; }

bool ServerCertificatePresent() { return State().serverCertificatePresent; }

void SetServerCertificatePresent(bool present) { State().serverCertificatePresent = present; }

MmscServiceState QueryMmscService() {
    MmscServiceState state;
    platform::DynamicLibrary library;
    if (!library.Load("MMSCLNK.DLL")) return state;
    MMSCServiceQueryFn installed = nullptr;
    decltype(&::IsMMSCServiceActive) active = nullptr;
    if (!Bind(library, "IsMMSCServiceInstalled", installed) ||
        !Bind(library, "IsMMSCServiceActive", active)) {
        return state;
    }
    state.available = true;
    state.installed = installed() != 0;
    state.active = active() != 0;
    return state;
}

int CallMmscServiceQuery(const char* functionName) {
    platform::DynamicLibrary library;
    MMSCServiceQueryFn query = nullptr;
    if (!library.Load("MMSCLNK.DLL") || !Bind(library, functionName, query)) return -1;
    return query() != 0 ? 1 : 0;
}

int CallMmscServiceCommand(const char* functionName, int noElevation,
                           const char* const* requiredAlongside) {
    platform::DynamicLibrary library;
    MMSCServiceCommandFn command = nullptr;
    if (!library.Load("MMSCLNK.DLL") || !Bind(library, functionName, command)) return -1;
    for (const char* const* name = requiredAlongside; name && *name; ++name) {
        if (!library.Symbol(*name)) return -1;
    }
    return command(noElevation) != 0 ? 1 : 0;
}

}  // namespace shell
