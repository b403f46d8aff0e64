/* CIMDLNK.DLL, built as libcimdlnk.so: the CIMD2 client link the console loads at run
 * time for its connection test. This header is the library's interface, included by
 * the library itself, by the console's loader (which takes its function types from
 * these declarations) and by test libraries, so a signature that drifts is a compile
 * error in whichever of them is wrong.
 *
 * C linkage and plain C types throughout. Texts are NUL-terminated UTF-8; the socket is
 * a connected stream descriptor owned by the caller. An output buffer comes with its
 * capacity and is NUL-terminated by the library when the capacity is at least 1. A C++
 * source of the library defines each function with extern "C", so a definition whose
 * parameters differ from the declaration below is rejected. Note the order: the
 * reserved text comes before the socket here, unlike the SMPP and UCP links. */
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

#define CIMDLNK_API __attribute__((visibility("default")))

/* Turns the library's protocol trace on (on = 1) or off (0); the result is not examined. */
CIMDLNK_API int CIMDSetDebugMode(int on);

/* Connects `socket` to host:port (`reserved` is an empty text; a "#n" suffix on the
 * host is stripped), each attempt bounded by the time-out, and returns 0 when connected,
 * else an errno value (EINVAL for an empty host or a port outside 1..65535). */
CIMDLNK_API int CIMDConnect(const char* reserved, int socket, const char* host, unsigned port);

/* Logs in (`reserved` is an empty text) and returns 0 when logged in, else an error
 * code for CIMDErrorText: the SMSC's own code (1..999) of a refusal, or 1000 and above
 * for what this side found (inputs the packet cannot carry, no answer within the
 * time-out, a closed connection, an answer that fails its checks). Every wait is bounded
 * and the caller's blocking mode is kept. */
CIMDLNK_API int CIMDBind(const char* reserved, int socket, const char* user, const char* password);

/* Writes the operator's text for an error code of CIMDBind into buffer (the SMSC's own
 * words of the last refusal added) and returns the length written. */
CIMDLNK_API int CIMDErrorText(int code, char* buffer, int size);

/* Optional, not looked up by the console: logs out of the session CIMDBind opened
 * (`reserved` is an empty text) and returns 0 when the server confirmed it, else an error
 * code for CIMDErrorText. */
CIMDLNK_API int CIMDLogout(const char* reserved, int socket);

/* Optional, not looked up by the console: bounds every connect and every wait for an
 * answer to `milliseconds` (0 restores the default of 20 seconds). */
CIMDLNK_API void CIMDSetTimeout(unsigned milliseconds);

#ifdef __cplusplus
}
#endif
