// The real console binary under the script driver, run from a private copy of its
// program directory so that exit files and relaunches stay inside the test.
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/files.h"
#include "platform/ini.h"
#include "shell_fixture.h"
#include "tests/support/console_process.h"

namespace shell {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class ConsoleProcess : public testing::DataDirTest {
protected:
    void SetUp() override {
        DataDirTest::SetUp();
        program_ = dir_ + "program/";
        zella_test::CopyConsoleInto(ZELLA_BIN_DIR, program_, zella_test::SmscLinks::None);
        data_ = dir_ + "data/";
    }
    void TearDown() override {
        console_.reset();
        for (pid_t pid : CopiesRunning()) kill(pid, SIGKILL);
        DataDirTest::TearDown();
    }

    // Starts the console with `script` and `args`; its transcript goes to dir_/out.txt.
    // `env` adds to (or overrides) the script and data directory settings.
    zella_test::ChildProcess& Start(const std::string& script,
                                    const std::vector<std::string>& args = {},
                                    const std::vector<std::string>& env = {}) {
        std::ofstream(dir_ + "script.txt") << script;
        std::vector<std::string> argv{program_ + "zella"};
        argv.insert(argv.end(), args.begin(), args.end());
        std::vector<std::string> environment{"ZELLA_SCRIPT=" + dir_ + "script.txt",
                                             "ZELLA_DATA_DIR=" + data_};
        for (const std::string& entry : env) {
            std::erase_if(environment, [&](const std::string& e) {
                return e.substr(0, e.find('=')) == entry.substr(0, entry.find('='));
            });
            environment.push_back(entry);
        }
        console_ = std::make_unique<zella_test::ChildProcess>(argv, dir_ + "out.txt", environment);
        return *console_;
    }

