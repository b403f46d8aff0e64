// What the Gateway service benchmarks share: child processes with an environment of their
// own and bounded waits, zellant on a data directory of the benchmark's own (ZELLA.INI,
// request files, its status block cleaned up even after kill -9), the loopback SMSC of
// tests/peers, and the resident size and CPU time of another process from /proc.
#pragma once

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "bench/bench_clock.h"
#include "platform/shared_memory.h"

extern char** environ;

namespace gwbench {

// Polls `condition` every `stepMs` for up to `ms` of real time.
template <typename Condition>
bool WaitFor(Condition condition, int ms, int stepMs = 20) {
    const double until = bench::WallMs() + ms;
    while (bench::WallMs() < until) {
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(stepMs));
    }
    return condition();
}

// A child process. Its standard output goes to a pipe the benchmark reads line by line, or
// to a file; standard error goes with it. Ended with SIGTERM (SIGKILL after 10 s) and
// reaped when the object goes.
class Child {
public:
    Child(const std::vector<std::string>& args, const std::vector<std::string>& env,
          const std::string& outputFile = "") {
        int out[2] = {-1, -1};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        if (outputFile.empty()) {
            if (pipe(out) != 0) return;
            posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
            posix_spawn_file_actions_addclose(&actions, out[0]);
            posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        } else {
            posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outputFile.c_str(),
                                             O_WRONLY | O_CREAT | O_APPEND, 0644);
            posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
        }
        std::vector<std::string> all = args;
        std::vector<char*> argv;
        for (std::string& a : all) argv.push_back(a.data());
        argv.push_back(nullptr);
        std::vector<std::string> envText;
        for (char** e = environ; *e != nullptr; ++e) envText.emplace_back(*e);
        envText.insert(envText.end(), env.begin(), env.end());
        std::vector<char*> envp;
        for (std::string& e : envText) envp.push_back(e.data());
        envp.push_back(nullptr);
        if (posix_spawnp(&pid_, args[0].c_str(), &actions, nullptr, argv.data(), envp.data()) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        if (out[1] >= 0) close(out[1]);
        out_ = out[0];
    }
    ~Child() {
        Stop();
        if (out_ >= 0) close(out_);
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    pid_t Pid() const { return pid_; }
    bool Running() {
        if (pid_ <= 0) return false;
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            exitStatus_ = status;
            pid_ = -1;
            return false;
        }
        return true;
    }
    // SIGTERM, then SIGKILL when it has not ended within `ms`; true when it ended by itself.
    bool Stop(int ms = 10'000) {
        if (pid_ <= 0) return true;
        kill(pid_, SIGTERM);
        const bool ended = WaitFor([&] { return !Running(); }, ms, 10);
        if (!ended) Kill();
        return ended;
    }
    // SIGKILL: no clean-up at all.
    void Kill() {
        if (pid_ <= 0) return;
        kill(pid_, SIGKILL);
        waitpid(pid_, &exitStatus_, 0);
        pid_ = -1;
    }

    // The next output line, or "" when none came within `ms` or the child ended.
    std::string ReadLine(int ms) {
        const double until = bench::WallMs() + ms;
        for (;;) {
            const auto newline = buffer_.find('\n');
            if (newline != std::string::npos) {
                std::string line = buffer_.substr(0, newline);
                buffer_.erase(0, newline + 1);
                return line;
            }
            const int left = static_cast<int>(until - bench::WallMs());
            pollfd p{out_, POLLIN, 0};
            if (out_ < 0 || left <= 0 || poll(&p, 1, left) <= 0) return "";
            char chunk[4096];
            const ssize_t n = read(out_, chunk, sizeof chunk);
            if (n <= 0) return "";
            buffer_.append(chunk, static_cast<std::size_t>(n));
        }
    }
    // Reads lines until one starts with `prefix`; "" when none came within `ms`.
    std::string ReadUntil(const std::string& prefix, int ms) {
        const double until = bench::WallMs() + ms;
        for (;;) {
            const int left = static_cast<int>(until - bench::WallMs());
            if (left <= 0) return "";
            std::string line = ReadLine(left);
            if (line.rfind(prefix, 0) == 0) return line;
            if (line.empty() && !Running()) return "";
        }
    }

private:
    pid_t pid_ = -1;
    int out_ = -1;
    int exitStatus_ = 0;
    std::string buffer_;
};

