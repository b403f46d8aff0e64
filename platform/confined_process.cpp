#include "platform/confined_process.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "platform/unique_fd.h"

namespace platform {

namespace {

struct Account {
    bool drop = false;
    uid_t uid = 0;
    gid_t gid = 0;
    std::string name;
};

bool LookUpAccount(Account& account) {
    if (geteuid() != 0) return true;
    for (const char* name : {"quvsms", "nobody"}) {
        struct passwd entry {};
        struct passwd* found = nullptr;
        char buffer[4096];
        if (getpwnam_r(name, &entry, buffer, sizeof buffer, &found) == 0 && found != nullptr && found->pw_uid != 0) {
            account = {true, found->pw_uid, found->pw_gid, name};
            return true;
        }
    }
    return false;
}

std::vector<char*> Pointers(const std::vector<std::string>& texts) {
    std::vector<char*> out;
    for (const std::string& t : texts) out.push_back(const_cast<char*>(t.c_str()));
    out.push_back(nullptr);
    return out;
}

// In the child, between fork and exec: async-signal-safe calls only.
[[noreturn]] void ExecChild(const Account& account, int in, int out, int devnull, const char* dir, char* const* argv,
                            char* const* env) {
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    signal(SIGPIPE, SIG_DFL);
    setpgid(0, 0);
    dup2(in, 0);
    dup2(out, 1);
    dup2(devnull, 2);
    if (account.drop && (setgroups(0, nullptr) != 0 || setgid(account.gid) != 0 || setuid(account.uid) != 0)) _exit(126);
    if (dir != nullptr && *dir != '\0' && chdir(dir) != 0) _exit(126);
    execve(argv[0], argv, env);
    _exit(127);
}

void KillGroup(pid_t child) {
    kill(-child, SIGKILL);
    kill(child, SIGKILL);
}

}  // namespace

std::string ConfinedAccountName() {
    Account account;
    return LookUpAccount(account) ? account.name : std::string();
}

ConfinedResult RunConfined(const ConfinedRun& run) {
    ConfinedResult result;
    Account account;
    if (run.argv.empty() || run.argv[0].empty() || run.argv[0][0] != '/') {
        result.error = "no program path";
        return result;
    }
    if (!LookUpAccount(account)) {
        result.error = "no unprivileged account to run the program as";
        return result;
    }
    int inPipe[2], outPipe[2];
    if (pipe2(inPipe, O_CLOEXEC) != 0) return result.error = std::strerror(errno), result;
    UniqueFd inRead(inPipe[0]), inWrite(inPipe[1]);
    if (pipe2(outPipe, O_CLOEXEC) != 0) return result.error = std::strerror(errno), result;
    UniqueFd outRead(outPipe[0]), outWrite(outPipe[1]);
    UniqueFd devnull(open("/dev/null", O_RDWR | O_CLOEXEC));
    std::vector<char*> argv = Pointers(run.argv), env = Pointers(run.environment);
    const pid_t child = fork();
    if (child < 0) return result.error = std::strerror(errno), result;
    if (child == 0)
        ExecChild(account, inRead.Get(), outWrite.Get(), devnull.Get(), run.workingDir.c_str(), argv.data(), env.data());
    setpgid(child, child);
    result.started = true;
    inRead.Reset();
    outWrite.Reset();
    fcntl(inWrite.Get(), F_SETFL, O_NONBLOCK);
    std::size_t written = 0;
    if (run.input.empty()) inWrite.Reset();
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(run.timeoutMs);
    while (outRead.Valid()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            result.timedOut = true;
            break;
        }
        pollfd fds[2] = {{outRead.Get(), POLLIN, 0}, {inWrite.Get(), POLLOUT, 0}};
        if (poll(fds, inWrite.Valid() ? 2 : 1, static_cast<int>(left.count())) < 0 && errno != EINTR) break;
        if (inWrite.Valid() && (fds[1].revents & (POLLOUT | POLLERR | POLLHUP))) {
            const ssize_t n = write(inWrite.Get(), run.input.data() + written, run.input.size() - written);
            if (n > 0) written += static_cast<std::size_t>(n);
            if (n < 0 && errno != EAGAIN) written = run.input.size();  // the program stopped reading
            if (written >= run.input.size()) inWrite.Reset();
        }
        if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
            char buffer[16384];
            const ssize_t n = read(outRead.Get(), buffer, sizeof buffer);
            if (n <= 0) {
                if (n < 0 && errno == EINTR) continue;
                outRead.Reset();
                break;
            }
            const std::size_t room = run.outputLimit - result.output.size();
            result.output.append(buffer, std::min<std::size_t>(room, static_cast<std::size_t>(n)));
            if (static_cast<std::size_t>(n) > room) {
                result.truncated = true;
                break;
            }
        }
    }
    if (result.timedOut || result.truncated) KillGroup(child);
    outRead.Reset();
    inWrite.Reset();
    int status = 0;
    // Output closed but the program may linger: it gets what is left of its time.
    while (waitpid(child, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() >= until) {
            result.timedOut = true;
            KillGroup(child);
            waitpid(child, &status, 0);
            break;
        }
        usleep(10'000);
    }
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

}  // namespace platform