    std::string Output() const { return zella_test::ReadAll(dir_ + "out.txt"); }

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
    std::unique_ptr<zella_test::ChildProcess> console_;
};

TEST_F(ConsoleProcess, FreshDataDirectoryShowsTheTabsInOrder) {
    auto& console = Start(
        "expect tab \"Modems\"\n"
        "expect tabs \"Service\" \"Modems\" \"Web\" \"SMS Users\" \"2-Way\" \"SSL/TLS\" \"Debug Logs\"\n"
        "press \"Cancel\"\n");
    EXPECT_EQ(console.Wait(30s), 0) << Output();
    EXPECT_EQ(Output().find("FAIL"), std::string::npos) << Output();
    EXPECT_NE(Output().find("open: Quv SMS/MMS Gateway v2022.10.03"), std::string::npos) << Output();
    EXPECT_TRUE(platform::FileExists(data_ + "ZELLA.INI"));
    EXPECT_TRUE(platform::FileExists(data_ + "MMSC.INI"));
}

TEST_F(ConsoleProcess, FailedExpectationGivesExitStatusThree) {
    auto& console = Start("expect tab \"Web\"\npress \"Cancel\"\n");
    EXPECT_EQ(console.Wait(30s), 3);
    EXPECT_NE(Output().find("FAIL: line 1:"), std::string::npos) << Output();
}

TEST_F(ConsoleProcess, ExitFileEndsTheConsoleAtOnce) {
    auto& console = Start("wait 60000\n");
    ASSERT_TRUE(WaitForSheet()) << Output();
    std::ofstream(program_ + "helper.bat") << "";
    EXPECT_EQ(console.Wait(10s), 0);
    // Ended from the watcher: no exit steps, so the sheet never reported closing.
    EXPECT_EQ(Output().find("close:"), std::string::npos) << Output();
}

TEST_F(ConsoleProcess, ExitFileThatCouldNotBeDeletedAtStartIsIgnored) {
    fs::create_directories(program_ + "helper.bat/held");  // a directory cannot be deleted
    auto& console = Start("wait 1500\n");
    EXPECT_EQ(console.Wait(30s), 0);
    EXPECT_NE(Output().find("close: Quv SMS/MMS Gateway v2022.10.03 = Cancel"), std::string::npos)
        << Output();
}

TEST_F(ConsoleProcess, NewerRestartTriggerRelaunchesTheConsole) {
    fs::create_directories(data_);
    std::string ini = data_ + "ZELLA.INI";
    platform::WritePrivateProfileString(ini, "ZELLA", "ConfigurationUpdateTriggerRestart",
                                        "20260101000000");
    auto& console = Start("wait 60000\n");
    ASSERT_TRUE(WaitForSheet()) << Output();
    // An older value is not a restart.
    platform::WritePrivateProfileString(ini, "ZELLA", "ConfigurationUpdateTriggerRestart",
                                        "20250101000000");
    EXPECT_EQ(console.Wait(1500ms), -1000);

    console_.reset();
    ASSERT_TRUE(CopiesRunning().empty());
    auto& second = Start("wait 60000\n");
    ASSERT_TRUE(WaitForSheet()) << Output();
    platform::WritePrivateProfileString(ini, "ZELLA", "ConfigurationUpdateTriggerRestart",
                                        "20270101000000");
    EXPECT_EQ(second.Wait(10s), 0);
    bool relaunched = false;
    for (int i = 0; i < 250 && !relaunched; ++i) {
        relaunched = !CopiesRunning().empty();
        std::this_thread::sleep_for(20ms);
    }
    EXPECT_TRUE(relaunched);
}

// The copy started after a restart trigger serves the instance this one served.
TEST_F(ConsoleProcess, RestartTriggerRelaunchesOnTheSameInstance) {
    auto& console = Start("wait 60000\n", {"-multihost", "east"});
    ASSERT_TRUE(WaitForSheet()) << Output();
    const std::string ini = data_ + "instances/east/ZELLA.INI";
    ASSERT_TRUE(platform::FileExists(ini));
    platform::WritePrivateProfileString(ini, "ZELLA", "ConfigurationUpdateTriggerRestart",
                                        "20270101000000");
    ASSERT_EQ(console.Wait(10s), 0);
    std::vector<std::string> args;
    for (int i = 0; i < 250 && args.empty(); ++i) {
        for (pid_t pid : CopiesRunning()) {
            // The arguments after the program name, as the kernel recorded them.
            std::string all = zella_test::ReadAll("/proc/" + std::to_string(pid) + "/cmdline");
            std::size_t at = all.find('\0');
            for (std::size_t next; at != std::string::npos && at + 1 < all.size(); at = next) {
                next = all.find('\0', at + 1);
                args.push_back(all.substr(at + 1, next - at - 1));
            }
            if (args.empty()) args.push_back("");  // relaunched without arguments
        }
        std::this_thread::sleep_for(20ms);
    }
    EXPECT_EQ(args, (std::vector<std::string>{"-multihost", "east"}));
}

// -DELETEDATADIR judges the data directory by what it is on disk, not by its spelling:
// the program directory named another way is left alone as the program directory itself
// is, and a directory holding the program or the home directory is refused with a box.
TEST_F(ConsoleProcess, DeleteDataDirRefusesTheProgramAndHomeDirectoriesHoweverNamed) {
    const std::string home = dir_ + "home/";
    fs::create_directories(home);
    fs::create_directory_symlink(program_, dir_ + "program-link");
    fs::create_directory_symlink(home, dir_ + "home-link");
    struct Row {
        std::string dataDir;
        std::string script;  // the boxes the console must show, answered
        bool deleted;        // the data directory is gone afterwards
    };
    const Row rows[] = {
        {program_ + "./", "", false},
        {"/" + program_, "", false},
        {program_ + "bin/..", "", false},
        {dir_ + "program-link", "", false},
        {dir_, "answer \"Cannot delete\" OK\n", false},
        {home + ".", "answer \"Cannot delete\" OK\n", false},
        {dir_ + "home-link/", "answer \"Cannot delete\" OK\n", false},
        {dir_ + "data/", "answer \"Delete Configuration files for QuvSMS?\" Yes\n", true},
    };
    fs::create_directories(program_ + "bin");
    for (const Row& row : rows) {
        fs::create_directories(dir_ + "data");
        std::ofstream(home + "notes.txt") << "keep";
        auto& console = Start(row.script, {"-DELETEDATADIR"},
                              {"ZELLA_DATA_DIR=" + row.dataDir, "HOME=" + home});
        EXPECT_EQ(console.Wait(30s), 0) << row.dataDir << "\n" << Output();
        EXPECT_EQ(Output().find("FAIL"), std::string::npos) << row.dataDir << "\n" << Output();
        EXPECT_TRUE(platform::FileExists(program_ + "zella")) << row.dataDir;
        EXPECT_TRUE(platform::FileExists(home + "notes.txt")) << row.dataDir;
        EXPECT_EQ(platform::PathExists(dir_ + "data"), !row.deleted) << row.dataDir;
        if (!platform::FileExists(program_ + "zella")) break;  // nothing left to run
    }
}

}  // namespace
}  // namespace shell
