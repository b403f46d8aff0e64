// The built-in supervisor for machines without systemd. All state lives in files of
// the state folder, so every console process (and an elevated child) sees the same
// services, and a console that exits leaves its services running.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <sstream>

#include "platform/files.h"
#include "platform/service_manager.h"

extern char** environ;

namespace platform {
namespace {

struct PidRecord {
    long pid = 0;
    unsigned long long startTime = 0;  // clock ticks after boot, from /proc/<pid>/stat
    bool stopping = false;
    std::string executable;  // resolved path the process was started from
};

// The start time of a live, non-zombie process; 0 when there is none.
unsigned long long ProcessStartTime(long pid) {
    std::string stat;
    if (!ReadFile("/proc/" + std::to_string(pid) + "/stat", stat)) return 0;
    // The command name may hold blanks and parentheses; the fields follow the last ")".
    std::size_t close = stat.rfind(')');
    if (close == std::string::npos) return 0;
    std::istringstream fields(stat.substr(close + 1));
    std::string state, field;
    fields >> state;
    if (state == "Z" || state == "X") return 0;
    for (int i = 4; i < 22 && fields >> field; ++i) {
    }
    unsigned long long start = 0;
    fields >> start;
    return start;
}

// The pid still runs the program we started: same start time (pids are reused), and
// the same executable when /proc lets us see it (it does not for another user's
// process, and then the start time alone decides).
bool IsOurProcess(const PidRecord& r) {
    if (r.pid <= 0 || r.startTime == 0 || ProcessStartTime(r.pid) != r.startTime) return false;
    char link[PATH_MAX];
    ssize_t n = readlink(("/proc/" + std::to_string(r.pid) + "/exe").c_str(), link, sizeof link - 1);
    if (n < 0) return errno == EACCES || errno == EPERM;
    std::string exe(link, static_cast<std::size_t>(n));
    const std::string deleted = " (deleted)";
    if (exe.size() > deleted.size() && exe.compare(exe.size() - deleted.size(), deleted.size(), deleted) == 0) {
        exe.resize(exe.size() - deleted.size());
    }
    return exe == r.executable;
}

std::string ResolvedPath(const std::string& path) {
    char buffer[PATH_MAX];
    return realpath(path.c_str(), buffer) != nullptr ? std::string(buffer) : path;
}

bool ValidName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of("/\\\n\r") == std::string::npos;
}

// Starts `exe` detached (new session, adopted by init, standard streams on /dev/null,
// working directory "/") with READY_FILE in its environment. Returns the pid, or -1
// with `error` set.
long Spawn(const std::string& exe, const std::string& readyFile, int& error) {
    std::string readyVar = "ZELLA_SERVICE_READY_FILE=" + readyFile;
    std::vector<char*> envp;
    for (char** e = environ; *e != nullptr; ++e) {
        if (std::string_view(*e).rfind("ZELLA_SERVICE_READY_FILE=", 0) != 0) envp.push_back(*e);
    }
    envp.push_back(readyVar.data());
    envp.push_back(nullptr);
    std::string arg0 = exe;
    char* argv[] = {arg0.data(), nullptr};
    int devnull = open("/dev/null", O_RDWR | O_CLOEXEC);
    int pidPipe[2], errPipe[2];
    if (devnull < 0 || pipe2(pidPipe, O_CLOEXEC) != 0) {
        error = errno;
        if (devnull >= 0) close(devnull);
        return -1;
    }
    if (pipe2(errPipe, O_CLOEXEC) != 0) {
        error = errno;
        close(devnull), close(pidPipe[0]), close(pidPipe[1]);
        return -1;
    }
    pid_t middle = fork();
    if (middle == 0) {
        setsid();
        pid_t child = fork();
        if (child == 0) {
            sigset_t none;
            sigemptyset(&none);
            sigprocmask(SIG_SETMASK, &none, nullptr);
            signal(SIGPIPE, SIG_DFL);
            dup2(devnull, 0), dup2(devnull, 1), dup2(devnull, 2);
            close_range(3, ~0U, CLOSE_RANGE_CLOEXEC);
            if (chdir("/") == 0) execve(argv[0], argv, envp.data());
            int err = errno;
            ssize_t ignored = write(errPipe[1], &err, sizeof err);
            (void)ignored;
            _exit(127);
        }
        close(errPipe[1]);
        int err = child < 0 ? errno : 0;
        if (child > 0 && read(errPipe[0], &err, sizeof err) != static_cast<ssize_t>(sizeof err)) err = 0;
        long result = err == 0 ? child : -err;
        ssize_t ignored = write(pidPipe[1], &result, sizeof result);
        (void)ignored;
        _exit(0);
    }
    close(devnull), close(errPipe[0]), close(errPipe[1]), close(pidPipe[1]);
    long result = -EIO;
    if (middle < 0) {
        result = -errno;
    } else {
        while (read(pidPipe[0], &result, sizeof result) < 0 && errno == EINTR) {
        }
        while (waitpid(middle, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
    close(pidPipe[0]);
    if (result > 0) return result;
    error = static_cast<int>(-result);
    return -1;
}

class SupervisorServiceManager : public ServiceManager {
public:
    explicit SupervisorServiceManager(std::string dir) : dir_(WithSlash(std::move(dir))) {}

    std::string Backend() const override { return "supervisor"; }

    bool CanModify() override {
        return CreateDirectories(dir_) && access(dir_.c_str(), W_OK | X_OK) == 0;
    }

    bool IsInstalled(const std::string& name) override {
        return ValidName(name) && FileExists(Path(name, ".service"));
    }

    ServiceState State(const std::string& name) override {
        if (!IsInstalled(name)) return ServiceState::NotInstalled;
        PidRecord r = ReadPid(name);
        if (!IsOurProcess(r)) return ServiceState::Stopped;
        if (r.stopping) return ServiceState::StopPending;
        std::string ready;
        ReadFile(Path(name, ".ready"), ready);
        return std::strtol(ready.c_str(), nullptr, 10) == r.pid ? ServiceState::Running
                                                                : ServiceState::StartPending;
    }

    int Install(const ServiceDefinition& d) override {
        if (!ValidName(d.name)) return EINVAL;
        if (!CanModify()) return EACCES;
        std::string text = "Executable=" + d.executable + "\nDisplayName=" + d.displayName + "\n";
        return WriteFileAtomic(Path(d.name, ".service"), text) ? 0 : (errno ? errno : EIO);
    }

    int Start(const std::string& name) override {
        if (!CanModify()) return EACCES;
        if (!IsInstalled(name)) return ENOENT;
        FileLock lock(Path(name, ".lock"), true, true, true);
        if (IsActiveState(State(name))) return EALREADY;
        std::string exe = Executable(name);
        if (access(exe.c_str(), X_OK) != 0) return errno;
        std::string ready = Path(name, ".ready");
        unlink(ready.c_str());
        int error = 0;
        PidRecord r;
        r.pid = Spawn(exe, ready, error);
        if (r.pid < 0) return error;
        r.startTime = ProcessStartTime(r.pid);
        r.executable = ResolvedPath(exe);
        // A service that ended at once leaves no start time; it is then simply stopped.
        return WritePid(name, r) ? 0 : EIO;
    }

    int Stop(const std::string& name) override {
        if (!CanModify()) return EACCES;
        if (!IsInstalled(name)) return ENOENT;
        FileLock lock(Path(name, ".lock"), true, true, true);
        return SendStop(name);
    }

    int Remove(const std::string& name) override {
        if (!ValidName(name)) return EINVAL;
        if (!CanModify()) return EACCES;
        if (!IsInstalled(name)) return 0;
        FileLock lock(Path(name, ".lock"), true, true, true);
        SendStop(name);
        if (unlink(Path(name, ".service").c_str()) != 0 && errno != ENOENT) return errno;
        // The pid record stays while the process lives, so a reinstalled service is not
        // started twice; everything else goes.
        if (!IsOurProcess(ReadPid(name))) unlink(Path(name, ".pid").c_str());
        unlink(Path(name, ".ready").c_str());
        return 0;
    }

private:
    std::string Path(const std::string& name, const char* suffix) const { return dir_ + name + suffix; }

    std::string Executable(const std::string& name) const {
        std::string text;
        ReadFile(Path(name, ".service"), text);
        std::istringstream lines(text);
        std::string line;
        while (std::getline(lines, line)) {
            if (line.rfind("Executable=", 0) == 0) return line.substr(11);
        }
        return {};
    }

    PidRecord ReadPid(const std::string& name) const {
        PidRecord r;
        std::string text;
        if (!ReadFile(Path(name, ".pid"), text)) return r;
        std::istringstream in(text);
        int stopping = 0;
        in >> r.pid >> r.startTime >> stopping;
        in.ignore(1);
        std::getline(in, r.executable);
        r.stopping = stopping != 0;
        return r;
    }

    bool WritePid(const std::string& name, const PidRecord& r) const {
        std::string text = std::to_string(r.pid) + " " + std::to_string(r.startTime) + " " +
                           (r.stopping ? "1" : "0") + "\n" + r.executable + "\n";
        return WriteFileAtomic(Path(name, ".pid"), text);
    }

    int SendStop(const std::string& name) {
        PidRecord r = ReadPid(name);
        if (!IsOurProcess(r)) return ESRCH;
        if (kill(static_cast<pid_t>(r.pid), SIGTERM) != 0) return errno;
        r.stopping = true;
        return WritePid(name, r) ? 0 : EIO;
    }

    std::string dir_;
};

}  // namespace

std::unique_ptr<ServiceManager> MakeSupervisorServiceManager(const std::string& stateDirectory) {
    return std::make_unique<SupervisorServiceManager>(stateDirectory);
}

}  // namespace platform
