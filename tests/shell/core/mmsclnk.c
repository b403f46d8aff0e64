/* An MMSC link library: page and service functions, and the two service queries whose
 * answers come from ZELLA_TEST_MMSC_INSTALLED and ZELLA_TEST_MMSC_ACTIVE. */
#include "mmsclnk/mmsclnk.h"
#include "test_log.h"

int MMSConfigGetNumberOfPropertySheetPages(void) { return 0; }
int MMSConfigAddPropertySheetPages(void* sheet, int* pageCount) {
    (void)sheet;
    (void)pageCount;
    return 0;
}
static int Command(const char* name, int noElevation) {
    char line[80];
    snprintf(line, sizeof line, "%s(%d)", name, noElevation);
    LogCall(line);
    return EnvInt("ZELLA_TEST_MMSC_COMMAND", 1);
}
int InstallMMSCService(int n) { return Command("InstallMMSCService", n); }
int RemoveMMSCService(int n) { return Command("RemoveMMSCService", n); }
int StartMMSCService(int n) { return Command("StartMMSCService", n); }
int StopMMSCService(int n) { return Command("StopMMSCService", n); }
int RestartMMSCService(int n) { return Command("RestartMMSCService", n); }
int IsMMSCServiceInstalled(void) {
    LogCall("IsMMSCServiceInstalled");
    return EnvInt("ZELLA_TEST_MMSC_INSTALLED", 0);
}
int IsMMSCServiceActive(void) {
    LogCall("IsMMSCServiceActive");
    return EnvInt("ZELLA_TEST_MMSC_ACTIVE", 0);
}