// A port on loopback nobody listens on now (bound, read and released).
inline unsigned FreePort() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t n = sizeof a;
    unsigned port = 0;
    if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &n) == 0)
        port = ntohs(a.sin_port);
    close(fd);
    return port;
}

inline bool Listening(unsigned port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    close(fd);
    return ok;
}

// A field of /proc/PID/status in KiB ("VmHWM", "VmRSS"); 0 when absent.
inline long StatusKiB(pid_t pid, const std::string& field) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(field + ":", 0) == 0) return std::atol(line.c_str() + field.size() + 1);
    return 0;
}

// User plus system CPU seconds of several processes together.
inline double ProcessesCpu(const std::vector<pid_t>& pids) {
    double sum = 0;
    for (pid_t p : pids) sum += bench::ProcessCpu(p);
    return sum;
}
inline bench::CpuSplit ProcessesCpuSplit(const std::vector<pid_t>& pids) {
    bench::CpuSplit sum;
    for (pid_t p : pids) {
        const bench::CpuSplit one = bench::ProcessCpuSplit(p);
        sum.user += one.user;
        sum.system += one.system;
    }
    return sum;
}

// Waits until `pid` has used no more than `slackMs` of CPU over `quietMs` of wall time
// (it has finished what it was doing); false after `ms`.
inline bool WaitUntilIdle(pid_t pid, int quietMs, double slackMs, int ms) {
    const double until = bench::WallMs() + ms;
    double cpu = bench::ProcessCpu(pid);
    while (bench::WallMs() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(quietMs));
        const double now = bench::ProcessCpu(pid);
        if ((now - cpu) * 1e3 <= slackMs) return true;
        cpu = now;
    }
    return false;
}

inline bool WriteText(const std::string& path, const std::string& text) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0660);
    if (fd < 0) return false;
    const bool ok = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    return close(fd) == 0 && ok;
}

inline std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
}

inline void RemoveTree(const std::string& dir) {
    if (dir.size() < 6) return;
    nftw(
        dir.c_str(), [](const char* p, const struct stat*, int, FTW*) { return remove(p); }, 64,
        FTW_DEPTH | FTW_PHYS);
}

// Files in `dir` whose names end with `suffix` (no sub-directories).
inline std::size_t CountFiles(const std::string& dir, const std::string& suffix) {
    std::size_t n = 0;
    if (DIR* d = opendir(dir.c_str())) {
        while (const dirent* e = readdir(d)) {
            const std::string name = e->d_name;
            n += name.size() > suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0;
        }
        closedir(d);
    }
    return n;
}

inline std::string MakeTempDir(const std::string& tag) {
    std::string pattern = "/tmp/zella-" + tag + "-XXXXXX";
    if (!mkdtemp(pattern.data())) return "";
    return pattern + "/";
}

// The loopback SMSC of tests/peers with the options given; "LISTENING" already read.
class Smsc {
public:
    explicit Smsc(const std::vector<std::string>& options) {
        std::vector<std::string> args{"node", std::string(ZELLA_PEERS_DIR) + "/gateway_smsc.js"};
        args.insert(args.end(), options.begin(), options.end());
        child_ = std::make_unique<Child>(args, std::vector<std::string>{});
        const std::string line = child_->ReadUntil("LISTENING ", 15'000);
        if (!line.empty()) port_ = static_cast<unsigned>(std::atoi(line.c_str() + 10));
    }
    unsigned Port() const { return port_; }
    pid_t Pid() const { return child_->Pid(); }
    Child& Process() { return *child_; }

private:
    std::unique_ptr<Child> child_;
    unsigned port_ = 0;
};

// zellant on a fresh data directory and a shared-memory namespace of its own, under the
// supervisor's conventions (the ready file, events in LOGS/EVENTS.LOG).
class Zellant {
public:
    explicit Zellant(const std::string& tag)
        : dir_(MakeTempDir(tag)), ns_("gwbench" + std::to_string(getpid()) + "_" + tag) {
        mkdir((dir_ + "Q").c_str(), 0770);
    }
    ~Zellant() {
        process_.reset();
        UnlinkBlock();
        RemoveTree(dir_);
    }
    const std::string& Dir() const { return dir_; }
    bool Valid() const { return !dir_.empty(); }

