// The real console under the script driver adds a modem on a simulator linked as COM7
// and stores it, as an operator would through the "Modems" tab.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/ini.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const char* kAddModemScript =
    "tab \"Modems\"\n"
    "press \"&Add\"\n"
    "choose \"Select Available Modem:\" \"COM7:\"\n"
    "press \"Test and Add Modem\"\n"
    "answer \"Initialised modem at 115200 bps\" OK\n"
    "answer \"Modem successfully tested!\" OK\n"
    "press \"OK\"\n"
    "press \"OK\"\n"
    "answer \"Service is not active, do you wish to activate the service?\" No\n";

// A child process with its standard output in a file; killed if still running at the end.
class Process {
public:
    Process(std::vector<std::string> argv, const std::string& outPath) {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outPath.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        std::vector<char*> args;
        for (std::string& a : argv) args.push_back(a.data());
        args.push_back(nullptr);
        if (posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~Process() {
        if (pid_ <= 0) return;
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;
    // The exit status, or -1000 when still running after `limit` (it is then killed).
    int Wait(std::chrono::milliseconds limit) {
        const auto until = std::chrono::steady_clock::now() + limit;
        int status = 0;
        while (pid_ > 0 && std::chrono::steady_clock::now() < until) {
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
            }
            std::this_thread::sleep_for(20ms);
        }
        return -1000;
    }
    void Stop() {
        if (pid_ > 0) kill(pid_, SIGTERM);
        Wait(5s);
    }

private:
    pid_t pid_ = -1;
};

std::string ReadAll(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class ConsoleScript : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/zella-smsc-script-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = std::string(pattern) + "/";
        program_ = dir_ + "program/";
        data_ = dir_ + "data/";
        fs::create_directories(program_);
        fs::create_directories(data_ + "COMPORTS");
        // A private copy of the program directory keeps exit files and relaunches here.
        for (const auto& entry : fs::directory_iterator(ZELLA_BIN_DIR)) {
            const std::string name = entry.path().filename();
            if (name == "zella" || name.ends_with(".so"))
                fs::copy_file(entry.path(), program_ + name);
        }
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string dir_, program_, data_;
};

TEST_F(ConsoleScript, AddingASimulatedModemStoresIt) {
    Process modem({std::string(ZELLA_BIN_DIR) + "/modemsim", "--link=" + data_ + "COMPORTS/COM7"},
                  dir_ + "modem.txt");
    for (int i = 0; i < 250 && !fs::exists(data_ + "COMPORTS/COM7"); ++i)
        std::this_thread::sleep_for(20ms);
    ASSERT_TRUE(fs::exists(data_ + "COMPORTS/COM7"));

    std::ofstream(dir_ + "script.txt") << kAddModemScript;
    setenv("ZELLA_SCRIPT", (dir_ + "script.txt").c_str(), 1);
    setenv("ZELLA_DATA_DIR", data_.c_str(), 1);
    setenv("ZELLA_SERVICE_MANAGER", "supervisor", 1);
    Process console({program_ + "zella"}, dir_ + "out.txt");
    const int status = console.Wait(120s);
    unsetenv("ZELLA_SCRIPT");
    unsetenv("ZELLA_DATA_DIR");
    modem.Stop();

    const std::string out = ReadAll(dir_ + "out.txt");
    EXPECT_EQ(status, 0) << out;
    EXPECT_EQ(out.find("FAIL"), std::string::npos) << out;
    EXPECT_NE(out.find("open: Modem Connection"), std::string::npos) << out;
    const std::string ini = data_ + "ZELLA.INI";
    EXPECT_EQ(platform::GetPrivateProfileString(ini, "ZELLA", "Modem1", ""), "COM7:");
    EXPECT_EQ(platform::GetPrivateProfileString(ini, "ZELLA", "Modem2", ""), "");
    EXPECT_EQ(platform::GetPrivateProfileString(ini, "Modem - COM7:", "ReceiveSMS", ""), "No");
}

}  // namespace
