// The openssl command line as a test peer (s_server, s_client): started with pipes on its
// standard input and output, ended with SIGTERM and reaped when the object goes.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/io_wait.h"

extern char** environ;

namespace tlslnk_test {

class OpensslPeer {
public:
    explicit OpensslPeer(std::vector<std::string> args) {
        int in[2], out[2];
        if (pipe(in) != 0) return;
        if (pipe(out) != 0) {
            close(in[0]);
            close(in[1]);
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDERR_FILENO);
        posix_spawn_file_actions_addclose(&actions, in[1]);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        args.insert(args.begin(), "openssl");
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawnp(&pid_, "openssl", &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(in[0]);
        close(out[1]);
        input_ = in[1];
        output_ = out[0];
        fcntl(input_, F_SETFD, FD_CLOEXEC);
        fcntl(output_, F_SETFD, FD_CLOEXEC);
    }
    ~OpensslPeer() {
        if (input_ >= 0) close(input_);
        if (output_ >= 0) close(output_);
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            int status = 0;
            waitpid(pid_, &status, 0);
        }
    }
    OpensslPeer(const OpensslPeer&) = delete;
    OpensslPeer& operator=(const OpensslPeer&) = delete;

    bool Started() const { return pid_ > 0; }

    // Reads the peer's output until it holds `text` (true) or nothing more came for
    // `quietMs` or the peer ended (false).
    bool WaitFor(const std::string& text, std::uint64_t quietMs = 20000) {
        while (output_seen_.find(text) == std::string::npos) {
            if (platform::WaitForIo(output_, platform::IoEvent::Readable, quietMs) !=
                platform::WaitStatus::Ready) {
                return false;
            }
            char chunk[4096];
            const ssize_t n = read(output_, chunk, sizeof chunk);
            if (n <= 0) return false;
            output_seen_.append(chunk, static_cast<std::size_t>(n));
        }
        return true;
    }

    void Write(const std::string& text) {
        ssize_t ignored = write(input_, text.data(), text.size());
        (void)ignored;
    }

    const std::string& Output() const { return output_seen_; }

private:
    pid_t pid_ = -1;
    int input_ = -1;
    int output_ = -1;
    std::string output_seen_;
};

// Runs the openssl command line to its end and returns its exit code; output collected.
int RunOpenssl(std::vector<std::string> args, std::string* output);

// A TCP connection to 127.0.0.1:port, or -1.
int ConnectLoopback(unsigned port);

}  // namespace tlslnk_test
