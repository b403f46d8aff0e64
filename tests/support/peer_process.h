// A test peer (an SMSC, an SMTP server) run as a child process whose standard output the
// test reads line by line: "LISTENING <port>" first, then what the peer saw. Every read is
// bounded, and the child is ended with SIGTERM and reaped when the object goes.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

extern char** environ;

namespace zella_test {

class PeerProcess {
public:
    // Runs `program` (looked up in PATH) with `args`; `quiet` sends its standard error
    // to /dev/null.
    PeerProcess(const std::string& program, const std::vector<std::string>& args,
                bool quiet = false) {
        int out[2];
        if (pipe(out) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        if (quiet)
            posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        std::vector<std::string> all{program};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& a : all) argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawnp(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ) != 0) {
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        out_ = out[0];
    }
    ~PeerProcess() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            int status = 0;
            waitpid(pid_, &status, 0);
        }
        if (out_ >= 0) close(out_);
    }
    PeerProcess(const PeerProcess&) = delete;
    PeerProcess& operator=(const PeerProcess&) = delete;

    // The next output line, or "" when none came within `ms` or the peer ended.
    std::string ReadLine(int ms = 10'000) {
        for (;;) {
            const auto newline = buffer_.find('\n');
            if (newline != std::string::npos) {
                std::string line = buffer_.substr(0, newline);
                buffer_.erase(0, newline + 1);
                return line;
            }
            pollfd p{out_, POLLIN, 0};
            if (out_ < 0 || poll(&p, 1, ms) <= 0) return "";
            char chunk[512];
            const ssize_t n = read(out_, chunk, sizeof chunk);
            if (n <= 0) return "";
            buffer_.append(chunk, static_cast<std::size_t>(n));
        }
    }

    // The port from the "LISTENING <port>" line that a peer prints first; 0 if none.
    unsigned ListeningPort(int ms = 10'000) {
        const std::string line = ReadLine(ms);
        if (line.rfind("LISTENING ", 0) != 0) return 0;
        return static_cast<unsigned>(std::stoul(line.substr(10)));
    }

private:
    pid_t pid_ = -1;
    int out_ = -1;
    std::string buffer_;
};

}  // namespace zella_test
