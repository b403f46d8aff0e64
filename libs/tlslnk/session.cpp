// Starting client and server sessions: every handshake step waits in poll with a bound,
// so a silent peer, a plain-text peer or one that hangs up ends with a text, never a hang.
#include <openssl/err.h>

#include <cerrno>
#include <cstring>

#include "platform/io_wait.h"
#include "tlslnk/tls_internal.h"
#include "tlslnk/tlslnk.h"

namespace tlslnk {
namespace {

const char* PeerWord(const Session& s) { return s.server ? "client" : "server"; }

std::string DurationText(std::uint64_t ms) {
    if (ms % 1000 == 0) return std::to_string(ms / 1000) + " seconds";
    return std::to_string(ms) + " milliseconds";
}

bool NotTls(int reason) {
    return reason == SSL_R_WRONG_VERSION_NUMBER || reason == SSL_R_PACKET_LENGTH_TOO_LONG ||
           reason == SSL_R_HTTP_REQUEST || reason == SSL_R_UNKNOWN_PROTOCOL ||
           reason == SSL_R_RECORD_LENGTH_MISMATCH || reason == SSL_R_HTTPS_PROXY_REQUEST;
}

std::string ClosedText(const Session& s, const char* what) {
    return std::string("The ") + PeerWord(s) + " closed the connection during " + what;
}

// Text for SSL_ERROR_SSL, from the first queued OpenSSL error.
std::string ProtocolFailureText(const Session& s, const char* what) {
    const unsigned long code = ERR_peek_error();
    const int reason = ERR_GET_REASON(code);
    const std::string detail = TakeOpenSslError();
    if (reason == SSL_R_UNEXPECTED_EOF_WHILE_READING) return ClosedText(s, what);
    if (NotTls(reason)) {
        return std::string("The ") + PeerWord(s) + " did not answer with TLS (" + detail +
               "); the port may be a plain-text one";
    }
    if (reason >= SSL_AD_REASON_OFFSET) {
        return std::string("The ") + PeerWord(s) + " refused the TLS session (" + detail + ")";
    }
    return std::string("TLS failure during ") + what + " (" + (detail.empty() ? "unknown" : detail) +
           ")";
}

}  // namespace

Step AwaitStep(Session& s, int rc, std::uint64_t deadline, const char* what) {
    const int savedErrno = errno;
    const int error = SSL_get_error(s.ssl.get(), rc);
    if (error == SSL_ERROR_NONE) return Step::Done;
    if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) {
        const std::uint64_t now = platform::SteadyMillis();
        const auto event = error == SSL_ERROR_WANT_READ ? platform::IoEvent::Readable
                                                        : platform::IoEvent::Writable;
        const platform::WaitStatus wait =
            now < deadline ? platform::WaitForIo(s.socket, event, deadline - now)
                           : platform::WaitStatus::TimedOut;
        if (wait == platform::WaitStatus::Ready) return Step::Retry;
        if (wait == platform::WaitStatus::TimedOut) {
            s.lastError = std::string("No answer from the ") + PeerWord(s) + " within " +
                          DurationText(TimeoutMs()) + " during " + what;
        } else if (wait == platform::WaitStatus::Cancelled) {
            s.lastError = std::string("Cancelled during ") + what;
        } else {
            s.lastError = "The socket is not open";
        }
        return Step::Failed;
    }
    s.failed = true;
    if (error == SSL_ERROR_ZERO_RETURN) {
        s.lastError = std::string("The ") + PeerWord(s) + " ended the TLS session";
    } else if (error == SSL_ERROR_SYSCALL) {
        ERR_clear_error();
        if (savedErrno == ECONNRESET || savedErrno == EPIPE) {
            // A peer that hangs up with our data unread resets the connection.
            s.lastError = ClosedText(s, what) + " (" + std::strerror(savedErrno) + ")";
        } else if (savedErrno != 0 && rc < 0) {
            s.lastError = std::string("Socket error during ") + what + ": " + std::strerror(savedErrno);
        } else {
            s.lastError = ClosedText(s, what);
        }
    } else {
        s.lastError = ProtocolFailureText(s, what);
    }
    return Step::Failed;
}

