// The console's Gateway service operations against the stand-in service through the
// supervisor backend, with the headless host answering the message boxes.
#include <sys/stat.h>

#include "config/config_store.h"
#include "platform/clock.h"
#include "platform/elevation.h"
#include "platform/process.h"
#include "platform/ini.h"
#include "platform/shared_memory.h"
#include "shell/core/console_state.h"
#include "shell/core/service_control.h"
#include "tests/support/service_fixture.h"
#include "tests/support/console_process.h"
#include "tests/support/unprivileged.h"
#include "ui/headless_host.h"

namespace services_test {
namespace {

using platform::ServiceState;

class GatewayServiceControl : public ServiceFixture {
protected:
    void SetUp() override {
        ServiceFixture::SetUp();
        config::SetConfigurationPath("");
        unsetenv("ZELLA_PKEXEC");
    }
    void TearDown() override {
        platform::SetClock(nullptr);
        unsetenv("ZELLA_PKEXEC");
        ServiceFixture::TearDown();
    }

    ServiceState GatewayState() { return Supervisor()->State("QuvSMS"); }

    // Makes the supervisor refuse every change, as a user without rights meets it.
    void TakeAwayRights() {
        ASSERT_TRUE(platform::WriteFileAtomic(dataDir_ + "SERVICES", ""));
    }

    // A pkexec stand-in that records its arguments, one per line.
    std::string FakePkexec() {
        std::string script = programDir_ + "pkexec";
        platform::WriteFileAtomic(script, "#!/bin/sh\nfor a in \"$@\"; do echo \"$a\"; done > '" +
                                              programDir_ + "pkexec.args'\n");
        chmod(script.c_str(), 0755);
        setenv("ZELLA_PKEXEC", script.c_str(), 1);
        return programDir_ + "pkexec.args";
    }

    bool Saw(const std::string& fragment) {
        return host_.TranscriptText().find(fragment) != std::string::npos;
    }

    static std::string Hex(const std::string& text) {
        static const char digits[] = "0123456789abcdef";
        std::string out;
        for (unsigned char c : text) out += digits[c >> 4], out += digits[c & 15];
        return out;
    }

