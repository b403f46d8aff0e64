// The Gateway service (zellant) sending through simulated GSM modems (tools/modemsim on
// pseudo-terminals, linked as COMPORTS/COMn), each taking --part-ms per part (default
// 3000, a realistic network), in one run:
//
//   rate  M one-part messages per modem (default 10) queued before the service starts; the
//         clock runs from the first message's SMSOUT line to the last one's. Messages per
//         minute against the modems' own limit (modems x 60,000 / part-ms). Target: 95%.
//   cpu   the service's CPU per part (user + system from /proc) against the simulators'
//         over the same span.
//
//   modem_gateway_bench [--modems N[,N...]] [--messages M] [--part-ms MS]
//
// Default modem counts: 1 and 8. Everything runs on pseudo-terminals; bounded waits.
#include <sstream>

#include "bench/gateway_bench_support.h"

namespace {

using namespace gwbench;

struct Run {
    double perMinute = 0, limitPerMinute = 0, serviceCpuMsPerPart = 0, simCpuMsPerPart = 0;
    bool ok = false;
};

Run Measure(unsigned modems, unsigned messages, unsigned partMs) {
    Run run;
    Zellant z("modem" + std::to_string(modems));
    mkdir((z.Dir() + "COMPORTS").c_str(), 0770);
    std::vector<std::unique_ptr<Child>> sims;
    std::vector<pid_t> simPids;
    std::string ini = "[ZELLA]\r\n";
    for (unsigned n = 1; n <= modems; ++n) {
        sims.push_back(std::make_unique<Child>(
            std::vector<std::string>{std::string(ZELLA_BIN_DIR) + "/modemsim",
                                     "--part-ms=" + std::to_string(partMs),
                                     "--link=" + z.Dir() + "COMPORTS/COM" + std::to_string(n)},
            std::vector<std::string>{}));
        if (sims.back()->ReadLine(5000).empty()) return run;
        simPids.push_back(sims.back()->Pid());
        ini += "Modem" + std::to_string(n) + "=COM" + std::to_string(n) + ":\r\n";
    }
    WriteText(z.Dir() + "ZELLA.INI", ini);
    const unsigned total = modems * messages;
    for (unsigned i = 0; i < total; ++i)
        z.Queue("B" + std::to_string(i), "+4477" + std::to_string(1000000 + i), "Bench");
    if (!z.Start()) return run;
    const int bound = static_cast<int>(20'000 + 3ull * messages * partMs);
    if (!WaitFor([&] { return z.SentLines() >= 1; }, bound, 5)) return run;
    const double start = bench::WallMs();
    const double serviceCpu0 = ProcessesCpu({z.Pid()}), simCpu0 = ProcessesCpu(simPids);
    // The first wave (one message per modem) ends together; the span covers the rest.
    if (!WaitFor([&] { return z.SentLines() >= total; }, bound, 5)) return run;
    const double span = bench::WallMs() - start;
    const double serviceCpu = ProcessesCpu({z.Pid()}) - serviceCpu0,
                 simCpu = ProcessesCpu(simPids) - simCpu0;
    const unsigned counted = total - std::min(total - 1, modems);
    run.perMinute = counted / span * 60'000.0;
    run.limitPerMinute = modems * 60'000.0 / partMs;
    run.serviceCpuMsPerPart = serviceCpu * 1000.0 / counted;
    run.simCpuMsPerPart = simCpu * 1000.0 / counted;
    run.ok = true;
    z.Stop();
    return run;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<unsigned> counts{1, 8};
    unsigned messages = 10, partMs = 3000;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string a = argv[i], v = argv[i + 1];
        if (a == "--modems") {
            counts.clear();
            std::stringstream in(v);
            for (std::string n; std::getline(in, n, ',');)
                counts.push_back(static_cast<unsigned>(std::stoul(n)));
        } else if (a == "--messages") {
            messages = static_cast<unsigned>(std::stoul(v));
        } else if (a == "--part-ms") {
            partMs = static_cast<unsigned>(std::stoul(v));
        }
    }
    int failures = 0;
    for (unsigned modems : counts) {
        const Run r = Measure(modems, messages, partMs);
        if (!r.ok) {
            std::printf("%u modem(s): did not finish\n", modems);
            ++failures;
            continue;
        }
        const double share = r.perMinute / r.limitPerMinute * 100.0;
        std::printf("%u modem(s), %u ms/part: %.1f messages/min of %.1f (%.1f%%, target 95%%) %s\n",
                    modems, partMs, r.perMinute, r.limitPerMinute, share,
                    share >= 95.0 ? "OK" : "BELOW");
        std::printf("  CPU per part: service %.3f ms, simulators %.3f ms (ratio %.2f)\n",
                    r.serviceCpuMsPerPart, r.simCpuMsPerPart,
                    r.simCpuMsPerPart > 0 ? r.serviceCpuMsPerPart / r.simCpuMsPerPart : 0.0);
    }
    return failures == 0 ? 0 : 1;
}
