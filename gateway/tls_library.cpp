#include "gateway/tls_library.h"

#include <mutex>

#include "platform/dynlib.h"
#include "platform/files.h"
#include "server/server_certificate.h"

namespace gateway {

namespace {

decltype(&::sslSetServerKeyPassword) setServerKeyPassword = nullptr;

}  // namespace

const shell::TlsLinkTable* ServiceTlsLibrary() {
    static std::once_flag once;
    static platform::DynamicLibrary library;
    static shell::TlsLinkTable table;
    static bool ready = false;
    std::call_once(once, [] {
        if (!library.LoadPath(platform::ExecutableDirectory() + platform::SharedLibraryFileName("TLSLNK.DLL"))) return;
        table.sslInitSession = library.Function<decltype(&::sslInitSession)>("sslInitSession");
        table.sslFreeSession = library.Function<decltype(&::sslFreeSession)>("sslFreeSession");
        table.sslSend = library.Function<decltype(&::sslSend)>("sslSend");
        table.sslRecv = library.Function<decltype(&::sslRecv)>("sslRecv");
        table.sslDataPending = library.Function<decltype(&::sslDataPending)>("sslDataPending");
        table.sslInitLib = library.Function<decltype(&::sslInitLib)>("sslInitLib");
        table.sslPeerVerified = library.Function<decltype(&::sslPeerVerified)>("sslPeerVerified");
        table.sslPeerFingerprint = library.Function<decltype(&::sslPeerFingerprint)>("sslPeerFingerprint");
        table.sslAcceptSessionApp = library.Function<decltype(&::sslAcceptSessionApp)>("sslAcceptSessionApp");
        table.sslServerCertExists = library.Function<decltype(&::sslServerCertExists)>("sslServerCertExists");
        setServerKeyPassword = library.Function<decltype(&::sslSetServerKeyPassword)>("sslSetServerKeyPassword");
        ready = table.sslInitSession && table.sslFreeSession && table.sslSend && table.sslRecv &&
                table.sslDataPending && table.sslInitLib && table.sslInitLib() != 0;
    });
    return ready ? &table : nullptr;
}

bool ServerCertificateReady() {
    const shell::TlsLinkTable* tls = ServiceTlsLibrary();
    if (tls == nullptr || tls->sslAcceptSessionApp == nullptr || tls->sslServerCertExists == nullptr ||
        tls->sslServerCertExists() == 0)
        return false;
    // The key is encrypted with the challenge password kept (scrambled) in SSL.INI.
    if (setServerKeyPassword != nullptr) setServerKeyPassword(server::ReadCertificateFields().password.c_str());
    return true;
}

}  // namespace gateway
