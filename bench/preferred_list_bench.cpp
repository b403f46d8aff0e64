// Times a preferred list of 10,000 entries through the modem properties dialog (load
// and OK) and the SMSC page's store, on a fresh data directory. Prints the times; run
// by hand, never as a test.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "acctdb/acctdb.h"
#include "config/config_store.h"
#include "modem/modem_properties_dialog.h"
#include "platform/files.h"
#include "platform/ini.h"
#include "smsc/connection_list.h"
#include "ui/headless_host.h"

namespace {

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// One properties dialog on `entry`; `fill` replaces the preferred list when given.
bool RunDialog(std::string& entry, const std::vector<std::string>* fill, std::size_t* shown) {
    ui::HeadlessHost host;
    host.QueueDialog("DIALOG_ROUTING", [&](ui::Dialog& d) {
        if (shown != nullptr) *shown = d.Items("preferred").size();
        if (fill != nullptr) d.SetItems("preferred", *fill);
        d.UserClick(ui::IDOK);
    });
    return modem::ModemPropertiesDialog(host, entry);
}

}  // namespace

int main() {
    char pattern[] = "/tmp/zella-preferred-bench-XXXXXX";
    if (mkdtemp(pattern) == nullptr) return 1;
    const std::string dir = std::string(pattern) + "/";
    setenv("ZELLA_DATA_DIR", dir.c_str(), 1);
    const std::string ini = dir + "ZELLA.INI";
    platform::CreateFileIfMissing(ini);
    config::SetConfigurationPath(ini);
    acctdb::SMSIniSetFilename(ini);

    std::vector<std::string> list;
    for (int i = 0; i < 10000; ++i) list.push_back("+4477009" + std::to_string(10000 + i));

    auto start = std::chrono::steady_clock::now();
    std::string entry = "COM3:";
    if (!RunDialog(entry, &list, nullptr)) return 1;
    const double dialogOk = Seconds(start);

    start = std::chrono::steady_clock::now();
    std::vector<smsc::ConnectionEntry> entries{smsc::EntryFromRecord(entry)};
    if (!smsc::StoreConnectionList(entries)) return 1;
    const double store = Seconds(start);

    start = std::chrono::steady_clock::now();
    std::size_t shown = 0;
    std::string again = "COM3:";
    if (!RunDialog(again, nullptr, &shown)) return 1;
    const double reopen = Seconds(start);

    const std::string last = platform::GetPrivateProfileString(
        ini, config::ConnectionSectionName("COM3:"), "Route10000", "");
    std::printf("preferred list of %zu entries\n", list.size());
    std::printf("  dialog OK (record built):   %.3f s\n", dialogOk);
    std::printf("  page store (ZELLA.INI):     %.3f s\n", store);
    std::printf("  dialog reopened and OK:     %.3f s (%zu entries shown, %s)\n", reopen, shown,
                again == "COM3:" ? "no change" : "CHANGED");
    std::printf("  Route10000 = %s\n", last.c_str());
    std::filesystem::remove_all(dir);
    return shown == list.size() && last == list.back() ? 0 : 1;
}
