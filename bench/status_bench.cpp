// The file reading of one Status page refresh with 201 connections defined, 50 of them
// with error files, and all twelve counters present, against reading the same files with
// plain open/read/close in a loop. Prints CPU time per refresh for both and their ratio
// (target: at most 2).
//
// The refresh measured is the page's own reader: shell::ReadConnectionErrors() (ZELLA.INI
// once, every connection's error file, the MMSC routes) and config::ReadStatCounter for
// each counter row, as shell::ReadGatewayStatus() does while the service runs. The service
// and status-block queries are not file reading and are left out; the full
// ReadGatewayStatus() and config::ListConnections() are printed for information.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "bench/bench_clock.h"
#include "acctdb/acctdb.h"
#include "config/config_store.h"
#include "config/counters.h"
#include "platform/files.h"
#include "shell/sheet/status_refresh.h"

namespace {

using namespace bench;

constexpr int kConnections = 201;
constexpr int kWithErrors = 50;
constexpr int kRefreshes = 300;
constexpr int kRounds = 5;
const char* const kCounterNames[] = {"SMSSUBMIT",   "SMSSENT",     "SMSRECEIVED", "SMSFAILED",
                                     "SMSRETRY",    "MMSIN-USER",  "MMSIN-VASP",  "MMSIN-MODEM",
                                     "MMSOUT-MMSC", "MMSOUT-VASP", "MMSOUT-SMTP", "MMSRETRIEVED"};

std::string ConnectionName(int n) {
    char name[16];
    std::snprintf(name, sizeof name, "GSM%03d", n);
    return name;
}

// Every fourth connection fails. Names and texts are short enough that all 50 lines fit
// in the page's 1024-character detail text, so the page reads every error file.
bool HasError(int n) { return n % 4 == 1 && (n - 1) / 4 < kWithErrors; }

void WriteZellaIni(const std::string& path) {
    std::string text = "[ZELLA]\r\nStatusDialogEnabled=Yes\r\nWebPort=8800\r\n";
    for (int n = 1; n <= kConnections; ++n) {
        text += "Modem" + std::to_string(n) + "=" + ConnectionName(n) + "\r\n";
    }
    for (int n = 1; n <= kConnections; ++n) {
        text += "\r\n[Modem - " + ConnectionName(n) + "]\r\nPort=COM" + std::to_string(n) +
                "\r\nBaudRate=115200\r\nInit1=AT+CMEE=1\r\nInit2=AT+CSCS=\"GSM\"\r\n"
                "PIN=\r\nSMSCSendLimit=60\r\nModemMode=SMS\r\nReceiveSMS=Yes\r\n"
                "DeleteAfterReceive=Yes\r\nSMSCNumber=+15550100\r\n";
    }
    platform::WriteFileAtomic(path, text);
}

void BuildData(const std::string& data, int year) {
    WriteZellaIni(config::ConfigurationPath());
    for (int n = 1; n <= kConnections; ++n) {
        if (HasError(n)) platform::WriteFileAtomic(data + ConnectionName(n) + ".ERR", "Timeout\r\n");
    }
    std::string counters(1464, '\x01');
    platform::CreateDirectories(data + "STATS/");
    for (const char* name : kCounterNames) {
        platform::WriteFileAtomic(config::StatCounterPath(name, year), counters);
        platform::WriteFileAtomic(config::StatCounterPath(name, year - 1), counters);
    }
}

std::uint64_t ReadPlain(const std::string& path, std::size_t limit, char* buffer) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return 0;
    std::uint64_t total = 0;
    for (;;) {
        ssize_t got = ::read(fd, buffer, limit);
        if (got <= 0) break;
        total += static_cast<std::uint64_t>(got);
        if (static_cast<std::size_t>(got) < limit) break;
    }
    ::close(fd);
    return total;
}

// The same files, read once each without any interpretation.
struct PlainReads {
    std::string ini;
    std::vector<std::string> errorFiles;
    std::string vaspOut;
    std::vector<std::string> counterFiles;

    std::uint64_t Run() const { return Connections() + Counters(); }
    std::uint64_t Connections() const {
        std::uint64_t bytes = ReadPlain(ini, sizeof buffer_, buffer_);
        for (const std::string& path : errorFiles) bytes += ReadPlain(path, 250, buffer_);
        if (DIR* d = opendir(vaspOut.c_str())) closedir(d);
        return bytes;
    }
    std::uint64_t Counters() const {
        std::uint64_t bytes = 0;
        for (const std::string& path : counterFiles) bytes += ReadPlain(path, 1464, buffer_);
        return bytes;
    }

private:
    static inline char buffer_[1 << 16];
};

