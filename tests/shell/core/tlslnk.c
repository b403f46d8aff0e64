/* A TLS link library whose sslInitLib and sslServerCertExists answer what the test puts
 * in ZELLA_TEST_TLS_INIT and ZELLA_TEST_TLS_CERT (default 1 and 0). */
#include "tlslnk/tlslnk.h"
#include "test_log.h"

int sslInitLib(void) {
    LogCall("sslInitLib");
    return EnvInt("ZELLA_TEST_TLS_INIT", 1);
}
void sslTermLib(void) { LogCall("sslTermLib"); }
int sslServerCertExists(void) {
    LogCall("sslServerCertExists");
    return EnvInt("ZELLA_TEST_TLS_CERT", 0);
}
int sslSignedCertExists(void) { return 0; }

static void* Start(int socket, char* buffer, int size) {
    (void)socket;
    CopyText(buffer, size, "no TLS in the test library");
    return 0;
}
void* sslInitSession(int s, char* b, int n) { return Start(s, b, n); }
void* sslAcceptSession(int s, char* b, int n) { return Start(s, b, n); }
void* sslInitSessionApp(int s, char* b, int n) { return Start(s, b, n); }
void* sslAcceptSessionApp(int s, char* b, int n) { return Start(s, b, n); }
void* sslInitSessionCloud(int s, char* b, int n) { return Start(s, b, n); }
void* sslAcceptSessionCloud(int s, char* b, int n) { return Start(s, b, n); }
void sslFreeSession(void* session) { (void)session; }
int sslSend(void* session, const char* data, int length) {
    (void)session;
    (void)data;
    return length;
}
int sslRecv(void* session, char* buffer, int capacity) {
    (void)session;
    (void)buffer;
    (void)capacity;
    return -1;
}
int sslDataPending(void* session) {
    (void)session;
    return 0;
}
int sslGenerateCertificate(const char* country, const char* state, const char* city,
                           const char* company, const char* department, const char* host,
                           const char* email, const char* password) {
    (void)country;
    (void)state;
    (void)city;
    (void)company;
    (void)department;
    (void)host;
    (void)email;
    (void)password;
    LogCall("sslGenerateCertificate");
    return 1;
}
