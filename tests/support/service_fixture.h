// A program directory with the stand-in service under the service executables' names,
// a fresh program data directory, the supervisor backend and a shared-memory namespace
// of this test process, so tests never touch the machine's own gateway.
#pragma once

#include <signal.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "acctdb/acctdb.h"
#include "platform/dynlib.h"
#include "platform/files.h"
#include "platform/service_manager.h"
#include "platform/shared_memory.h"
#include "tests/support/temp_dir.h"

namespace services_test {

inline bool CopyExecutable(const std::string& from, const std::string& to) {
    std::string content;
    return platform::ReadFile(from, content) && platform::WriteFileAtomic(to, content) &&
           chmod(to.c_str(), 0755) == 0;
}

// Polls `condition` in real time (the services are real processes) for up to 10 s.
template <typename Condition>
bool Eventually(Condition condition) {
    for (int i = 0; i < 200; ++i) {
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return condition();
}

class ServiceFixture : public ::testing::Test {
protected:
    void SetUp() override {
        data_ = std::make_unique<zella_test::ScopedDataDir>("data");
        program_ = std::make_unique<zella_test::TempDir>("prog");
        dataDir_ = data_->Path();
        programDir_ = program_->Path();
        ASSERT_FALSE(dataDir_.empty());
        ASSERT_FALSE(programDir_.empty());
        setenv("ZELLA_SERVICE_MANAGER", "supervisor", 1);
        setenv("ZELLA_SHM_NAMESPACE", ("svc" + std::to_string(getpid())).c_str(), 1);
        unsetenv("ZELLA_STANDIN_MODE");
        acctdb::SetMultiHost("");
        std::string standin = std::string(ZELLA_BIN_DIR) + "/zella-standin";
        ASSERT_TRUE(CopyExecutable(standin, programDir_ + "zellant"));
        ASSERT_TRUE(CopyExecutable(standin, programDir_ + "mmscnt"));
        platform::SetLibraryDirectory(programDir_);
        // No web port by default, so tests never depend on 8800 being free.
        platform::WriteFileAtomic(dataDir_ + "ZELLA.INI", "[ZELLA]\r\nWebPort=\r\n");
    }

    void TearDown() override {
        KillService("QuvSMS");
        KillService("QuvMMSC");
        platform::SetLibraryDirectory("");
        // A killed stand-in leaves its block behind.
        shm_unlink(platform::SharedMemoryObjectName("QUV_ZELLA_ShMem").c_str());
        shm_unlink(platform::SharedMemoryObjectName("QUV_MMSC_ShMem").c_str());
        unsetenv("ZELLA_STANDIN_MODE");
        data_.reset();
        program_.reset();
    }

    std::string ServicesDir() const { return dataDir_ + "SERVICES/"; }

    // The pid the supervisor recorded for the service, 0 when none.
    long RecordedPid(const std::string& name) const {
        std::string text;
        if (!platform::ReadFile(ServicesDir() + name + ".pid", text)) return 0;
        return std::strtol(text.c_str(), nullptr, 10);
    }

    // Ends a service a test left behind, whatever state it is in.
    void KillService(const std::string& name) {
        long pid = RecordedPid(name);
        if (pid > 0 && pid != getpid() && platform::FileExists("/proc/" + std::to_string(pid) + "/stat")) {
            kill(static_cast<pid_t>(pid), SIGKILL);
        }
    }

    std::unique_ptr<platform::ServiceManager> Supervisor() const {
        return platform::OpenServiceManager(dataDir_);
    }

    platform::ServiceDefinition Gateway() const {
        return {"QuvSMS", "Quv SMS/MMS Gateway", programDir_ + "zellant"};
    }

    // Installs the Gateway service (the stand-in) and starts it, until it runs.
    void InstallAndStartGateway() {
        auto services = Supervisor();
        ASSERT_EQ(0, services->Install(Gateway()));
        ASSERT_EQ(0, services->Start("QuvSMS"));
        ASSERT_TRUE(Eventually([&] { return Supervisor()->State("QuvSMS") == platform::ServiceState::Running; }));
    }

    std::unique_ptr<zella_test::ScopedDataDir> data_;
    std::unique_ptr<zella_test::TempDir> program_;
    std::string dataDir_;
    std::string programDir_;
};

}  // namespace services_test