    ui::HeadlessHost host_;
};

TEST_F(GatewayServiceControl, InstallRegistersAndStartsTheService) {
    EXPECT_FALSE(shell::IsGatewayServiceInstalled());
    ASSERT_TRUE(shell::InstallGatewayService(host_, true));
    EXPECT_TRUE(shell::IsGatewayServiceInstalled());
    EXPECT_TRUE(Eventually([&] { return GatewayState() == ServiceState::Running; }));
    EXPECT_TRUE(shell::IsGatewayServiceActive());
    EXPECT_EQ("", host_.TranscriptText());
}

TEST_F(GatewayServiceControl, StopEndsTheServiceAndStartBringsItBack) {
    ASSERT_TRUE(shell::InstallGatewayService(host_, true));
    ASSERT_TRUE(Eventually([&] { return GatewayState() == ServiceState::Running; }));
    shell::StopGatewayService(host_, true);
    EXPECT_FALSE(shell::IsGatewayServiceActive());
    shell::StartGatewayService(host_, true);
    EXPECT_TRUE(shell::IsGatewayServiceActive());
    EXPECT_EQ("", host_.TranscriptText());
}

TEST_F(GatewayServiceControl, RemoveStopsAndUninstalls) {
    ASSERT_TRUE(shell::InstallGatewayService(host_, true));
    long pid = RecordedPid("QuvSMS");
    ASSERT_TRUE(Eventually([&] { return GatewayState() == ServiceState::Running; }));
    EXPECT_TRUE(shell::RemoveGatewayService(host_, true));
    EXPECT_FALSE(shell::IsGatewayServiceInstalled());
    EXPECT_FALSE(platform::FileExists("/proc/" + std::to_string(pid) + "/exe"));
    EXPECT_TRUE(shell::RemoveGatewayService(host_, true));  // nothing left to remove
}

TEST_F(GatewayServiceControl, RestartWritesTheTriggerFirstAndRunsAFreshProcess) {
    ASSERT_TRUE(shell::InstallGatewayService(host_, true));
    ASSERT_TRUE(Eventually([&] { return GatewayState() == ServiceState::Running; }));
    long before = RecordedPid("QuvSMS");
    shell::RestartGatewayService(host_, false);
    std::string trigger = config::ReadZellaKey("ConfigurationUpdateTriggerRestart");
    EXPECT_EQ(14u, trigger.size());
    EXPECT_EQ(trigger, shell::RestartTriggerBaseline());
    EXPECT_TRUE(shell::IsGatewayServiceActive());
    EXPECT_NE(before, RecordedPid("QuvSMS"));
    EXPECT_EQ(0, host_.BusyDepth());
}

TEST_F(GatewayServiceControl, ReinstallingAnInstalledServiceReconfiguresIt) {
    ASSERT_TRUE(shell::InstallGatewayService(host_, true));
    ASSERT_TRUE(Eventually([&] { return GatewayState() == ServiceState::Running; }));
    EXPECT_TRUE(shell::InstallGatewayService(host_, true));
    EXPECT_TRUE(shell::IsGatewayServiceActive());
    EXPECT_EQ("", host_.TranscriptText());
}

TEST_F(GatewayServiceControl, FirewallHelperGetsTheServerProgramAndDisplayName) {
    std::string record = programDir_ + "fwsetup.args";
    platform::WriteFileAtomic(programDir_ + "fwsetup",
                              "#!/bin/sh\nfor a in \"$0\" \"$@\"; do echo \"$a\"; done > '" +
                                  record + ".tmp'\nmv '" + record + ".tmp' '" + record + "'\n");
    chmod((programDir_ + "fwsetup").c_str(), 0755);
    ASSERT_TRUE(shell::InstallGatewayService(host_, true));
    ASSERT_TRUE(Eventually([&] { return platform::FileExists(record); }));
    std::string args;
    platform::ReadFile(record, args);
    EXPECT_EQ(programDir_ + "fwsetup\n" + programDir_ + "zellas\nQuv SMS/MMS Gateway\n", args);
}

TEST_F(GatewayServiceControl, CommandLineWithoutRightsOnlySeesTheRefusal) {
    std::string pkexecArgs = FakePkexec();
    TakeAwayRights();
    EXPECT_FALSE(shell::InstallGatewayService(host_, true));
    EXPECT_EQ("box: Administrator rights are required for service installation. [OK] -> OK\n",
              host_.TranscriptText());
    host_.ClearTranscript();
    EXPECT_FALSE(shell::InstallAllServices(host_, true));
    EXPECT_TRUE(Saw("box: Administrator rights are required for service installation. [OK]"));
    EXPECT_FALSE(platform::FileExists(pkexecArgs));
}

TEST_F(GatewayServiceControl, StoppingAServiceThatIsNotInstalledEndsInTheRefusal) {
    shell::StopGatewayService(host_, true);
    shell::StartGatewayService(host_, true);
    EXPECT_EQ(
        "box: Administrator rights are required for service installation or modification. "
        "[OK] -> OK\n"
        "box: Administrator rights are required for service installation or modification. "
        "[OK] -> OK\n",
        host_.TranscriptText());
}

TEST_F(GatewayServiceControl, RestartWithoutRightsStillWritesTheTrigger) {
    TakeAwayRights();
    shell::RestartGatewayService(host_, true);
    EXPECT_FALSE(config::ReadZellaKey("ConfigurationUpdateTriggerRestart").empty());
    EXPECT_TRUE(Saw("service installation or modification. [OK]"));
}

TEST_F(GatewayServiceControl, PagesAskAndReRunTheConsoleThroughPkexecWithTheSwitch) {
    std::string pkexecArgs = FakePkexec();
    TakeAwayRights();
    host_.QueueAnswer("Administrator rights are required", ui::kYes);
    shell::RemoveGatewayService(host_, false);  // not installed: nothing to elevate
    EXPECT_EQ(1, host_.UnusedAnswers());
    EXPECT_FALSE(shell::InstallGatewayService(host_, false));
    EXPECT_EQ(0, host_.UnusedAnswers());
    EXPECT_FALSE(host_.Failed());
    ASSERT_TRUE(platform::FileExists(pkexecArgs));
    std::string args;
    platform::ReadFile(pkexecArgs, args);
    // pkexec runs the console itself, so the prompt names it; the data directory goes
    // as a checked argument, never as the environment.
    EXPECT_EQ(0u, args.find(platform::ExecutablePath() + "\n/INSTALLSMSSERVICE\n")) << args;
    EXPECT_NE(std::string::npos, args.find("+DATADIR=" + Hex(dataDir_) + "\n")) << args;
    EXPECT_EQ(std::string::npos, args.find("ZELLA_DATA_DIR")) << args;
}

// The caller plants the environment pkexec would (wrongly) pass on: another data
// directory, namespace, Qt platform and script. The root copy acts only where its checked
// arguments say, and refuses a data directory that nobody else owns or that is a link.
TEST_F(GatewayServiceControl, ElevatedCopyIgnoresTheCallersEnvironmentAndChecksItsArguments) {
    zella_test::CopyConsoleInto(ZELLA_CONSOLE_DIR, programDir_);
    zella_test::TempDir attacker("attacker");
    ASSERT_TRUE(platform::WriteFileAtomic(attacker.File("script"), "press \"Cancel\"\n"));
    const std::string record = programDir_ + "pkexec.record";
    const std::string script = programDir_ + "pkexec";
    platform::WriteFileAtomic(
        script, "#!/bin/sh\n{ for a in \"$@\"; do echo \"$a\"; done; env; } > '" + record +
                    "'\nexec env PKEXEC_UID=4242 ZELLA_DATA_DIR=" + attacker.Path() +
                    " XDG_DATA_HOME=" + attacker.Path() + " ZELLA_SHM_NAMESPACE=attacker"
                    " QT_QPA_PLATFORM=xcb ZELLA_SCRIPT=" + attacker.File("script") + " \"$@\"\n");
    chmod(script.c_str(), 0755);
    setenv("ZELLA_PKEXEC", script.c_str(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    const std::string console = programDir_ + "zella";
    ASSERT_TRUE(platform::RunElevated(platform::ElevatedCommand(console, {"/INSTALLSMSSERVICE", "/Q"},
                                                                platform::ElevationEnvironment(dataDir_)),
                                      60000));
    std::string recorded;
    platform::ReadFile(record, recorded);
    EXPECT_EQ(0u, recorded.find(console + "\n/INSTALLSMSSERVICE\n/Q\n")) << recorded;
    EXPECT_TRUE(Eventually([&] { return GatewayState() == ServiceState::Running; }));
    EXPECT_TRUE(platform::ReadGatewayStatus().opened);  // this test's namespace
    EXPECT_FALSE(platform::PathExists(attacker.File("SERVICES")));
    EXPECT_FALSE(platform::PathExists(attacker.File("ZELLA.INI")));
    EXPECT_FALSE(platform::PathExists(attacker.File("quvsms")));

    if (!zella_test::CanActAsNobody()) return;
    ASSERT_TRUE(zella_test::OpenToEverybody(attacker.Path()));
    ASSERT_TRUE(zella_test::RunAsNobody("mkdir " + attacker.File("nobodys")));
    ASSERT_EQ(0, symlink(dataDir_.c_str(), attacker.File("link").c_str()));
    for (const std::string& dir : {attacker.File("nobodys/"), attacker.File("link/"),
                                   std::string("relative/")}) {
        EXPECT_EQ(2, platform::RunAndWait({"/usr/bin/env", "PKEXEC_UID=4242", console,
                                           "/INSTALLSERVICE", "+DATADIR=" + Hex(dir)},
                                          60000))
            << dir;
    }
    EXPECT_FALSE(platform::PathExists(attacker.File("nobodys/SERVICES")));
    EXPECT_FALSE(platform::PathExists(attacker.File("nobodys/ZELLA.INI")));
}

TEST_F(GatewayServiceControl, DecliningElevationShowsTheRefusal) {
    std::string pkexecArgs = FakePkexec();
    TakeAwayRights();
    host_.QueueAnswer("Administrator rights are required", ui::kNo);
    shell::StopGatewayService(host_, false);
    EXPECT_TRUE(Saw("Do you wish to continue? [Yes/No/Cancel] -> No"));
    EXPECT_TRUE(Saw("box: Administrator rights are required for service installation or "
                    "modification. [OK] -> OK"));
    EXPECT_FALSE(platform::FileExists(pkexecArgs));
}

TEST_F(GatewayServiceControl, StartOfAProgramThatCannotRunReportsTheErrorWithoutWaiting) {
    ASSERT_TRUE(shell::InstallGatewayService(host_, true));
    shell::StopGatewayService(host_, true);
    ASSERT_EQ(0, chmod((programDir_ + "zellant").c_str(), 0644));
    platform::FakeClock clock;
    platform::SetClock(&clock);
    shell::StartGatewayService(host_, true);
    EXPECT_TRUE(Saw("box: Error 13 starting service [OK] -> OK"));
    EXPECT_EQ(0u, clock.Slept());
}

TEST_F(GatewayServiceControl, ServiceStuckInStartPendingLetsStartAndStopReturnAfterTheirBounds) {
    setenv("ZELLA_STANDIN_MODE", "hang", 1);
    ASSERT_TRUE(shell::InstallGatewayService(host_, true));
    // Its block exists once it ignores SIGTERM.
    ASSERT_TRUE(Eventually([] { return platform::ReadGatewayStatus().opened; }));
    platform::FakeClock clock;
    platform::SetClock(&clock);
    EXPECT_EQ(ServiceState::StartPending, GatewayState());
    EXPECT_TRUE(shell::IsGatewayServiceActive());  // start pending counts as active
    shell::StopGatewayService(host_, true);
    EXPECT_EQ(120000u, clock.Slept());
    EXPECT_TRUE(shell::IsGatewayServiceActive());
    // The console stays usable: the next operations answer at once.
    EXPECT_TRUE(shell::IsGatewayServiceInstalled());
    shell::RestartGatewayService(host_, true);
    EXPECT_EQ(120000u * 2 + 2000u, clock.Slept());
    EXPECT_EQ(0, host_.BusyDepth());
}

// A manager whose service never becomes active, for the start bound.
class NeverStarts : public platform::ServiceManager {
public:
    std::string Backend() const override { return "test"; }
    bool CanModify() override { return true; }
    bool IsInstalled(const std::string&) override { return true; }
    platform::ServiceState State(const std::string&) override {
        ++queries;
        return platform::ServiceState::Stopped;
    }
    int Install(const platform::ServiceDefinition&) override { return 0; }
    int Start(const std::string&) override { return 0; }
    int Stop(const std::string&) override { return 0; }
    int Remove(const std::string&) override { return 0; }
    int queries = 0;
};

TEST(ServiceWaits, WaitForAServiceThatNeverStartsEndsAfter120Steps) {
    platform::FakeClock clock;
    platform::SetClock(&clock);
    NeverStarts manager;
    EXPECT_FALSE(platform::WaitUntilActive(manager, "QuvSMS", 120, 1000));
    EXPECT_EQ(120000u, clock.Slept());
    EXPECT_EQ(121, manager.queries);
    platform::SetClock(nullptr);
}

}  // namespace
}  // namespace services_test
