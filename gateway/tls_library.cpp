#include "gateway/tls_library.h"

#include <mutex>

#include "accounts/scramble.h"
#include "acctdb/acctdb.h"
#include "platform/dynlib.h"
#include "platform/ini.h"
#include "platform/files.h"

namespace gateway {

namespace {

decltype(&::sslSetServerKeyPassword) g_setKeyPassword = nullptr;

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
        g_setKeyPassword = library.Function<decltype(&::sslSetServerKeyPassword)>("sslSetServerKeyPassword");
        ready = table.sslInitSession && table.sslFreeSession && table.sslSend && table.sslRecv &&
                table.sslDataPending && table.sslInitLib && table.sslInitLib() != 0;
    });
    return ready ? &table : nullptr;
}

const shell::TlsLinkTable* ServiceTlsServer() {
    const shell::TlsLinkTable* tls = ServiceTlsLibrary();
    if (!tls || !tls->sslAcceptSessionApp || !tls->sslServerCertExists || tls->sslServerCertExists() == 0)
        return nullptr;
    static std::once_flag once;
    std::call_once(once, [] {
        // The key is encrypted with the password the certificate page stored, scrambled
        // with the host name.
        const std::string ini = acctdb::GetPrivateDataDirectory() + "SSL.INI";
        const std::string host = platform::GetPrivateProfileString(ini, "SSL", "Host", "");
        const std::string scrambled = platform::GetPrivateProfileString(ini, "SSL", "Password", "");
        const std::string password = accounts::UnscrambleText(host, scrambled);
        if (g_setKeyPassword && !password.empty()) g_setKeyPassword(password.c_str());
    });
    return tls;
}

}  // namespace gateway
