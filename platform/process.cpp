// Child processes from argument vectors. Everything between fork and exec is
// async-signal-safe: argument arrays and descriptors are prepared before forking.
#include "platform/process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

#include "platform/files.h"

namespace platform {

namespace {

struct Pipe {
    int fds[2] = {-1, -1};
    bool Open() { return pipe2(fds, O_CLOEXEC) == 0; }
    void CloseRead() { CloseOne(0); }
    void CloseWrite() { CloseOne(1); }
    ~Pipe() {
        CloseOne(0);
        CloseOne(1);
    }
    void CloseOne(int i) {
        if (fds[i] >= 0) close(fds[i]);
        fds[i] = -1;
    }
};

std::vector<char*> ArgPointers(const std::vector<std::string>& argv) {
    std::vector<char*> out;
    out.reserve(argv.size() + 1);
    for (const std::string& a : argv) out.push_back(const_cast<char*>(a.c_str()));
    out.push_back(nullptr);
    return out;
}

// A bare name is looked up in PATH before forking; a path is used as it is.
std::string ResolveProgram(const std::string& program) {
    if (program.find('/') != std::string::npos) return program;
    return FindInPath(program);
}

// In the child: signals and mask as a fresh program expects them, descriptors from 3 up
// closed at exec, the standard streams as asked.
void PrepareChild(int stdinFd, int stdoutFd, int stderrFd) {
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    signal(SIGPIPE, SIG_DFL);
    if (stdinFd >= 0) dup2(stdinFd, 0);
    if (stdoutFd >= 0) dup2(stdoutFd, 1);
    if (stderrFd >= 0) dup2(stderrFd, 2);
    close_range(3, ~0U, CLOSE_RANGE_CLOEXEC);
}

void ExecOrReport(const char* path, char* const* args, int errorFd) {
    execv(path, args);
    int err = errno;
    ssize_t ignored = write(errorFd, &err, sizeof err);
    (void)ignored;
    _exit(127);
}

// True when the exec on the other end of the close-on-exec pipe succeeded.
bool ExecSucceeded(int readFd) {
    int err = 0;
    ssize_t n;
    do {
        n = read(readFd, &err, sizeof err);
    } while (n < 0 && errno == EINTR);
    return n == 0;
}

pid_t WaitPid(pid_t pid, int* status, int flags) {
    pid_t rc;
    do {
        rc = waitpid(pid, status, flags);
    } while (rc < 0 && errno == EINTR);
    return rc;
}

int StartDetachedPath(const std::string& path, const std::vector<std::string>& argv,
                      bool keepStdio, const std::string& workingDir) {
    if (argv.empty() || path.empty()) return -1;
    std::vector<char*> args = ArgPointers(argv);
    int devnull = keepStdio ? -1 : open("/dev/null", O_RDWR | O_CLOEXEC);
    Pipe pidPipe, errorPipe;
    if ((!keepStdio && devnull < 0) || !pidPipe.Open() || !errorPipe.Open()) {
        if (devnull >= 0) close(devnull);
        return -1;
    }
    const char* dir = workingDir.empty() ? nullptr : workingDir.c_str();
    pid_t child = fork();
    if (child == 0) {
        // The middle process makes a new session and leaves, so the program is adopted
        // by init and never becomes our zombie.
        setsid();
        pid_t grandchild = fork();
        if (grandchild == 0) {
            PrepareChild(devnull, devnull, devnull);
            if (dir != nullptr && chdir(dir) != 0) {
                int err = errno;
                ssize_t ignored = write(errorPipe.fds[1], &err, sizeof err);
                (void)ignored;
                _exit(127);
            }
            ExecOrReport(path.c_str(), args.data(), errorPipe.fds[1]);
        }
        close(errorPipe.fds[1]);
        int result = (grandchild > 0 && ExecSucceeded(errorPipe.fds[0])) ? grandchild : -1;
        ssize_t ignored = write(pidPipe.fds[1], &result, sizeof result);
        (void)ignored;
        _exit(0);
    }
    if (devnull >= 0) close(devnull);
    // The middle process waits for end-of-file on the error pipe: our copy must go.
    errorPipe.CloseRead();
    errorPipe.CloseWrite();
    pidPipe.CloseWrite();
    if (child < 0) return -1;
    int result = -1;
    ssize_t n;
    do {
        n = read(pidPipe.fds[0], &result, sizeof result);
    } while (n < 0 && errno == EINTR);
    WaitPid(child, nullptr, 0);
    return n == static_cast<ssize_t>(sizeof result) ? result : -1;
}

// Collects output while waiting for the child; on time-out kills its process group and
// returns false.
bool WaitWithTimeout(pid_t child, int timeoutMs, Pipe& outPipe, std::string* output,
                     int& status) {
    // A child process runs in real time whatever clock the program installed.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (WaitPid(child, &status, WNOHANG) == child) break;
        int waitMs = 20;
        if (timeoutMs > 0) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now()).count();
            if (left <= 0) {
                kill(-child, SIGKILL);
                kill(child, SIGKILL);
                WaitPid(child, nullptr, 0);
                return false;
            }
            waitMs = static_cast<int>(left < waitMs ? left : waitMs);
        }
        if (outPipe.fds[0] >= 0) {
            pollfd pfd{outPipe.fds[0], POLLIN, 0};
            if (poll(&pfd, 1, waitMs) > 0) {
                char buffer[4096];
                ssize_t n = read(outPipe.fds[0], buffer, sizeof buffer);
                if (n > 0) output->append(buffer, static_cast<std::size_t>(n));
                if (n == 0) outPipe.CloseRead();
            }
        } else {
            poll(nullptr, 0, waitMs);
        }
    }
    // Output still buffered in the pipe after the exit.
    while (outPipe.fds[0] >= 0) {
        pollfd pfd{outPipe.fds[0], POLLIN, 0};
        char buffer[4096];
        ssize_t n = poll(&pfd, 1, 0) > 0 ? read(outPipe.fds[0], buffer, sizeof buffer) : 0;
        if (n <= 0) break;
        output->append(buffer, static_cast<std::size_t>(n));
    }
    return true;
}

