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
 * server's host name on entry and, when the result is null, an error text for the
 * operator on return. */
TLSLNK_API void* sslInitSession(int socket, char* buffer, int size);
/* As sslInitSession for the server side of an accepted socket. */
TLSLNK_API void* sslAcceptSession(int socket, char* buffer, int size);
/* As sslInitSession for the gateway's application clients. */
TLSLNK_API void* sslInitSessionApp(int socket, char* buffer, int size);
/* As sslAcceptSession for the gateway's application servers. */
TLSLNK_API void* sslAcceptSessionApp(int socket, char* buffer, int size);
/* As sslInitSession for the network-modem cloud connection. */
TLSLNK_API void* sslInitSessionCloud(int socket, char* buffer, int size);
/* As sslAcceptSession for the network-modem cloud connection. */
TLSLNK_API void* sslAcceptSessionCloud(int socket, char* buffer, int size);

/* Ends the session and frees it; the caller closes the socket afterwards. */
TLSLNK_API void sslFreeSession(void* session);

/* Sends `length` bytes and returns the number sent; the send succeeded when the result
 * is at least `length`. */
TLSLNK_API int sslSend(void* session, const char* data, int length);

/* Receives at most `capacity` bytes and returns the number received, 0 at an orderly
 * close, or -1 on error. */
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

/* Creates the server key, a certificate and a certificate sign request from the subject
 * fields and the key password; the result is not examined. */
TLSLNK_API int sslGenerateCertificate(const char* country, const char* state, const char* city,
                                      const char* company, const char* department,
                                      const char* host, const char* email,
                                      const char* password);

#ifdef __cplusplus
}
#endif
