// zellant's resident size (VmHWM, the peak, from /proc) with a large queue and many SMPP
// connections, once it has scanned the queue and bound every connection:
//
//   silent  N requests (default 100,000) for any connection, C transceiver connections
//           (default 50) to one loopback SMSC that never answers a submit ("#n" names
//           make them distinct connections to the same SMSC): every window fills and the
//           rest of the queue waits.
//   pinned  the same requests pinned to a route that names no connection, the SMSC
//           answering: none leaves, each is marked with why it waits.
//
// Also the CPU the service uses while nothing can move (the queue waiting on full
// windows), which should be near zero. Target: VmHWM under 64 MiB.
//
//   gateway_memory_bench [silent|pinned|all] [--requests N] [--connections C]
//
// "silent" (the default) takes under a minute; "pinned" several minutes more, most of it
// the file system's work on 100,000 rewritten requests.
#include "bench/gateway_bench_support.h"

namespace {

using namespace gwbench;

constexpr long kTargetKiB = 64 * 1024;

void Report(const char* variant, Zellant& z, double startMs, double startCpu, double readyMs) {
    const pid_t pid = z.Pid();
    const double cpu0 = bench::ProcessCpu(pid), wall0 = bench::WallMs();
    std::this_thread::sleep_for(std::chrono::seconds(5));
    const double idle = (bench::ProcessCpu(pid) - cpu0) * 1e3 / ((bench::WallMs() - wall0) / 1e3);
    const long hwm = StatusKiB(pid, "VmHWM"), rss = StatusKiB(pid, "VmRSS");
    std::printf("  %s: VmHWM %.1f MiB (target < 64 MiB: %s), VmRSS %.1f MiB, threads %ld; settled %.1f s after "
                "start, %.2f s CPU to get there; then %.1f ms CPU per second while waiting\n",
                variant, hwm / 1024.0, hwm < kTargetKiB ? "met" : "NOT MET", rss / 1024.0, StatusKiB(pid, "Threads"),
                (readyMs - startMs) / 1e3, startCpu, idle);
    std::fflush(stdout);
}

void Fill(Zellant& z, int requests, const std::string& extra) {
    char phone[32], id[32];
    for (int i = 0; i < requests; ++i) {
        std::snprintf(phone, sizeof phone, "+4477%08d", i);
        std::snprintf(id, sizeof id, "M%07d", 1000000 + i);
        z.Queue(id, phone, "Memory benchmark message", extra);
    }
}

std::vector<std::string> Connections(unsigned port, int count) {
    std::vector<std::string> names;
    for (int i = 1; i <= count; ++i)
        names.push_back("SMPP - 127.0.0.1#" + std::to_string(i) + ":" + std::to_string(port));
    return names;
}

const std::vector<std::string> kKeys{"WindowSize=10", "ReceiveSingleConnection=Yes", "KeepAlive=30"};

void Silent(int requests, int connections) {
    Smsc smsc({"--silent", "--count-only"});
    Zellant z("gwmem");
    if (smsc.Port() == 0 || !z.Valid()) {
        std::printf("  silent: FAILED to set up\n");
        return;
    }
    z.Configure(Connections(smsc.Port(), connections), kKeys);
    Fill(z, requests, "");
    const double start = bench::WallMs();
    if (!z.Start()) {
        std::printf("  silent: FAILED: zellant did not start\n");
        return;
    }
    // Every connection bound and every window full: the queue was scanned and dispatched.
    int binds = 0;
    while (binds < connections && !smsc.Process().ReadUntil("BIND ", 60'000).empty()) ++binds;
    WaitUntilIdle(z.Pid(), 500, 100, 60'000);
    const double settled = bench::WallMs();
    std::printf("  silent: %d requests, %d connections, %d bound\n", requests, connections, binds);
    Report("silent", z, start, bench::ProcessCpu(z.Pid()), settled);
    z.Stop();
}

void Pinned(int requests, int connections) {
    Smsc smsc({"--count-only"});
    Zellant z("gwmem");
    if (smsc.Port() == 0 || !z.Valid()) {
        std::printf("  pinned: FAILED to set up\n");
        return;
    }
    z.Configure(Connections(smsc.Port(), connections), kKeys);
    Fill(z, requests, "SMSCRoute=No such route\r\n");
    const double start = bench::WallMs();
    if (!z.Start()) {
        std::printf("  pinned: FAILED: zellant did not start\n");
        return;
    }
    int binds = 0;
    while (binds < connections && !smsc.Process().ReadUntil("BIND ", 60'000).empty()) ++binds;
    // Each request is marked once with why it waits; then the service rests.
    WaitUntilIdle(z.Pid(), 1000, 50, 180'000);
    const double settled = bench::WallMs();
    std::printf("  pinned: %d requests, %d connections, %d bound, %zu still queued\n", requests, connections, binds,
                z.Queued());
    Report("pinned", z, start, bench::ProcessCpu(z.Pid()), settled);
    z.Stop();
}

}  // namespace

int main(int argc, char** argv) {
    std::string what = "silent";
    int requests = 100'000, connections = 50;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const char* next = i + 1 < argc ? argv[i + 1] : "";
        if (a == "--requests") requests = std::atoi(next), ++i;
        else if (a == "--connections") connections = std::atoi(next), ++i;
        else if (a[0] != '-') what = a;
        else {
            std::fprintf(stderr, "usage: gateway_memory_bench [silent|pinned|all] [--requests N] [--connections C]\n");
            return 2;
        }
    }
    signal(SIGPIPE, SIG_IGN);
    std::printf("zellant's memory with %d queued requests and %d SMPP connections\n", requests, connections);
    std::fflush(stdout);
    if (what == "silent" || what == "all") Silent(requests, connections);
    if (what == "pinned" || what == "all") Pinned(requests, connections);
    return 0;
}
