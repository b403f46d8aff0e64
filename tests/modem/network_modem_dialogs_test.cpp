// The network-modem dialogs under the headless host: adding a local phone (the
// discovery list, a refused address, the /init proof against the stand-in phone),
// pairing a remote and a cloud phone through the request section, and the properties
// keeping the phone's MM1 account in step with "Send MMS Messages".
#include <filesystem>

#include "config/config_store.h"
#include "modem/network_modem.h"
#include "modem/network_modem_dialogs.h"
#include "platform/files.h"
#include "platform/ini.h"
#include "smsc/connection_edit.h"
#include "smsc/connection_dialogs.h"
#include "tests/modem/dialog_fixture.h"

namespace dialogtest {
namespace {

const char* kAddressField = "address";

class NetworkModemDialogs : public DialogTest {
protected:
    void SetUp() override {
        DialogTest::SetUp();
        services_ = modem::DefaultNetworkModemServices();
        services_.discovered = [] { return std::vector<std::string>{"10.9.9.9:8990", "kept:1"}; };
        services_.configured = [](const std::string& name) { return name == "QuvSMSModem - kept:1"; };
        services_.checks.gatewayActive = [this] { return active_; };
        services_.checks.mmscInstalled = [] { return true; };
    }
    std::string StartPhone() {
        phone_ = std::make_unique<zella_test::FirstLineChild>(
            platform::ExecutableDirectory() + "phonesim",
            std::vector<std::string>{"--mms-url=http://mms.op.example/", "--mms-proxy=10.0.0.9:80"});
        EXPECT_TRUE(phone_->Started());
        return "127.0.0.1:" + phone_->FirstLine();
    }
    std::string Pairing(const char* key) {
        return platform::GetPrivateProfileString(ini_, "QuvSMSModemTest", key, "");
    }
    std::string VaspIni(const std::string& shortName) {
        return config::VaspConfigDirectory() + "VASPOUT/" + shortName + "/VASP.INI";
    }

