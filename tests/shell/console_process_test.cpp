// The real console binary under the script driver, run from a private copy of its
// program directory so that exit files and relaunches stay inside the test.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/files.h"
#include "platform/ini.h"
#include "shell_fixture.h"

namespace shell {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class ConsoleProcess : public testing::DataDirTest {
protected:
    void SetUp() override {
        DataDirTest::SetUp();
        program_ = dir_ + "program/";
        fs::create_directories(program_);
        for (const auto& entry : fs::directory_iterator(ZELLA_BIN_DIR)) {
            std::string name = entry.path().filename();
            if (name == "zella" || name.ends_with(".so")) {
                fs::copy_file(entry.path(), program_ + name);
            }
        }
        data_ = dir_ + "data/";
    }
    void TearDown() override {
        for (pid_t pid : CopiesRunning()) kill(pid, SIGKILL);
        DataDirTest::TearDown();
    }

    // Starts the console with `script`; its transcript goes to dir_/out.txt.
    pid_t Start(const std::string& script, std::vector<std::string> args = {}) {
        std::ofstream(dir_ + "script.txt") << script;
        // An earlier run's transcript must not be mistaken for this one's.
        fs::remove(dir_ + "out.txt");
        pid_t pid = fork();
        if (pid == 0) {
            setenv("ZELLA_SCRIPT", (dir_ + "script.txt").c_str(), 1);
            setenv("ZELLA_DATA_DIR", data_.c_str(), 1);
            int out = open((dir_ + "out.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(out, 1);
            std::string exe = program_ + "zella";
            std::vector<char*> argv{exe.data()};
            for (std::string& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(exe.c_str(), argv.data());
            _exit(127);
        }
        return pid;
    }

    // Waits for the process; -1000 when it is still running after `limit`.
    static int WaitExit(pid_t pid, std::chrono::milliseconds limit) {
        auto until = std::chrono::steady_clock::now() + limit;
        int status = 0;
        while (std::chrono::steady_clock::now() < until) {
            if (waitpid(pid, &status, WNOHANG) == pid) {
                return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
            }
            std::this_thread::sleep_for(20ms);
        }
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        return -1000;
    }

    std::string Output() const {
        std::ifstream in(dir_ + "out.txt");
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    // Waits until the sheet is open (its "open:" line was written).
    bool WaitForSheet() {
        for (int i = 0; i < 500; ++i) {
            if (Output().find("open: ") != std::string::npos) return true;
            std::this_thread::sleep_for(20ms);
        }
        return false;
    }

    // Processes running the private copy of the console.
    std::vector<pid_t> CopiesRunning() const {
        std::vector<pid_t> pids;
        std::string exe = fs::weakly_canonical(program_ + "zella");
        for (const auto& entry : fs::directory_iterator("/proc")) {
            std::error_code ec;
            fs::path target = fs::read_symlink(entry.path() / "exe", ec);
            if (!ec && target == exe) pids.push_back(std::stoi(entry.path().filename()));
        }
        return pids;
    }

    std::string program_, data_;
};

TEST_F(ConsoleProcess, FreshDataDirectoryShowsTheTabsInOrder) {
    pid_t pid = Start(
        "expect tab \"Modems\"\n"
        "expect tabs \"Service\" \"Modems\" \"Web\" \"SMS Users\" \"2-Way\" \"Debug Logs\"\n"
        "press \"Cancel\"\n");
    EXPECT_EQ(WaitExit(pid, 30s), 0) << Output();
    EXPECT_EQ(Output().find("FAIL"), std::string::npos) << Output();
    EXPECT_NE(Output().find("open: Quv SMS/MMS Gateway v2022.10.03"), std::string::npos) << Output();
    EXPECT_TRUE(platform::FileExists(data_ + "ZELLA.INI"));
    EXPECT_TRUE(platform::FileExists(data_ + "MMSC.INI"));
}

TEST_F(ConsoleProcess, FailedExpectationGivesExitStatusThree) {
    pid_t pid = Start("expect tab \"Web\"\npress \"Cancel\"\n");
    EXPECT_EQ(WaitExit(pid, 30s), 3);
    EXPECT_NE(Output().find("FAIL: line 1:"), std::string::npos) << Output();
}

TEST_F(ConsoleProcess, ExitFileEndsTheConsoleAtOnce) {
    pid_t pid = Start("wait 60000\n");
    ASSERT_TRUE(WaitForSheet()) << Output();
    std::ofstream(program_ + "helper.bat") << "";
    EXPECT_EQ(WaitExit(pid, 10s), 0);
    // Ended from the watcher: no exit steps, so the sheet never reported closing.
    EXPECT_EQ(Output().find("close:"), std::string::npos) << Output();
}

TEST_F(ConsoleProcess, ExitFileThatCouldNotBeDeletedAtStartIsIgnored) {
    fs::create_directories(program_ + "helper.bat/held");  // a directory cannot be deleted
    pid_t pid = Start("wait 1500\n");
    EXPECT_EQ(WaitExit(pid, 30s), 0);
    EXPECT_NE(Output().find("close: Quv SMS/MMS Gateway v2022.10.03 = Cancel"), std::string::npos)
        << Output();
}

TEST_F(ConsoleProcess, NewerRestartTriggerRelaunchesTheConsole) {
    fs::create_directories(data_);
    std::string ini = data_ + "ZELLA.INI";
    platform::WritePrivateProfileString(ini, "ZELLA", "ConfigurationUpdateTriggerRestart",
                                        "20260101000000");
    pid_t pid = Start("wait 60000\n");
    ASSERT_TRUE(WaitForSheet()) << Output();
    // An older value is not a restart.
    platform::WritePrivateProfileString(ini, "ZELLA", "ConfigurationUpdateTriggerRestart",
                                        "20250101000000");
    EXPECT_EQ(WaitExit(pid, 1500ms), -1000);
    ASSERT_TRUE(CopiesRunning().empty());

    pid = Start("wait 60000\n");
    ASSERT_TRUE(WaitForSheet()) << Output();
    platform::WritePrivateProfileString(ini, "ZELLA", "ConfigurationUpdateTriggerRestart",
                                        "20270101000000");
    EXPECT_EQ(WaitExit(pid, 10s), 0);
    bool relaunched = false;
    for (int i = 0; i < 250 && !relaunched; ++i) {
        relaunched = !CopiesRunning().empty();
        std::this_thread::sleep_for(20ms);
    }
    EXPECT_TRUE(relaunched);
}

}  // namespace
}  // namespace shell
