/* An SMPP link library with every required function; the test one for the loader. Built
 * with ZT_SMPP_WITHOUT_ERROR_TEXT it lacks SMPPErrorText, so the console must refuse it. */
#include <string.h>

#include "smpplnk/smpplnk.h"
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
    return EnvInt("ZELLA_TEST_SMPP_BIND", 0);
}
int SMPPSubmitMessage(int socket, void* tls, int reserved, int version, const char* source,
                      const char* destination, int dataCoding, const unsigned char* message,
                      int length, char* messageId, int messageIdSize) {
    (void)socket;
    (void)tls;
    (void)reserved;
    (void)version;
    (void)source;
    (void)destination;
    (void)dataCoding;
    (void)message;
    (void)length;
    CopyText(messageId, messageIdSize, "1");
    return 0;
}
int SMPPUnbind(int socket, void* tls, int reserved, int version) {
    (void)socket;
    (void)tls;
    (void)reserved;
    (void)version;
    return 0;
}
#ifndef ZT_SMPP_WITHOUT_ERROR_TEXT
int SMPPErrorText(int code, char* buffer, int size) {
    char text[64];
    snprintf(text, sizeof text, "test error %d", code);
    CopyText(buffer, size, text);
    return (int)strlen(text);
}
#endif
