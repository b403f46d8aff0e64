/* WAPLNK.DLL, built as libwaplnk.so: dial-up connections, WSP requests through a WAP
 * gateway, and the hand-over of a modem between the Gateway service and the console.
 * The console loads it on first use. This header is the library's interface, included
 * by the library itself, by the console's loader (which takes its function types from
 * these declarations) and by test libraries, so a signature that drifts is a compile
 * error in whichever of them is wrong.
 *
 * C linkage and plain C types throughout. Texts are NUL-terminated UTF-8. An output
 * buffer comes with its capacity and is NUL-terminated by the library when the capacity
 * is at least 1. The last five functions are optional: a library without them still
 * counts as present, and callers test each before calling it. A C++ source of the
 * library defines each function with extern "C", so a definition whose parameters
 * differ from the declaration below is rejected. */
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define WAPLNK_API __attribute__((visibility("default")))

/* The callback RasLoadListOrComboBox calls once per entry, with the caller's context
 * and control handed back unchanged. */
typedef void (*RasAddItemFn)(void* context, int control, const char* text);

/* Dials the network connection `entry` and reaches `target` (the MMS proxy, else the
 * MMS server URL); returns 0 when connected and reached, 1 when the WAP gateway could
 * not be reached, else an error code (600-799 are dial-up error numbers). */
WAPLNK_API int WSPRasDial(const char* entry, const char* apn, const char* login,
                          const char* password, const char* target);

/* Ends the connection WSPRasDial made for `entry`; the result is not examined. */
WAPLNK_API int WSPRasHangUp(const char* entry);

/* Opens a WSP session with a WAP gateway ("host" or "host:port"); null on failure. */
WAPLNK_API void* WSPConnect(const char* gateway);

/* Ends a session of WSPConnect and frees it. */
WAPLNK_API void WSPDisconnect(void* session);

/* Makes one request (method "GET" or "POST"; body may be null with bodyLength 0),
 * writes the response body into `response` and returns its length, or -1 on failure. */
WAPLNK_API int WSPRequest(void* session, const char* method, const char* url,
                          const char* contentType, const unsigned char* body, int bodyLength,
                          unsigned char* response, int responseCapacity);

/* Asks the Gateway service to hand the modem over, waiting at most timeoutSeconds, puts
 * the port the modem is on into *value and returns a non-zero allocation, or 0 when the
 * modem stays in use. */
WAPLNK_API intptr_t ModemAllocate(const char* modemName, int timeoutSeconds, int* value);

/* Returns non-zero while the Gateway service wants the allocated modem back. */
WAPLNK_API int ModemRequested(intptr_t allocation);

/* Gives the modem back to the Gateway service; 0 (no allocation) is accepted and ignored. */
WAPLNK_API void ModemRelease(intptr_t allocation);

/* Calls addItem once per dial-up connection and once per "Modem: <name>" entry, for the
 * list or combo box `control` of `context`; the result is not examined. */
WAPLNK_API int RasLoadListOrComboBox(void* context, int control, RasAddItemFn addItem);

/* Writes the stored login and password of `entry` (either may come back empty) and
 * returns non-zero when the entry was found. */
WAPLNK_API int RasGetUserAndPassword(const char* entry, char* login, int loginSize,
                                     char* password, int passwordSize);

/* Writes the name of the modem `entry` dials through (empty when none) and returns
 * non-zero when the entry was found. */
WAPLNK_API int RasGetModemName(const char* entry, char* modemName, int size);

/* Optional: returns the modem's PDP context number for the APN in the low 16 bits,
 * defining the context when missing if define is 1, or 0 when there is none or no
 * answer. */
WAPLNK_API int ModemGetCIDForAPN(const char* modemName, const char* apn, int define);

/* Optional: returns non-zero when the modem driver's initialisation strings were updated
 * to define the context for the APN. */
WAPLNK_API int ModemDriverUpdateInitStrings(const char* modemName, const char* apn);

/* Optional: writes the system's text for a dial-up error code into buffer and returns
 * the length written. */
WAPLNK_API int WSPRasGetErrorString(int code, char* buffer, int size);

/* Optional: resets the modem and returns non-zero on success. */
WAPLNK_API int ModemReset(const char* modemName);

/* Optional: returns non-zero when the system service the library dials through is there
 * to answer. A library that exports it and returns 0 is freed by the loader and counts as
 * absent, like one missing a required function. */
WAPLNK_API int WAPLinkAvailable(void);

#ifdef __cplusplus
}
#endif
