/* Functions libsmpplnk.so exports beyond the table the console binds: the gateway's
 * keep-alive and the time-outs a caller (the gateway, the tests, the benchmark) may
 * tune. The console never looks them up. Same conventions as smpplnk.h. */
#pragma once

#include "smpplnk/smpplnk.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Sets the connect time-out and the time-out for a whole request/response exchange, in
 * milliseconds (defaults 15000 and 30000; 0 or less restores the default). */
SMPPLNK_API void SMPPSetTimeouts(int connectMs, int replyMs);

/* Sends enquire_link on a bound session and waits for its response: 0 when the SMSC
 * answered, else an error code for SMPPErrorText. */
SMPPLNK_API int SMPPEnquireLink(int socket, void* tlsSession, int reserved, int version);

#ifdef __cplusplus
}
#endif
