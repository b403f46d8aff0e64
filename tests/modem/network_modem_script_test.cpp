// The real console under the script driver adds an Android phone by its typed loopback
// address: the stand-in phone answers /init, the connection is stored with its route
// name, and the phone's MM1 account and outbound routing entry are written.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "platform/ini.h"
#include "tests/support/console_process.h"
#include "tests/support/first_line_child.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string AddPhoneScript(const std::string& device) {
    const std::string field = "\"Or, enter IP address and port:  (example: 10.0.0.200:8990)\"";
    return "tab \"SMSC\"\n"
           "press \"&Add\"\n"
           "check \"Android Phone\"\n"
           "press \"OK\"\n"
           "check \"Local WiFi\"\n"
           "set " + field + " \"127.0.0.1:65536\"\n"
           "press \"Add Modem\"\n"
           "answer \"Unable to connect to modem\" OK\n"
           "set " + field + " \"" + device + "\"\n"
           "press \"Add Modem\"\n"
           "press \"OK\"\n"
           "answer \"Would you like to send a test message via this modem?\" No\n"
           "press \"OK\"\n"
           "answer \"Service is not active, do you wish to activate the service?\" No\n";
}

TEST(NetworkModemConsoleScript, AddingALocalPhoneStoresItAndItsMmsAccount) {
    zella_test::TempDir temp{"phone-script"};
    const std::string dir = temp.Path(), program = dir + "program/", data = dir + "data/";
    fs::create_directories(data);
    zella_test::CopyConsoleInto(ZELLA_BIN_DIR, program, zella_test::SmscLinks::Shipped);
    zella_test::FirstLineChild phone(std::string(ZELLA_BIN_DIR) + "/phonesim",
                                     {"--mms-url=http://mms.op.example/", "--mms-proxy=10.0.0.9:80"});
    ASSERT_TRUE(phone.Started());
    const std::string device = "127.0.0.1:" + phone.FirstLine();

    std::ofstream(dir + "script.txt") << AddPhoneScript(device);
    zella_test::ChildProcess console({program + "zella"}, dir + "out.txt",
                                     {"ZELLA_SCRIPT=" + dir + "script.txt", "ZELLA_DATA_DIR=" + data,
                                      "ZELLA_SERVICE_MANAGER=supervisor"});
    const int status = console.Wait(120s);
    const std::string out = zella_test::ReadAll(dir + "out.txt");
    EXPECT_EQ(status, 0) << out;
    EXPECT_EQ(out.find("FAIL"), std::string::npos) << out;
    EXPECT_NE(out.find("open: Android Modem Connection"), std::string::npos) << out;

    const std::string ini = data + "ZELLA.INI", name = "QuvSMSModem - " + device;
    EXPECT_EQ(platform::GetPrivateProfileString(ini, "ZELLA", "Modem1", ""), name) << out;
    EXPECT_EQ(platform::GetPrivateProfileString(ini, "ZELLA", "Modem2", ""), "");
    EXPECT_EQ(platform::GetPrivateProfileString(ini, name, "RouteName", ""), "127.0.0.1");
    EXPECT_EQ(platform::GetPrivateProfileString(ini, name, "ReceiveSMS", ""), "Yes");
    EXPECT_EQ(platform::GetPrivateProfileString(ini, name, "QuvsmsModemMMSURL", ""),
              "http://mms.op.example/");

    std::string vasp;
    for (const auto& entry : fs::recursive_directory_iterator(data)) {
        if (entry.path().filename() == "VASP.INI") vasp = entry.path().string();
    }
    ASSERT_TRUE(vasp.ends_with("/VASPOUT/127.0.0.1/VASP.INI")) << vasp;
    EXPECT_EQ(platform::GetPrivateProfileString(vasp, "VASP", "Protocol", ""), "MM1");
    EXPECT_EQ(platform::GetPrivateProfileString(vasp, "VASP", "Server", ""), "quvsmsmodem_" + device);
    EXPECT_EQ(platform::GetPrivateProfileString(vasp, "VASP", "ForceSenderAddress", ""), "Yes");
    EXPECT_EQ(platform::GetPrivateProfileString(vasp, "VASP", "MMSVersion", ""), "1.2");
    EXPECT_EQ(platform::GetPrivateProfileString(vasp, "VASP", "QuvsmsModemMMSProxy", ""), "10.0.0.9:80");
    EXPECT_EQ(platform::GetPrivateProfileString(data + "MMSC.INI", "Outbound MMS Routing",
                                                "127.0.0.1", ""),
              "*");
}

}  // namespace
