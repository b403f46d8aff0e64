// Library-wide state: the client context, the time-out, the server key password and the
// per-thread failure text, plus the text helpers every file uses.
#include <openssl/err.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>

#include "tlslnk/tls_internal.h"
#include "tlslnk/tlslnk.h"

namespace tlslnk {
namespace {

constexpr std::uint64_t kDefaultTimeoutMs = 30000;

std::atomic<std::uint64_t> g_timeoutMs{kDefaultTimeoutMs};

struct LibraryState {
    std::mutex mutex;
    SslCtxPtr client;
    std::string keyPassword;
};

LibraryState& State() {
    static LibraryState state;
    return state;
}

SslCtxPtr MakeClientContext() {
    SslCtxPtr ctx(SSL_CTX_new(TLS_client_method()));
    if (!ctx) return ctx;
    // The system's trust store decides "trusted"; an SMSC's private authority is not in
    // it, which the report shows without failing the session.
    SSL_CTX_set_default_verify_paths(ctx.get());
    SSL_CTX_set_min_proto_version(ctx.get(), TLS1_2_VERSION);
    SSL_CTX_set_mode(ctx.get(), SSL_MODE_AUTO_RETRY);
    return ctx;
}

}  // namespace

std::uint64_t TimeoutMs() { return g_timeoutMs.load(); }

SSL_CTX* ClientContext() {
    LibraryState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!s.client) s.client = MakeClientContext();
    return s.client.get();
}

std::string ServerKeyPassword() {
    LibraryState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.keyPassword;
}

std::string& ThreadLastError() {
    thread_local std::string text;
    return text;
}

int CopyOut(const std::string& text, char* buffer, int size) {
    if (buffer == nullptr || size <= 0) return 0;
    std::size_t n = std::min(text.size(), static_cast<std::size_t>(size - 1));
    // Never end on half a UTF-8 character: back up over continuation bytes.
    if (n < text.size()) {
        while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
    }
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
    return static_cast<int>(n);
}

std::string TakeOpenSslError() {
    unsigned long code = ERR_get_error();
    std::string text;
    if (code != 0) {
        const char* reason = ERR_reason_error_string(code);
        if (reason != nullptr) {
            text = reason;
        } else {
            char raw[256];
            ERR_error_string_n(code, raw, sizeof raw);
            text = raw;
        }
    }
    ERR_clear_error();
    return text;
}

}  // namespace tlslnk

using namespace tlslnk;

extern "C" {

int sslInitLib(void) {
    if (OPENSSL_init_ssl(OPENSSL_INIT_LOAD_SSL_STRINGS | OPENSSL_INIT_LOAD_CRYPTO_STRINGS,
                         nullptr) != 1) {
        return 0;
    }
    return ClientContext() != nullptr ? 1 : 0;
}

void sslTermLib(void) {
    LibraryState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    // Sessions still open keep their own reference to the context.
    s.client.reset();
}

void sslSetTimeout(int milliseconds) {
    g_timeoutMs = milliseconds > 0 ? static_cast<std::uint64_t>(milliseconds) : kDefaultTimeoutMs;
}

void sslSetServerKeyPassword(const char* password) {
    LibraryState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.keyPassword = password != nullptr ? password : "";
}

int sslLastError(void* session, char* buffer, int size) {
    const std::string& text =
        session != nullptr ? static_cast<Session*>(session)->lastError : ThreadLastError();
    return CopyOut(text, buffer, size);
}

}  // extern "C"
