#include "platform/restricted_command.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/io_wait.h"

namespace platform {

namespace {

std::string PathOf(const std::vector<std::string>& env) {
    for (const std::string& e : env)
        if (e.rfind("PATH=", 0) == 0) return e.substr(5);
    return "/usr/local/bin:/usr/bin:/bin";
}

// The program's path: as given when it holds a "/", else the first executable of that
// name in `path`.
std::string Resolve(const std::string& program, const std::string& path) {
    if (program.find('/') != std::string::npos) return program;
    std::size_t at = 0;
    while (at <= path.size()) {
        const std::size_t end = path.find(':', at);
        const std::string dir = path.substr(at, end == std::string::npos ? std::string::npos : end - at);
        const std::string candidate = (dir.empty() ? "." : dir) + "/" + program;
        if (access(candidate.c_str(), X_OK) == 0) return candidate;
        if (end == std::string::npos) break;
        at = end + 1;
    }
    return {};
}

// The account to run as, looked up before forking: a child of a threaded process may call
// only async-signal-safe functions, and the account database is not one of them.
struct Account {
    bool drop = false;  // this process is root
    bool known = false;
    uid_t uid = 0;
    gid_t gid = 0;
};

Account LookUpAccount(const std::string& user) {
    Account a;
    if (geteuid() != 0) return a;
    a.drop = true;
    passwd entry{};
    passwd* found = nullptr;
    char buffer[4096];
    if (getpwnam_r(user.c_str(), &entry, buffer, sizeof buffer, &found) == 0 && found != nullptr && found->pw_uid != 0) {
        a.known = true;
        a.uid = found->pw_uid;
        a.gid = found->pw_gid;
    }
    return a;
}

// In the child: drop root for the account, or fail.
bool DropPrivileges(const Account& a) {
    if (!a.drop) return true;
    if (!a.known) return false;
    return setgroups(0, nullptr) == 0 && setgid(a.gid) == 0 && setuid(a.uid) == 0 && setuid(0) != 0;
}

}  // namespace

std::string GatewayProgramAccount() {
    passwd entry{};
    passwd* found = nullptr;
    char buffer[4096];
    return getpwnam_r("quvsms", &entry, buffer, sizeof buffer, &found) == 0 && found != nullptr ? "quvsms" : "nobody";
}

std::vector<std::string> SplitCommandLine(const std::string& line) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false, quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted && c == '\\' && i + 1 < line.size() && (line[i + 1] == '"' || line[i + 1] == '\\')) {
            word += line[++i];
        } else if (c == '"') {
            quoted = !quoted;
            inWord = true;
        } else if (!quoted && (c == ' ' || c == '\t')) {
            if (inWord) words.push_back(word);
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord) words.push_back(word);
    return words;
}

RestrictedResult RunRestricted(const RestrictedRun& run) {
    RestrictedResult result;
    if (run.argv.empty()) {
        result.error = "no command";
        return result;
    }
    const std::string program = Resolve(run.argv[0], PathOf(run.env));
    if (program.empty()) {
        result.error = "program not found: " + run.argv[0];
        return result;
    }
    int in[2], out[2], status[2];
    if (pipe2(in, O_CLOEXEC) != 0) return result.error = std::strerror(errno), result;
    if (pipe2(out, O_CLOEXEC) != 0) {
        close(in[0]), close(in[1]);
        return result.error = std::strerror(errno), result;
    }
    if (pipe2(status, O_CLOEXEC) != 0) {
        close(in[0]), close(in[1]), close(out[0]), close(out[1]);
        return result.error = std::strerror(errno), result;
    }
    std::vector<char*> argv, envp;
    std::vector<std::string> args = run.argv, env = run.env;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    const std::string dir = run.workingDir.empty() ? "/" : run.workingDir;
    const Account account = LookUpAccount(run.runAsUser);
    const int devnull = run.mergeErrors ? -1 : open("/dev/null", O_WRONLY | O_CLOEXEC);
    const pid_t pid = fork();
    if (pid == 0) {
        setpgid(0, 0);
        dup2(in[0], STDIN_FILENO);
        dup2(out[1], STDOUT_FILENO);
        dup2(run.mergeErrors ? out[1] : devnull, STDERR_FILENO);
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        const char* why = "cannot run as an unprivileged account";
        if (DropPrivileges(account)) {
            why = "cannot enter the working directory";
            if (chdir(dir.c_str()) == 0) {
                execve(program.c_str(), argv.data(), envp.data());
                why = "cannot start the program";
            }
        }
        (void)!write(status[1], why, std::strlen(why));
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    close(status[1]);
    if (devnull >= 0) close(devnull);
    if (pid < 0) {
        close(in[1]), close(out[0]), close(status[0]);
        return result.error = std::strerror(errno), result;
    }
    char why[128];
    const ssize_t n = read(status[0], why, sizeof why);  // EOF once the exec succeeded
    close(status[0]);
    if (n > 0) result.error.assign(why, static_cast<std::size_t>(n));
    else result.started = true;
    fcntl(in[1], F_SETFL, O_NONBLOCK);
    std::size_t written = 0;
    bool inputOpen = result.started && !run.input.empty();
    if (!inputOpen) close(in[1]);
    const std::uint64_t until = SteadyMillis() + static_cast<std::uint64_t>(run.timeoutMs);
    bool outputOpen = true;
    while (outputOpen) {
        const std::uint64_t now = SteadyMillis();
        if (now >= until) {
            result.timedOut = true;
            kill(-pid, SIGKILL);
            kill(pid, SIGKILL);
            break;
        }
        pollfd fds[2] = {{out[0], POLLIN, 0}, {inputOpen ? in[1] : -1, POLLOUT, 0}};
        if (poll(fds, 2, static_cast<int>(std::min<std::uint64_t>(until - now, 1000))) < 0 && errno != EINTR) break;
        if (fds[1].revents) {
            const ssize_t w = write(in[1], run.input.data() + written, run.input.size() - written);
            if (w > 0) written += static_cast<std::size_t>(w);
            if (w < 0 || written == run.input.size()) {
                close(in[1]);
                inputOpen = false;
            }
        }
        if (fds[0].revents) {
            char buffer[4096];
            const ssize_t r = read(out[0], buffer, sizeof buffer);
            if (r <= 0) outputOpen = false;
            else if (result.output.size() + static_cast<std::size_t>(r) > run.maxOutput) result.truncated = true;
            if (r > 0 && result.output.size() < run.maxOutput)
                result.output.append(buffer, std::min<std::size_t>(static_cast<std::size_t>(r), run.maxOutput - result.output.size()));
        }
    }
    if (inputOpen) close(in[1]);
    close(out[0]);
    int wstatus = 0;
    // A child that closed its output may still run: it gets what is left of its time.
    while (waitpid(pid, &wstatus, WNOHANG) == 0) {
        if (SteadyMillis() >= until) {
            result.timedOut = true;
            kill(-pid, SIGKILL);
            kill(pid, SIGKILL);
            waitpid(pid, &wstatus, 0);
            break;
        }
        poll(nullptr, 0, 20);
    }
    if (result.started && !result.timedOut)
        result.exitCode = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
    return result;
}

}  // namespace platform
