/* UCP and CIMD link functions in one test library; the test installs it under both
 * names. */
#include "cimdlnk/cimdlnk.h"
#include "ucplnk/ucplnk.h"
#include "test_log.h"

int UCPSetDebugMode(int on) {
    LogCall(on ? "UCPSetDebugMode(1)" : "UCPSetDebugMode(0)");
    return 0;
}
int UCPConnect(int socket, int reserved, const char* host, unsigned port) {
    (void)socket;
    (void)reserved;
    (void)host;
    (void)port;
    return 0;
}
int UCPBind(int socket, int reserved, const char* user, const char* password) {
    (void)socket;
    (void)reserved;
    (void)user;
    (void)password;
    return 0;
}
int UCPErrorText(int code, char* buffer, int size) {
    (void)code;
    CopyText(buffer, size, "ucp");
    return 3;
}
int CIMDSetDebugMode(int on) {
    LogCall(on ? "CIMDSetDebugMode(1)" : "CIMDSetDebugMode(0)");
    return 0;
}
int CIMDConnect(const char* reserved, int socket, const char* host, unsigned port) {
    (void)reserved;
    (void)socket;
    (void)host;
    (void)port;
    return 0;
}
int CIMDBind(const char* reserved, int socket, const char* user, const char* password) {
    (void)reserved;
    (void)socket;
    (void)user;
    (void)password;
    return 0;
}
int CIMDErrorText(int code, char* buffer, int size) {
    (void)code;
    CopyText(buffer, size, "cimd");
    return 4;
}
