// The supervisor backend driving the real stand-in service.
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>

#include "platform/shared_memory.h"
#include "tests/support/service_fixture.h"
#include "tests/support/unprivileged.h"

namespace services_test {
namespace {

using platform::ServiceState;

class SupervisorBackend : public ServiceFixture {
protected:
    ServiceState StateOf(const std::string& name = "QuvSMS") { return Supervisor()->State(name); }

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

TEST_F(SupervisorBackend, ReinstallWithAnotherProgramIsRefused) {
    auto services = Supervisor();
    ASSERT_EQ(0, services->Install(Gateway()));
    platform::ServiceDefinition other = Gateway();
    other.executable = programDir_ + "mmscnt";  // not the Gateway service's program
    EXPECT_EQ(EINVAL, services->Install(other));
    ASSERT_EQ(0, services->Start("QuvSMS"));
    ASSERT_TRUE(Eventually([&] { return StateOf() == ServiceState::Running; }));
    EXPECT_TRUE(platform::ReadGatewayStatus().opened);
    EXPECT_FALSE(platform::ReadMmscStatus().opened);
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

// A root process that has nothing to do with the gateway, for a planted pid record to
// point at; killed at the end.
class Bystander {
public:
    Bystander() {
        char arg0[] = "sleep", arg1[] = "600";
        char* argv[] = {arg0, arg1, nullptr};
        if (posix_spawn(&pid_, "/usr/bin/sleep", nullptr, nullptr, argv, environ) != 0) pid_ = -1;
    }
    ~Bystander() {
        if (pid_ > 0) kill(pid_, SIGKILL), waitpid(pid_, nullptr, 0);
    }
    // Still running (not ended, not a zombie): nobody signalled it.
    bool Alive() const { return pid_ > 0 && waitpid(pid_, nullptr, WNOHANG) == 0; }
    // The record an attacker writes: its real pid, start time and executable.
    std::string Record() const {
        std::string stat;
        platform::ReadFile("/proc/" + std::to_string(pid_) + "/stat", stat);
        std::istringstream fields(stat.substr(stat.rfind(')') + 2));
        std::string field;
        for (int i = 3; i <= 22 && fields >> field; ++i) {
        }
        return std::to_string(pid_) + " " + field + " 0\n/usr/bin/sleep\n";
    }

private:
    pid_t pid_ = -1;
};

// Root installs, stops and starts the gateway while nobody plants a service definition
// naming its own program and a pid record naming an unrelated root process, first in a
// state folder it made itself, then in root's folder widened to everybody.
TEST_F(SupervisorBackend, PlantedStateNeitherRunsNorSignalsAnythingForRoot) {
    if (!zella_test::CanActAsNobody()) GTEST_SKIP() << "needs root and setpriv";
    ASSERT_TRUE(zella_test::OpenToEverybody(dataDir_));
    const std::string evil = dataDir_ + "evil.sh", marker = dataDir_ + "ran-as-root";
    ASSERT_TRUE(zella_test::RunAsNobody("printf '#!/bin/sh\\nid -u > " + marker + "\\n' > " +
                                        evil + " && chmod 755 " + evil));
    Bystander bystander;
    ASSERT_TRUE(bystander.Alive());
    const std::string plant = "printf 'Executable=" + evil + "\\nDisplayName=x\\n' > " +
                              ServicesDir() + "QuvSMS.service.new && mv -f " + ServicesDir() +
                              "QuvSMS.service.new " + ServicesDir() + "QuvSMS.service && printf '" +
                              bystander.Record() + "' > " + ServicesDir() + "QuvSMS.pid.new && mv -f " +
                              ServicesDir() + "QuvSMS.pid.new " + ServicesDir() + "QuvSMS.pid";
    for (bool nobodyMadeTheFolder : {true, false}) {
        SCOPED_TRACE(nobodyMadeTheFolder ? "folder made by nobody" : "root's folder widened");
        if (nobodyMadeTheFolder) {
            ASSERT_TRUE(zella_test::RunAsNobody("mkdir -m 777 " + ServicesDir()));
        } else {
            ASSERT_EQ(0, system(("rm -rf " + ServicesDir()).c_str()));
            ASSERT_EQ(0, Supervisor()->Install(Gateway()));
            ASSERT_EQ(0, chmod(ServicesDir().c_str(), 0777));
        }
        auto services = Supervisor();
        services->Install(Gateway());
        ASSERT_TRUE(zella_test::RunAsNobody(plant));
        EXPECT_EQ(EACCES, services->Stop("QuvSMS"));
        EXPECT_EQ(EACCES, services->Start("QuvSMS"));
        EXPECT_FALSE(services->CanModify());
        EXPECT_TRUE(bystander.Alive());
        EXPECT_FALSE(platform::FileExists(marker));
    }
    // In a folder only root writes, a record naming the bystander (right pid, start
    // time and program) still does not make it the service, and a definition naming
    // another program starts the service's own program.
    ASSERT_EQ(0, system(("rm -rf " + ServicesDir()).c_str()));
    auto services = Supervisor();
    ASSERT_EQ(0, services->Install(Gateway()));
    ASSERT_TRUE(platform::WriteFileAtomic(ServicesDir() + "QuvSMS.pid", bystander.Record()));
    ASSERT_TRUE(platform::WriteFileAtomic(ServicesDir() + "QuvSMS.service", "Executable=" + evil + "\n"));
    EXPECT_EQ(ESRCH, services->Stop("QuvSMS"));
    EXPECT_TRUE(bystander.Alive());
    ASSERT_EQ(0, services->Start("QuvSMS"));
    EXPECT_TRUE(Eventually([&] { return StateOf() == ServiceState::Running; }));
    EXPECT_FALSE(platform::FileExists(marker));
}

// An operator's console reads the state of the service root runs: it may not read the
// executable link of root's process, yet the service is running, not stopped. The
// reader here is a child of the test that became nobody, reading the same state folder.
TEST_F(SupervisorBackend, ServiceRootRunsIsRunningForAnUnprivilegedReader) {
    if (!zella_test::CanActAsNobody()) GTEST_SKIP() << "needs root and setpriv";
    InstallAndStartGateway();
    ASSERT_EQ(0, chmod(dataDir_.c_str(), 0755));
    const auto stateAsNobody = [this] {
        int pipeFds[2];
        if (pipe(pipeFds) != 0) return -1;
        const pid_t child = fork();
        if (child == 0) {
            close(pipeFds[0]);
            int state = -1;
            if (setgroups(0, nullptr) == 0 && setresgid(65534, 65534, 65534) == 0 &&
                setresuid(65534, 65534, 65534) == 0) {
                state = static_cast<int>(Supervisor()->State("QuvSMS"));
            }
            (void)!write(pipeFds[1], &state, sizeof state);
            _exit(0);
        }
        close(pipeFds[1]);
        int state = -1;
        if (read(pipeFds[0], &state, sizeof state) != sizeof state) state = -1;
        close(pipeFds[0]);
        waitpid(child, nullptr, 0);
        return state;
    };
    EXPECT_EQ(static_cast<int>(ServiceState::Running), stateAsNobody());
    ASSERT_EQ(0, Supervisor()->Stop("QuvSMS"));
    ASSERT_TRUE(Eventually([&] { return StateOf() == ServiceState::Stopped; }));
    EXPECT_EQ(static_cast<int>(ServiceState::Stopped), stateAsNobody());
}

}  // namespace
}  // namespace services_test
