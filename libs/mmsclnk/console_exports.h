/* What the console executable exports for MMSCLNK.DLL's pages, which run inside the
 * console and reach these entry points by name in the running program (dlsym with
 * RTLD_DEFAULT). C linkage and plain C types; the console defines each with extern "C"
 * against this declaration. */
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

#define ZELLA_CONSOLE_EXPORT __attribute__((visibility("default")))

/* Shows the test message dialog for `connectionName` ("MMSCROUTE - " + VASP account for
 * an MMS route; null or empty: none) on `host`, the console's ui::Host that the calling
 * page was given, until the operator closes it. */
ZELLA_CONSOLE_EXPORT void TestMessageDlgProc(void* host, const char* connectionName);

/* Asks the phone at `device` ("address[:port]") for its MMS defaults. Returns non-zero
 * when it reported a non-empty MMS URL, which goes into `url` and its MMS proxy into
 * `proxy`, each cut to fit its capacity (150 characters for callers of old) and
 * NUL-terminated; else 0 with both empty. */
ZELLA_CONSOLE_EXPORT int QuvsmsModemHasDefaultSettings(const char* device, char* url, int urlSize,
                                                       char* proxy, int proxySize);

#ifdef __cplusplus
}
#endif
