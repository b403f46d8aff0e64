// The supervisor backend driving the real stand-in service.
#include <signal.h>
#include <sys/stat.h>

#include "platform/shared_memory.h"
#include "tests/support/service_fixture.h"

namespace services_test {
namespace {

using platform::ServiceState;

class SupervisorBackend : public ServiceFixture {
protected:
    ServiceState StateOf(const std::string& name = "QuvSMS") { return Supervisor()->State(name); }

    void InstallAndStartGateway() {
        auto services = Supervisor();
        ASSERT_EQ(0, services->Install(Gateway()));
        ASSERT_EQ(0, services->Start("QuvSMS"));
        ASSERT_TRUE(Eventually([&] { return StateOf() == ServiceState::Running; }));
    }
};

TEST_F(SupervisorBackend, ChosenByEnvironmentAndKeepsItsStateInTheDataDirectory) {
    auto services = Supervisor();
    EXPECT_EQ("supervisor", services->Backend());
    EXPECT_TRUE(services->CanModify());
    EXPECT_TRUE(platform::DirectoryExists(ServicesDir()));
}

TEST_F(SupervisorBackend, InstalledServiceIsStoppedUntilStarted) {
    auto services = Supervisor();
    EXPECT_FALSE(services->IsInstalled("QuvSMS"));
    EXPECT_EQ(ServiceState::NotInstalled, StateOf());
    ASSERT_EQ(0, services->Install(Gateway()));
    EXPECT_TRUE(services->IsInstalled("QuvSMS"));
    EXPECT_EQ(ServiceState::Stopped, StateOf());
    EXPECT_FALSE(platform::ReadGatewayStatus().opened);
}

TEST_F(SupervisorBackend, StartedServiceRunsAndCreatesItsStatusBlock) {
    InstallAndStartGateway();
    platform::GatewayStatusBytes status = platform::ReadGatewayStatus();
    EXPECT_TRUE(status.opened);
    EXPECT_FALSE(status.webPortInUse);
    EXPECT_EQ(EALREADY, Supervisor()->Start("QuvSMS"));
}

TEST_F(SupervisorBackend, StopSendsSigtermAndTheServiceEnds) {
    InstallAndStartGateway();
    long pid = RecordedPid("QuvSMS");
    ASSERT_EQ(0, Supervisor()->Stop("QuvSMS"));
    EXPECT_TRUE(Eventually([&] { return StateOf() == ServiceState::Stopped; }));
    EXPECT_FALSE(platform::FileExists("/proc/" + std::to_string(pid) + "/exe"));
    EXPECT_FALSE(platform::ReadGatewayStatus().opened);
    EXPECT_EQ(ESRCH, Supervisor()->Stop("QuvSMS"));
}

TEST_F(SupervisorBackend, StopByteOfTheStatusBlockEndsTheService) {
    InstallAndStartGateway();
    ASSERT_TRUE(platform::RequestStopThroughBlock(platform::status_block::kGatewayName,
                                                  platform::status_block::kGatewayGlobalName));
    EXPECT_TRUE(Eventually([&] { return StateOf() == ServiceState::Stopped; }));
}

TEST_F(SupervisorBackend, RemoveStopsTheServiceAndForgetsIt) {
    InstallAndStartGateway();
    long pid = RecordedPid("QuvSMS");
    ASSERT_EQ(0, Supervisor()->Remove("QuvSMS"));
    EXPECT_EQ(ServiceState::NotInstalled, StateOf());
    EXPECT_TRUE(Eventually(
        [&] { return !platform::FileExists("/proc/" + std::to_string(pid) + "/exe"); }));
    EXPECT_EQ(0, Supervisor()->Remove("QuvSMS"));
}

TEST_F(SupervisorBackend, ReinstallReconfiguresTheExecutable) {
    auto services = Supervisor();
    ASSERT_EQ(0, services->Install(Gateway()));
    platform::ServiceDefinition other = Gateway();
    other.executable = programDir_ + "mmscnt";  // the stand-in then plays the MMSC
    ASSERT_EQ(0, services->Install(other));
    ASSERT_EQ(0, services->Start("QuvSMS"));
    ASSERT_TRUE(Eventually([&] { return StateOf() == ServiceState::Running; }));
    EXPECT_TRUE(platform::ReadMmscStatus().opened);
    EXPECT_FALSE(platform::ReadGatewayStatus().opened);
}

TEST_F(SupervisorBackend, ServiceThatNeverAnnouncesReadinessStaysStartPending) {
    setenv("ZELLA_STANDIN_MODE", "hang", 1);
    auto services = Supervisor();
    ASSERT_EQ(0, services->Install(Gateway()));
    ASSERT_EQ(0, services->Start("QuvSMS"));
    EXPECT_EQ(ServiceState::StartPending, StateOf());
    EXPECT_TRUE(platform::IsActiveState(StateOf()));
    // Start returns once the program is executed, before it has set SIGTERM aside; a
    // stop sent then ends it. Its status block exists only after that.
    ASSERT_TRUE(Eventually([] { return platform::ReadGatewayStatus().opened; }));
    EXPECT_EQ(ServiceState::StartPending, StateOf());
    const long pid = RecordedPid("QuvSMS");
    ASSERT_EQ(0, services->Stop("QuvSMS"));
    // It ignores SIGTERM: the stop stays pending. The pause is room for a wrongly
    // obedient stand-in to end, not a condition of the outcome.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(ServiceState::StopPending, StateOf());
    EXPECT_TRUE(platform::FileExists("/proc/" + std::to_string(pid) + "/exe"));
}

TEST_F(SupervisorBackend, ReusedPidOfAnotherProgramIsNotTheService) {
    auto services = Supervisor();
    ASSERT_EQ(0, services->Install(Gateway()));
    // This test process is alive, but it is not the service's program.
    std::string record = std::to_string(getpid()) + " 1 0\n" + programDir_ + "zellant\n";
    ASSERT_TRUE(platform::WriteFileAtomic(ServicesDir() + "QuvSMS.pid", record));
    EXPECT_EQ(ServiceState::Stopped, StateOf());
    EXPECT_EQ(ESRCH, services->Stop("QuvSMS"));
}

TEST_F(SupervisorBackend, ServiceWhoseProgramCannotRunFailsToStart) {
    auto services = Supervisor();
    ASSERT_EQ(0, services->Install(Gateway()));
    ASSERT_EQ(0, chmod((programDir_ + "zellant").c_str(), 0644));
    EXPECT_EQ(EACCES, services->Start("QuvSMS"));
    unlink((programDir_ + "zellant").c_str());
    EXPECT_EQ(ENOENT, services->Start("QuvSMS"));
    EXPECT_EQ(ServiceState::Stopped, StateOf());
}

TEST_F(SupervisorBackend, UnwritableStateFolderRefusesChanges) {
    // A plain file where the folder should be blocks it even for root.
    ASSERT_TRUE(platform::WriteFileAtomic(dataDir_ + "SERVICES", ""));
    auto services = Supervisor();
    EXPECT_FALSE(services->CanModify());
    EXPECT_EQ(EACCES, services->Install(Gateway()));
}

TEST_F(SupervisorBackend, ServiceNamesThatLeaveTheFolderAreRefused) {
    platform::ServiceDefinition bad = Gateway();
    bad.name = "../QuvSMS";
    EXPECT_EQ(EINVAL, Supervisor()->Install(bad));
    EXPECT_FALSE(platform::FileExists(dataDir_ + "QuvSMS.service"));
}

}  // namespace
}  // namespace services_test
