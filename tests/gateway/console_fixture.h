// The console and the real Gateway service together: a program directory of the test's
// own holding the console and zellant, the MMSC played by the stand-in, the service
// installed from the console under the built-in supervisor, and helpers that run the
// console on a script.
#pragma once

#include <filesystem>
#include <fstream>

#include "platform/dynlib.h"
#include "platform/service_manager.h"
#include "tests/gateway/gateway_fixture.h"

namespace gateway_test {

class ConsoleAndService : public GatewayFixture {
protected:
    void SetUp() override {
        GatewayFixture::SetUp();
        program_ = std::make_unique<zella_test::TempDir>("gwprog");
        zella_test::CopyConsoleInto(ZELLA_CONSOLE_DIR, program_->Path());
        std::filesystem::copy_file(std::string(ZELLA_BIN_DIR) + "/zellant", program_->Path() + "zellant");
        platform::WritePrivateProfileString(Ini(), "ZELLA", "WebPort", "");
        // The supervisor knows a service by the program directory's executable.
        platform::SetLibraryDirectory(program_->Path());
        // The MMSC service is the stand-in's part: with it running the console asks nothing.
        std::filesystem::copy_file(std::string(ZELLA_BIN_DIR) + "/zella-standin", program_->Path() + "mmscnt");
        auto services = platform::OpenServiceManager(dir_);
        ASSERT_EQ(0, services->Install({"QuvMMSC", "QuvSMS MMSC", program_->Path() + "mmscnt"}));
        ASSERT_EQ(0, services->Start("QuvMMSC"));
    }
    void TearDown() override {
        // The supervisor's service is not the fixture's child: stop it through its block.
        platform::RequestStopThroughBlock(platform::status_block::kGatewayName, platform::status_block::kGatewayGlobalName);
        platform::RequestStopThroughBlock(platform::status_block::kMmscName, platform::status_block::kMmscGlobalName);
        Eventually([&] { return platform::OpenServiceManager(dir_)->State("QuvSMS") != platform::ServiceState::Running; });
        shm_unlink(platform::SharedMemoryObjectName(platform::status_block::kMmscName).c_str());
        GatewayFixture::TearDown();
        platform::SetLibraryDirectory("");
        program_.reset();
    }

    // Runs the console with `script` (and `switches`); the transcript.
    std::string Console(const std::string& script, const std::vector<std::string>& switches = {}) {
        std::ofstream(dir_ + "script.txt") << script;
        const int code = zella_test::RunConsoleScript(program_->Path(), dir_ + "script.txt", dir_ + "out.txt",
                                                      {}, switches,
                                                      std::chrono::seconds(90));
        const std::string out = zella_test::ReadAll(dir_ + "out.txt");
        EXPECT_EQ(0, code) << out;
        EXPECT_EQ(std::string::npos, out.find("FAIL")) << out;
        return out;
    }
    std::string SendTest(const std::string& connection, const std::string& status, const std::string& extra = "") {
        return Console("tab \"SMSC\"\n"
                       "choose \"SMSC Connections:\" \"" + connection + "\"\n"
                       "press \"&Test\"\n"
                       "expect title \"Send Test Message: " + connection + "\"\n"
                       "set \"Phone Number:\" \"+4479460001\"\n"
                       "press \"Send Test SMS\"\n"
                       "wait 3500\n"
                       "expect smsStatus \"" + status + "\"\n"
                       "press \"OK\"\n" + extra + "press \"Cancel\"\n");
    }
    // The Status page's values after the console refreshed it.
    std::string StatusPage() { return Console("tab \"Service\"\nwait 2500\ndump\npress \"Cancel\"\n"); }

    std::unique_ptr<zella_test::TempDir> program_;
};

}  // namespace gateway_test
