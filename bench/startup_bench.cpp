// Start-up time of the headless console (process start to the sheet shown and
// cancelled, on a fresh data directory) against a bare Qt program showing one empty
// dialog offscreen. Prints the medians and their ratio (target: at most 1.5).
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

double RunOnceMs(const std::vector<std::string>& argv, const std::vector<std::string>& env) {
    auto start = std::chrono::steady_clock::now();
    pid_t pid = fork();
    if (pid == 0) {
        for (const std::string& e : env) putenv(const_cast<char*>(e.c_str()));
        std::vector<char*> args;
        for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        int devnull = ::open("/dev/null", O_WRONLY);
        dup2(devnull, 1);
        dup2(devnull, 2);
        execv(args[0], args.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    auto end = std::chrono::steady_clock::now();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "%s failed (status %d)\n", argv[0].c_str(), status);
        std::exit(1);
    }
    return std::chrono::duration<double, std::milli>(end - start).count();
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    fs::path bin = fs::canonical("/proc/self/exe").parent_path();
    int runs = argc > 1 ? std::atoi(argv[1]) : 15;
    fs::path work = fs::temp_directory_path() / ("zella-startup-bench-" + std::to_string(getpid()));
    fs::create_directories(work);
    fs::path script = work / "cancel.script";
    std::ofstream(script) << "press \"Cancel\"\n";

    std::vector<double> console, bare;
    for (int i = 0; i < runs; ++i) {
        fs::path data = work / ("data" + std::to_string(i));
        console.push_back(RunOnceMs({(bin / "zella").string()},
                                    {"ZELLA_SCRIPT=" + script.string(),
                                     "ZELLA_DATA_DIR=" + data.string()}));
        bare.push_back(RunOnceMs({(bin / "bare_qt_dialog").string()}, {"QT_QPA_PLATFORM=offscreen"}));
    }
    fs::remove_all(work);
    double c = Median(console), b = Median(bare);
    std::printf("headless console start-up to sheet cancelled: %.1f ms (median of %d)\n", c, runs);
    std::printf("bare Qt dialog offscreen:                     %.1f ms (median of %d)\n", b, runs);
    std::printf("ratio console / bare: %.2f (target at most 1.5)\n", c / b);
    return 0;
}
