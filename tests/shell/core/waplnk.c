/* A WAP / dial-up link library with every required function and, of the optional ones,
 * only ModemReset and WAPLinkAvailable (0 when ZELLA_TEST_WAP_UNAVAILABLE is set). */
#include <stdlib.h>

#include "waplnk/waplnk.h"
#include "test_log.h"

int WAPLinkAvailable(void) { return getenv("ZELLA_TEST_WAP_UNAVAILABLE") == NULL; }

int WSPRasDial(const char* entry, const char* apn, const char* login, const char* password,
               const char* target) {
    (void)entry;
    (void)apn;
    (void)login;
    (void)password;
    (void)target;
    return 0;
}
int WSPRasHangUp(const char* entry) {
    (void)entry;
    return 0;
}
void* WSPConnect(const char* gateway) {
    (void)gateway;
    return 0;
}
void WSPDisconnect(void* session) { (void)session; }
int WSPRequest(void* session, const char* method, const char* url, const char* contentType,
               const unsigned char* body, int bodyLength, unsigned char* response,
               int responseCapacity) {
    (void)session;
    (void)method;
    (void)url;
    (void)contentType;
    (void)body;
    (void)bodyLength;
    (void)response;
    (void)responseCapacity;
    return -1;
}
intptr_t ModemAllocate(const char* modemName, int timeoutSeconds, int* value) {
    (void)modemName;
    (void)timeoutSeconds;
    if (value) *value = 0;
    return 7;
}
int ModemRequested(intptr_t allocation) {
    (void)allocation;
    return 0;
}
void ModemRelease(intptr_t allocation) { (void)allocation; }
int RasLoadListOrComboBox(void* context, int control, RasAddItemFn addItem) {
    addItem(context, control, "Modem: Test Modem");
    return 1;
}
int RasGetUserAndPassword(const char* entry, char* login, int loginSize, char* password,
                          int passwordSize) {
    (void)entry;
    CopyText(login, loginSize, "");
    CopyText(password, passwordSize, "");
    return 1;
}
int RasGetModemName(const char* entry, char* modemName, int size) {
    (void)entry;
    CopyText(modemName, size, "Test Modem");
    return 1;
}
int ModemReset(const char* modemName) {
    (void)modemName;
    LogCall("ModemReset");
    return 1;
}
