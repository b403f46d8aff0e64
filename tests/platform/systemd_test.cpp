// The systemd backend against a recording stand-in for systemctl.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "platform/files.h"
#include "platform/service_manager.h"
#include "tests/support/service_fixture.h"

namespace {

using platform::ServiceState;

class SystemdBackend : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = temp_.Path();
        ASSERT_FALSE(dir_.empty());
        // Records every call; "show" answers from the file "show" beside it.
        std::string script = "#!/bin/sh\necho \"$*\" >> '" + dir_ + "calls'\n" +
                             "if [ \"$1\" = show ]; then cat '" + dir_ + "show'; fi\n" +
                             "exit 0\n";
        ASSERT_TRUE(platform::WriteFileAtomic(dir_ + "systemctl", script));
        chmod((dir_ + "systemctl").c_str(), 0755);
        platform::CreateDirectories(dir_ + "units/");
        manager_ = platform::MakeSystemdServiceManager(dir_ + "systemctl", dir_ + "units/", false,
                                                       {dir_ + "data/", ""});
    }

    void Answer(const std::string& load, const std::string& active) {
        platform::WriteFileAtomic(dir_ + "show",
                                  "LoadState=" + load + "\nActiveState=" + active + "\n");
    }
    std::string Calls() {
        std::string text;
        platform::ReadFile(dir_ + "calls", text);
        return text;
    }

    zella_test::TempDir temp_{"systemd"};
    std::string dir_;
    std::unique_ptr<platform::ServiceManager> manager_;
};

TEST_F(SystemdBackend, UnitStatesMapToServiceStates) {
    Answer("not-found", "inactive");
    EXPECT_EQ(ServiceState::NotInstalled, manager_->State("QuvSMS"));
    EXPECT_FALSE(manager_->IsInstalled("QuvSMS"));
    Answer("loaded", "inactive");
    EXPECT_EQ(ServiceState::Stopped, manager_->State("QuvSMS"));
    Answer("loaded", "failed");
    EXPECT_EQ(ServiceState::Stopped, manager_->State("QuvSMS"));
    Answer("loaded", "activating");
    EXPECT_EQ(ServiceState::StartPending, manager_->State("QuvSMS"));
    Answer("loaded", "deactivating");
    EXPECT_EQ(ServiceState::StopPending, manager_->State("QuvSMS"));
    Answer("loaded", "active");
    EXPECT_EQ(ServiceState::Running, manager_->State("QuvSMS"));
    EXPECT_NE(std::string::npos,
              Calls().find("show --property=LoadState,ActiveState QuvSMS.service"));
}

TEST_F(SystemdBackend, InstallWritesAnEnabledUnitOfTheGatewayUserNamedAfterTheService) {
    Answer("not-found", "inactive");
    ASSERT_EQ(0, manager_->Install({"QuvSMS", "Quv SMS/MMS Gateway", "/opt/quv/zellant"}));
    std::string unit;
    ASSERT_TRUE(platform::ReadFile(dir_ + "units/QuvSMS.service", unit));
    EXPECT_NE(std::string::npos, unit.find("Description=Quv SMS/MMS Gateway\n"));
    EXPECT_NE(std::string::npos, unit.find("ExecStart=/opt/quv/zellant\n"));
    EXPECT_NE(std::string::npos, unit.find("Type=notify\n"));
    EXPECT_NE(std::string::npos, unit.find("User=quvsms\nGroup=quvsms\n"));
    EXPECT_EQ(std::string::npos, unit.find("User=root"));
    EXPECT_NE(std::string::npos, unit.find("ReadWritePaths=" + dir_ + "data/\n"));
    EXPECT_NE(std::string::npos, unit.find("Environment=ZELLA_DATA_DIR=" + dir_ + "data/\n"));
    EXPECT_NE(std::string::npos, unit.find("Environment=ZELLA_SERVICE_MANAGER=systemd\n"));
    EXPECT_EQ(std::string::npos, unit.find("ZELLA_SHM_NAMESPACE"));
    EXPECT_NE(std::string::npos, unit.find("KillMode=mixed\nTimeoutStopSec=120\n"));
    EXPECT_NE(std::string::npos, unit.find("WantedBy=multi-user.target\n"));
    for (const char* field : {"@DESCRIPTION@", "@EXEC_START@", "@DATA_DIRECTORY@", "@ENVIRONMENT@"}) {
        EXPECT_EQ(std::string::npos, unit.find(field)) << field << " left unfilled";
    }
    EXPECT_EQ(std::string::npos, unit.find("\n#")) << "the template's notes belong in no unit";
    EXPECT_EQ("daemon-reload\nenable QuvSMS.service\n", Calls());
}

TEST_F(SystemdBackend, ExecutablePathWithBlanksAndSpecifiersIsQuotedLiterally) {
    std::string unit =
        platform::SystemdUnitText({"QuvSMS", "x", "/opt/Quv SMS/100%/zellant"}, {"/var/lib/q/", ""});
    EXPECT_NE(std::string::npos, unit.find("ExecStart=\"/opt/Quv SMS/100%%/zellant\"\n"));
}

