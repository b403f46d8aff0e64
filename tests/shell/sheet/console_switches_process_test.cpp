// Every service switch of the command line, carried out by the real console binary
// against the stand-in services through the supervisor backend.

#include <filesystem>
#include <fstream>

#include "platform/ini.h"
#include "tests/support/service_fixture.h"
#include "tests/support/console_process.h"

namespace pages_test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using platform::ServiceState;

class ConsoleSwitches : public services_test::ServiceFixture {
protected:
    void SetUp() override {
        ServiceFixture::SetUp();
        zella_test::CopyConsoleInto(ZELLA_CONSOLE_DIR, programDir_);
    }

    // Runs `zella SWITCHES` with a script that answers its boxes; returns the exit status.
    int Run(const std::vector<std::string>& switches, const std::string& script = "") {
        std::ofstream(dataDir_ + "script.txt") << script;
        return zella_test::RunConsoleScript(programDir_, dataDir_ + "script.txt",
                                            dataDir_ + "out.txt", {}, switches);
    }

    std::string Output() const { return zella_test::ReadAll(dataDir_ + "out.txt"); }

    ServiceState State(const char* name) { return Supervisor()->State(name); }
    bool Running(const char* name) {
        return services_test::Eventually([&] { return State(name) == ServiceState::Running; });
    }
};

TEST_F(ConsoleSwitches, GatewayServiceLifecycleFromTheCommandLine) {
    ASSERT_EQ(0, Run({"-INSTALLSMSSERVICE"},
                     "answer \"Service successfully installed!\" OK\n")) << Output();
    EXPECT_TRUE(Running("QuvSMS"));

    EXPECT_EQ(0, Run({"-stopsmsservice"})) << Output();
    EXPECT_EQ(State("QuvSMS"), ServiceState::Stopped);

    EXPECT_EQ(0, Run({"/STARTSMSSERVICE"})) << Output();
    EXPECT_TRUE(Running("QuvSMS"));

    long before = RecordedPid("QuvSMS");
    EXPECT_EQ(0, Run({"-RestartSmsService"})) << Output();
    EXPECT_TRUE(Running("QuvSMS"));
    EXPECT_NE(RecordedPid("QuvSMS"), before);
    EXPECT_EQ(14u, platform::GetPrivateProfileString(dataDir_ + "ZELLA.INI", "ZELLA",
                                                     "ConfigurationUpdateTriggerRestart", "")
                       .size());

    EXPECT_EQ(0, Run({"-REMOVESMSSERVICE"}, "answer \"Service successfully removed!\" OK\n"))
        << Output();
    EXPECT_EQ(State("QuvSMS"), ServiceState::NotInstalled);
}

TEST_F(ConsoleSwitches, MmscServiceLifecycleThroughItsLinkLibrary) {
    ASSERT_EQ(0, Run({"-INSTALLMMSSERVICE"}, "answer \"Service successfully installed!\" OK\n"))
        << Output();
    EXPECT_TRUE(Running("QuvMMSC"));
    EXPECT_EQ(0, Run({"-STOPMMSSERVICE"})) << Output();
    EXPECT_EQ(State("QuvMMSC"), ServiceState::Stopped);
    EXPECT_EQ(0, Run({"-STARTMMSSERVICE"})) << Output();
    EXPECT_TRUE(Running("QuvMMSC"));
    EXPECT_EQ(0, Run({"-RESTARTMMSSERVICE"})) << Output();
    EXPECT_TRUE(Running("QuvMMSC"));
    EXPECT_EQ(0, Run({"/REMOVEMMSSERVICE", "/Q"})) << Output();
    EXPECT_EQ(State("QuvMMSC"), ServiceState::NotInstalled);
    EXPECT_EQ(Output().find("FAIL"), std::string::npos) << Output();
}

TEST_F(ConsoleSwitches, InstallAndRemoveBothServicesThenDeleteTheData) {
    ASSERT_EQ(0, Run({"/I", "-Q"})) << Output();
    EXPECT_TRUE(Running("QuvSMS"));
    EXPECT_TRUE(Running("QuvMMSC"));
    EXPECT_EQ(Output(), "");

    EXPECT_EQ(0, Run({"-REMOVESERVICE"}, "answer \"Service successfully removed!\" OK\n"
                                         "answer \"Delete Configuration files for QuvSMS?\" No\n"))
        << Output();
    EXPECT_EQ(State("QuvSMS"), ServiceState::NotInstalled);
    EXPECT_EQ(State("QuvMMSC"), ServiceState::NotInstalled);
    EXPECT_TRUE(platform::FileExists(dataDir_ + "ZELLA.INI"));
    EXPECT_EQ(Output().find("FAIL"), std::string::npos) << Output();
}

}  // namespace
}  // namespace pages_test
