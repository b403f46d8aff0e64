/* SMPPLNK.DLL, built as libsmpplnk.so: the SMPP client link the console loads at run
 * time for its connection test. This header is the library's interface, included by
 * the library itself, by the console's loader (which takes its function types from
 * these declarations) and by test libraries, so a signature that drifts is a compile
 * error in whichever of them is wrong.
 *
 * C linkage and plain C types throughout. Texts are NUL-terminated UTF-8; the socket is
 * a connected stream descriptor owned by the caller; the TLS session comes from
 * TLSLNK.DLL and is null for "no session". An output buffer comes with its capacity and
 * is NUL-terminated by the library when the capacity is at least 1. A C++ source of the
 * library defines each function with extern "C", so a definition whose parameters
 * differ from the declaration below is rejected rather than silently overloaded. */
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

#define SMPPLNK_API __attribute__((visibility("default")))

/* Turns the library's protocol trace on (on = 1) or off (0); the result is not examined. */
SMPPLNK_API int SMPPSetDebugMode(int on);

/* Connects `socket` to host:port (`reserved` is 0; a "#n" suffix on the host, which
 * marks a duplicate connection name, is stripped) and returns 0 when connected. */
SMPPLNK_API int SMPPConnect(int socket, int reserved, const char* host, unsigned port);

/* Binds over the connected socket, through `tlsSession` when not null (`reserved` is 0,
 * version 0x33 or 0x34, bindType 1 receiver, 2 transmitter or 9 transceiver, address
 * range and bind TON/NPI from section "SMPP" of ZELLA.INI) and returns 0 when bound,
 * else an error code for SMPPErrorText. */
SMPPLNK_API int SMPPBind(int socket, void* tlsSession, int reserved, int version, int bindType,
                         const char* systemId, const char* password, const char* systemType);

/* Submits `length` octets of `message` with SMPP data_coding `dataCoding` on a bound
 * session, writes the SMSC's message id into messageId and returns 0 when accepted,
 * else an error code for SMPPErrorText (required of the library, never called by the
 * console). */
SMPPLNK_API int SMPPSubmitMessage(int socket, void* tlsSession, int reserved, int version,
                                  const char* source, const char* destination, int dataCoding,
                                  const unsigned char* message, int length, char* messageId,
                                  int messageIdSize);

/* Unbinds the session (`reserved` is 0); the result is not examined. */
SMPPLNK_API int SMPPUnbind(int socket, void* tlsSession, int reserved, int version);

/* Writes the operator's text for an error code of SMPPBind or SMPPSubmitMessage into
 * buffer and returns the length written. */
SMPPLNK_API int SMPPErrorText(int code, char* buffer, int size);

#ifdef __cplusplus
}
#endif
