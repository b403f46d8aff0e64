// Running the real console binary (and the simulators) as child processes in tests: a
// private copy of the program directory, a child with its standard output in a file and
// extra environment variables, and bounded waits.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace zella_test {

// The whole text of a file ("" when missing).
inline std::string ReadAll(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Which link libraries a copied program directory holds.
enum class SmscLinks {
    Shipped,  // every library the build made
    None,     // no SMPP, UCP or CIMD library: a modem-only installation ("Modems" tab)
};

// Copies the console and its shared libraries from `binDir` into `programDir`, so that
// exit files, relaunches and service executables of a test stay in its own directory.
inline void CopyConsoleInto(const std::string& binDir, const std::string& programDir,
                            SmscLinks links = SmscLinks::Shipped) {
    namespace fs = std::filesystem;
    fs::create_directories(programDir);
    for (const auto& entry : fs::directory_iterator(binDir)) {
        std::string name = entry.path().filename();
        const bool smscLink =
            name == "libsmpplnk.so" || name == "libucplnk.so" || name == "libcimdlnk.so";
        if (smscLink && links == SmscLinks::None) continue;
        if (name == "zella" || name.ends_with(".so")) {
            fs::copy_file(entry.path(), fs::path(programDir) / name,
                          fs::copy_options::overwrite_existing);
        }
    }
}

// A child process with its standard output in a file and `env` ("NAME=value") added to
// this process's environment; killed if still running when destroyed.
class ChildProcess {
public:
    ChildProcess(std::vector<std::string> argv, const std::string& outPath,
                 const std::vector<std::string>& env = {}) {
        // A stale transcript must never be mistaken for this run's.
        std::filesystem::remove(outPath);
        std::vector<std::string> environment = MergedEnvironment(env);
        std::vector<char*> envp;
        for (std::string& e : environment) envp.push_back(e.data());
        envp.push_back(nullptr);
        std::vector<char*> args;
        for (std::string& a : argv) args.push_back(a.data());
        args.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outPath.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), envp.data()) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~ChildProcess() {
        if (pid_ <= 0) return;
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Started() const { return pid_ > 0; }
    pid_t Pid() const { return pid_; }

    // The exit status (minus the signal number when killed), or -1000 when still running
    // after `limit`; the process then keeps running until Stop or destruction.
    int Wait(std::chrono::milliseconds limit) {
        const auto until = std::chrono::steady_clock::now() + limit;
        int status = 0;
        while (pid_ > 0) {
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
            }
            if (std::chrono::steady_clock::now() >= until) return -1000;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return -1000;
    }
    void Stop() {
        if (pid_ > 0) kill(pid_, SIGTERM);
        if (Wait(std::chrono::seconds(5)) == -1000 && pid_ > 0) kill(pid_, SIGKILL);
    }

private:
    static std::vector<std::string> MergedEnvironment(const std::vector<std::string>& extra) {
        std::vector<std::string> merged;
        for (char** e = environ; *e != nullptr; ++e) {
            std::string entry = *e;
            std::string name = entry.substr(0, entry.find('='));
            bool replaced = false;
            for (const std::string& x : extra) replaced |= x.substr(0, x.find('=')) == name;
            if (!replaced) merged.push_back(entry);
        }
        merged.insert(merged.end(), extra.begin(), extra.end());
        return merged;
    }

    pid_t pid_ = -1;
};

// Runs the console in `programDir` with a script and arguments to its end (at most
// `limit`); the transcript goes to `outPath`. Returns the exit status or -1000.
inline int RunConsoleScript(const std::string& programDir, const std::string& scriptPath,
                            const std::string& outPath, const std::vector<std::string>& env,
                            const std::vector<std::string>& args = {},
                            std::chrono::milliseconds limit = std::chrono::seconds(60)) {
    std::vector<std::string> argv{programDir + "zella"};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<std::string> fullEnv = env;
    fullEnv.push_back("ZELLA_SCRIPT=" + scriptPath);
    ChildProcess console(argv, outPath, fullEnv);
    return console.Wait(limit);
}

// A console installation of a test's own under `dir`: a copy of the console from
// `binDir` in `dir`program/ and an empty data directory `dir`data/.
inline void PrepareConsoleSandbox(const std::string& dir, const std::string& binDir,
                                  SmscLinks links = SmscLinks::None) {
    std::filesystem::create_directories(dir + "data/");
    CopyConsoleInto(binDir, dir + "program/", links);
}

struct ScriptRun {
    int status = -1000;
    std::string transcript;
};

// Runs the console of a sandbox (above) on `script`, written to `dir`<tag>.txt, with the
// supervisor managing services and `env` added; the transcript goes to `dir`<tag>-out.txt.
inline ScriptRun RunSandboxScript(const std::string& dir, const std::string& script,
                                  const std::string& tag = "script",
                                  const std::vector<std::string>& env = {}) {
    std::ofstream(dir + tag + ".txt") << script;
    std::vector<std::string> fullEnv{"ZELLA_DATA_DIR=" + dir + "data/",
                                     "ZELLA_SERVICE_MANAGER=supervisor"};
    fullEnv.insert(fullEnv.end(), env.begin(), env.end());
    ScriptRun run;
    run.status = RunConsoleScript(dir + "program/", dir + tag + ".txt", dir + tag + "-out.txt",
                                  fullEnv, {}, std::chrono::seconds(120));
    run.transcript = ReadAll(dir + tag + "-out.txt");
    return run;
}

}  // namespace zella_test
