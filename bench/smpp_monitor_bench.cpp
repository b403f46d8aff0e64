// One refresh of the SMPP client monitor with 1,000 live flag files (held locked by this
// process, as the service holds them), against a bare walk over the same directory that
// only reads the names. Prints CPU and wall time per refresh for both and their ratio
// (target: at most 2).
//
// The refresh measured is the monitor's own work: LiveFlagFiles() (the walk, the
// liveness test of each flag, stale ones removed) and MonitorEntries() (the rows). Two
// floors are printed beside it: the bare walk plus a lock test of each flag (the per-file
// design), and the bare walk plus one read of the kernel's lock table (the design used).
#include <dirent.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/bench_clock.h"
#include "accounts/smpp_clients.h"
#include "platform/file_locks.h"
#include "platform/files.h"

namespace {

using namespace bench;

constexpr int kFlags = 1'000;
constexpr int kRefreshes = 200;
constexpr int kRounds = 5;

std::size_t Refresh() {
    return accounts::MonitorEntries(accounts::LiveFlagFiles()).size();
}

// Names of the flag files, nothing else.
std::size_t BareWalk(const std::string& dir) {
    std::size_t count = 0;
    DIR* handle = opendir(dir.c_str());
    if (!handle) return 0;
    while (dirent* d = readdir(handle)) {
        const std::string name = d->d_name;
        if (name.size() > 4 && name.ends_with(".FLG")) ++count;
    }
    closedir(handle);
    return count;
}

// The bare walk plus the one test no refresh can skip: whether each flag is still locked.
std::size_t WalkAndProbe(const std::string& dir) {
    std::size_t live = 0;
    DIR* handle = opendir(dir.c_str());
    if (!handle) return 0;
    while (dirent* d = readdir(handle)) {
        const std::string name = d->d_name;
        if (name.size() > 4 && name.ends_with(".FLG") && platform::IsFileLocked(dir + name)) ++live;
    }
    closedir(handle);
    return live;
}

template <typename Work>
void Measure(Work work, double& cpu, double& wall) {
    cpu = wall = 1e30;
    for (int round = 0; round < kRounds; ++round) {
        const double c = CpuMs(), w = WallMs();
        for (int i = 0; i < kRefreshes; ++i) work();
        cpu = std::min(cpu, (CpuMs() - c) / kRefreshes);
        wall = std::min(wall, (WallMs() - w) / kRefreshes);
    }
}

}  // namespace

int main() {
    const std::string data =
        (std::filesystem::temp_directory_path() / ("smpp-monitor-bench-" + std::to_string(getpid()))).string() + "/";
    setenv("ZELLA_DATA_DIR", data.c_str(), 1);
    const std::string dir = accounts::ActiveUsersDirectory();
    platform::CreateDirectories(dir);
    std::vector<platform::FileLock> held;
    for (int i = 0; i < kFlags; ++i) {
        char name[64];
        // 250 users with four connections each, from 50 addresses.
        std::snprintf(name, sizeof name, "10.0.0.%d-%d-T-user%03d.FLG", i % 50, i, i % 250);
        held.emplace_back(dir + name, true, false, true);
    }
    if (Refresh() != 250 || BareWalk(dir) != static_cast<std::size_t>(kFlags)) {
        std::fprintf(stderr, "the flag files are not all live\n");
        return 1;
    }
    double refreshCpu, refreshWall, walkCpu, walkWall;
    Measure(Refresh, refreshCpu, refreshWall);
    Measure([&] { return BareWalk(dir); }, walkCpu, walkWall);
    std::printf("monitor refresh, %d flag files: %.3f ms CPU, %.3f ms wall\n", kFlags, refreshCpu, refreshWall);
    std::printf("bare directory walk:            %.3f ms CPU, %.3f ms wall\n", walkCpu, walkWall);
    std::printf("ratio: %.2f CPU, %.2f wall (target <= 2)\n", refreshCpu / walkCpu, refreshWall / walkWall);
    double probeCpu, probeWall;
    Measure([&] { return WalkAndProbe(dir); }, probeCpu, probeWall);
    std::printf("walk + lock test of each flag:  %.3f ms CPU, %.3f ms wall (refresh / this: %.2f CPU)\n",
                probeCpu, probeWall, refreshCpu / probeCpu);
    double tableCpu, tableWall;
    Measure([&] { return BareWalk(dir) + platform::LockedFiles().value_or(platform::FileIdSet{}).size(); },
            tableCpu, tableWall);
    std::printf("walk + one lock table read:     %.3f ms CPU, %.3f ms wall (this / walk: %.2f CPU; "
                "refresh / this: %.2f CPU)\n",
                tableCpu, tableWall, tableCpu / walkCpu, refreshCpu / tableCpu);
    held.clear();
    std::filesystem::remove_all(data);
    return 0;
}
