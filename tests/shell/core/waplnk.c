/* A WAP / dial-up link library with every required function and, of the optional ones,
 * only ModemReset and WAPLinkAvailable (0 when ZELLA_TEST_WAP_UNAVAILABLE is set).
 *
 * Built with ZT_WAP_OPTIONALS it also has the three other optional functions, a second
 * network connection "Office GPRS" with stored credentials, logs the calls of a GPRS
 * test with their arguments, and takes its results from the environment:
 * ZT_WAP_ALLOCATE (ModemAllocate, default 7), ZT_WAP_DIAL (WSPRasDial, default 0),
 * ZT_WAP_CID and ZT_WAP_CID_DEFINED (ModemGetCIDForAPN querying and defining, default 0)
 * and ZT_WAP_UPDATE (ModemDriverUpdateInitStrings, default 0). */
#include <stdlib.h>
#include <string.h>

#include "waplnk/waplnk.h"
#include "test_log.h"

int WAPLinkAvailable(void) { return getenv("ZELLA_TEST_WAP_UNAVAILABLE") == NULL; }

#ifdef ZT_WAP_OPTIONALS
static void LogArgs(const char* call, const char* a, const char* b, const char* c,
                    const char* d, const char* e) {
    char line[2048];
    snprintf(line, sizeof line, "%s(%s|%s|%s|%s|%s)", call, a ? a : "", b ? b : "", c ? c : "",
             d ? d : "", e ? e : "");
    LogCall(line);
}
#endif

int WSPRasDial(const char* entry, const char* apn, const char* login, const char* password,
               const char* target) {
#ifdef ZT_WAP_OPTIONALS
    LogArgs("WSPRasDial", entry, apn, login, password, target);
    return EnvInt("ZT_WAP_DIAL", 0);
#else
    (void)entry;
    (void)apn;
    (void)login;
    (void)password;
    (void)target;
    return 0;
#endif
}
int WSPRasHangUp(const char* entry) {
#ifdef ZT_WAP_OPTIONALS
    LogArgs("WSPRasHangUp", entry, 0, 0, 0, 0);
#else
    (void)entry;
#endif
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
    (void)timeoutSeconds;
    if (value) *value = 0;
#ifdef ZT_WAP_OPTIONALS
    LogArgs("ModemAllocate", modemName, 0, 0, 0, 0);
    return EnvInt("ZT_WAP_ALLOCATE", 7);
#else
    (void)modemName;
    return 7;
#endif
}
int ModemRequested(intptr_t allocation) {
    (void)allocation;
    return 0;
}
void ModemRelease(intptr_t allocation) {
#ifdef ZT_WAP_OPTIONALS
    char text[32];
    snprintf(text, sizeof text, "%ld", (long)allocation);
    LogArgs("ModemRelease", text, 0, 0, 0, 0);
#else
    (void)allocation;
#endif
}
int RasLoadListOrComboBox(void* context, int control, RasAddItemFn addItem) {
    addItem(context, control, "Modem: Test Modem");
#ifdef ZT_WAP_OPTIONALS
    addItem(context, control, "Office GPRS");
#endif
    return 1;
}
int RasGetUserAndPassword(const char* entry, char* login, int loginSize, char* password,
                          int passwordSize) {
#ifdef ZT_WAP_OPTIONALS
    if (entry && strcmp(entry, "Office GPRS") == 0) {
        CopyText(login, loginSize, "office");
        CopyText(password, passwordSize, "pw1");
        return 1;
    }
#endif
    (void)entry;
    CopyText(login, loginSize, "");
    CopyText(password, passwordSize, "");
    return 1;
}
int RasGetModemName(const char* entry, char* modemName, int size) {
#ifdef ZT_WAP_OPTIONALS
    if (entry && strcmp(entry, "Office GPRS") == 0) {
        CopyText(modemName, size, "");
        return 1;
    }
#endif
    (void)entry;
    CopyText(modemName, size, "Test Modem");
    return 1;
}
int ModemReset(const char* modemName) {
    (void)modemName;
    LogCall("ModemReset");
    return 1;
}

#ifdef ZT_WAP_OPTIONALS
int ModemGetCIDForAPN(const char* modemName, const char* apn, int define) {
    LogArgs(define ? "ModemGetCIDForAPN-define" : "ModemGetCIDForAPN", modemName, apn, 0, 0, 0);
    return define ? EnvInt("ZT_WAP_CID_DEFINED", 0) : EnvInt("ZT_WAP_CID", 0);
}
int ModemDriverUpdateInitStrings(const char* modemName, const char* apn) {
    LogArgs("ModemDriverUpdateInitStrings", modemName, apn, 0, 0, 0);
    return EnvInt("ZT_WAP_UPDATE", 0);
}
int WSPRasGetErrorString(int code, char* buffer, int size) {
    char text[64];
    snprintf(text, sizeof text, "Error %d from the test line", code);
    CopyText(buffer, size, text);
    return (int)strlen(buffer);
}
#endif
