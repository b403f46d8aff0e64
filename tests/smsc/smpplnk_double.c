/* An SMPP link library for the dialog tests, installed as libsmpplnk.so in a temporary
 * program directory. It speaks no SMPP: it records every call with its arguments (one
 * line each in ZELLA_TEST_LINK_LOG), and at bind time also the [SMPP] section of the
 * file named by ZELLA_TEST_SMPP_INI, so a test sees what the link library would have
 * read. SMPPBind refuses with 0x0000000E (invalid password) when ZELLA_TEST_SMPP_PASSWORD
 * is set and the system id or password differ from ZELLA_TEST_SMPP_USER and it;
 * a bind of the type in ZELLA_TEST_SMPP_REFUSE_TYPE is refused with 0x0000000D (bind
 * failed); SMPPConnect answers ZELLA_TEST_SMPP_CONNECT (default 0). */
#include <stdio.h>
#include <string.h>

#include "smpplnk/smpplnk.h"
#include "test_log.h"

static void LogSmppSection(void) {
    const char* path = getenv("ZELLA_TEST_SMPP_INI");
    FILE* file = path && *path ? fopen(path, "r") : NULL;
    char line[512];
    int inside = 0;
    if (!file) return;
    while (fgets(line, sizeof line, file)) {
        line[strcspn(line, "\r\n")] = '\0';
        if (line[0] == '[') {
            inside = strcmp(line, "[SMPP]") == 0;
            continue;
        }
        if (inside && line[0]) {
            char entry[600];
            snprintf(entry, sizeof entry, "  SMPP %s", line);
            LogCall(entry);
        }
    }
    fclose(file);
}

int SMPPSetDebugMode(int on) {
    (void)on;
    return 0;
}

int SMPPConnect(int socket, int reserved, const char* host, unsigned port) {
    char entry[400];
    snprintf(entry, sizeof entry, "SMPPConnect socket=%s reserved=%d host=%s port=%u",
             socket >= 0 ? "open" : "bad", reserved, host, port);
    LogCall(entry);
    return EnvInt("ZELLA_TEST_SMPP_CONNECT", 0);
}

int SMPPBind(int socket, void* tls, int reserved, int version, int bindType, const char* systemId,
             const char* password, const char* systemType) {
    const char* wantPassword = getenv("ZELLA_TEST_SMPP_PASSWORD");
    const char* wantUser = getenv("ZELLA_TEST_SMPP_USER");
    char entry[800];
    (void)socket;
    snprintf(entry, sizeof entry,
             "SMPPBind tls=%d reserved=%d version=0x%x type=%d user=%s password=%s systemType=%s",
             tls != NULL, reserved, (unsigned)version, bindType, systemId, password, systemType);
    LogCall(entry);
    LogSmppSection();
    if (EnvInt("ZELLA_TEST_SMPP_REFUSE_TYPE", -1) == bindType) return 0x0D;
    if (wantPassword && (strcmp(password, wantPassword) != 0 ||
                         strcmp(systemId, wantUser ? wantUser : "") != 0))
        return 0x0E;
    return 0;
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
    char entry[100];
    (void)socket;
    snprintf(entry, sizeof entry, "SMPPUnbind tls=%d reserved=%d version=0x%x", tls != NULL,
             reserved, (unsigned)version);
    LogCall(entry);
    return 0;
}

int SMPPErrorText(int code, char* buffer, int size) {
    char text[80];
    if (code == 0x0E)
        snprintf(text, sizeof text, "Invalid Password (0x%08X)", (unsigned)code);
    else
        snprintf(text, sizeof text, "SMPP error 0x%08X", (unsigned)code);
    CopyText(buffer, size, text);
    return (int)strlen(text);
}
