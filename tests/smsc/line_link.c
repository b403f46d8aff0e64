/* UCP and CIMD link functions over a one-line test protocol, installed under both
 * names: connect really connects (the host's "#n" suffix and brackets dropped), and the
 * login sends "LOGIN user password\n" and reads one line within 2 seconds: "OK" logs in,
 * "ERR n" refuses with code n, silence or a close gives code 99. */
#include <netdb.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

#include "cimdlnk/cimdlnk.h"
#include "ucplnk/ucplnk.h"

static int Connect(int fd, const char* host, unsigned port) {
    char name[256];
    snprintf(name, sizeof name, "%s", host[0] == '[' ? host + 1 : host);
    char* cut = strpbrk(name, "]#");
    if (cut) *cut = '\0';
    char service[16];
    snprintf(service, sizeof service, "%u", port);
    struct addrinfo hints, *list = NULL;
    memset(&hints, 0, sizeof hints);
    hints.ai_socktype = SOCK_STREAM;
    if (getaddrinfo(name, service, &hints, &list) != 0) return 1;
    int result = 1;
    for (struct addrinfo* a = list; a && result != 0; a = a->ai_next) {
        if (connect(fd, a->ai_addr, a->ai_addrlen) == 0) result = 0;
    }
    freeaddrinfo(list);
    return result;
}

static int Login(int fd, const char* user, const char* password) {
    char line[512];
    int n = snprintf(line, sizeof line, "LOGIN %s %s\n", user, password);
    if (send(fd, line, (size_t)n, MSG_NOSIGNAL) != n) return 99;
    size_t got = 0;
    while (got + 1 < sizeof line) {
        struct pollfd p = {fd, POLLIN, 0};
        if (poll(&p, 1, 2000) <= 0) return 99;
        ssize_t r = recv(fd, line + got, 1, 0);
        if (r <= 0) return 99;
        if (line[got] == '\n') break;
        ++got;
    }
    line[got] = '\0';
    if (strcmp(line, "OK") == 0) return 0;
    if (strncmp(line, "ERR ", 4) == 0) return atoi(line + 4);
    return 98;
}

static int Text(int code, char* buffer, int size) {
    if (!buffer || size < 1) return 0;
    return snprintf(buffer, (size_t)size, "refused with code %d", code);
}

int UCPSetDebugMode(int on) { return on; }
int UCPConnect(int socket, int reserved, const char* host, unsigned port) {
    (void)reserved;
    return Connect(socket, host, port);
}
int UCPBind(int socket, int reserved, const char* user, const char* password) {
    (void)reserved;
    return Login(socket, user, password);
}
int UCPErrorText(int code, char* buffer, int size) { return Text(code, buffer, size); }
int CIMDSetDebugMode(int on) { return on; }
int CIMDConnect(const char* reserved, int socket, const char* host, unsigned port) {
    (void)reserved;
    return Connect(socket, host, port);
}
int CIMDBind(const char* reserved, int socket, const char* user, const char* password) {
    (void)reserved;
    return Login(socket, user, password);
}
int CIMDErrorText(int code, char* buffer, int size) { return Text(code, buffer, size); }
