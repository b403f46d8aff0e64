// The console's one exchange with a network modem, measured.
//
// 1. The /init probe (ProbeNetworkModem) of the loopback stand-in phone, tools/phonesim:
//    the console's CPU per probe (this thread) against the phone's (its process, from
//    /proc). Target: the console below the phone.
// 2. ReadHttpResponse on a response whose body arrives in 1-byte and in 64 KiB pieces,
//    for 256 KiB, 512 KiB and 1 MiB: the time per size must grow linearly with the size
//    (a reader that scanned the whole response again for every piece would grow with
//    its square).
//
//   network_modem_bench [probes] [probe]   (default 1000; "probe": the probe alone)
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <string>
#include <thread>

#include "bench/bench_clock.h"
#include "modem/network_modem.h"
#include "platform/files.h"
#include "platform/tcp_socket.h"
#include "platform/unique_fd.h"
#include "tests/support/first_line_child.h"

namespace {

using namespace bench;

// This thread's user and system CPU seconds.
CpuSplit ThreadUsage() {
    rusage u{};
    getrusage(RUSAGE_THREAD, &u);
    auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return {seconds(u.ru_utime), seconds(u.ru_stime)};
}

void BenchProbe(int probes) {
    zella_test::FirstLineChild phone(platform::ExecutableDirectory() + "phonesim", {});
    if (!phone.Started()) {
        std::printf("probe: phonesim did not start\n");
        return;
    }
    const std::string device = "127.0.0.1:" + phone.FirstLine();
    if (!modem::ProbeNetworkModem(device)) {
        std::printf("probe: %s does not answer\n", device.c_str());
        return;
    }
    const CpuSplit phoneBefore = ProcessCpuSplit(phone.Pid()), usageBefore = ThreadUsage();
    const double before = ThreadCpu(), wallBefore = WallMs() / 1e3;
    int passed = 0;
    for (int i = 0; i < probes; ++i) passed += modem::ProbeNetworkModem(device) ? 1 : 0;
    const double console = ThreadCpu() - before, wall = WallMs() / 1e3 - wallBefore;
    const CpuSplit usage = ThreadUsage() - usageBefore, phoneCpu = ProcessCpuSplit(phone.Pid()) - phoneBefore;
    auto us = [probes](double seconds) { return seconds / probes * 1e6; };
    std::printf("probe: %d of %d answered in %.2f s\n", passed, probes, wall);
    std::printf("probe: console %.1f us CPU per probe, phone %.1f us (console/phone %.2f; "
                "the phone's figure has the clock-tick resolution of /proc)\n",
                us(console), us(phoneCpu.Total()), phoneCpu.Total() > 0 ? console / phoneCpu.Total() : 0.0);
    // On loopback the kernel delivers each segment in the sender's context: the console's
    // system time holds the phone's side of the handshake and of receiving the request.
    std::printf("probe: console user %.1f us + system %.1f us; phone user %.1f us + system %.1f us\n",
                us(usage.user), us(usage.system), us(phoneCpu.user), us(phoneCpu.system));
}

// Seconds ReadHttpResponse takes for a response with `bodySize` bytes of body written in
// `piece`-byte writes by another thread; 0 when the read came back short.
double TimeRead(std::size_t bodySize, std::size_t piece) {
    int pair[2];
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, pair) != 0) return 0;
    platform::TcpSocket reader{platform::UniqueFd(pair[0])};
    const std::string headers =
        "HTTP/1.1 200 OK\r\nContent-length: " + std::to_string(bodySize) + "\r\n\r\n";
    std::thread writer([&] {
        const std::string body(bodySize, 'x');
        (void)!write(pair[1], headers.data(), headers.size());
        for (std::size_t at = 0; at < body.size(); at += piece) {
            const std::size_t n = std::min(piece, body.size() - at);
            std::size_t done = 0;
            while (done < n) {
                const ssize_t w = write(pair[1], body.data() + at + done, n - done);
                if (w <= 0) return;
                done += static_cast<std::size_t>(w);
            }
        }
    });
    const double start = WallMs() / 1e3;
    const std::string response = modem::ReadHttpResponse(reader);
    const double elapsed = WallMs() / 1e3 - start;
    writer.join();
    close(pair[1]);
    return response.size() == headers.size() + bodySize ? elapsed : 0;
}

void BenchRead() {
    for (std::size_t piece : {std::size_t(1), std::size_t(64 * 1024)}) {
        double first = 0;
        for (std::size_t kib : {256u, 512u, 1024u}) {
            const double seconds = TimeRead(kib * 1024, piece);
            if (first == 0) first = seconds;
            std::printf("read: %4zu KiB in %6zu-byte pieces: %8.2f ms (x%.2f of 256 KiB; "
                        "linear is x%zu)\n",
                        kib, piece, seconds * 1e3, first > 0 ? seconds / first : 0.0, kib / 256);
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    const int probes = argc > 1 ? std::atoi(argv[1]) : 1000;
    BenchProbe(probes > 0 ? probes : 1000);
    if (argc <= 2 || std::string(argv[2]) != "probe") BenchRead();
    return 0;
}
