// The real console binary under the script driver, with the stand-in Gateway service
// installed and started through the supervisor backend beforehand.
#include <fcntl.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/ini.h"
#include "tests/services/service_fixture.h"

namespace pages_test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class ConsoleWithGateway : public services_test::ServiceFixture {
protected:
    void SetUp() override {
        ServiceFixture::SetUp();
        // The console next to the service executables, as an installation has it.
        for (const auto& entry : fs::directory_iterator(ZELLA_CONSOLE_DIR)) {
            std::string name = entry.path().filename();
            if (name == "zella" || name.ends_with(".so")) {
                fs::copy_file(entry.path(), programDir_ + name, fs::copy_options::overwrite_existing);
            }
        }
        // A defined connection: the sheet opens on the first tab, as it does for an
        // operator whose gateway is set up.
        platform::WritePrivateProfileString(dataDir_ + "ZELLA.INI", "ZELLA", "Modem1", "COM1");
        ASSERT_EQ(0, Supervisor()->Install(Gateway()));
        ASSERT_EQ(0, Supervisor()->Start("QuvSMS"));
        ASSERT_TRUE(services_test::Eventually([&] {
            return Supervisor()->State("QuvSMS") == platform::ServiceState::Running;
        }));
    }

    // Runs the console with `script` to its end; returns its exit status (-1000 when it
    // was still running after a minute).
    int Run(const std::string& script) {
        std::ofstream(dataDir_ + "script.txt") << script;
        pid_t pid = fork();
        if (pid == 0) {
            setenv("ZELLA_SCRIPT", (dataDir_ + "script.txt").c_str(), 1);
            int out = open((dataDir_ + "out.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(out, 1);
            std::string exe = programDir_ + "zella";
            char* argv[] = {exe.data(), nullptr};
            execv(exe.c_str(), argv);
            _exit(127);
        }
        int status = 0;
        for (int i = 0; i < 3000; ++i) {
            if (waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            std::this_thread::sleep_for(20ms);
        }
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        return -1000;
    }

    std::string Output() const {
        std::ifstream in(dataDir_ + "out.txt");
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
};

TEST_F(ConsoleWithGateway, StatusPageShowsTheRunningGatewayAndAnEmptyQueue) {
    EXPECT_EQ(0, Run("tab \"Service\"\n"
                     "expect \"SMS Gateway Service:\" \"Service is Active\"\n"
                     "expect \"Outbound SMS Queue:\" \"Empty\"\n"
                     "press \"Cancel\"\n"))
        << Output();
    EXPECT_EQ(std::string::npos, Output().find("FAIL")) << Output();
}

TEST_F(ConsoleWithGateway, StatusPageStopsAndStartsTheGateway) {
    EXPECT_EQ(0, Run("tab \"Service\"\n"
                     "expect \"SMSC/MMSC Status:\" \"All Connections OK\"\n"
                     "expect gwRun checked\n"
                     "press gwStop\n"
                     "expect \"SMS Gateway Service:\" \"Service is NOT Active\"\n"
                     "expect \"SMS Gateway Service:\" red\n"
                     "expect \"SMSC/MMSC Status:\" \"Service is NOT active\"\n"
                     "press gwStart\n"
                     "expect \"SMS Gateway Service:\" \"Service is Active\"\n"
                     "press \"Cancel\"\n"))
        << Output();
    EXPECT_EQ(std::string::npos, Output().find("FAIL")) << Output();
    EXPECT_TRUE(platform::IsActiveState(Supervisor()->State("QuvSMS")));
}

TEST_F(ConsoleWithGateway, ServicePageReplacesTheStatusPageWhenDisabled) {
    platform::WritePrivateProfileString(dataDir_ + "ZELLA.INI", "ZELLA", "StatusDialogEnabled", "No");
    EXPECT_EQ(0, Run("tab \"Service\"\n"
                     "expect gwRun checked\n"
                     "expect gwStop enabled\n"
                     "expect gwStart disabled\n"
                     "expect \"Manage Alerts\" enabled\n"
                     "press \"Cancel\"\n"))
        << Output();
    EXPECT_EQ(std::string::npos, Output().find("FAIL")) << Output();
}

TEST_F(ConsoleWithGateway, DebugLogsPageStoresItsSwitchOnApply) {
    EXPECT_EQ(0, Run("tab \"Debug Logs\"\n"
                     "check \"MMSC (mmscdebug.log)\"\n"
                     "press \"Apply\"\n"
                     "press \"Cancel\"\n"))
        << Output();
    EXPECT_EQ(std::string::npos, Output().find("FAIL")) << Output();
    EXPECT_EQ("Yes", platform::GetPrivateProfileString(dataDir_ + "MMSC.INI", "MMSC", "Debug", ""));
}

}  // namespace
}  // namespace pages_test
