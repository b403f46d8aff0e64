// The real console under the script driver adds a modem on a simulator linked as COM7
// and stores it, as an operator would through the "Modems" tab.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/ini.h"
#include "tests/support/console_process.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const char* kAddModemScript =
    "tab \"Modems\"\n"
    "press \"&Add\"\n"
    "choose \"Select Available Modem:\" \"COM7:\"\n"
    "press \"Test and Add Modem\"\n"
    "answer \"Initialised modem at 115200 bps\" OK\n"
    "answer \"Modem successfully tested!\" OK\n"
    "press \"OK\"\n"
    "press \"OK\"\n"
    "answer \"Service is not active, do you wish to activate the service?\" No\n";

using zella_test::ChildProcess;
using zella_test::ReadAll;

class ConsoleScript : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = temp_.Path();
        ASSERT_FALSE(dir_.empty());
        program_ = dir_ + "program/";
        data_ = dir_ + "data/";
        fs::create_directories(program_);
        fs::create_directories(data_ + "COMPORTS");
        // A private copy of the program directory keeps exit files and relaunches here.
        zella_test::CopyConsoleInto(ZELLA_BIN_DIR, program_);
    }
    zella_test::TempDir temp_{"smsc-script"};
    std::string dir_, program_, data_;
};

TEST_F(ConsoleScript, AddingASimulatedModemStoresIt) {
    ChildProcess modem({std::string(ZELLA_BIN_DIR) + "/modemsim", "--link=" + data_ + "COMPORTS/COM7"},
                       dir_ + "modem.txt");
    for (int i = 0; i < 250 && !fs::exists(data_ + "COMPORTS/COM7"); ++i)
        std::this_thread::sleep_for(20ms);
    ASSERT_TRUE(fs::exists(data_ + "COMPORTS/COM7"));

    std::ofstream(dir_ + "script.txt") << kAddModemScript;
    ChildProcess console({program_ + "zella"}, dir_ + "out.txt",
                         {"ZELLA_SCRIPT=" + dir_ + "script.txt", "ZELLA_DATA_DIR=" + data_,
                          "ZELLA_SERVICE_MANAGER=supervisor"});
    const int status = console.Wait(120s);
    modem.Stop();

    const std::string out = ReadAll(dir_ + "out.txt");
    EXPECT_EQ(status, 0) << out;
    EXPECT_EQ(out.find("FAIL"), std::string::npos) << out;
    EXPECT_NE(out.find("open: Modem Connection"), std::string::npos) << out;
    const std::string ini = data_ + "ZELLA.INI";
    EXPECT_EQ(platform::GetPrivateProfileString(ini, "ZELLA", "Modem1", ""), "COM7:");
    EXPECT_EQ(platform::GetPrivateProfileString(ini, "ZELLA", "Modem2", ""), "");
    EXPECT_EQ(platform::GetPrivateProfileString(ini, "Modem - COM7:", "ReceiveSMS", ""), "No");
}

}  // namespace
