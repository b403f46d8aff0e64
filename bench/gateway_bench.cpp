// The Gateway service (zellant) against Kannel on the same loopback SMSC
// (tests/peers/gateway_smsc.js), in one run:
//
//   throughput  N one-part messages (default 20,000), one transceiver bind, window 10, the
//               SMSC answering at once. Each gateway is loaded while its SMSC is not yet
//               listening (zellant: request files in Q/; Kannel: smsbox's sendsms over
//               keep-alive HTTP into bearerbox's spool store), then the SMSC starts and the
//               clock runs from its first to its Nth submit. The gateway's CPU (user +
//               system from /proc, bearerbox and smsbox summed) is taken over the same
//               span. Target: zellant at least 1.5 times Kannel's rate, and below its CPU
//               per message.
//   window      the same with the SMSC answering after 20 ms (default 5,000 messages):
//               the rate against the window's limit, 10 / 0.020 s = 500/s. Target: 95%.
//   durability  R runs (default 20): M messages (default 200) queued, the SMSC answering
//               after 10 ms and logging every submit's recipient, zellant killed with -9
//               once a random number of submits arrived, started again and left to finish.
//               Per run: messages lost (never reached the SMSC; target 0) and duplicated
//               (reached it twice; at most the window, 10).
//
//   gateway_bench [throughput|window|durability|all] [--messages N] [--rounds R]
//                 [--runs R] [--seed S] [--kannel-store spool|none] [--no-kannel]
//
// --no-kannel measures zellant alone (to try a change quickly); --kannel-store none keeps
// Kannel's messages in memory only, which zellant never does.
//
// Each measure is bounded (a few minutes); everything talks to loopback only. The rounds
// alternate which gateway goes first, so a machine that slows down during the run does
// not favour one side.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <functional>
#include <map>
#include <numeric>
#include <random>

#include "bench/gateway_bench_support.h"

