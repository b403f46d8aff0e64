/* Every call of a test link library is appended as one line to the file named by
 * ZELLA_TEST_LINK_LOG, so a test can see what the console called, and in which order,
 * even after the library has been unloaded. */
#ifndef ZELLA_TEST_LINK_LOG_H
#define ZELLA_TEST_LINK_LOG_H

#include <stdio.h>
#include <stdlib.h>

static inline void LogCall(const char* call) {
    const char* path = getenv("ZELLA_TEST_LINK_LOG");
    if (!path || !*path) return;
    FILE* file = fopen(path, "a");
    if (!file) return;
    fprintf(file, "%s\n", call);
    fclose(file);
}

/* An integer from the environment, for results a test controls. */
static inline int EnvInt(const char* name, int fallback) {
    const char* text = getenv(name);
    return (text && *text) ? atoi(text) : fallback;
}

static inline void CopyText(char* buffer, int size, const char* text) {
    if (!buffer || size < 1) return;
    snprintf(buffer, (size_t)size, "%s", text);
}

#endif
