// Opening the SMS Users page with 10,000 accounts in the store, against reading the same
// 10,000 records through the store's own interface in a plain loop (open, record by index,
// close). Prints CPU time per opening for both and their ratio (target: at most 1.5).
//
// The page is opened under the headless host, which fetches every row of the list the
// way a view that shows them all would; the page is closed as soon as it is up.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>

#include "bench/bench_clock.h"
#include "accounts/users_page.h"
#include "acctdb/acctdb.h"
#include "config/config_store.h"
#include "ui/headless_host.h"

namespace {

using namespace bench;

constexpr int kAccounts = 10'000;
constexpr int kOpenings = 10;
constexpr int kRounds = 3;

bool FillStore() {
    acctdb::UserHandle h = 0;
    if (!acctdb::SMSOpenUserFile(&h, acctdb::GENERIC_READ | acctdb::GENERIC_WRITE)) return false;
    for (int i = 0; i < kAccounts; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "user%05d", i);
        acctdb::UserRecord record;
        record.SetUserName(name);
        record.SetPassword("secret");
        record.SetFullName(std::string("Full Name of ") + name);
        if (!acctdb::SMSAddUser(h, record)) return false;
    }
    acctdb::SMSCloseUserFile(h);
    return true;
}

// Every record read through the store interface; the number of records read.
int PlainLoop() {
    acctdb::UserHandle h = 0;
    if (!acctdb::SMSOpenUserFile(&h, acctdb::GENERIC_READ | acctdb::GENERIC_WRITE)) return 0;
    acctdb::UserRecord record;
    std::size_t bytes = 0;
    int n = 0;
    while (acctdb::SMSGetUserRecord(h, n, &record)) {
        bytes += record.UserName().size() + record.FullName().size();
        ++n;
    }
    acctdb::SMSCloseUserFile(h);
    return bytes > 0 ? n : 0;
}

// One opening of the page, with every row fetched through it when `allRows` (a view
// scrolled from top to bottom); the number of rows it showed.
int OpenPage(bool allRows = false) {
    ui::HeadlessHost host;
    accounts::UsersPage page;
    int rows = 0;
    host.QueueDialog("DIALOG_USERS", [&](ui::Dialog& d) {
        rows = d.RowCount("users");
        for (int i = 0; allRows && i < rows; ++i)
            if (d.Row("users", i).empty()) rows = -1;
        d.UserClick(ui::IDCANCEL);
    });
    host.RunModal(page);
    return rows;
}

}  // namespace

int main() {
    const std::string dir =
        (std::filesystem::temp_directory_path() / ("users-page-bench-" + std::to_string(getpid()))).string() + "/";
    std::filesystem::create_directories(dir);
    setenv("ZELLA_DATA_DIR", dir.c_str(), 1);
    config::SetConfigurationPath("");
    if (!FillStore()) {
        std::fprintf(stderr, "cannot fill the store in %s\n", dir.c_str());
        return 1;
    }
    if (PlainLoop() != kAccounts || OpenPage() != kAccounts) {
        std::fprintf(stderr, "the page or the loop did not see %d accounts\n", kAccounts);
        return 1;
    }
    double bestPage = 1e30, bestLoop = 1e30, bestAll = 1e30;
    for (int round = 0; round < kRounds; ++round) {
        double start = CpuMs();
        for (int i = 0; i < kOpenings; ++i) OpenPage();
        bestPage = std::min(bestPage, (CpuMs() - start) / kOpenings);
        start = CpuMs();
        for (int i = 0; i < kOpenings; ++i) OpenPage(true);
        bestAll = std::min(bestAll, (CpuMs() - start) / kOpenings);
        start = CpuMs();
        for (int i = 0; i < kOpenings; ++i) PlainLoop();
        bestLoop = std::min(bestLoop, (CpuMs() - start) / kOpenings);
    }
    std::printf("SMS Users page opening, %d accounts: %.2f ms CPU\n", kAccounts, bestPage);
    std::printf("plain loop over the same records:   %.2f ms CPU\n", bestLoop);
    std::printf("ratio: %.2f (target <= 1.5)\n", bestPage / bestLoop);
    std::printf("page opening with every row fetched: %.2f ms CPU, ratio %.2f\n", bestAll, bestAll / bestLoop);
    std::filesystem::remove_all(dir);
    return 0;
}
