// The other side of the attacks the tests replay: the unprivileged user `nobody`
// planting files, while the test process itself plays root.
#pragma once

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace zella_test {

// True when this process is root and can act as nobody (setpriv present).
inline bool CanActAsNobody() {
    return geteuid() == 0 && access("/usr/bin/setpriv", X_OK) == 0;
}

// Runs `script` with /bin/sh as nobody (group nogroup, no supplementary groups); true
// when it exited with 0.
inline bool RunAsNobody(const std::string& script) {
    std::vector<std::string> args{"setpriv", "--reuid=nobody", "--regid=nogroup",
                                  "--clear-groups", "/bin/sh", "-c", script};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, "/usr/bin/setpriv", nullptr, nullptr, argv.data(), environ) != 0) {
        return false;
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return false;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Lets everybody write into `dir`, as a data directory shared too widely is.
inline bool OpenToEverybody(const std::string& dir) { return chmod(dir.c_str(), 0777) == 0; }

}  // namespace zella_test
