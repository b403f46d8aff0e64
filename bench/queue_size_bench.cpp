// config::OutboundQueueSize() over 100,000 request files in 50 route sub-directories,
// against counting the same files with a bare readdir walk. Prints the CPU and wall time
// of one count for both and their ratio (target: at most 1.5).
//
//   queue_size_bench [files-per-route]     (default 2000: 50 x 2000 = 100,000 files)
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
#include <string>
#include <vector>

#include "bench/bench_clock.h"
#include "config/config_store.h"
#include "config/queue_size.h"

namespace {

using namespace bench;

constexpr int kRoutes = 50;
constexpr int kRounds = 7;

void Touch(const std::string& path) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        std::perror(path.c_str());
        std::exit(1);
    }
    static const char kBody[] = "[Message]\r\nTo=+15550100\r\nText=queued\r\n";
    if (::write(fd, kBody, sizeof kBody - 1) < 0) std::perror(path.c_str());
    ::close(fd);
}

void BuildQueue(const std::string& queue, int filesPerRoute) {
    std::filesystem::create_directories(queue);
    for (int r = 0; r < kRoutes; ++r) {
        std::string route = queue + "SMPP - 10.0.0." + std::to_string(r + 1) + "-2775/";
        std::filesystem::create_directories(route);
        for (int f = 0; f < filesPerRoute; ++f) {
            char name[32];
            std::snprintf(name, sizeof name, "%08X.REQ", static_cast<unsigned>(r * 100000 + f));
            Touch(route + name);
        }
    }
}

bool EndsWithReqIgnoringCase(const char* name) {
    std::size_t n = std::strlen(name);
    if (n < 4) return false;
    const char* tail = name + n - 4;
    return tail[0] == '.' && (tail[1] | 0x20) == 'r' && (tail[2] | 0x20) == 'e' &&
           (tail[3] | 0x20) == 'q';
}

bool IsType(int dirFd, const dirent* d, unsigned char type, mode_t mode) {
    if (d->d_type != DT_UNKNOWN && d->d_type != DT_LNK) return d->d_type == type;
    struct stat st {};
    return fstatat(dirFd, d->d_name, &st, 0) == 0 && (st.st_mode & S_IFMT) == mode;
}

std::uint64_t BareCountIn(const std::string& dir) {
    DIR* handle = opendir(dir.c_str());
    if (handle == nullptr) return 0;
    std::uint64_t count = 0;
    while (dirent* d = readdir(handle)) {
        if (EndsWithReqIgnoringCase(d->d_name) && IsType(dirfd(handle), d, DT_REG, S_IFREG)) ++count;
    }
    closedir(handle);
    return count;
}

// The same rule as the queue size without CacheQSize: the queue directory and each
// sub-directory, one level deep.
std::uint64_t BareCount(const std::string& queue) {
    std::uint64_t total = BareCountIn(queue);
    DIR* handle = opendir(queue.c_str());
    if (handle == nullptr) return total;
    while (dirent* d = readdir(handle)) {
        if (std::strcmp(d->d_name, ".") == 0 || std::strcmp(d->d_name, "..") == 0) continue;
        if (IsType(dirfd(handle), d, DT_DIR, S_IFDIR)) total += BareCountIn(queue + d->d_name + "/");
    }
    closedir(handle);
    return total;
}

struct Timing {
    double cpuMs = 1e300, wallMs = 1e300;
    std::uint64_t count = 0;
};

Timing Measure(const std::function<std::uint64_t()>& count) {
    Timing best;
    count();  // warm the directory cache
    for (int round = 0; round < kRounds; ++round) {
        double cpu = CpuMs(), wall = WallMs();
        best.count = count();
        best.cpuMs = std::min(best.cpuMs, CpuMs() - cpu);
        best.wallMs = std::min(best.wallMs, WallMs() - wall);
    }
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    const int filesPerRoute = argc > 1 ? std::atoi(argv[1]) : 2000;
    char pattern[] = "/tmp/zella-queue-bench-XXXXXX";
    if (mkdtemp(pattern) == nullptr) return 1;
    const std::string data = std::string(pattern) + "/";
    setenv("ZELLA_DATA_DIR", data.c_str(), 1);
    config::SetConfigurationPath("");
    const std::string queue = config::QueueDirectory();
    std::printf("building %d files in %d routes under %s ...\n", filesPerRoute * kRoutes, kRoutes,
                queue.c_str());
    BuildQueue(queue, filesPerRoute);

    Timing bare = Measure([&] { return BareCount(queue); });
    Timing ours = Measure([] { return std::uint64_t{config::OutboundQueueSize()}; });

    std::printf("bare readdir walk:   %8.2f ms CPU  %8.2f ms wall  (%llu files)\n", bare.cpuMs,
                bare.wallMs, static_cast<unsigned long long>(bare.count));
    std::printf("OutboundQueueSize(): %8.2f ms CPU  %8.2f ms wall  (%llu files)\n", ours.cpuMs,
                ours.wallMs, static_cast<unsigned long long>(ours.count));
    std::printf("ratio: %.2f CPU, %.2f wall (target at most 1.5)\n", ours.cpuMs / bare.cpuMs,
                ours.wallMs / bare.wallMs);
    std::filesystem::remove_all(data);
    return ours.count == bare.count ? 0 : 2;
}