    // ZELLA.INI with these SMPP connections (names as in the connection list), each with
    // `keys` ("Key=value").
    bool Configure(const std::vector<std::string>& connections, const std::vector<std::string>& keys) {
        std::string ini = "[ZELLA]\r\n";
        for (std::size_t i = 0; i < connections.size(); ++i)
            ini += "Modem" + std::to_string(i + 1) + "=" + connections[i] + "\r\n";
        for (const std::string& c : connections) {
            ini += "[" + c + "]\r\nUserName=gateway\r\nPassword=password\r\n";
            for (const std::string& k : keys) ini += k + "\r\n";
        }
        return WriteText(dir_ + "ZELLA.INI", ini);
    }
    // A request in the queue's root, written whole (the service is not running yet, or
    // the name is new).
    bool Queue(const std::string& id, const std::string& phone, const std::string& text,
               const std::string& extra = "") {
        return WriteText(dir_ + "Q/" + id + ".REQ",
                         "[SMS]\r\nPhoneNumber=" + phone + "\r\nData=" + text + "\r\n" + extra);
    }
    std::size_t Queued() const { return CountFiles(dir_ + "Q/", ".REQ"); }
    // SMSOUT lines whose status is OK.
    std::size_t SentLines() const {
        std::size_t n = 0;
        if (DIR* d = opendir((dir_ + "LOGS").c_str())) {
            while (const dirent* e = readdir(d)) {
                if (std::strncmp(e->d_name, "SMSOUT-", 7) != 0) continue;
                const std::string text = ReadText(dir_ + "LOGS/" + e->d_name);
                for (std::size_t at = text.find(",OK"); at != std::string::npos; at = text.find(",OK", at + 3)) ++n;
            }
            closedir(d);
        }
        return n;
    }

    // Starts zellant; true once it wrote its ready file.
    bool Start() {
        const std::string ready = dir_ + "ready";
        unlink(ready.c_str());
        process_ = std::make_unique<Child>(
            std::vector<std::string>{std::string(ZELLA_BIN_DIR) + "/zellant"},
            std::vector<std::string>{"ZELLA_DATA_DIR=" + dir_, "ZELLA_SHM_NAMESPACE=" + ns_,
                                     "ZELLA_SERVICE_MANAGER=supervisor", "ZELLA_SERVICE_READY_FILE=" + ready},
            dir_ + "zellant.out");
        return process_->Pid() > 0 && WaitFor([&] { return access(ready.c_str(), F_OK) == 0 || !process_->Running(); }, 30'000) &&
               process_->Running();
    }
    pid_t Pid() const { return process_ ? process_->Pid() : -1; }
    bool Stop() {
        const bool ok = !process_ || process_->Stop();
        process_.reset();
        return ok;
    }
    // kill -9, and the status block it left removed so that it can start again.
    void Kill() {
        if (process_) process_->Kill();
        process_.reset();
        UnlinkBlock();
    }

private:
    void UnlinkBlock() {
        setenv("ZELLA_SHM_NAMESPACE", ns_.c_str(), 1);
        shm_unlink(platform::SharedMemoryObjectName(platform::status_block::kGatewayName).c_str());
        unsetenv("ZELLA_SHM_NAMESPACE");
    }

    std::string dir_, ns_;
    std::unique_ptr<Child> process_;
};

}  // namespace gwbench
