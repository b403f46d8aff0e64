// The Gateway service's SMPP server (zellant) against the npm SMPP client, in one run:
//
//   submit   4 clients (transmitters of one account each) with windows of 50 submit N
//            one-part messages each (default 2,500); every request is on disk before its
//            submit_sm_resp. The clock runs from the clients' first submit to their last
//            answer. Target: at least 2,000 messages per second, and zellant's CPU per
//            message below the clients'.
//   memory   zellant's resident size before and with 1,000 bound sessions (raw sockets,
//            one account allowing them all), and per session.
//
//   flood    9,990 connections that never bind (the server's limit is 10,000), then one
//            client that binds: whether it is still served, and zellant's resident size.
//
//   smpp_server_bench [submit|memory|flood|all] [--messages N]
//
// Everything talks to loopback; each measure is bounded.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>

#include "acctdb/acctdb.h"
#include "bench/gateway_bench_support.h"

namespace {

using namespace gwbench;

constexpr int kClients = 4;
constexpr int kWindow = 50;
constexpr int kSessions = 1000;

bool AddUsers(const std::string& dir, int count, const std::string& prefix) {
    setenv("ZELLA_DATA_DIR", dir.c_str(), 1);
    acctdb::UserHandle store = 0;
    if (!acctdb::SMSOpenUserFile(&store, acctdb::GENERIC_READ | acctdb::GENERIC_WRITE)) return false;
    for (int i = 0; i < count; ++i) {
        acctdb::UserRecord r;
        r.SetUserName(prefix + std::to_string(i));
        r.SetPassword("pw");
        r.SetSmppLogin(true);
        acctdb::SMSAddUser(store, r);
    }
    acctdb::SMSCloseUserFile(store);
    unsetenv("ZELLA_DATA_DIR");
    return true;
}

bool StartServer(Zellant& z, unsigned port, const std::string& extra) {
    return z.Valid() && WriteText(z.Dir() + "ZELLA.INI", "[ZELLA]\r\nSMPPPort=" + std::to_string(port) + "\r\n" + extra) &&
           z.Start();
}

int Submit(int messages) {
    Zellant z("smppsrv");
    const unsigned port = FreePort();
    if (!AddUsers(z.Dir(), kClients, "client") || !StartServer(z, port, "")) {
        std::printf("submit: zellant did not start\n");
        return 1;
    }
    std::vector<std::unique_ptr<Child>> clients;
    for (int i = 0; i < kClients; ++i)
        clients.push_back(std::make_unique<Child>(
            std::vector<std::string>{"node", std::string(ZELLA_PEERS_DIR) + "/smpp_client.js", "--port",
                                     std::to_string(port), "--user", "client" + std::to_string(i), "--password", "pw",
                                     "--bind", "transmitter", "--submit", "+447700900000", "Benchmark message",
                                     "--count", std::to_string(messages), "--window", std::to_string(kWindow)},
            std::vector<std::string>{}));
    std::vector<pid_t> clientPids;
    for (auto& c : clients) clientPids.push_back(c->Pid());
    const bench::CpuSplit zellantBefore = ProcessesCpuSplit({z.Pid()});
    const double clientsBefore = ProcessesCpu(clientPids);
    double slowestMs = 0;
    long accepted = 0, refused = 0;
    for (auto& c : clients) {
        const std::string done = c->ReadUntil("DONE ", 300'000);
        if (done.empty()) {
            std::printf("submit: a client did not finish\n");
            return 1;
        }
        long a = 0, r = 0;
        double ms = 0;
        std::sscanf(done.c_str(), "DONE %ld %ld %lf", &a, &r, &ms);
        accepted += a;
        refused += r;
        slowestMs = std::max(slowestMs, ms);
    }
    const double zellantCpu = (ProcessesCpuSplit({z.Pid()}) - zellantBefore).Total();
    const double clientsCpu = ProcessesCpu(clientPids) - clientsBefore;
    const double rate = slowestMs > 0 ? accepted * 1000.0 / slowestMs : 0;
    std::printf("submit: %ld accepted, %ld refused by %d clients (window %d) in %.0f ms: %.0f/s (target 2000/s)\n",
                accepted, refused, kClients, kWindow, slowestMs, rate);
    std::printf("submit: CPU per message: zellant %.0f us, clients %.0f us; %zu requests on disk\n",
                accepted ? zellantCpu * 1e6 / accepted : 0.0, accepted ? clientsCpu * 1e6 / accepted : 0.0,
                CountFiles(z.Dir() + "Q/USER__client0/", ".REQ") + CountFiles(z.Dir() + "Q/USER__client1/", ".REQ") +
                    CountFiles(z.Dir() + "Q/USER__client2/", ".REQ") + CountFiles(z.Dir() + "Q/USER__client3/", ".REQ"));
    return refused == 0 ? 0 : 1;
}

// A raw bind_transmitter of `user`; the connected socket, or -1.
int BindRaw(unsigned port, const std::string& user) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd < 0 || connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) return -1;
    std::string body = user + std::string(1, '\0') + "pw" + std::string(1, '\0') + std::string(1, '\0') +
                       std::string("\x34\0\0\0", 4);
    std::string pdu;
    for (std::uint32_t v : {static_cast<std::uint32_t>(16 + body.size()), 2u, 0u, 1u})
        for (int shift = 24; shift >= 0; shift -= 8) pdu += static_cast<char>((v >> shift) & 0xFF);
    pdu += body;
    char answer[64];
    if (write(fd, pdu.data(), pdu.size()) != static_cast<ssize_t>(pdu.size()) || read(fd, answer, sizeof answer) < 16 ||
        answer[8] != 0 || answer[9] != 0 || answer[10] != 0 || answer[11] != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

int Memory() {
    Zellant z("smppmem");
    const unsigned port = FreePort();
    if (!AddUsers(z.Dir(), 1, "many") || !StartServer(z, port, "SMPPServerMaxConnectionsPerUser=2000\r\n")) {
        std::printf("memory: zellant did not start\n");
        return 1;
    }
    WaitUntilIdle(z.Pid(), 500, 5, 10'000);
    const long before = StatusKiB(z.Pid(), "VmRSS");
    std::vector<int> fds;
    for (int i = 0; i < kSessions; ++i) {
        const int fd = BindRaw(port, "many0");
        if (fd < 0) break;
        fds.push_back(fd);
    }
    WaitUntilIdle(z.Pid(), 500, 5, 10'000);
    const long with = StatusKiB(z.Pid(), "VmRSS");
    std::printf("memory: %zu sessions bound; zellant %ld KiB before, %ld KiB with them: %.1f KiB per session; %zu flag files\n",
                fds.size(), before, with, fds.empty() ? 0.0 : double(with - before) / fds.size(),
                CountFiles(z.Dir() + "SMPPData/ActiveUsers/", ".FLG"));
    for (int fd : fds) close(fd);
    return fds.size() == static_cast<std::size_t>(kSessions) ? 0 : 1;
}

int Flood() {
    Zellant z("smppflood");
    const unsigned port = FreePort();
    if (!AddUsers(z.Dir(), 1, "late") || !StartServer(z, port, "")) {
        std::printf("flood: zellant did not start\n");
        return 1;
    }
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
    std::vector<int> fds;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    for (int i = 0; i < 9990; ++i) {
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0 || connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
            if (fd >= 0) close(fd);
            break;
        }
        fds.push_back(fd);
    }
    WaitUntilIdle(z.Pid(), 500, 5, 20'000);
    const int late = BindRaw(port, "late0");
    std::printf("flood: %zu idle connections; a bind after them %s; zellant %ld KiB\n", fds.size(),
                late >= 0 ? "was served" : "was NOT served", StatusKiB(z.Pid(), "VmRSS"));
    if (late >= 0) close(late);
    for (int fd : fds) close(fd);
    return late >= 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::string what = argc > 1 && argv[1][0] != '-' ? argv[1] : "all";
    int messages = 2500;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::string(argv[i]) == "--messages") messages = std::atoi(argv[i + 1]);
    int failed = 0;
    if (what == "submit" || what == "all") failed |= Submit(messages);
    if (what == "memory" || what == "all") failed |= Memory();
    if (what == "flood" || what == "all") failed |= Flood();
    return failed;
}
