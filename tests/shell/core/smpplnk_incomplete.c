/* An SMPP link library that lacks SMPPErrorText, so the console must refuse it. */
#include "test_log.h"

int SMPPSetDebugMode(int on) {
    LogCall(on ? "SMPPSetDebugMode(1)" : "SMPPSetDebugMode(0)");
    return 0;
}
int SMPPConnect(int socket, int reserved, const char* host, unsigned port) {
    (void)socket;
    (void)reserved;
    (void)host;
    (void)port;
    return 0;
}
int SMPPBind(int socket, void* tls, int reserved, int version, int bindType, const char* systemId,
             const char* password, const char* systemType) {
    (void)socket;
    (void)tls;
    (void)reserved;
    (void)version;
    (void)bindType;
    (void)systemId;
    (void)password;
    (void)systemType;
    return 0;
}
int SMPPSubmitMessage(void) { return 0; }
int SMPPUnbind(void) { return 0; }
