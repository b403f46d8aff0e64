// Data over an established session, and its end.
#include <openssl/err.h>

#include <algorithm>
#include <memory>

#include "platform/io_wait.h"
#include "tlslnk/tls_internal.h"
#include "tlslnk/tlslnk.h"

namespace tlslnk {
namespace {

// close_notify is one short record: a socket that cannot take it within this bound
// belongs to a peer that stopped reading, and the session is freed without it.
constexpr std::uint64_t kCloseBoundMs = 2000;

Session* AsSession(void* handle) { return static_cast<Session*>(handle); }

}  // namespace
}  // namespace tlslnk

using namespace tlslnk;

extern "C" {

int sslSend(void* handle, const char* data, int length) {
    Session* s = AsSession(handle);
    if (s == nullptr || s->failed || data == nullptr || length < 0) return -1;
    if (length == 0) return 0;
    ERR_clear_error();
    const std::uint64_t deadline = platform::SteadyMillis() + TimeoutMs();
    for (;;) {
        // Without partial writes OpenSSL sends the whole buffer or nothing, and a retry
        // must pass the same buffer, which it does.
        const int rc = SSL_write(s->ssl.get(), data, length);
        const Step step = AwaitStep(*s, rc, deadline, "a send");
        if (step == Step::Done) return rc;
        if (step == Step::Failed) return -1;
    }
}

int sslRecv(void* handle, char* buffer, int capacity) {
    Session* s = AsSession(handle);
    if (s == nullptr || s->failed || buffer == nullptr || capacity <= 0) return -1;
    ERR_clear_error();
    const std::uint64_t deadline = platform::SteadyMillis() + TimeoutMs();
    for (;;) {
        const int rc = SSL_read(s->ssl.get(), buffer, capacity);
        if (rc > 0) return rc;
        if (SSL_get_error(s->ssl.get(), rc) == SSL_ERROR_ZERO_RETURN) {
            s->lastError = s->server ? "The client ended the TLS session"
                                     : "The server ended the TLS session";
            return 0;
        }
        const Step step = AwaitStep(*s, rc, deadline, "a read");
        if (step == Step::Failed) return -1;
    }
}

int sslDataPending(void* handle) {
    Session* s = AsSession(handle);
    if (s == nullptr || s->failed) return -1;
    return SSL_pending(s->ssl.get());
}

void sslFreeSession(void* handle) {
    std::unique_ptr<Session> s(AsSession(handle));
    if (!s || s->failed) return;
    // Only our close_notify is sent; the peer's answer is not awaited, as the caller
    // closes the socket next and a silent peer must not hold it up.
    SSL* ssl = s->ssl.get();
    ERR_clear_error();
    const std::uint64_t deadline =
        platform::SteadyMillis() + std::min<std::uint64_t>(TimeoutMs(), kCloseBoundMs);
    for (;;) {
        const int rc = SSL_shutdown(ssl);
        if (rc >= 0) break;  // 0: sent, the peer's not yet seen; 1: both done
        const int error = SSL_get_error(ssl, rc);
        if (error != SSL_ERROR_WANT_WRITE) break;
        const std::uint64_t now = platform::SteadyMillis();
        if (now >= deadline ||
            platform::WaitForIo(s->socket, platform::IoEvent::Writable, deadline - now) !=
                platform::WaitStatus::Ready) {
            break;
        }
    }
    ERR_clear_error();
}

}  // extern "C"
