// The built-in supervisor for machines without systemd. All state lives in files of
// the state folder, so every console process (and an elevated child) sees the same
// services, and a console that exits leaves its services running. What it starts and
// signals is decided by the program directory and /proc, never by a state file: a
// state file only says which pid was started when.
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
#include "platform/service_manager_state.h"

extern char** environ;

namespace platform {
namespace {

struct PidRecord {
    long pid = 0;
    unsigned long long startTime = 0;  // clock ticks after boot, from /proc/<pid>/stat
    bool stopping = false;
};

// The start time of a live, non-zombie process; 0 when there is none. `command`, when
// given, receives the kernel's name of its program (at most 15 characters).
unsigned long long ProcessStartTime(long pid, std::string* command = nullptr) {
    std::string stat;
    if (!ReadFile("/proc/" + std::to_string(pid) + "/stat", stat)) return 0;
    // The command name may hold blanks and parentheses; the fields follow the last ")".
    std::size_t close = stat.rfind(')');
    if (close == std::string::npos) return 0;
    if (command != nullptr) {
        const std::size_t open = stat.find('(');
        *command = open != std::string::npos && open < close ? stat.substr(open + 1, close - open - 1) : "";
    }
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

// The program a live process runs, from /proc (the kernel's word, not a record's);
// empty when it cannot be seen.
std::string ProcessExecutable(long pid) {
    char link[PATH_MAX];
    ssize_t n = readlink(("/proc/" + std::to_string(pid) + "/exe").c_str(), link, sizeof link - 1);
    if (n <= 0) return {};
    std::string exe(link, static_cast<std::size_t>(n));
    // A program replaced on disk (an upgrade) while it runs is still the service.
    const std::string deleted = " (deleted)";
    if (exe.size() > deleted.size() && exe.compare(exe.size() - deleted.size(), deleted.size(), deleted) == 0) {
        exe.resize(exe.size() - deleted.size());
    }
    return exe;
}

// The pid still runs `program`: same start time as recorded (pids are reused) and the
// kernel names `program` as its executable. A process we cannot see is never ours.
bool IsOurProcess(const PidRecord& r, const std::string& program) {
    if (r.pid <= 0 || r.startTime == 0 || ProcessStartTime(r.pid) != r.startTime) return false;
    return !program.empty() && ProcessExecutable(r.pid) == program;
}

// For telling the state only: whether the pid still is the process the record names, as
// far as a user other than the service's can tell. Such a user may not read the
// executable link of root's process, but the start time and the program's name in
// /proc/<pid>/stat are everybody's; together with the record, which only the folder's
// owner (root for an installed gateway) can write, they name the process that was
// started. Signals are sent only after IsOurProcess.
bool SeemsOurProcess(const PidRecord& r, const std::string& program) {
    std::string command;
    if (r.pid <= 0 || r.startTime == 0 || ProcessStartTime(r.pid, &command) != r.startTime) return false;
    if (program.empty()) return false;
    const std::string executable = ProcessExecutable(r.pid);
    if (!executable.empty()) return executable == program;
    const std::string base = program.substr(program.rfind('/') + 1);
    return command == base.substr(0, 15);
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
// working directory "/") with READY_FILE in its environment and the descriptor
// `keepFd` left open (the state folder its ready file is named through). Returns the
// pid, or -1 with `error` set.
long Spawn(const std::string& exe, const std::string& readyFile, int keepFd, int& error) {
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
            fcntl(keepFd, F_SETFD, 0);
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

// The program file each service runs from the program directory. Nothing else is ever
// started: a definition or a state file cannot name another program.
std::string ServiceProgramFile(const std::string& name) {
    if (name == "QuvSMS") return "zellant";
    if (name == "QuvMMSC") return "mmscnt";
    return {};
}

class SupervisorServiceManager : public ServiceManager {
public:
    SupervisorServiceManager(std::string dir, std::string programDir)
        : dir_(WithSlash(std::move(dir))), programDir_(WithSlash(std::move(programDir))) {}

    std::string Backend() const override { return "supervisor"; }

    bool CanModify() override {
        ServiceStateFolder folder;
        return folder.Open(dir_, true) == 0;
    }

    bool IsInstalled(const std::string& name) override {
        ServiceStateFolder folder;
        return ValidName(name) && folder.Open(dir_, false) == 0 && folder.HasFile(name + ".service");
    }

    ServiceState State(const std::string& name) override {
        ServiceStateFolder folder;
        if (!ValidName(name) || folder.Open(dir_, false) != 0) return ServiceState::NotInstalled;
        return StateIn(folder, name);
    }

    int Install(const ServiceDefinition& d) override {
        if (!ValidName(d.name) || d.displayName.find_first_of("\r\n") != std::string::npos) {
            return EINVAL;
        }
        // Only the program directory's own program for this service may be registered.
        const std::string program = ServiceProgramFile(d.name);
        if (program.empty() || d.executable != programDir_ + program) return EINVAL;
        ServiceStateFolder folder;
        if (folder.Open(dir_, true) != 0) return EACCES;
        std::string text = "DisplayName=" + d.displayName + "\n";
        return folder.Write(d.name + ".service", text) ? 0 : (errno ? errno : EIO);
    }

    int Start(const std::string& name) override {
        ServiceStateFolder folder;
        if (folder.Open(dir_, true) != 0) return EACCES;
        if (!ValidName(name) || !folder.HasFile(name + ".service")) return ENOENT;
        UniqueFd lock = folder.Lock(name + ".lock");
        if (IsActiveState(StateIn(folder, name))) return EALREADY;
        const std::string program = ServiceProgramFile(name);
        if (program.empty()) return ENOENT;
        std::string exe = programDir_ + program;
        if (access(exe.c_str(), X_OK) != 0) return errno;
        folder.Remove(name + ".ready");
        // The service names its ready file through the folder's descriptor, which it
        // inherits, so a path swapped below the data directory cannot redirect it.
        std::string ready = "/proc/self/fd/" + std::to_string(folder.Descriptor()) + "/" + name + ".ready";
        int error = 0;
        PidRecord r;
        r.pid = Spawn(exe, ready, folder.Descriptor(), error);
        if (r.pid < 0) return error;
        r.startTime = ProcessStartTime(r.pid);
        // A service that ended at once leaves no start time; it is then simply stopped.
        return WritePid(folder, name, r) ? 0 : EIO;
    }

    int Stop(const std::string& name) override {
        ServiceStateFolder folder;
        if (folder.Open(dir_, true) != 0) return EACCES;
        if (!ValidName(name) || !folder.HasFile(name + ".service")) return ENOENT;
        UniqueFd lock = folder.Lock(name + ".lock");
        return SendStop(folder, name);
    }

    int Remove(const std::string& name) override {
        if (!ValidName(name)) return EINVAL;
        ServiceStateFolder folder;
        if (folder.Open(dir_, true) != 0) return EACCES;
        if (!folder.HasFile(name + ".service")) return 0;
        UniqueFd lock = folder.Lock(name + ".lock");
        SendStop(folder, name);
        if (!folder.Remove(name + ".service")) return errno;
        // The pid record stays while the process lives, so a reinstalled service is not
        // started twice; everything else goes.
        if (!IsOurProcess(ReadPid(folder, name), Program(name))) folder.Remove(name + ".pid");
        folder.Remove(name + ".ready");
        return 0;
    }

private:
    // The resolved path of the service's program, as /proc names a running one.
    std::string Program(const std::string& name) const {
        const std::string program = ServiceProgramFile(name);
        return program.empty() ? std::string() : ResolvedPath(programDir_ + program);
    }

    ServiceState StateIn(const ServiceStateFolder& folder, const std::string& name) const {
        if (!folder.HasFile(name + ".service")) return ServiceState::NotInstalled;
        PidRecord r = ReadPid(folder, name);
        if (!SeemsOurProcess(r, Program(name))) return ServiceState::Stopped;
        if (r.stopping) return ServiceState::StopPending;
        std::string ready;
        folder.Read(name + ".ready", ready);
        return std::strtol(ready.c_str(), nullptr, 10) == r.pid ? ServiceState::Running
                                                                : ServiceState::StartPending;
    }

    static PidRecord ReadPid(const ServiceStateFolder& folder, const std::string& name) {
        PidRecord r;
        std::string text;
        if (!folder.Read(name + ".pid", text)) return r;
        std::istringstream in(text);
        int stopping = 0;
        in >> r.pid >> r.startTime >> stopping;
        r.stopping = stopping != 0;
        return r;
    }

    static bool WritePid(const ServiceStateFolder& folder, const std::string& name, const PidRecord& r) {
        std::string text = std::to_string(r.pid) + " " + std::to_string(r.startTime) + " " +
                           (r.stopping ? "1" : "0") + "\n";
        return folder.Write(name + ".pid", text);
    }

    int SendStop(const ServiceStateFolder& folder, const std::string& name) {
        PidRecord r = ReadPid(folder, name);
        if (!IsOurProcess(r, Program(name))) return ESRCH;
        if (kill(static_cast<pid_t>(r.pid), SIGTERM) != 0) return errno;
        r.stopping = true;
        return WritePid(folder, name, r) ? 0 : EIO;
    }

    std::string dir_;
    std::string programDir_;
};

}  // namespace

std::unique_ptr<ServiceManager> MakeSupervisorServiceManager(const std::string& stateDirectory,
                                                             const std::string& programDirectory) {
    return std::make_unique<SupervisorServiceManager>(stateDirectory, programDirectory);
}

}  // namespace platform
