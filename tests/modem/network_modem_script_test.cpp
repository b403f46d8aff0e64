// The real console under the script driver adds an Android phone by its typed loopback
// address: the stand-in phone answers /init, the connection is stored with its route
// name, and the phone's MM1 account and outbound routing entry are written. Then the MMS
// settings of a GSM modem test their GPRS connection for real: the shipped libwaplnk.so
// brings the chosen mobile-broadband connection up through NetworkManager (a mock on a
// private bus), reaches the MMS proxy and takes the connection down again.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "platform/ini.h"
#include "tests/support/console_process.h"
#include "tests/support/first_line_child.h"
#include "tests/support/held_port.h"
#include "tests/support/nm_mock.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

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

// Runs the console of `dir`/program/ on the data directory `dir`/data/ with `script`,
// expecting a clean run; returns the transcript.
std::string RunScript(const std::string& dir, const std::string& script) {
    const zella_test::ScriptRun run = zella_test::RunSandboxScript(dir, script);
    EXPECT_EQ(run.status, 0) << run.transcript;
    EXPECT_EQ(run.transcript.find("FAIL"), std::string::npos) << run.transcript;
    return run.transcript;
}

TEST(NetworkModemConsoleScript, AddingALocalPhoneStoresItAndItsMmsAccount) {
    zella_test::TempDir temp{"phone-script"};
    const std::string dir = temp.Path(), data = dir + "data/";
    zella_test::PrepareConsoleSandbox(dir, ZELLA_BIN_DIR, zella_test::SmscLinks::Shipped);
    zella_test::FirstLineChild phone(std::string(ZELLA_BIN_DIR) + "/phonesim",
                                     {"--mms-url=http://mms.op.example/", "--mms-proxy=10.0.0.9:80"});
    ASSERT_TRUE(phone.Started());
    const std::string device = "127.0.0.1:" + phone.FirstLine();

    const std::string out = RunScript(dir, AddPhoneScript(device));
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

// The MMS settings of modem COM7: with a GPRS connection through NetworkManager, tested
// against a loopback MMS proxy, then stored.
std::string GprsTestScript(unsigned proxyPort) {
    return "tab \"Modems\"\n"
           "choose \"SMSC Connections:\" \"COM7:\"\n"
           "press \"&Properties\"\n"
           "check \"Receive SMS Messages\"\n"
           "check \"Receive MMS Messages\"\n"
           "press \"MMS Settings\"\n"
           "answer \"Warning:  Receiving MMS messages will usually not work\" Yes\n"
           "set \"MMS Server URL:\" \"HTTP://mms.operator.example/mms\"\n"
           "check \"Use Specific Network Connection (GPRS Modem)\"\n"
           "choose \"Network Connection:\" \"Operator GPRS\"\n"
           "expect \"Login Name:\" \"mmsuser\"\n"
           "set \"MMS Proxy Address:\" \"127.0.0.1:" + std::to_string(proxyPort) + "\"\n"
           "press \"Test Connection\"\n"
           "answer \"Connection Test OK!\" OK\n"
           "press \"OK\"\n"
           "press \"OK\"\n"
           "press \"OK\"\n"
           "answer \"Service is not active, do you wish to activate the service?\" No\n";
}

TEST(NetworkModemConsoleScript, GprsTestBringsTheConnectionUpAndDownThroughNetworkManager) {
    zella_test::NmMock nm;
    if (!nm.Start()) GTEST_SKIP() << nm.Why();
    ASSERT_TRUE(nm.AddModem("ttyUSB0", "Test Modem"));
    ASSERT_TRUE(nm.AddGsmConnection("Operator GPRS", "ttyUSB0", "internet", "mmsuser", "secret"));
    zella_test::HeldPort proxy;  // a listener that stands for the operator's MMS proxy
    ASSERT_NE(proxy.port, 0u);

    zella_test::TempDir temp{"gprs-script"};
    const std::string dir = temp.Path(), data = dir + "data/";
    zella_test::PrepareConsoleSandbox(dir, ZELLA_BIN_DIR);
    const std::string ini = data + "ZELLA.INI";
    platform::WritePrivateProfileString(ini, "ZELLA", "Modem1", "COM7:");

    RunScript(dir, GprsTestScript(proxy.port));

    // Up, proxy reached, down: nothing stays active and the stored connection is as it was.
    const std::string calls = nm.ManagerCalls();
    const std::size_t up = calls.find("ActivateConnection"), down = calls.find("DeactivateConnection");
    EXPECT_NE(up, std::string::npos) << calls;
    EXPECT_NE(down, std::string::npos) << calls;
    EXPECT_LT(up, down) << calls;
    // The kernel completed the library's connection; it waits in the listener's queue.
    fcntl(proxy.fd, F_SETFL, O_NONBLOCK);
    const int reached = accept(proxy.fd, nullptr, nullptr);
    EXPECT_GE(reached, 0) << "the MMS proxy was never reached";
    if (reached >= 0) close(reached);
    EXPECT_EQ(nm.ActiveConnectionIds(), "");
    EXPECT_EQ(nm.GsmSettings("Operator GPRS"), "internet mmsuser secret\n");

    const std::string section = "Modem - COM7:";
    auto key = [&](const char* name) { return platform::GetPrivateProfileString(ini, section, name, ""); };
    EXPECT_EQ(key("MMSURL"), "mms.operator.example/mms");
    EXPECT_EQ(key("UseDial"), "Yes");
    EXPECT_EQ(key("DialUpProfile"), "Operator GPRS");
    EXPECT_EQ(key("WAPGatewayIP"), "127.0.0.1:" + std::to_string(proxy.port));
    EXPECT_EQ(key("APN"), "");  // only a "Modem: " connection takes one
    EXPECT_EQ(key("APNLogin"), "mmsuser");
}

}  // namespace
