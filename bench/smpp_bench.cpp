// CPU cost of a successful SMPP login test (connect, bind_transmitter, unbind, close)
// through libsmpplnk.so: the client's CPU per test against the SMSC's for the same
// exchange, first against a minimal in-process loopback SMSC (its own thread, CPU
// measured per thread), then against the npm `smpp` SMSC of tests/peers when node and
// the package are installed (the node process's CPU from /proc). Then 1,000 binds in a
// row: descriptors and resident memory before and after.
//
//   smpp_bench [tests]      (default 1000)
//
// Target: the client below the SMSC; no growth of descriptors or memory.
#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_clock.h"
#include "acctdb/acctdb.h"
#include "platform/tcp_socket.h"
#include "smpplnk/smpplnk_ext.h"

extern char** environ;

namespace {

using namespace bench;

bool ReadExact(int fd, unsigned char* p, std::size_t n) {
    while (n > 0) {
        const ssize_t got = read(fd, p, n);
        if (got <= 0) return false;
        p += got;
        n -= static_cast<std::size_t>(got);
    }
    return true;
}

std::uint32_t U32(const unsigned char* p) {
    return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) |
           p[3];
}

void Put32(unsigned char* p, std::uint32_t v) {
    p[0] = static_cast<unsigned char>(v >> 24);
    p[1] = static_cast<unsigned char>(v >> 16);
    p[2] = static_cast<unsigned char>(v >> 8);
    p[3] = static_cast<unsigned char>(v);
}

// The smallest SMSC that passes a login test: every bind accepted, unbind answered, and
// the connection closed after the unbind.
class LoopbackSmsc {
public:
    LoopbackSmsc() {
        listener_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        listen(listener_, 16);
        socklen_t n = sizeof a;
        getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &n);
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] { Serve(); });
    }
    ~LoopbackSmsc() {
        shutdown(listener_, SHUT_RDWR);
        close(listener_);
        thread_.join();
    }
    unsigned Port() const { return port_; }
    double Cpu() const { return cpu_.load(); }

private:
    void Serve() {
        for (;;) {
            const int fd = accept(listener_, nullptr, nullptr);
            if (fd < 0) break;
            Session(fd);
            close(fd);
            cpu_ = ThreadCpu();
        }
    }
    static void Session(int fd) {
        unsigned char pdu[512];
        while (ReadExact(fd, pdu, 16)) {
            const std::uint32_t length = U32(pdu), id = U32(pdu + 4);
            if (length < 16 || length > sizeof pdu || !ReadExact(fd, pdu + 16, length - 16)) return;
            unsigned char reply[22];
            std::size_t size = 16;
            Put32(reply + 4, id | 0x80000000u);
            Put32(reply + 8, 0);
            std::memcpy(reply + 12, pdu + 12, 4);
            if (id != 6) {
                std::memcpy(reply + 16, "bench", 6);
                size = 22;
            }
            Put32(reply, static_cast<std::uint32_t>(size));
            if (write(fd, reply, size) != static_cast<ssize_t>(size) || id == 6) return;
        }
    }

    int listener_ = -1;
    unsigned port_ = 0;
    std::thread thread_;
    std::atomic<double> cpu_{0};
};

bool LoginTest(unsigned port) {
    platform::UniqueFd fd = platform::OpenStreamSocket(0);
    if (SMPPConnect(fd.Get(), 0, "127.0.0.1", port) != 0) return false;
    const bool bound = SMPPBind(fd.Get(), nullptr, 0, 0x34, 2, "smppclient1", "password", "") == 0;
    if (bound) SMPPUnbind(fd.Get(), nullptr, 0, 0x34);
    platform::TcpSocket(std::move(fd)).CloseGracefully(1000);
    return bound;
}

int Descriptors() {
    int n = 0;
    if (DIR* d = opendir("/proc/self/fd")) {
        while (readdir(d)) ++n;
        closedir(d);
    }
    return n - 3;  // ".", ".." and the directory's own descriptor
}

long ResidentKiB() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

void AgainstNpmSmsc(int tests) {
    const std::string script = std::string(ZELLA_PEERS_DIR) + "/smpp_smsc.js";
    if (access((std::string(ZELLA_PEERS_DIR) + "/node_modules/smpp").c_str(), F_OK) != 0) {
        std::printf("npm smpp SMSC: not installed, skipped\n");
        return;
    }
    int out[2];
    if (pipe(out) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    std::string node = "node";
    std::vector<char*> argv{node.data(), const_cast<char*>(script.c_str()), nullptr};
    pid_t pid = -1;
    if (posix_spawnp(&pid, "node", &actions, nullptr, argv.data(), environ) != 0) return;
    close(out[1]);
    FILE* lines = fdopen(out[0], "r");
    char line[128] = "";
    unsigned port = 0;
    if (fgets(line, sizeof line, lines)) std::sscanf(line, "LISTENING %u", &port);
    // The peer prints a line per bind and unbind; drain them so it never blocks.
    std::thread drain([lines] {
        char ignored[256];
        while (fgets(ignored, sizeof ignored, lines)) {
        }
    });
    if (port != 0) {
        LoginTest(port);  // warm-up: the JIT's first compilation is not a test's cost
        const double peer0 = ProcessCpu(pid), client0 = ThreadCpu();
        int ok = 0;
        for (int i = 0; i < tests; ++i) ok += LoginTest(port) ? 1 : 0;
        const double client = (ThreadCpu() - client0) / tests,
                     peer = (ProcessCpu(pid) - peer0) / tests;
        std::printf(
            "npm smpp SMSC: %d/%d logins; client %.1f us CPU per test, SMSC %.1f us -> %s\n", ok,
            tests, client * 1e6, peer * 1e6,
            client < peer ? "client below SMSC" : "CLIENT ABOVE SMSC");
    }
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    drain.join();
    fclose(lines);
}

}  // namespace

int main(int argc, char** argv) {
    const int tests = argc > 1 ? std::atoi(argv[1]) : 1000;
    char dir[] = "/tmp/zella-smppbench-XXXXXX";
    if (!mkdtemp(dir)) return 1;
    setenv("ZELLA_DATA_DIR", dir, 1);
    const std::string ini = std::string(dir) + "/ZELLA.INI";
    std::ofstream(ini) << "[SMPP]\nAddressRange=\nBindTON=\nBindNPI=\n";
    acctdb::SMSIniSetFilename(ini);
    SMPPSetDebugMode(0);

    LoopbackSmsc smsc;
    LoginTest(smsc.Port());  // warm-up: first loads and first allocations are not per test
    const int fds0 = Descriptors();
    const long rss0 = ResidentKiB();
    const double client0 = ThreadCpu(), smsc0 = smsc.Cpu();
    int ok = 0;
    for (int i = 0; i < tests; ++i) ok += LoginTest(smsc.Port()) ? 1 : 0;
    const double client = (ThreadCpu() - client0) / tests, peer = (smsc.Cpu() - smsc0) / tests;
    std::printf("loopback SMSC: %d/%d logins; client %.1f us CPU per test, SMSC %.1f us -> %s\n",
                ok, tests, client * 1e6, peer * 1e6,
                client < peer ? "client below SMSC" : "CLIENT ABOVE SMSC");
    std::printf("%d binds in a row: descriptors %d -> %d, resident %ld KiB -> %ld KiB\n", tests,
                fds0, Descriptors(), rss0, ResidentKiB());

    AgainstNpmSmsc(tests);
    std::remove(ini.c_str());
    std::string logs = std::string(dir) + "/LOGS";
    rmdir(logs.c_str());
    rmdir(dir);
    return ok == tests ? 0 : 1;
}