    modem::NetworkModemServices services_;
    bool active_ = true;
    std::unique_ptr<zella_test::FirstLineChild> phone_;
};

TEST_F(NetworkModemDialogs, LocalPhoneIsListedTypedRefusedAndProvedBeforeItIsAdded) {
    const std::string device = StartPhone();
    host_.QueueDialog("DIALOG_ADDQUVSMSMODEM", [&](ui::Dialog& d) {
        EXPECT_FALSE(d.Visible(kAddressField));
        EXPECT_FALSE(d.Visible("add"));
        // Discovered phones are listed once, except one that is a connection already.
        EXPECT_EQ(d.Items("list"), (std::vector<std::string>{"10.9.9.9:8990"}));
        d.UserTimer(1);
        EXPECT_EQ(d.Items("list").size(), 1u);
        d.UserClick("local");
        EXPECT_TRUE(d.Visible(kAddressField));
        EXPECT_FALSE(d.Visible("secret"));
        d.UserSelect("list", 0);
        EXPECT_EQ(d.Text(kAddressField), "10.9.9.9:8990");
        for (const char* bad : {"127.0.0.1:0", "127.0.0.1:65536", "[::1]:0", "x\tRemote=Yes"}) {
            d.UserSetText(kAddressField, bad);
            d.UserClick("add");
            EXPECT_FALSE(d.IsEnded()) << bad;
        }
        d.UserSetText(kAddressField, device);
        d.UserClick("add");
        EXPECT_TRUE(d.IsEnded());
    });
    std::string record;
    ASSERT_TRUE(modem::RunAddNetworkModem(host_, services_, record));
    EXPECT_EQ(record, "QuvSMSModem - " + device + "\tRouteName=127.0.0.1");
    EXPECT_EQ(Boxes(), std::vector<std::string>(4, "Unable to connect to modem"));
}

// "Add Android Modem" leaves out the phones that are connections already: those of the
// SMSC page's list as it stands, not of the stored keys, which a gap ends early and
// which lack a phone added but not stored yet.
TEST_F(NetworkModemDialogs, PhonesOnThePagesListAreLeftOutWhateverTheStoredKeysHold) {
    SetZella("Modem2", "QuvSMSModem - 10.0.0.2:8990");  // Modem1 is empty
    const modem::NetworkModemServices s = modem::DefaultNetworkModemServices();
    EXPECT_TRUE(s.configured("quvsmsmodem - 10.0.0.2:8990"));
    smsc::ConnectionListRegistration page([] {
        return std::vector<std::string>{"COM3:", "QuvSMSModem - 10.0.0.3:8990"};
    });
    EXPECT_TRUE(s.configured("QuvSMSModem - 10.0.0.3:8990"));
    EXPECT_FALSE(s.configured("QuvSMSModem - 10.0.0.2:8990"));
}

TEST_F(NetworkModemDialogs, RemotePhoneIsPairedThroughTheServiceOrSavedAnyway) {
    SetZella("QuvsmsModemPort", "18990");
    clock_ = std::make_unique<platform::FakeClock>();
    platform::SetClock(clock_.get());
    active_ = false;
    host_.QueueAnswer("QuvSMS Services are not active.", ui::kNo);
    host_.QueueAnswer(modem::kBadSecret, ui::kOk);
    host_.QueueAnswer("Modem not connected. Save anyway?", ui::kNo);
    host_.QueueDialog("DIALOG_ADDQUVSMSMODEM", [&](ui::Dialog& d) {
        d.UserClick("remote");
        EXPECT_TRUE(d.Visible("secret"));
        EXPECT_FALSE(d.Visible("cloudid"));
        d.UserSetText("device", "Pixel");
        d.UserSetText("secret", "s3cret");
        d.UserClick("add");  // services refused: nothing written
        EXPECT_FALSE(d.IsEnded());
        EXPECT_EQ(Pairing("ModemName"), "");
        active_ = true;
        d.UserSetText("secret", "bad\tsecret");
        d.UserClick("add");
        EXPECT_EQ(Pairing("ModemName"), "");
        d.UserSetText("secret", "s3cret");
        d.UserClick("add");  // no answer in time, then not saved: the request goes
        EXPECT_FALSE(d.IsEnded());
        EXPECT_EQ(Pairing("ModemName"), "");
        d.UserClick("cloud");
        d.UserClick("add");  // the service answers
        EXPECT_TRUE(d.IsEnded());
    });
    host_.QueueDialog("DIALOG_QUVSMSWAIT", [&](ui::Dialog& d) {
        EXPECT_EQ(Pairing("ModemName"), "Pixel");
        EXPECT_EQ(Pairing("Password"), "s3cret");
        EXPECT_NE(d.Text("text").find("connect on port 18990.\r\n"), std::string::npos);
        // A service that never answers: the wait gives up on its own.
        clock_->Advance(modem::kPairingTimeoutMs - 1);
        d.UserTimer(1);
        EXPECT_FALSE(d.IsEnded());
        clock_->Advance(1);
        d.UserTimer(1);
        EXPECT_TRUE(d.IsEnded());
    });
    host_.QueueDialog("DIALOG_QUVSMSWAIT", [&](ui::Dialog& d) {
        EXPECT_EQ(Pairing("Cloud"), "Yes");
        EXPECT_EQ(d.Text("cloudline"), "Connecting to QuvSMS Modem Cloud...");
        d.UserTimer(1);
        EXPECT_FALSE(d.IsEnded());
        ASSERT_TRUE(platform::WritePrivateProfileString(ini_, "QuvSMSModemTest", "Status", "ok"));
        d.UserTimer(1);
        EXPECT_TRUE(d.IsEnded());
    });
    std::string record;
    ASSERT_TRUE(modem::RunAddNetworkModem(host_, services_, record));
    EXPECT_EQ(record, "QuvSMSModem - Pixel\tRouteName=Pixel\tRemote=Yes\tCloud=Yes\tPassword=s3cret");
    EXPECT_EQ(Boxes(), (std::vector<std::string>{
                           "QuvSMS Services are not active.\\r\\n\\r\\nDo you wish to enable QuvSMS Services?",
                           modem::kBadSecret, "Modem not connected. Save anyway?",
                           "Modem connected successfuly.\\r\\n\\r\\nPress OK to set connection properties."}));
}

TEST_F(NetworkModemDialogs, SendMmsKeepsThePhonesAccountAndTurningItOffRemovesIt) {
    const std::string device = StartPhone();
    const std::string name = "QuvSMSModem - " + device;
    SetZella("Modem1", name);
    AddUser("alice", true);
    std::string record = name + "\tRouteName=127.0.0.1";
    host_.QueueDialog("DIALOG_QUVSMSMODEM", [&](ui::Dialog& d) {
        for (const char* route : {"44", "alice", "49"}) {
            d.UserSetText("preferredText", route);
            d.UserClick("add");
        }
        // A new connection: MMS on, the phone's defaults in use.
        EXPECT_TRUE(d.Checked("local"));
        EXPECT_FALSE(d.Visible("secret"));
        EXPECT_TRUE(d.Checked("sendmms"));
        EXPECT_TRUE(d.Checked("receivemms"));
        EXPECT_TRUE(d.Checked("usedefault"));
        EXPECT_FALSE(d.Enabled("mmsurl"));
        EXPECT_EQ(d.Text("mmsurl"), "http://mms.op.example/");
        d.UserClick(ui::IDOK);
    });
    ASSERT_TRUE(smsc::NetworkModemPropertiesDialog(host_, record));
    EXPECT_NE(record.find("\tQuvsmsModemMMSProxy=10.0.0.9:80"), std::string::npos) << record;
    EXPECT_NE(record.find("\tReceiveMMS=Yes"), std::string::npos) << record;
    EXPECT_NE(record.find("\tRoute1=44\tRoute2=49"), std::string::npos) << record;
    EXPECT_NE(record.find("\tAllowedUser1=alice"), std::string::npos) << record;
    const std::string vasp = VaspIni("127.0.0.1");
    EXPECT_EQ(platform::GetPrivateProfileString(vasp, "VASP", "Server", ""), "quvsmsmodem_" + device);
    EXPECT_EQ(platform::GetPrivateProfileString(dir_ + "MMSC.INI", "Outbound MMS Routing", "127.0.0.1", ""), "*,44,49");
    // The account's folder is the MMSC service's: saving leaves nothing but VASP.INI there.
    std::vector<std::string> files;
    for (const platform::DirEntry& e : platform::ListDirectory(config::VaspConfigDirectory() + "VASPOUT/127.0.0.1/"))
        if (e.name != "." && e.name != "..") files.push_back(e.name);
    EXPECT_EQ(files, std::vector<std::string>{"VASP.INI"});

    SetKey(name, "ReceiveSMS", "Yes");
    record = name;
    host_.QueueDialog("DIALOG_QUVSMSMODEM", [&](ui::Dialog& d) {
        EXPECT_TRUE(d.Checked("sendmms"));
        d.UserClick("sendmms");
        EXPECT_FALSE(d.Enabled("receivemms"));
        d.UserClick(ui::IDOK);
    });
    ASSERT_TRUE(smsc::NetworkModemPropertiesDialog(host_, record));
    EXPECT_FALSE(platform::PathExists(config::VaspConfigDirectory() + "VASPOUT/127.0.0.1/"));
    EXPECT_EQ(platform::GetPrivateProfileString(dir_ + "MMSC.INI", "Outbound MMS Routing", "127.0.0.1", "gone"), "gone");
}

TEST_F(NetworkModemDialogs, AnotherAccountOfTheNameOrAnUnusableNameKeepsMmsOff) {
    const std::string other = VaspIni("phone");
    ASSERT_TRUE(platform::CreateDirectories(config::VaspConfigDirectory() + "VASPOUT/phone/"));
    ASSERT_TRUE(platform::WritePrivateProfileString(other, "VASP", "Protocol", "MM7"));
    for (const std::string& device : {std::string("phone:1"), std::string("[::1]:1")}) {
        std::string record = "TEST:QuvSMSModem - " + device;
        // Saved at once, without a script.
        ASSERT_TRUE(smsc::NetworkModemPropertiesDialog(host_, record)) << device;
        EXPECT_EQ(record.rfind("QuvSMSModem - " + device, 0), 0u) << record;
        EXPECT_NE(record.find("\tReceiveMMS=No"), std::string::npos) << record;
    }
    EXPECT_EQ(platform::GetPrivateProfileString(other, "VASP", "Protocol", ""), "MM7");
    EXPECT_FALSE(platform::PathExists(config::VaspConfigDirectory() + "VASPOUT/[/"));
    EXPECT_FALSE(platform::PathExists(config::VaspConfigDirectory() + "VASPOUT/[::1]/"));
}

TEST_F(NetworkModemDialogs, SecretThatWouldBreakTheIniLineIsRefused) {
    std::string record = "QuvSMSModem - Pixel\tRemote=Yes";
    host_.QueueDialog("DIALOG_QUVSMSMODEM", [&](ui::Dialog& d) {
        EXPECT_TRUE(d.Checked("remote"));
        for (const char* bad : {"a\r\nb", " lead", "trail ", "\"quoted\"", "tab\there"}) {
            d.UserSetText("secret", bad);
            d.UserClick(ui::IDOK);
            EXPECT_FALSE(d.IsEnded()) << bad;
        }
        d.UserSetText("secret", "fine=ok;#");
        d.UserClick(ui::IDOK);
    });
    ASSERT_TRUE(smsc::NetworkModemPropertiesDialog(host_, record));
    EXPECT_NE(record.find("\tPassword=fine=ok;#"), std::string::npos) << record;
    EXPECT_EQ(Boxes(), std::vector<std::string>(5, modem::kBadSecret));
}

}  // namespace
}  // namespace dialogtest
