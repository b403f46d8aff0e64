// The outbound queue viewer's scan (ScanOutboundQueue, then its default sort by submit
// time) over 100,000 request files in 50 route directories, against reading the same
// files raw (readdir walk; open, read, close; no parsing). Then sorting the 100,000 rows
// by a text column (Recipient) and by a date column (Submit Time), each way.
//
//   spool_bench [files-per-route]     (default 2000: 50 x 2000 = 100,000 files)
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <functional>
#include <random>
#include <string>

#include "bench/bench_clock.h"
#include "config/config_store.h"
#include "viewers/spool_scan.h"

namespace {

using namespace bench;

constexpr int kRoutes = 50;
constexpr int kRounds = 5;

// A request as the service keeps it; one in seven has been retried. Submit times are
// spread over a week so the date column has few equal keys.
void WriteRequest(const std::string& path, unsigned n, std::mt19937& random) {
    char body[512];
    int length = std::snprintf(body, sizeof body,
                               "[SMS]\r\nPhoneNumber=+4479%07u\r\nData=Order %u is ready for collection "
                               "at the front desk.\r\nSubmitUser=user%02u\r\nSMSCRoute=route\r\n",
                               static_cast<unsigned>(random() % 10'000'000), n, n % 37);
    if (n % 7 == 0)
        length += std::snprintf(body + length, sizeof body - length,
                                "[ErrorDetail]\r\nRetryCount=%u\r\nLastErrorInfo=Timeout\r\n", n % 5 + 1);
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0 || ::write(fd, body, static_cast<std::size_t>(length)) != length) {
        std::perror(path.c_str());
        std::exit(1);
    }
    const timespec times[2] = {{static_cast<time_t>(1'700'000'000 + random() % 604'800), 0},
                               {static_cast<time_t>(1'700'000'000 + random() % 604'800), 0}};
    futimens(fd, times);
    ::close(fd);
}

void BuildQueue(const std::string& queue, int filesPerRoute) {
    std::mt19937 random(11);
    for (int r = 0; r < kRoutes; ++r) {
        const std::string route = queue + "SMPP - 10.0.0." + std::to_string(r + 1) + "-2775/";
        std::filesystem::create_directories(route);
        for (int f = 0; f < filesPerRoute; ++f) {
            char name[32];
            std::snprintf(name, sizeof name, "%08X.REQ", static_cast<unsigned>(r * 100000 + f));
            WriteRequest(route + name, static_cast<unsigned>(r * filesPerRoute + f), random);
        }
    }
}

std::uint64_t RawReadIn(const std::string& dir) {
    DIR* handle = opendir(dir.c_str());
    if (handle == nullptr) return 0;
    std::uint64_t count = 0;
    char buffer[8192];
    while (dirent* d = readdir(handle)) {
        const std::size_t n = std::strlen(d->d_name);
        if (n < 4 || strcasecmp(d->d_name + n - 4, ".REQ") != 0) continue;
        const int fd = openat(dirfd(handle), d->d_name, O_RDONLY | O_CLOEXEC);
        if (fd < 0) continue;
        while (::read(fd, buffer, sizeof buffer) > 0) {
        }
        ::close(fd);
        ++count;
    }
    closedir(handle);
    return count;
}

std::uint64_t RawRead(const std::string& queue) {
    std::uint64_t total = RawReadIn(queue);
    DIR* handle = opendir(queue.c_str());
    if (handle == nullptr) return total;
    while (dirent* d = readdir(handle)) {
        if (d->d_type == DT_DIR && std::strcmp(d->d_name, ".") != 0 && std::strcmp(d->d_name, "..") != 0)
            total += RawReadIn(queue + d->d_name + "/");
    }
    closedir(handle);
    return total;
}

struct Timing {
    double wallMs = 1e300, cpuMs = 1e300;
    std::uint64_t count = 0;
};

Timing Measure(const std::function<std::uint64_t()>& run) {
    Timing best;
    run();  // warm the caches
    for (int round = 0; round < kRounds; ++round) {
        const double wall = WallMs(), cpu = CpuMs();
        best.count = run();
        best.wallMs = std::min(best.wallMs, WallMs() - wall);
        best.cpuMs = std::min(best.cpuMs, CpuMs() - cpu);
    }
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    const int filesPerRoute = argc > 1 ? std::atoi(argv[1]) : 2000;
    char pattern[] = "/tmp/zella-spool-bench-XXXXXX";
    if (mkdtemp(pattern) == nullptr) return 1;
    const std::string data = std::string(pattern) + "/";
    setenv("ZELLA_DATA_DIR", data.c_str(), 1);
    config::SetConfigurationPath("");
    const std::string queue = config::QueueDirectory();
    std::printf("building %d request files in %d routes under %s ...\n", filesPerRoute * kRoutes, kRoutes,
                queue.c_str());
    BuildQueue(queue, filesPerRoute);

    const Timing raw = Measure([&] { return RawRead(queue); });
    viewers::SpoolRowList list;
    const Timing scan = Measure([&] {
        viewers::ScanOutboundQueue(list);
        viewers::SortRows(list, 4);
        return std::uint64_t{list.rows.size()};
    });
    const Timing scanOnly = Measure([&] {
        viewers::ScanOutboundQueue(list);
        return std::uint64_t{list.rows.size()};
    });
    std::printf("raw open/read/close:        %8.1f ms wall %8.1f ms CPU (%llu files)\n", raw.wallMs, raw.cpuMs,
                static_cast<unsigned long long>(raw.count));
    std::printf("scan + default sort:        %8.1f ms wall %8.1f ms CPU (%llu rows, %u matched)\n", scan.wallMs,
                scan.cpuMs, static_cast<unsigned long long>(scan.count), list.matched);
    std::printf("  of which scan alone:      %8.1f ms wall %8.1f ms CPU\n", scanOnly.wallMs, scanOnly.cpuMs);
    std::printf("ratio: %.2f wall, %.2f CPU (target at most 1.5)\n", scan.wallMs / raw.wallMs,
                scan.cpuMs / raw.cpuMs);

    struct Sort {
        const char* what;
        int state;
    } sorts[] = {{"Recipient ascending", 3}, {"Recipient descending", -3},
                 {"Submit Time ascending", 4}, {"Submit Time descending", -4}};
    for (const Sort& s : sorts) {
        double best = 1e300;
        for (int round = 0; round < kRounds; ++round) {
            std::shuffle(list.rows.begin(), list.rows.end(), std::mt19937(5 + round));
            const double start = WallMs();
            viewers::SortRows(list, s.state);
            best = std::min(best, WallMs() - start);
        }
        std::printf("sort by %-24s %8.1f ms\n", s.what, best);
    }
    std::filesystem::remove_all(data);
    return scan.count == raw.count ? 0 : 2;
}
