// pkexec re-runs with a bounded wait.
#include "platform/elevation.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <thread>

#include "platform/clock.h"
#include "platform/process.h"

extern char** environ;

namespace platform {

std::vector<std::string> ElevatedCommand(const std::string& executable,
                                         const std::vector<std::string>& arguments,
                                         const EnvironmentList& environment) {
    const char* custom = std::getenv("ZELLA_PKEXEC");
    std::vector<std::string> argv{custom != nullptr && *custom != '\0' ? custom : "pkexec"};
    if (!environment.empty()) {
        argv.push_back("env");
        for (const auto& [name, value] : environment) argv.push_back(name + "=" + value);
    }
    argv.push_back(executable);
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return argv;
}

EnvironmentList ElevationEnvironment(const std::string& dataDirectory) {
    EnvironmentList env;
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "XAUTHORITY", "XDG_RUNTIME_DIR",
                             "QT_QPA_PLATFORM", "ZELLA_SERVICE_MANAGER", "ZELLA_SHM_NAMESPACE"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') env.emplace_back(name, value);
    }
    if (!dataDirectory.empty()) env.emplace_back("ZELLA_DATA_DIR", dataDirectory);
    return env;
}

bool RunElevated(const std::vector<std::string>& command, int timeoutMs) {
    if (command.empty()) return false;
    std::string program = command[0].find('/') != std::string::npos ? command[0]
                                                                    : FindInPath(command[0]);
    if (program.empty()) return false;
    std::vector<char*> argv;
    for (const std::string& a : command) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    // pkexec needs the terminal or the session's agent, so the standard streams stay.
    if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ) != 0) {
        return false;
    }
    for (int waited = 0;; waited += 100) {
        pid_t rc = waitpid(pid, nullptr, WNOHANG);
        if (rc == pid || (rc < 0 && errno != EINTR)) return true;
        if (waited >= timeoutMs) break;
        Clock().Sleep(100);
    }
    std::thread([pid] {
        while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
        }
    }).detach();
    return true;
}

}  // namespace platform