namespace {

bool PrepareClient(Session& s, const char* buffer, int size) {
    const PeerName peer = ParsePeerName(buffer, size);
    s.peerName = peer.name;
    if (peer.name.empty()) return true;
    SSL* ssl = s.ssl.get();
    if (peer.isAddress) {
        // Addresses are checked against the certificate but never sent as SNI.
        return X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl), peer.name.c_str()) == 1;
    }
    return SSL_set_tlsext_host_name(ssl, peer.name.c_str()) == 1 &&
           SSL_set1_host(ssl, peer.name.c_str()) == 1;
}

// Makes the SSL object of a new session; false with `error` set when it cannot.
bool Prepare(Session& s, char* buffer, int size, std::string& error) {
    SslCtxPtr serverCtx;
    SSL_CTX* ctx = nullptr;
    if (s.server) {
        serverCtx = ServerContext(error);
        ctx = serverCtx.get();
    } else {
        ctx = ClientContext();
        if (ctx == nullptr) error = "TLS is not available: " + TakeOpenSslError();
    }
    if (ctx == nullptr) return false;
    s.ssl.reset(SSL_new(ctx));
    BIO* bio = s.ssl ? NewSocketBio(s.socket) : nullptr;
    if (bio == nullptr) {
        error = "Unable to create the TLS session: " + TakeOpenSslError();
        return false;
    }
    SSL_set_bio(s.ssl.get(), bio, bio);
    if (s.server) return true;
    InstallVerifyRecorder(s.ssl.get(), &s);
    if (!PrepareClient(s, buffer, size)) {
        error = "The host name \"" + s.peerName + "\" cannot be used for TLS";
        return false;
    }
    return true;
}

void* StartSession(int socket, char* buffer, int size, bool server) {
    auto session = std::make_unique<Session>();
    session->socket = socket;
    session->server = server;
    std::string error;
    ERR_clear_error();
    if (socket < 0) {
        error = "The socket is not open";
    } else if (Prepare(*session, buffer, size, error)) {
        const std::uint64_t deadline = platform::SteadyMillis() + TimeoutMs();
        for (;;) {
            SSL* ssl = session->ssl.get();
            const int rc = server ? SSL_accept(ssl) : SSL_connect(ssl);
            const Step step = AwaitStep(*session, rc, deadline, "the TLS handshake");
            if (step == Step::Done) {
                ThreadLastError().clear();
                return session.release();
            }
            if (step == Step::Failed) break;
        }
        error = session->lastError;
        const std::string report = PeerReport(*session);
        if (!report.empty()) error += "\r\n\r\n" + report;
    }
    ThreadLastError() = error;
    CopyOut(error, buffer, size);
    return nullptr;
}

}  // namespace
}  // namespace tlslnk

using tlslnk::StartSession;

extern "C" {

void* sslInitSession(int socket, char* buffer, int size) { return StartSession(socket, buffer, size, false); }
void* sslAcceptSession(int socket, char* buffer, int size) { return StartSession(socket, buffer, size, true); }
// The application and cloud connections need nothing the console's own do not: the same
// trust rules and reports, one implementation.
void* sslInitSessionApp(int socket, char* buffer, int size) { return StartSession(socket, buffer, size, false); }
void* sslAcceptSessionApp(int socket, char* buffer, int size) { return StartSession(socket, buffer, size, true); }
void* sslInitSessionCloud(int socket, char* buffer, int size) { return StartSession(socket, buffer, size, false); }
void* sslAcceptSessionCloud(int socket, char* buffer, int size) { return StartSession(socket, buffer, size, true); }

}  // extern "C"
