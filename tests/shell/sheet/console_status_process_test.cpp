// The real console binary under the script driver, with the stand-in Gateway service
// installed and started through the supervisor backend beforehand.

#include <filesystem>
#include <fstream>

#include "platform/ini.h"
#include "tests/support/service_fixture.h"
#include "tests/support/console_process.h"

namespace pages_test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class ConsoleWithGateway : public services_test::ServiceFixture {
protected:
    void SetUp() override {
        ServiceFixture::SetUp();
        // The console next to the service executables, as an installation has it.
        zella_test::CopyConsoleInto(ZELLA_CONSOLE_DIR, programDir_);
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
        return zella_test::RunConsoleScript(programDir_, dataDir_ + "script.txt",
                                            dataDir_ + "out.txt", {});
    }

    std::string Output() const { return zella_test::ReadAll(dataDir_ + "out.txt"); }
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
