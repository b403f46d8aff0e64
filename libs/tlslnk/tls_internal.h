// Pieces shared by the files of the TLS link library; not part of its interface.
#pragma once

#include <openssl/ssl.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tlslnk {

struct SslDeleter {
    void operator()(SSL* ssl) const { SSL_free(ssl); }
    void operator()(SSL_CTX* ctx) const { SSL_CTX_free(ctx); }
    void operator()(X509* x) const { X509_free(x); }
    void operator()(EVP_PKEY* k) const { EVP_PKEY_free(k); }
    void operator()(BIO* b) const { BIO_free_all(b); }
};
using SslPtr = std::unique_ptr<SSL, SslDeleter>;
using SslCtxPtr = std::unique_ptr<SSL_CTX, SslDeleter>;
using X509Ptr = std::unique_ptr<X509, SslDeleter>;
using PkeyPtr = std::unique_ptr<EVP_PKEY, SslDeleter>;

// One TLS session over a socket the caller owns.
struct Session {
    int socket = -1;
    bool server = false;
    bool failed = false;          // a fatal error ended the session; no close_notify then
    SslPtr ssl;
    std::string peerName;         // the host name checked, for the report
    std::vector<int> verifyErrors;  // every certificate problem seen, in order
    std::string lastError;
};

// ---- library state (library.cpp) ------------------------------------------------------
// Bound of one handshake or one wait, in milliseconds.
std::uint64_t TimeoutMs();
// The client context, made on first use; null when OpenSSL could not make one.
SSL_CTX* ClientContext();
// The server context over the current key and certificate files (reloaded when they
// changed); null with `error` set when there is none or it cannot be loaded.
SslCtxPtr ServerContext(std::string& error);
// The key password given by sslSetServerKeyPassword.
std::string ServerKeyPassword();
// The calling thread's last failure text.
std::string& ThreadLastError();

// ---- text helpers (library.cpp) ----------------------------------------------------------
// Copies `text` into the caller's buffer of `size` bytes, cut at a UTF-8 character
// boundary, always NUL-terminated when size >= 1. Returns the length written.
int CopyOut(const std::string& text, char* buffer, int size);
// The reason text of OpenSSL's earliest queued error (and clears the queue); empty when
// none.
std::string TakeOpenSslError();

// ---- host text (host_text.cpp) ----------------------------------------------------------
struct PeerName {
    std::string name;       // the host without "#n", brackets or port
    bool isAddress = false; // an IPv4 or IPv6 literal: checked as an address, no SNI
};
// Reads at most `size` bytes of the caller's host text.
PeerName ParsePeerName(const char* buffer, int size);

// ---- socket BIO (socket_bio.cpp) ----------------------------------------------------------
// A BIO over the caller's blocking socket that never blocks (recv/send with MSG_DONTWAIT)
// and never raises SIGPIPE, so the session can bound every wait with poll.
BIO* NewSocketBio(int socket);

// ---- waits (session.cpp) --------------------------------------------------------------------
enum class Step { Done, Retry, Failed };
// After an SSL call returned `rc`: waits for what OpenSSL wants (readable or writable)
// until `deadline` (steady milliseconds). Done when the call succeeded, Retry when the
// call should be repeated, Failed with `session.lastError` set otherwise. `what` names
// the operation in the texts ("the TLS handshake", "data").
Step AwaitStep(Session& session, int rc, std::uint64_t deadline, const char* what);

// ---- peer report (peer_report.cpp) ----------------------------------------------------------
// Installs the verification callback that records problems without failing the session.
void InstallVerifyRecorder(SSL* ssl, Session* session);
// Subject, issuer, expiry and verification lines of the peer certificate; empty when the
// peer sent none.
std::string PeerReport(const Session& session);
// The verification result of a client session: "OK", "OK (host name not checked)", or
// each problem seen.
std::string VerificationResult(const Session& session);

// ---- files (server_files.cpp) -----------------------------------------------------------------
std::string KeyPath();
std::string CertificatePath();
std::string RequestPath();
std::string SignedCertificatePath();
// Writes `content` into a new, uniquely named file beside `path` (O_CREAT|O_EXCL|
// O_NOFOLLOW with `mode`, flushed to disk) and returns that file's path, for a rename
// over `path` once every file of a set is staged; empty with `error` set on failure.
std::string StageFile(const std::string& path, const std::string& content, unsigned mode,
                      std::string& error);

}  // namespace tlslnk
