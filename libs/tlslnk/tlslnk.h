/* TLSLNK.DLL, built as libtlslnk.so: TLS sessions over sockets the caller connected,
 * and the gateway's server certificate. The console loads it at run time and calls it
 * only while it reported itself ready (sslInitLib). This header is the library's
 * interface, included by the library itself, by the console's loader (which takes its
 * function types from these declarations) and by test libraries, so a signature that
 * drifts is a compile error in whichever of them is wrong.
 *
 * C linkage and plain C types throughout. A session is an opaque pointer owned by the
 * library, null for "no session"; the socket stays the caller's, who closes it after
 * sslFreeSession. Texts are NUL-terminated UTF-8. A C++ source of the library defines
 * each function with extern "C", so a definition whose parameters differ from the
 * declaration below is rejected. */
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

#define TLSLNK_API __attribute__((visibility("default")))

/* Starts a client session on a connected socket; `buffer` (capacity `size`) holds the
 * server's host name on entry ("#n" suffix and IPv6 brackets allowed; the name is sent
 * as SNI unless it is an address) and, when the result is null, an error text for the
 * operator on return, which names the server certificate when one was received. An
 * untrusted certificate does not fail the session (sslPeerReport tells). On success the
 * buffer is left as it was. The handshake is bounded by the time-out of sslSetTimeout. */
TLSLNK_API void* sslInitSession(int socket, char* buffer, int size);
/* As sslInitSession for the server side of an accepted socket, with the gateway's server
 * key and certificate (the CA-signed one when it matches the key); the buffer's text on
 * entry is not used. */
TLSLNK_API void* sslAcceptSession(int socket, char* buffer, int size);
/* As sslInitSession for the gateway's application clients. */
TLSLNK_API void* sslInitSessionApp(int socket, char* buffer, int size);
/* As sslAcceptSession for the gateway's application servers. */
TLSLNK_API void* sslAcceptSessionApp(int socket, char* buffer, int size);
/* As sslInitSession for the network-modem cloud connection. */
TLSLNK_API void* sslInitSessionCloud(int socket, char* buffer, int size);
/* As sslAcceptSession for the network-modem cloud connection. */
TLSLNK_API void* sslAcceptSessionCloud(int socket, char* buffer, int size);

/* Sends close_notify (waiting at most a short bound for the socket to take it, never for
 * the peer's answer) and frees the session; the caller closes the socket afterwards.
 * A null session is ignored. */
TLSLNK_API void sslFreeSession(void* session);

/* Sends `length` bytes and returns the number sent (`length`), or -1 when the session
 * failed or the socket took nothing within the time-out; the send succeeded when the
 * result is at least `length`. */
TLSLNK_API int sslSend(void* session, const char* data, int length);

/* Receives at most `capacity` bytes and returns the number received, 0 when the peer
 * ended the session with close_notify, or -1 on error, on a close without close_notify,
 * or when no data came within the time-out. Returns what is already decrypted at once;
 * otherwise waits (bounded, cancellable) for the next record. */
TLSLNK_API int sslRecv(void* session, char* buffer, int capacity);

/* Returns the number of decrypted bytes already waiting (0 when none, -1 on error), which
 * a reader checks before waiting on the socket, since they do not make it readable. */
TLSLNK_API int sslDataPending(void* session);

/* Prepares the library for sessions and returns non-zero when it is ready. */
TLSLNK_API int sslInitLib(void);

/* Releases what sslInitLib prepared; called once at the end when it had succeeded. */
TLSLNK_API void sslTermLib(void);

/* Returns non-zero when the gateway's server certificate is present. */
TLSLNK_API int sslServerCertExists(void);

/* Returns non-zero when a CA-signed server certificate is present. */
TLSLNK_API int sslSignedCertExists(void);

/* Creates the server key ("SSL.KEY", RSA 2048, mode 0600, encrypted with `password`
 * when it is not empty), a self-signed certificate ("SSL.CRT", the host name as subject
 * alternative name) and a certificate sign request ("SSL.CSR", with `password` as its
 * challenge password) in the program data directory, replacing earlier ones only when
 * all three were made. Empty fields other than host are left out of the subject.
 * Returns non-zero on success; on failure the earlier files stay and sslLastError tells
 * why. Callers may ignore the result. */
TLSLNK_API int sslGenerateCertificate(const char* country, const char* state, const char* city,
                                      const char* company, const char* department,
                                      const char* host, const char* email,
                                      const char* password);

/* ---- optional functions (callers look each one up before use) ---------------------- */

/* Sets the bound, in milliseconds, of every handshake and every wait for a record or for
 * the socket to take data, for all sessions of the process (default 30000; 0 or less
 * restores the default). */
TLSLNK_API void sslSetTimeout(int milliseconds);

/* Writes what is known of the peer's certificate into `buffer` (capacity `size`):
 * subject, issuer, expiry and the verification result ("Verification: OK", or each
 * problem such as an untrusted issuer or a host name mismatch), lines separated by
 * CR LF. Returns the length written, or 0 when there is no session or no certificate. */
TLSLNK_API int sslPeerReport(void* session, char* buffer, int size);

/* Returns 1 when the peer's certificate verified against the trust store (OpenSSL's
 * default paths, so SSL_CERT_FILE and SSL_CERT_DIR count) and names the host or address
 * the client session was started with; 0 otherwise, also for a session started without a
 * name, a server session or none. `buffer` (capacity `size`) receives the verification
 * result as sslPeerReport words it ("OK", or each problem). */
TLSLNK_API int sslPeerVerified(void* session, char* buffer, int size);

/* Writes the SHA-256 fingerprint of the peer's certificate as upper-case hex pairs joined
 * by ":" and returns its length; 0 when there is no session or no certificate. */
TLSLNK_API int sslPeerFingerprint(void* session, char* buffer, int size);

/* Writes why the last failed call of the calling thread failed (on `session` when not
 * null, else the thread's last session start or certificate generation) and returns its
 * length; 0 when nothing failed. */
TLSLNK_API int sslLastError(void* session, char* buffer, int size);

/* Gives the password of an encrypted server key for later sslAcceptSession* calls
 * (null or empty: the key is not encrypted). */
TLSLNK_API void sslSetServerKeyPassword(const char* password);

#ifdef __cplusplus
}
#endif