PlainReads MakePlainReads(const std::string& data, const platform::SystemTime& today) {
    PlainReads plain;
    plain.ini = config::ConfigurationPath();
    for (int n = 1; n <= kConnections; ++n) plain.errorFiles.push_back(data + ConnectionName(n) + ".ERR");
    plain.vaspOut = config::VaspConfigDirectory() + "VASPOUT/";
    const bool january = config::CounterDayIndex(today.year, today.month, today.day) < 29;
    for (const char* name : kCounterNames) {
        plain.counterFiles.push_back(config::StatCounterPath(name, today.year));
        if (january) plain.counterFiles.push_back(config::StatCounterPath(name, today.year - 1));
    }
    return plain;
}

std::uint64_t PageCounters();

// What a refresh of the page reads, through the page's own code.
std::uint64_t PageReads() { return shell::ReadConnectionErrors().size() + PageCounters(); }

// The counters as the page reads them: every statistic in one pass.
std::uint64_t PageCounters() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> list;
        for (const shell::StatusCounterRow& row : shell::kStatusCounters) {
            list.push_back(row.counter);
            if (row.extra != nullptr) list.push_back(row.extra);
        }
        return list;
    }();
    std::uint64_t sink = 0;
    for (const config::StatCounts& counts : config::ReadStatCounters(names)) sink += counts.today;
    return sink;
}

double CpuMsPerCall(const std::function<void()>& call, int calls) {
    call();
    double best = 1e300;
    for (int round = 0; round < kRounds; ++round) {
        double start = CpuMs();
        for (int i = 0; i < calls; ++i) call();
        best = std::min(best, (CpuMs() - start) / calls);
    }
    return best;
}

}  // namespace

int main() {
    char pattern[] = "/tmp/zella-status-bench-XXXXXX";
    if (mkdtemp(pattern) == nullptr) return 1;
    const std::string data = std::string(pattern) + "/";
    setenv("ZELLA_DATA_DIR", data.c_str(), 1);
    setenv("ZELLA_SERVICE_MANAGER", "supervisor", 0);
    config::SetConfigurationPath("");
    const platform::SystemTime today = acctdb::TZGetLocalTime();
    BuildData(data, today.year);

    const std::string detail = shell::ReadConnectionErrors();
    const auto lines = std::count(detail.begin(), detail.end(), '\n');
    if (lines != kWithErrors || config::ListConnections().size() != kConnections) {
        std::fprintf(stderr, "set-up wrong: %ld error lines\n", static_cast<long>(lines));
        return 2;
    }

    PlainReads plain = MakePlainReads(data, today);
    volatile std::uint64_t sink = 0;
    double plainMs = CpuMsPerCall([&] { sink = sink + plain.Run(); }, kRefreshes);
    double pageMs = CpuMsPerCall([&] { sink = sink + PageReads(); }, kRefreshes);
    double fullMs = CpuMsPerCall([&] { sink = sink + shell::ReadGatewayStatus().queueSize; }, 50);
    double listMs = CpuMsPerCall([&] { sink = sink + config::ListConnections().size(); }, 20);

    std::printf("%d connections, %d error files, %zu counter files read per refresh\n",
                kConnections, kWithErrors, plain.counterFiles.size());
    std::printf("plain reads:            %7.3f ms CPU per refresh\n", plainMs);
    std::printf("page refresh reads:     %7.3f ms CPU per refresh\n", pageMs);
    std::printf("ratio: %.2f (target at most 2)\n", pageMs / plainMs);
    std::printf("  connections: page %.3f ms, plain %.3f ms\n",
                CpuMsPerCall([&] { sink = sink + shell::ReadConnectionErrors().size(); }, kRefreshes),
                CpuMsPerCall([&] { sink = sink + plain.Connections(); }, kRefreshes));
    std::printf("  counters:    page %.3f ms, plain %.3f ms\n",
                CpuMsPerCall([&] { sink = sink + PageCounters(); }, kRefreshes),
                CpuMsPerCall([&] { sink = sink + plain.Counters(); }, kRefreshes));
    const std::vector<std::string> names(std::begin(kCounterNames), std::end(kCounterNames));
    std::printf("  counters through config::ReadStatCounters (one look-up): %.3f ms\n",
                CpuMsPerCall([&] { sink = sink + config::ReadStatCounters(names).size(); }, kRefreshes));
    std::printf("info: ReadGatewayStatus() with no service installed: %.3f ms CPU\n", fullMs);
    std::printf("info: config::ListConnections(): %.3f ms CPU\n", listMs);
    std::filesystem::remove_all(data);
    return 0;
}
