// The clocks the benchmarks measure with: process and thread CPU time, wall time, and
// another process's CPU time as its /proc/PID/stat records it (clock-tick resolution).
#pragma once

#include <sys/types.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <fstream>
#include <iterator>
#include <string>

namespace bench {

inline double Milliseconds(clockid_t clock) {
    timespec ts{};
    clock_gettime(clock, &ts);
    return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

// This process's CPU time, in milliseconds.
inline double CpuMs() { return Milliseconds(CLOCK_PROCESS_CPUTIME_ID); }
// Monotonic wall time, in milliseconds.
inline double WallMs() { return Milliseconds(CLOCK_MONOTONIC); }
// The calling thread's CPU time, in seconds.
inline double ThreadCpu() { return Milliseconds(CLOCK_THREAD_CPUTIME_ID) / 1e3; }

struct CpuSplit {
    double user = 0, system = 0;  // seconds
    double Total() const { return user + system; }
    CpuSplit operator-(const CpuSplit& o) const { return {user - o.user, system - o.system}; }
};

// User and system CPU seconds of process `pid` (fields 14 and 15 of /proc/PID/stat);
// zero when it cannot be read.
inline CpuSplit ProcessCpuSplit(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    const std::string stat((std::istreambuf_iterator<char>(in)), {});
    const std::size_t close = stat.rfind(')');
    if (close == std::string::npos || close + 2 >= stat.size()) return {};
    unsigned long long user = 0, system = 0;
    std::sscanf(stat.c_str() + close + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %llu %llu",
                &user, &system);
    const double tick = static_cast<double>(sysconf(_SC_CLK_TCK));
    return {static_cast<double>(user) / tick, static_cast<double>(system) / tick};
}

// User plus system CPU seconds of process `pid`.
inline double ProcessCpu(pid_t pid) { return ProcessCpuSplit(pid).Total(); }

}  // namespace bench
