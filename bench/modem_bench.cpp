// CPU cost of a full successful modem test against the simulator at the first speed:
// the console's own CPU time (its waits cost none) against the simulator's.
//
//   modem_bench [runs]      (default 3; each run takes a few seconds of real waits)
//
// Target: the console uses less CPU than the simulator.
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "acctdb/acctdb.h"
#include "config/config_store.h"
#include "modem/modem_test.h"
#include "platform/files.h"
#include "ui/host.h"

extern char** environ;

namespace {

double Seconds(const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; }

double CpuOf(int who) {
    rusage usage{};
    getrusage(who, &usage);
    return Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
}

pid_t StartSimulator(const std::string& dir) {
    std::string program = platform::ExecutableDirectory() + "modemsim";
    std::string link = "--link=" + dir + "COMPORTS/COM7";
    std::vector<char*> argv{program.data(), link.data(), nullptr};
    int out[2];
    if (pipe(out) != 0) return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    pid_t pid = -1;
    if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    char c;
    while (pid > 0 && read(out[0], &c, 1) == 1 && c != '\n') {
    }
    close(out[0]);
    return pid;
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    char templ[] = "/tmp/zella-modem-bench-XXXXXX";
    if (mkdtemp(templ) == nullptr) return 1;
    const std::string dir = std::string(templ) + "/";
    setenv("ZELLA_DATA_DIR", dir.c_str(), 1);
    platform::CreateDirectories(dir + "COMPORTS");
    platform::CreateFileIfMissing(dir + "ZELLA.INI");
    config::SetConfigurationPath(dir + "ZELLA.INI");
    acctdb::SMSIniSetFilename(dir + "ZELLA.INI");

    const pid_t sim = StartSimulator(dir);
    if (sim <= 0) {
        std::fprintf(stderr, "modem_bench: cannot start modemsim\n");
        return 1;
    }
    const double before = CpuOf(RUSAGE_SELF);
    int passed = 0;
    for (int i = 0; i < runs; ++i) passed += modem::TestModem(ui::NullHost(), "COM7:", "") ? 1 : 0;
    const double console = CpuOf(RUSAGE_SELF) - before;
    kill(sim, SIGTERM);
    int status = 0;
    waitpid(sim, &status, 0);
    const double simulator = CpuOf(RUSAGE_CHILDREN);
    platform::DeleteDirectoryTree(dir);

    std::printf("runs passed:          %d of %d\n", passed, runs);
    std::printf("console CPU per run:  %.4f s\n", console / runs);
    std::printf("simulator CPU per run: %.4f s\n", simulator / runs);
    std::printf("target (console < simulator): %s\n",
                passed == runs && console < simulator ? "met" : "NOT met");
    return passed == runs ? 0 : 1;
}
