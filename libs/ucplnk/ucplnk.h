/* UCPLNK.DLL, built as libucplnk.so: the UCP client link the console loads at run time
 * for its connection test. This header is the library's interface, included by the
 * library itself, by the console's loader (which takes its function types from these
 * declarations) and by test libraries, so a signature that drifts is a compile error in
 * whichever of them is wrong.
 *
 * C linkage and plain C types throughout. Texts are NUL-terminated UTF-8; the socket is
 * a connected stream descriptor owned by the caller. An output buffer comes with its
 * capacity and is NUL-terminated by the library when the capacity is at least 1. A C++
 * source of the library defines each function with extern "C", so a definition whose
 * parameters differ from the declaration below is rejected. */
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

#define UCPLNK_API __attribute__((visibility("default")))

/* Turns the library's protocol trace on (on = 1) or off (0); the result is not examined. */
UCPLNK_API int UCPSetDebugMode(int on);

/* Connects `socket` to host:port (`reserved` is 0; a "#n" suffix on the host is
 * stripped), each attempt bounded by the time-out, and returns 0 when connected, else an
 * errno value (EINVAL for an empty host or a port outside 1..65535). */
UCPLNK_API int UCPConnect(int socket, int reserved, const char* host, unsigned port);

/* Logs in with the session management operation (`reserved` is 0) and returns 0 when
 * logged in, else an error code for UCPErrorText: the SMSC's own code (1..99) of a
 * refusal, or 1000 and above for what this side found (inputs the frame cannot carry,
 * no answer within the time-out, a closed connection, an answer that fails its checks).
 * Every wait is bounded and the caller's blocking mode is kept. */
UCPLNK_API int UCPBind(int socket, int reserved, const char* user, const char* password);

/* Writes the operator's text for an error code of UCPBind into buffer (the SMSC's own
 * words of the last refusal added) and returns the length written. */
UCPLNK_API int UCPErrorText(int code, char* buffer, int size);

/* Optional, not looked up by the console: bounds every connect and every wait for an
 * answer to `milliseconds` (0 restores the default of 20 seconds). */
UCPLNK_API void UCPSetTimeout(unsigned milliseconds);

#ifdef __cplusplus
}
#endif