namespace {

using namespace gwbench;

constexpr unsigned kWindow = 10;
constexpr int kConnectWaitMs = 120'000;  // zellant's reconnect back-off grows to 60 s

std::string Recipient(int i) {
    char text[32];
    std::snprintf(text, sizeof text, "+4477%08d", i);
    return text;
}
std::string Text(int i) {
    char text[64];
    std::snprintf(text, sizeof text, "Benchmark message %06d", i);
    return text;
}

struct Flow {
    bool ok = false;
    std::string error;
    int messages = 0;
    double ms = 0;           // first to last submit, as the SMSC timed it
    bench::CpuSplit cpu;     // the gateway's, over that span
    double smscCpu = 0;      // the SMSC's, over that span (seconds)
    double Rate() const { return ms > 0 ? (messages - 1) * 1000.0 / ms : 0; }
    double CpuUsPerMessage() const { return messages > 0 ? cpu.Total() * 1e6 / messages : 0; }
};

// Starts the SMSC on `port` and times the gateway `pids` from the first to the
// `messages`th submit; the SMSC stays up (in `smsc`) for the caller's checks.
Flow TimeFlow(unsigned port, const std::vector<pid_t>& pids, int messages, int delayMs,
              std::unique_ptr<Smsc>& smsc) {
    Flow f;
    f.messages = messages;
    std::vector<std::string> options{"--port", std::to_string(port), "--count-only", "--mark-first"};
    if (delayMs > 0) options.insert(options.end(), {"--delay", std::to_string(delayMs)});
    smsc = std::make_unique<Smsc>(options);
    if (smsc->Port() != port) {
        f.error = "the SMSC did not start on port " + std::to_string(port);
        return f;
    }
    if (smsc->Process().ReadUntil("FIRST", kConnectWaitMs).empty()) {
        f.error = "no submit within " + std::to_string(kConnectWaitMs / 1000) + " s";
        return f;
    }
    const bench::CpuSplit gw0 = ProcessesCpuSplit(pids);
    const double smsc0 = bench::ProcessCpu(smsc->Pid());
    const std::string last = smsc->Process().ReadUntil("SUBMITTED " + std::to_string(messages) + " ", 300'000);
    const bench::CpuSplit gw1 = ProcessesCpuSplit(pids);
    const double smsc1 = bench::ProcessCpu(smsc->Pid());
    if (last.empty()) {
        f.error = "the SMSC did not see " + std::to_string(messages) + " submits";
        return f;
    }
    f.ms = std::atof(last.c_str() + last.rfind(' ') + 1);
    f.cpu = gw1 - gw0;
    f.smscCpu = smsc1 - smsc0;
    f.ok = true;
    return f;
}

// ---- zellant ----

Flow ZellantFlow(int messages, int delayMs) {
    Flow f;
    Zellant z("gwbench");
    if (!z.Valid()) {
        f.error = "no temporary directory";
        return f;
    }
    const unsigned port = FreePort();
    z.Configure({"SMPP - 127.0.0.1:" + std::to_string(port)},
                {"WindowSize=" + std::to_string(kWindow), "ReceiveSingleConnection=Yes", "KeepAlive=30"});
    for (int i = 0; i < messages; ++i) z.Queue("B" + std::to_string(100000 + i), Recipient(i), Text(i));
    if (!z.Start()) {
        f.error = "zellant did not start";
        return f;
    }
    // Every request seen and waiting for its connection before the SMSC comes.
    WaitUntilIdle(z.Pid(), 300, 5, 60'000);
    std::unique_ptr<Smsc> smsc;
    f = TimeFlow(port, {z.Pid()}, messages, delayMs, smsc);
    if (f.ok && !WaitFor([&] { return z.Queued() == 0; }, 60'000)) {
        f.ok = false;
        f.error = std::to_string(z.Queued()) + " requests still queued";
    }
    if (f.ok && z.SentLines() != static_cast<std::size_t>(messages)) {
        f.ok = false;
        f.error = std::to_string(z.SentLines()) + " OK lines in SMSOUT for " + std::to_string(messages) + " messages";
    }
    z.Stop();
    return f;
}

// ---- Kannel ----

// A keep-alive HTTP/1.1 client for smsbox's sendsms interface and bearerbox's status page.
class HttpClient {
public:
    explicit HttpClient(unsigned port) : port_(port) {}
    ~HttpClient() { Close(); }
    // GET `target`; the status code (0 when the exchange failed) and the body.
    int Get(const std::string& target, std::string* body = nullptr) {
        for (int attempt = 0; attempt < 2; ++attempt) {
            if (fd_ < 0 && !Connect()) return 0;
            const std::string request = "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: keep-alive\r\n\r\n";
            if (send(fd_, request.data(), request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(request.size())) {
                const int status = ReadResponse(body);
                if (status != 0) return status;
            }
            Close();  // the server closed a kept connection: once more on a new one
        }
        return 0;
    }

private:
    bool Connect() {
        fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(static_cast<std::uint16_t>(port_));
        if (connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) return true;
        Close();
        return false;
    }
    void Close() {
        if (fd_ >= 0) close(fd_);
        fd_ = -1;
        in_.clear();
    }
    bool Fill() {
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, 30'000) <= 0) return false;
        char chunk[8192];
        const ssize_t n = recv(fd_, chunk, sizeof chunk, 0);
        if (n <= 0) return false;
        in_.append(chunk, static_cast<std::size_t>(n));
        return true;
    }
    int ReadResponse(std::string* body) {
        std::size_t end;
        while ((end = in_.find("\r\n\r\n")) == std::string::npos)
            if (!Fill()) return 0;
        const std::string head = in_.substr(0, end);
        int status = 0;
        std::sscanf(head.c_str(), "HTTP/%*s %d", &status);
        std::size_t length = 0;
        std::string lower = head;
        for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        const std::size_t at = lower.find("\r\ncontent-length:");
        if (at != std::string::npos) length = std::strtoul(head.c_str() + at + 17, nullptr, 10);
        while (in_.size() < end + 4 + length)
            if (!Fill()) return 0;
        if (body) *body = in_.substr(end + 4, length);
        in_.erase(0, end + 4 + length);
        if (lower.find("connection: close") != std::string::npos) Close();
        return status;
    }

    unsigned port_;
    int fd_ = -1;
    std::string in_;
};

// bearerbox with one SMPP transceiver connection to the loopback SMSC on `smscPort` (the
// same window), and an smsbox whose sendsms interface takes the messages. Messages are
// kept in bearerbox's spool store, as zellant keeps them in files, unless `store` is off.
class Kannel {
public:
    Kannel(unsigned smscPort, bool store)
        : dir_(MakeTempDir("gwbench-kannel")), admin_(FreePort()), box_(FreePort()), sendsms_(FreePort()) {
        std::string conf =
            "group = core\n"
            "admin-port = " + std::to_string(admin_) + "\n"
            "admin-interface = 127.0.0.1\n"
            "admin-password = bench\n"
            "admin-allow-ip = 127.0.0.1\n"
            "smsbox-port = " + std::to_string(box_) + "\n"
            "smsbox-interface = 127.0.0.1\n"
            "box-allow-ip = 127.0.0.1\n"
            "log-level = 4\n"
            "log-file = \"" + dir_ + "bearerbox.log\"\n"
            // One line per message sent, as zellant's SMSOUT log.
            "access-log = \"" + dir_ + "access.log\"\n";
        if (store) conf += "store-type = spool\nstore-location = \"" + dir_ + "store\"\n";
        conf +=
            "\ngroup = smsc\n"
            "smsc = smpp\n"
            "smsc-id = bench\n"
            "host = 127.0.0.1\n"
            "port = " + std::to_string(smscPort) + "\n"
            "transceiver-mode = true\n"
            "smsc-username = gateway\n"
            "smsc-password = password\n"
            "system-type = \"\"\n"  // required by bearerbox, as zellant's SystemType: empty
            "max-pending-submits = " + std::to_string(kWindow) + "\n"
            "reconnect-delay = 1\n"
            "enquire-link-interval = 30\n"
            "\ngroup = smsbox\n"
            "bearerbox-host = 127.0.0.1\n"
            "bearerbox-port = " + std::to_string(box_) + "\n"
            "sendsms-port = " + std::to_string(sendsms_) + "\n"
            "sendsms-interface = 127.0.0.1\n"
            "log-level = 4\n"
            "log-file = \"" + dir_ + "smsbox.log\"\n"
            "\ngroup = sendsms-user\n"
            "username = bench\n"
            "password = bench\n"
            "max-messages = 1\n";
        if (store) mkdir((dir_ + "store").c_str(), 0700);
        WriteText(dir_ + "kannel.conf", conf);
    }
    ~Kannel() {
        smsbox_.reset();
        bearerbox_.reset();
        RemoveTree(dir_);
    }
    bool Start() {
        bearerbox_ = std::make_unique<Child>(std::vector<std::string>{"bearerbox", "-v", "4", dir_ + "kannel.conf"},
                                             std::vector<std::string>{}, dir_ + "bearerbox.out");
        if (!WaitFor([&] { return Listening(admin_) || !bearerbox_->Running(); }, 15'000) || !bearerbox_->Running())
            return false;
        smsbox_ = std::make_unique<Child>(std::vector<std::string>{"smsbox", "-v", "4", dir_ + "kannel.conf"},
                                          std::vector<std::string>{}, dir_ + "smsbox.out");
        return WaitFor([&] { return Listening(sendsms_) || !smsbox_->Running(); }, 15'000) && smsbox_->Running() &&
               WaitFor([&] { return Status().find("smsbox:") != std::string::npos; }, 15'000);
    }
    std::vector<pid_t> Pids() const { return {bearerbox_->Pid(), smsbox_->Pid()}; }
    // The end of what the boxes printed, to tell why they did not start.
    std::string Output() const {
        std::string text = ReadText(dir_ + "bearerbox.out") + ReadText(dir_ + "smsbox.out");
        const std::size_t panic = text.find("PANIC:");
        if (panic != std::string::npos) return text.substr(panic, text.find('\n', panic) - panic);
        return text.size() > 600 ? text.substr(text.size() - 600) : text;
    }
    std::string Status() {
        std::string body;
        HttpClient(admin_).Get("/status.txt?password=bench", &body);
        return body;
    }
    // Messages sent and waiting, from the status page's "SMS: received ..., sent X (Y queued)".
    std::pair<long, long> Outgoing() {
        const std::string s = Status();
        const std::size_t sms = s.find("\nSMS: received");
        const std::size_t at = sms == std::string::npos ? sms : s.find("), sent ", sms);
        long sent = -1, queued = -1;
        if (at != std::string::npos) std::sscanf(s.c_str() + at, "), sent %ld (%ld queued)", &sent, &queued);
        return {sent, queued};
    }
    // Submits `messages` through sendsms on a few keep-alive connections at once; true
    // when every one was accepted.
    bool Load(int messages) {
        constexpr int kClients = 4;
        std::atomic<int> accepted{0};
        std::vector<std::thread> clients;
        for (int c = 0; c < kClients; ++c) {
            clients.emplace_back([&, c] {
                HttpClient http(sendsms_);
                for (int i = c; i < messages; i += kClients) {
                    std::string text = Text(i);
                    for (char& ch : text)
                        if (ch == ' ') ch = '+';
                    const int status = http.Get("/cgi-bin/sendsms?username=bench&password=bench&from=4470000000&to=%2B" +
                                                Recipient(i).substr(1) + "&text=" + text);
                    if (status >= 200 && status < 300) ++accepted;
                }
            });
        }
        for (auto& t : clients) t.join();
        return accepted == messages;
    }

private:
    std::string dir_;
    unsigned admin_, box_, sendsms_;
    std::unique_ptr<Child> bearerbox_, smsbox_;
};

Flow KannelFlow(int messages, int delayMs, bool store) {
    Flow f;
    const unsigned port = FreePort();
    Kannel k(port, store);
    if (!k.Start()) {
        f.error = "Kannel did not start: " + k.Output();
        return f;
    }
    if (!k.Load(messages)) {
        f.error = "smsbox refused messages";
        return f;
    }
    if (!WaitFor([&] { return k.Outgoing().second >= messages; }, 60'000)) {
        f.error = "bearerbox did not queue every message:\n" + k.Status();
        return f;
    }
    WaitUntilIdle(k.Pids()[0], 300, 5, 30'000);
    std::unique_ptr<Smsc> smsc;
    f = TimeFlow(port, k.Pids(), messages, delayMs, smsc);
    if (f.ok && !WaitFor([&] { return k.Outgoing().first >= messages; }, 60'000)) {
        f.ok = false;
        f.error = "bearerbox did not count every message sent";
    }
    return f;
}

// ---- reports ----

struct Spread {
    double median = 0, low = 0, high = 0;
};
Spread SpreadOf(std::vector<double> v) {
    Spread s;
    if (v.empty()) return s;
    std::sort(v.begin(), v.end());
    s.low = v.front();
    s.high = v.back();
    s.median = v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
    return s;
}

void PrintFlow(const char* who, int round, const Flow& f) {
    if (!f.ok) {
        std::printf("  round %d %-8s FAILED: %s\n", round, who, f.error.c_str());
        return;
    }
    std::printf("  round %d %-8s %6.0f msg/s  %7.1f us CPU/msg (user %.2f s, system %.2f s)  SMSC %.1f us/msg  %.2f s\n",
                round, who, f.Rate(), f.CpuUsPerMessage(), f.cpu.user, f.cpu.system, f.smscCpu * 1e6 / f.messages,
                f.ms / 1e3);
    std::fflush(stdout);
}

struct Side {
    std::vector<double> rate, cpu;
    void Add(const Flow& f) {
        if (!f.ok) return;
        rate.push_back(f.Rate());
        cpu.push_back(f.CpuUsPerMessage());
    }
};

void PrintSide(const char* who, const Side& s) {
    const Spread r = SpreadOf(s.rate), c = SpreadOf(s.cpu);
    std::printf("  %-8s %zu rounds: median %.0f msg/s (%.0f-%.0f), median %.1f us CPU/msg (%.1f-%.1f)\n", who,
                s.rate.size(), r.median, r.low, r.high, c.median, c.low, c.high);
}

bool withKannel = true;

void Throughput(int messages, int rounds, bool store) {
    std::printf("Throughput: %d one-part messages, one transceiver bind, window %u, SMSC answering at once\n",
                messages, kWindow);
    std::fflush(stdout);
    Side zellant, kannel;
    for (int round = 1; round <= rounds; ++round) {
        const bool zellantFirst = round % 2 == 1;
        for (int k = 0; k < 2; ++k) {
            if ((k == 0) == zellantFirst) {
                const Flow f = ZellantFlow(messages, 0);
                PrintFlow("zellant", round, f);
                zellant.Add(f);
            } else if (withKannel) {
                const Flow f = KannelFlow(messages, 0, store);
                PrintFlow("Kannel", round, f);
                kannel.Add(f);
            }
        }
    }
    PrintSide("zellant", zellant);
    PrintSide("Kannel", kannel);
    const Spread zr = SpreadOf(zellant.rate), kr = SpreadOf(kannel.rate), zc = SpreadOf(zellant.cpu),
                 kc = SpreadOf(kannel.cpu);
    if (kr.median > 0 && kc.median > 0) {
        std::printf("  zellant/Kannel: rate %.2fx (target >= 1.5: %s), CPU per message %.2fx (target < 1: %s)\n",
                    zr.median / kr.median, zr.median >= 1.5 * kr.median ? "met" : "NOT MET", zc.median / kc.median,
                    zc.median < kc.median ? "met" : "NOT MET");
    }
}

void Window(int messages, int rounds, bool store) {
    constexpr int kDelayMs = 20;
    const double limit = kWindow * 1000.0 / kDelayMs;
    std::printf("Window: %d messages, window %u, SMSC answering after %d ms: limit %.0f msg/s\n", messages, kWindow,
                kDelayMs, limit);
    std::fflush(stdout);
    Side zellant, kannel;
    for (int round = 1; round <= rounds; ++round) {
        const Flow z = ZellantFlow(messages, kDelayMs);
        PrintFlow("zellant", round, z);
        zellant.Add(z);
        // The same SMSC under the same load, for how near the limit a gateway can come here.
        if (!withKannel) continue;
        const Flow k = KannelFlow(messages, kDelayMs, store);
        PrintFlow("Kannel", round, k);
        kannel.Add(k);
    }
    PrintSide("zellant", zellant);
    PrintSide("Kannel", kannel);
    const Spread zr = SpreadOf(zellant.rate), kr = SpreadOf(kannel.rate);
    std::printf("  zellant at %.1f%% of the limit (%.1f%%-%.1f%%; target >= 95%%: %s); Kannel at %.1f%%\n",
                zr.median * 100 / limit, zr.low * 100 / limit, zr.high * 100 / limit,
                zr.median >= 0.95 * limit ? "met" : "NOT MET", kr.median * 100 / limit);
}

// ---- durability ----

struct KillRun {
    bool ok = false;
    std::string error;
    std::size_t killedAfter = 0, submits = 0, lost = 0, duplicated = 0, okLines = 0;
};

std::size_t Lines(const std::string& path) {
    const std::string text = ReadText(path);
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

KillRun Durability(int messages, std::mt19937& random) {
    KillRun run;
    Zellant z("gwkill");
    const std::string log = z.Dir() + "smsc.log";
    Smsc smsc({"--count-only", "--delay", "10", "--log", log});
    if (smsc.Port() == 0) {
        run.error = "the SMSC did not start";
        return run;
    }
    z.Configure({"SMPP - 127.0.0.1:" + std::to_string(smsc.Port())},
                {"WindowSize=" + std::to_string(kWindow), "ReceiveSingleConnection=Yes", "KeepAlive=30"});
    for (int i = 0; i < messages; ++i) z.Queue("K" + std::to_string(100000 + i), Recipient(i), Text(i));
    const std::size_t target = std::uniform_int_distribution<std::size_t>(1, static_cast<std::size_t>(messages) - 1)(random);
    if (!z.Start()) {
        run.error = "zellant did not start";
        return run;
    }
    if (!WaitFor([&] { return Lines(log) >= target; }, 60'000, 1)) {
        run.error = "the flow did not start";
        return run;
    }
    z.Kill();
    run.killedAfter = Lines(log);
    if (!z.Start()) {
        run.error = "zellant did not start again";
        return run;
    }
    if (!WaitFor([&] { return z.Queued() == 0; }, 120'000)) {
        run.error = std::to_string(z.Queued()) + " requests still queued";
        return run;
    }
    z.Stop();
    std::map<std::string, int> reached;
    std::ifstream in(log);
    for (std::string line; std::getline(in, line);) ++reached[line];
    for (int i = 0; i < messages; ++i) {
        std::string number = Recipient(i);
        auto it = reached.find(number);
        if (it == reached.end()) it = reached.find(number.substr(1));  // sent without the "+"
        const int n = it == reached.end() ? 0 : it->second;
        run.lost += n == 0;
        run.duplicated += n > 1 ? static_cast<std::size_t>(n - 1) : 0;
    }
    run.submits = Lines(log);
    run.okLines = z.SentLines();
    run.ok = true;
    return run;
}

void Durability(int messages, int runs, unsigned seed) {
    std::printf("Durability: %d runs of %d messages, window %u, SMSC answering after 10 ms, kill -9 after a random\n"
                "number of submits (seed %u), started again and left to finish\n",
                runs, messages, kWindow, seed);
    std::fflush(stdout);
    std::mt19937 random(seed);
    std::size_t lost = 0, duplicated = 0, maxDuplicated = 0, failed = 0;
    for (int r = 1; r <= runs; ++r) {
        const KillRun run = Durability(messages, random);
        if (!run.ok) {
            ++failed;
            std::printf("  run %2d FAILED: %s\n", r, run.error.c_str());
            continue;
        }
        lost += run.lost;
        duplicated += run.duplicated;
        maxDuplicated = std::max(maxDuplicated, run.duplicated);
        std::printf("  run %2d killed after %3zu submits: lost %zu, duplicated %zu (%zu submits, %zu OK lines)\n", r,
                    run.killedAfter, run.lost, run.duplicated, run.submits, run.okLines);
        std::fflush(stdout);
    }
    std::printf("  %d runs (%zu failed): lost %zu in all (target 0: %s), duplicated %zu in all, at most %zu in a run "
                "(target <= %u: %s)\n",
                runs, failed, lost, lost == 0 && failed == 0 ? "met" : "NOT MET", duplicated, maxDuplicated, kWindow,
                maxDuplicated <= kWindow && failed == 0 ? "met" : "NOT MET");
}

}  // namespace

int main(int argc, char** argv) {
    std::string what = "all";
    int messages = 0, rounds = 0, runs = 20;
    unsigned seed = static_cast<unsigned>(std::random_device()());
    bool store = true;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const char* next = i + 1 < argc ? argv[i + 1] : "";
        if (a == "--messages") messages = std::atoi(next), ++i;
        else if (a == "--rounds") rounds = std::atoi(next), ++i;
        else if (a == "--runs") runs = std::atoi(next), ++i;
        else if (a == "--seed") seed = static_cast<unsigned>(std::strtoul(next, nullptr, 10)), ++i;
        else if (a == "--kannel-store") store = std::string(next) != "none", ++i;
        else if (a == "--no-kannel") withKannel = false;
        else if (a[0] != '-') what = a;
        else {
            std::fprintf(stderr, "usage: gateway_bench [throughput|window|durability|all] [--messages N] [--rounds R] "
                                 "[--runs R] [--seed S] [--kannel-store spool|none] [--no-kannel]\n");
            return 2;
        }
    }
    signal(SIGPIPE, SIG_IGN);
    // The SMSC reports every 1000 submits.
    const auto thousands = [](int n, int fallback) { return n > 0 ? std::max(1, n / 1000) * 1000 : fallback; };
    if (what == "throughput" || what == "all")
        Throughput(thousands(messages, 20'000), rounds > 0 ? rounds : 3, store);
    if (what == "window" || what == "all") Window(thousands(messages, 5'000), rounds > 0 ? rounds : 2, store);
    if (what == "durability" || what == "all") Durability(messages > 1 ? messages : 200, runs, seed);
    return 0;
}
