// The real console under the script driver adds a modem on a simulator linked as COM7
// and stores it, as an operator would through the "Modems" tab; and, with an SMPP link
// library in its program directory, adds an SMPP connection through the "SMSC" tab.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/dynlib.h"
#include "platform/files.h"
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

const char* kAddSmppScript =
    "tab \"SMSC\"\n"
    "press \"&Add\"\n"
    "check \"SMPP over TCP/IP\"\n"
    "press \"OK\"\n"
    "set \"Server Host Name:\" \"127.0.0.1\"\n"
    "set \"Server Port:\" \"2775\"\n"
    "set \"User Name:\" \"smppclient1\"\n"
    "set \"Password:\" \"password\"\n"
    "press \"OK\"\n"
    "answer \"SMPP Connection OK\" OK\n"
    "press \"OK\"\n"
    "answer \"Service is not active, do you wish to activate the service?\" No\n";

// The same with a wrong password: the refusal is shown, No keeps the dialog, Cancel
// leaves it, and nothing is stored.
const char* kRefusedSmppScript =
    "tab \"SMSC\"\n"
    "press \"&Add\"\n"
    "check \"SMPP over TCP/IP\"\n"
    "press \"OK\"\n"
    "set \"Server Host Name:\" \"127.0.0.1\"\n"
    "set \"Server Port:\" \"2775\"\n"
    "set \"User Name:\" \"smppclient1\"\n"
    "set \"Password:\" \"wrong\"\n"
    "press \"OK\"\n"
    "answer \"Unable to login to SMPP server with specified parameters.\" No\n"
    "press \"Cancel\"\n"
    "press \"OK\"\n"
    "answer \"No SMSC connections or modems are defined.\" Yes\n";

using zella_test::ChildProcess;
using zella_test::ReadAll;

class ConsoleScript : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = temp_.Path();
        ASSERT_FALSE(dir_.empty());
        program_ = dir_ + "program/";
        data_ = dir_ + "data/";
        // A private copy of the program directory keeps exit files and relaunches here.
        zella_test::PrepareConsoleSandbox(dir_, ZELLA_BIN_DIR);
        fs::create_directories(data_ + "COMPORTS");
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

    const zella_test::ScriptRun run = zella_test::RunSandboxScript(dir_, kAddModemScript);
    modem.Stop();

    const std::string& out = run.transcript;
    EXPECT_EQ(run.status, 0) << out;
    EXPECT_EQ(out.find("FAIL"), std::string::npos) << out;
    EXPECT_NE(out.find("open: Modem Connection"), std::string::npos) << out;
    const std::string ini = data_ + "ZELLA.INI";
    EXPECT_EQ(platform::GetPrivateProfileString(ini, "ZELLA", "Modem1", ""), "COM7:");
    EXPECT_EQ(platform::GetPrivateProfileString(ini, "ZELLA", "Modem2", ""), "");
    EXPECT_EQ(platform::GetPrivateProfileString(ini, "Modem - COM7:", "ReceiveSMS", ""), "No");
}

class SmppConsoleScript : public ConsoleScript {
protected:
    // Runs the console on `script` with the SMPP link double accepting smppclient1 and
    // "password"; returns the transcript.
    std::string Run(const char* script) {
        std::string content;
        EXPECT_TRUE(platform::ReadFile(ZT_SMPP_DOUBLE, content));
        EXPECT_TRUE(platform::WriteFileAtomic(
            program_ + platform::SharedLibraryFileName("SMPPLNK.DLL"), content));
        const zella_test::ScriptRun run = zella_test::RunSandboxScript(
            dir_, script, "script",
            {"ZELLA_TEST_SMPP_USER=smppclient1", "ZELLA_TEST_SMPP_PASSWORD=password",
             "ZELLA_TEST_LINK_LOG=" + dir_ + "calls.log"});
        const std::string& out = run.transcript;
        EXPECT_EQ(run.status, 0) << out;
        EXPECT_EQ(out.find("FAIL"), std::string::npos) << out;
        return out;
    }
};

TEST_F(SmppConsoleScript, AddingAnSmppConnectionStoresItWithItsSection) {
    const std::string out = Run(kAddSmppScript);
    const std::string ini = data_ + "ZELLA.INI";
    const std::string name = "SMPP - 127.0.0.1:2775";
    EXPECT_EQ(platform::GetPrivateProfileString(ini, "ZELLA", "Modem1", ""), name) << out;
    EXPECT_EQ(platform::GetPrivateProfileString(ini, name, "UserName", ""), "smppclient1");
    EXPECT_EQ(platform::GetPrivateProfileString(ini, name, "Password", ""), "password");
    EXPECT_EQ(platform::GetPrivateProfileString(ini, name, "SMPPVersion", ""), "v3.4");
    EXPECT_EQ(platform::GetPrivateProfileString(ini, name, "LongSMSAlt", ""), "Yes");
    EXPECT_NE(ReadAll(dir_ + "calls.log").find("SMPPBind tls=0 reserved=0 version=0x34 type=2 "
                                                "user=smppclient1 password=password"),
              std::string::npos);
}

TEST_F(SmppConsoleScript, RefusedLoginShowsTheStatusTextAndNoStoresNothing) {
    const std::string out = Run(kRefusedSmppScript);
    EXPECT_NE(out.find("Unable to login to SMPP server with specified parameters.\\r\\n"
                       "Invalid Password (0x0000000E)"),
              std::string::npos)
        << out;
    const std::string ini = data_ + "ZELLA.INI";
    EXPECT_EQ(platform::GetPrivateProfileString(ini, "ZELLA", "Modem1", ""), "");
    EXPECT_TRUE(platform::GetPrivateProfileSection(ini, "SMPP - 127.0.0.1:2775").empty());
}

}  // namespace