int ExitCodeOf(int status) {
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}

}  // namespace

int StartDetached(const std::vector<std::string>& argv, bool keepStdio) {
    return StartDetached(argv, keepStdio, "");
}

int StartDetached(const std::vector<std::string>& argv, bool keepStdio,
                  const std::string& workingDir) {
    if (argv.empty()) return -1;
    return StartDetachedPath(ResolveProgram(argv[0]), argv, keepStdio, workingDir);
}

bool StartSelfDetached(const std::vector<std::string>& args) {
    // /proc/self/exe still runs this program when its file was replaced or removed.
    std::string self = ExecutablePath();
    std::vector<std::string> argv{self.empty() ? "zella" : self};
    argv.insert(argv.end(), args.begin(), args.end());
    return StartDetachedPath("/proc/self/exe", argv, false, "") > 0;
}

int RunAndWait(const std::vector<std::string>& argv, int timeoutMs, std::string* output) {
    if (argv.empty()) return -1;
    std::string path = ResolveProgram(argv[0]);
    if (path.empty()) return -1;
    std::vector<char*> args = ArgPointers(argv);
    int devnull = open("/dev/null", O_RDWR | O_CLOEXEC);
    Pipe outPipe, errorPipe;
    if (devnull < 0 || !errorPipe.Open() || (output != nullptr && !outPipe.Open())) {
        if (devnull >= 0) close(devnull);
        return -1;
    }
    pid_t child = fork();
    if (child == 0) {
        setpgid(0, 0);  // so a time-out can kill whatever the program started too
        int out = output != nullptr ? outPipe.fds[1] : -1;
        PrepareChild(devnull, out, out);
        ExecOrReport(path.c_str(), args.data(), errorPipe.fds[1]);
    }
    close(devnull);
    if (child < 0) return -1;
    setpgid(child, child);
    outPipe.CloseWrite();
    errorPipe.CloseWrite();
    if (!ExecSucceeded(errorPipe.fds[0])) {
        WaitPid(child, nullptr, 0);
        return -1;
    }
    int status = 0;
    if (!WaitWithTimeout(child, timeoutMs, outPipe, output, status)) return -1;
    return ExitCodeOf(status);
}

void ExitNow(int code) { _exit(code); }

std::string EnvironmentValue(const char* name, std::size_t limit) {
    const char* value = std::getenv(name);
    if (value == nullptr || std::strlen(value) > limit) return {};
    return value;
}

std::string FindInPath(const std::string& name) {
    if (name.empty()) return {};
    if (name.find('/') != std::string::npos) {
        return access(name.c_str(), X_OK) == 0 && FileExists(name) ? name : std::string();
    }
    const char* env = std::getenv("PATH");
    std::string path = env != nullptr ? env : "/usr/local/bin:/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t colon = path.find(':', start);
        if (colon == std::string::npos) colon = path.size();
        std::string dir = path.substr(start, colon - start);
        std::string candidate = (dir.empty() ? std::string(".") : dir) + "/" + name;
        if (access(candidate.c_str(), X_OK) == 0 && FileExists(candidate)) return candidate;
        start = colon + 1;
    }
    return {};
}

unsigned long RaiseDescriptorLimit() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return 0;
    if (limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
        getrlimit(RLIMIT_NOFILE, &limit);
    }
    return static_cast<unsigned long>(limit.rlim_cur);
}

int CurrentProcessId() { return static_cast<int>(::getpid()); }

}  // namespace platform