// The data tree is both the one writable path and the service's ZELLA_DATA_DIR; a blank
// would split ReadWritePaths= in two, a "%" would be read as a specifier.
TEST_F(SystemdBackend, DataDirectoryAndNamespaceAreQuotedLiterally) {
    std::string unit = platform::SystemdUnitText({"QuvSMS", "100% Gateway", "/opt/quv/zellant"},
                                                 {"/srv/Quv SMS/50%$HOME", "ns 1"});
    EXPECT_NE(std::string::npos, unit.find("Description=100%% Gateway\n"));
    EXPECT_NE(std::string::npos, unit.find("ReadWritePaths=\"/srv/Quv SMS/50%%$HOME/\"\n"));
    EXPECT_NE(std::string::npos,
              unit.find("Environment=\"ZELLA_DATA_DIR=/srv/Quv SMS/50%%$HOME/\"\n"));
    EXPECT_NE(std::string::npos, unit.find("Environment=\"ZELLA_SHM_NAMESPACE=ns 1\"\n"));
}

TEST_F(SystemdBackend, RelativeOrMissingDataDirectoryIsRefusedBeforeAnyUnitIsWritten) {
    Answer("not-found", "inactive");
    const platform::UnitEnvironment bad[] = {
        {"", ""}, {"data/", ""}, {"/var/lib/quv\nExecStartPre=/tmp/evil/", ""},
        {"/var/lib/quv/", "ns\nExecStartPre=/tmp/evil"}};
    for (const platform::UnitEnvironment& environment : bad) {
        auto manager = platform::MakeSystemdServiceManager(dir_ + "systemctl", dir_ + "units/",
                                                           false, environment);
        EXPECT_EQ(EINVAL, manager->Install({"QuvSMS", "x", "/opt/quv/zellant"}))
            << environment.dataDirectory;
    }
    EXPECT_FALSE(platform::PathExists(dir_ + "units/QuvSMS.service"));
    EXPECT_EQ("", Calls());
}

// A program directory named with a line break once added "ExecStartPre=" to the unit.
TEST_F(SystemdBackend, PathsAndNamesWithControlCharactersAreRefusedBeforeAnyUnitIsWritten) {
    Answer("not-found", "inactive");
    const platform::ServiceDefinition bad[] = {
        {"QuvSMS", "x", "/opt/quv\nExecStartPre=/tmp/evil\n/zellant"},
        {"QuvSMS", "x", "/opt/quv\r/zellant"},
        {"QuvSMS", "x", std::string("/opt/quv\0/zellant", 17)},
        {"QuvSMS", "x", "/opt/quv\t/zellant"},
        {"QuvSMS", "x", "/opt/quv\x7f/zellant"},
        {"QuvSMS", "Gateway\nExecStartPre=/tmp/evil", "/opt/quv/zellant"},
        {"QuvSMS\n", "x", "/opt/quv/zellant"},
    };
    for (const platform::ServiceDefinition& d : bad) {
        EXPECT_EQ(EINVAL, manager_->Install(d)) << d.executable;
    }
    EXPECT_FALSE(platform::PathExists(dir_ + "units/QuvSMS.service"));
    EXPECT_EQ("", Calls());
}

TEST_F(SystemdBackend, StartAndStopDoNotBlockAndNeedAnInstalledUnit) {
    Answer("not-found", "inactive");
    EXPECT_EQ(ENOENT, manager_->Start("QuvSMS"));
    Answer("loaded", "inactive");
    EXPECT_EQ(0, manager_->Start("QuvSMS"));
    EXPECT_EQ(0, manager_->Stop("QuvSMS"));
    std::string calls = Calls();
    EXPECT_NE(std::string::npos, calls.find("start --no-block QuvSMS.service"));
    EXPECT_NE(std::string::npos, calls.find("stop --no-block QuvSMS.service"));
}

TEST_F(SystemdBackend, RemoveDisablesAndDeletesTheUnit) {
    Answer("loaded", "active");
    ASSERT_EQ(0, manager_->Install({"QuvSMS", "Quv SMS/MMS Gateway", "/opt/quv/zellant"}));
    ASSERT_EQ(0, manager_->Remove("QuvSMS"));
    EXPECT_FALSE(platform::FileExists(dir_ + "units/QuvSMS.service"));
    EXPECT_NE(std::string::npos, Calls().find("disable QuvSMS.service"));
}

TEST_F(SystemdBackend, NonRootCallerIsRefusedWhenRootIsRequired) {
    if (geteuid() == 0) GTEST_SKIP() << "running as root";
    auto strict = platform::MakeSystemdServiceManager(dir_ + "systemctl", dir_ + "units/", true);
    EXPECT_FALSE(strict->CanModify());
    EXPECT_EQ(EACCES, strict->Install({"QuvSMS", "x", "/bin/true"}));
}

}  // namespace
