// A helper program (modemsim, termserver) started in the background whose first output
// line, its device path or port, is read at start. Ended with SIGTERM and reaped when
// stopped or destroyed.
#pragma once

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

extern char** environ;

namespace zella_test {

class FirstLineChild {
public:
    FirstLineChild(const std::string& program, const std::vector<std::string>& args) {
        int out[2];
        if (pipe(out) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        std::vector<std::string> all{program};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& a : all) argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        char c;
        while (pid_ > 0 && read(out[0], &c, 1) == 1 && c != '\n') firstLine_ += c;
        close(out[0]);
    }
    ~FirstLineChild() { Stop(); }
    FirstLineChild(const FirstLineChild&) = delete;
    FirstLineChild& operator=(const FirstLineChild&) = delete;

    bool Started() const { return pid_ > 0 && !firstLine_.empty(); }
    const std::string& FirstLine() const { return firstLine_; }
    pid_t Pid() const { return pid_; }
    // Ends the process now (a modem that disappears).
    void Stop() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
    }

private:
    pid_t pid_ = -1;
    std::string firstLine_;
};

}  // namespace zella_test
