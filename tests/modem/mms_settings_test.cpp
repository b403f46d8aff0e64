// The MMS settings of a connection under the headless host, with the test WAP link
// library loaded the way the console loads it: the full dialog opened from the modem
// properties and stored key by key, the routing-only variant opened from the network
// modem properties, the GPRS connection test against the library's controlled results,
// and the proxy address normalisation.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "config/config_store.h"
#include "modem/mms_settings_dialog.h"
#include "modem/modem_properties_dialog.h"
#include "modem/network_modem_dialogs.h"
#include "platform/dynlib.h"
#include "platform/files.h"
#include "platform/ini.h"
#include "shell/core/link_libraries.h"
#include "smsc/connection_dialogs.h"
#include "tests/modem/dialog_fixture.h"

namespace dialogtest {
namespace {

constexpr const char* kModem = "USB Modem";

class MmsSettings : public DialogTest {
protected:
    void SetUp() override {
        DialogTest::SetUp();
        shell::FreeLinkLibraries();
        const std::string programDir = dir_ + "program/";
        ASSERT_TRUE(platform::CreateDirectories(programDir));
        std::filesystem::copy_file(ZT_MODEM_WAP, programDir + "libwaplnk.so");
        platform::SetLibraryDirectory(programDir);
        log_ = dir_ + "wap.log";
        setenv("ZELLA_TEST_LINK_LOG", log_.c_str(), 1);
        SetZella("Modem1", kModem);
        SetZella("Modem2", "COM3:");
        AddUser("alice", true);
        AddUser("bob", false);
        AddUser("carol", true);
        Vasp("acme", "MM7");
        Vasp("phone1", "MM1");
        Vasp(".hidden", "MM7");
    }
    void TearDown() override {
        shell::FreeLinkLibraries();
        platform::SetLibraryDirectory("");
        unsetenv("ZELLA_TEST_LINK_LOG");
        DialogTest::TearDown();
    }
    void Vasp(const std::string& account, const char* protocol) {
        const std::string dir = config::VaspConfigDirectory() + "VASPOUT/" + account + "/";
        ASSERT_TRUE(platform::CreateDirectories(dir));
        ASSERT_TRUE(platform::WritePrivateProfileString(dir + "VASP.INI", "VASP", "Protocol", protocol));
    }
    // The calls the library logged since the last look.
    std::vector<std::string> Calls() {
        std::vector<std::string> calls;
        std::ifstream in(log_);
        for (std::string line; std::getline(in, line);) calls.push_back(line);
        std::filesystem::remove(log_);
        return calls;
    }
    static void Select(ui::Dialog& d, const char* id, const std::string& item) {
        const int index = d.FindItem(id, item);
        ASSERT_GE(index, 0) << id << ": " << item;
        d.UserSelect(id, index);
    }

    std::string log_;
};

TEST_F(MmsSettings, FullDialogLoadsEveryGroupStoresEachKeyAndShowsThemAgain) {
    for (auto [key, value] : {std::pair{"MMSURL", "mms.old.example/mms"}, {"MMSRouting", "LocalUser:alice"},
                              {"UseDial", "yes"}, {"WAPGatewayIP", "10.0.0.1"},
                              {"DialUpProfile", "Modem: Test Modem"}, {"UseModem", "COM3:"},
                              {"APN", "old.apn"}, {"APNLogin", "u"}, {"APNPass", "p"}}) {
        SetKey(kModem, key, value);
    }
    const std::string apn(200, 'a');
    host_.QueueDialog("DIALOG_ROUTING", [](ui::Dialog& d) {
        d.UserClick("receiveSms");
        d.UserClick("receiveSms");
        d.UserClick("receiveMms");
        if (!d.Checked("receiveMms")) d.UserClick("receiveMms");
        d.UserClick("mms");
    });
    host_.QueueDialog("DIALOG_MMSSETTINGS", [&](ui::Dialog& d) {
        EXPECT_EQ(d.Text("mmsurl"), "mms.old.example/mms");
        EXPECT_FALSE(d.Visible("lookup")) << "no operator list ships";
        EXPECT_TRUE(d.Checked("localuser"));
        EXPECT_EQ(d.Items("userlist"), (std::vector<std::string>{"", "alice", "carol"}));
        EXPECT_EQ(d.Text("userlist"), "alice");
        EXPECT_EQ(d.Items("mm7list"), std::vector<std::string>{"acme"});
        EXPECT_FALSE(d.Enabled("mm7list"));
        EXPECT_TRUE(d.Checked("usedial"));
        EXPECT_EQ(d.Items("dialup"), (std::vector<std::string>{"Modem: Test Modem", "Office GPRS"}));
        EXPECT_EQ(d.Text("dialup"), "Modem: Test Modem");
        EXPECT_TRUE(d.Enabled("apn"));
        const std::vector<std::string>& modems = d.Items("usemodem");
        ASSERT_FALSE(modems.empty());
        EXPECT_EQ(modems.front(), "(none)");
        EXPECT_TRUE(std::is_sorted(modems.begin(), modems.end()));
        EXPECT_EQ(d.Text("usemodem"), "COM3:");
        EXPECT_EQ(d.Text("apn"), "old.apn");
        // Another entry brings its own credentials and needs no APN.
        Select(d, "dialup", "Office GPRS");
        EXPECT_EQ(d.Text("login"), "office");
        EXPECT_EQ(d.Text("password"), "pw1");
        EXPECT_FALSE(d.Enabled("apn"));
        Select(d, "dialup", "Modem: Test Modem");
        EXPECT_TRUE(d.Enabled("apn"));
        d.UserSetText("mmsurl", "HTTP://mms.new.example/servlets/mms");
        d.UserSetText("proxy", " 010.001.002.003 ");
        d.UserSetText("apn", "bad\r\napn");
        d.UserClick(ui::IDOK);
        EXPECT_FALSE(d.IsEnded()) << "a line break would split the INI line";
        d.UserSetText("apn", apn);
        Select(d, "usemodem", "(none)");
        d.UserClick("mm7");
        EXPECT_TRUE(d.Enabled("mm7list"));
        EXPECT_FALSE(d.Enabled("userlist"));
        d.UserSelect("mm7list", 0);
        d.UserClick(ui::IDOK);
        EXPECT_TRUE(d.IsEnded());
    });
    std::string record = std::string(kModem) + "\tReceiveMMS=Yes";
    // The properties themselves are closed without saving.
    EXPECT_FALSE(modem::ModemPropertiesDialog(host_, record, smsc::EditMmsSettings));
    EXPECT_EQ(Key(kModem, "MMSURL"), "mms.new.example/servlets/mms");
    EXPECT_EQ(Key(kModem, "MMSRouting"), "acme");
    EXPECT_EQ(Key(kModem, "UseDial"), "Yes");
    EXPECT_EQ(Key(kModem, "WAPGatewayIP"), "10.1.2.3");
    EXPECT_EQ(Key(kModem, "DialUpProfile"), "Modem: Test Modem");
    EXPECT_FALSE(HasKey(config::ConnectionSectionName(kModem), "UseModem"));
    EXPECT_EQ(Key(kModem, "APN"), apn);
    EXPECT_EQ(Key(kModem, "APNLogin"), "office");
    EXPECT_EQ(Key(kModem, "APNPass"), "pw1");

    // Again, straight from the SMSC page's hook: everything shows as stored; e-mail
    // forwarding without "@" and no specific connection leave no keys behind.
    host_.QueueDialog("DIALOG_MMSSETTINGS", [&](ui::Dialog& d) {
        EXPECT_EQ(d.Text("mmsurl"), "mms.new.example/servlets/mms");
        EXPECT_TRUE(d.Checked("mm7"));
        EXPECT_EQ(d.Text("mm7list"), "acme");
        EXPECT_EQ(d.Text("proxy"), "10.1.2.3");
        EXPECT_EQ(d.Text("usemodem"), "(none)");
        EXPECT_EQ(d.Text("apn"), apn);
        d.UserClick("email");
        d.UserSetText("emailaddr", "postmaster");
        d.UserClick("usedial");
        EXPECT_FALSE(d.Enabled("dialup"));
        EXPECT_FALSE(d.Enabled("test"));
        d.UserClick(ui::IDOK);
    });
    smsc::EditMmsSettings(host_, record);
    const std::string section = config::ConnectionSectionName(kModem);
    EXPECT_EQ(Key(kModem, "UseDial"), "No");
    for (const char* gone : {"MMSRouting", "WAPGatewayIP", "DialUpProfile", "UseModem", "APN",
                             "APNLogin", "APNPass"}) {
        EXPECT_FALSE(HasKey(section, gone)) << gone;
    }
    EXPECT_EQ(Key(kModem, "MMSURL"), "mms.new.example/servlets/mms");

    // Cancel writes nothing; an unnamed connection opens nothing.
    host_.QueueDialog("DIALOG_MMSSETTINGS", [](ui::Dialog& d) {
        EXPECT_TRUE(d.Checked("mmsin"));
        EXPECT_FALSE(d.Checked("usedial"));
        d.UserClick("email");
        d.UserSetText("emailaddr", "ops@example.com");
        d.UserClick(ui::IDCANCEL);
    });
    smsc::EditMmsSettings(host_, record);
    EXPECT_FALSE(HasKey(section, "MMSRouting"));
    std::string unnamed;
    smsc::EditMmsSettings(host_, unnamed);
    EXPECT_FALSE(modem::MmsSettingsDialog(host_, modem::DefaultMmsSettingsServices(), "", false));
    EXPECT_EQ(Boxes(), std::vector<std::string>{"Tabs and line breaks cannot be stored in the MMS settings."});
    EXPECT_EQ(host_.UnusedAnswers(), 0);
    EXPECT_FALSE(host_.Failed()) << host_.TranscriptText();

    // Without the link library the GPRS group stays off and the test does nothing.
    shell::FreeLinkLibraries();
    platform::SetLibraryDirectory(dir_ + "nowhere/");
    host_.QueueDialog("DIALOG_MMSSETTINGS", [](ui::Dialog& d) {
        EXPECT_FALSE(d.Enabled("usedial"));
        EXPECT_FALSE(d.Enabled("test"));
        EXPECT_TRUE(d.Items("dialup").empty());
        d.UserClick("test");
    });
    smsc::EditMmsSettings(host_, record);
    EXPECT_EQ(Boxes().size(), 1u);
    EXPECT_TRUE(Calls().empty());
}

TEST_F(MmsSettings, FirstOpeningOfABareComPortWarnsAndClosesUnlessTheOperatorGoesOn) {
    std::string record = "COM3:";
    host_.QueueAnswer("Warning:  Receiving MMS messages will usually not work", ui::kNo);
    smsc::EditMmsSettings(host_, record);
    host_.QueueAnswer("Warning:  Receiving MMS messages will usually not work", ui::kYes);
    host_.QueueDialog("DIALOG_MMSSETTINGS", [](ui::Dialog& d) {
        EXPECT_EQ(d.Text("usemodem"), "COM3:");
        d.UserClick(ui::IDOK);
    });
    smsc::EditMmsSettings(host_, record);
    EXPECT_EQ(Key("COM3:", "UseDial"), "No");
    // A modem with its own "Modem: " entry is preselected without a warning.
    record = "Test Modem\tSaveRoute=Test Modem";
    host_.QueueDialog("DIALOG_MMSSETTINGS", [](ui::Dialog& d) {
        EXPECT_EQ(d.Text("dialup"), "Modem: Test Modem");
    });
    smsc::EditMmsSettings(host_, record);
    EXPECT_EQ(Boxes().size(), 2u);
    EXPECT_EQ(host_.UnusedAnswers(), 0);
}

TEST_F(MmsSettings, NetworkModemReceiveSettingsStoreTheRoutingWithoutGprs) {
    const std::string name = "QuvSMSModem - 10.1.1.1:8990";
    SetKey(name, "MMSURL", "kept.example/mms");
    SetKey(name, "UseDial", "Yes");
    SetKey(name, "MMSRouting", "localuser:bob");  // bob does not accept received messages
    modem::NetworkModemServices services = modem::DefaultNetworkModemServices();
    services.defaults = [](const std::string&, std::string*, std::string*) { return false; };
    host_.QueueDialog("DIALOG_QUVSMSMODEM", [](ui::Dialog& d) {
        ASSERT_TRUE(d.Checked("sendmms"));
        EXPECT_TRUE(d.Enabled("mmsreceive"));
        d.UserClick("receivemms");
        EXPECT_FALSE(d.Enabled("mmsreceive"));
        d.UserClick("receivemms");
        d.UserClick("mmsreceive");
        d.UserClick("mmsreceive");
        d.UserClick("mmsreceive");
        d.UserClick(ui::IDCANCEL);
    });
    host_.QueueDialog("DIALOG_MMSROUTING", [](ui::Dialog& d) {
        EXPECT_FALSE(d.Has("mmsurl"));
        EXPECT_TRUE(d.Checked("mmsin"));
        d.UserClick("localuser");
        Select(d, "userlist", "carol");
        d.UserClick(ui::IDOK);
    });
    host_.QueueDialog("DIALOG_MMSROUTING", [](ui::Dialog& d) {
        EXPECT_TRUE(d.Checked("localuser"));
        EXPECT_EQ(d.Text("userlist"), "carol");
        d.UserClick("email");
        d.UserSetText("emailaddr", "mms@example.com");
        d.UserClick(ui::IDOK);
    });
    host_.QueueDialog("DIALOG_MMSROUTING", [](ui::Dialog& d) {
        EXPECT_EQ(d.Text("emailaddr"), "mms@example.com");
        d.UserClick("mmsin");
        d.UserClick(ui::IDOK);
    });
    std::string record = name;
    EXPECT_FALSE(modem::RunNetworkModemProperties(host_, services, record));
    EXPECT_FALSE(HasKey(config::ConnectionSectionName(name), "MMSRouting"));
    // The fields this variant lacks count as empty: no server URL, no GPRS connection.
    EXPECT_FALSE(HasKey(config::ConnectionSectionName(name), "MMSURL"));
    EXPECT_EQ(Key(name, "UseDial"), "No");
    EXPECT_EQ(host_.UnusedAnswers(), 0);
    EXPECT_FALSE(host_.Failed()) << host_.TranscriptText();
}

struct GprsRow {
    const char* what;
    std::vector<std::pair<const char*, const char*>> env;
    const char* dialup;
    std::string apn, proxy;
    const char* modem;
    std::vector<std::string> boxes;
    std::vector<std::string> calls;
};

TEST_F(MmsSettings, GprsTestReportsEachOutcomeAndAlwaysGivesTheModemBack) {
    const char* ok = "Connection Test OK!";
    const char* kRebootQuestion =
        "QuvSMS has updated your modem driver settings to enable GPRS connectivity.\\r\\n\\r\\nYour "
        "system must be rebooted to apply these updates.\\r\\n\\r\\nDo you wish to reboot now?";
    const std::string dial = "WSPRasDial(Modem: Test Modem|apn|u|p|";
    const std::vector<GprsRow> rows = {
        {"connected through the proxy", {{"ZT_WAP_CID", "1"}}, "Modem: Test Modem", "apn", "10.0.0.9:8080", "COM3:",
         {ok},
         {"ModemAllocate(COM3:||||)", "ModemGetCIDForAPN(Test Modem|apn|||)", dial + "10.0.0.9:8080)",
          "WSPRasHangUp(Modem: Test Modem||||)", "ModemRelease(7||||)"}},
        {"gateway unreachable, server URL as target", {{"ZT_WAP_DIAL", "1"}, {"ZT_WAP_CID", "1"}},
         "Modem: Test Modem", "apn", "", "(none)", {"Unable to connect to WAP Gateway"},
         {"ModemAllocate((none)||||)", "ModemGetCIDForAPN(Test Modem|apn|||)", dial + "mms.example/mms)", "ModemRelease(7||||)"}},
        {"dial-up error with the system's text", {{"ZT_WAP_DIAL", "720"}}, "Office GPRS", "", "", "(none)",
         {"Connection Failed\\r\\nRAS Error 720\\r\\nError 720 from the test line"},
         {"ModemAllocate((none)||||)", "WSPRasDial(Office GPRS||u|p|mms.example/mms)", "ModemRelease(7||||)"}},
        {"other failure", {{"ZT_WAP_DIAL", "42"}}, "Office GPRS", "", "", "(none)", {"Connection Failed"},
         {"ModemAllocate((none)||||)", "WSPRasDial(Office GPRS||u|p|mms.example/mms)", "ModemRelease(7||||)"}},
        {"modem in use", {{"ZT_WAP_ALLOCATE", "0"}}, "Modem: Test Modem", "apn", "", "COM3:",
         {"Unable to allocate modem, modem in use by QuvSMS"}, {"ModemAllocate(COM3:||||)", "ModemRelease(0||||)"}},
        {"no GPRS answer warns and goes on", {}, "Modem: Test Modem", "apn", "", "(none)",
         {"Warning:  Modem is not responding to GPRS commands.  Testing will continue.", ok},
         {"ModemAllocate((none)||||)", "ModemGetCIDForAPN(Test Modem|apn|||)", "ModemGetCIDForAPN-define(Test Modem|apn|||)",
          dial + "mms.example/mms)", "WSPRasHangUp(Modem: Test Modem||||)", "ModemRelease(7||||)"}},
        {"definition lost, driver updated, reboot chosen: restart first",
         {{"ZT_WAP_CID_DEFINED", "3"}, {"ZT_WAP_UPDATE", "1"}}, "Modem: Test Modem", "apn", "", "COM3:",
         {kRebootQuestion, "Please restart your system before continuing"},
         {"ModemAllocate(COM3:||||)", "ModemGetCIDForAPN(Test Modem|apn|||)",
          "ModemGetCIDForAPN-define(Test Modem|apn|||)", "ModemGetCIDForAPN(Test Modem|apn|||)",
          "ModemDriverUpdateInitStrings(Test Modem|apn|||)", "ModemRelease(7||||)"}},
        {"definition lost, driver updated, no reboot: tests on",
         {{"ZT_WAP_CID_DEFINED", "3"}, {"ZT_WAP_UPDATE", "1"}}, "Modem: Test Modem", "apn", "", "COM3:",
         {kRebootQuestion, ok},
         {"ModemAllocate(COM3:||||)", "ModemGetCIDForAPN(Test Modem|apn|||)",
          "ModemGetCIDForAPN-define(Test Modem|apn|||)", "ModemGetCIDForAPN(Test Modem|apn|||)",
          "ModemDriverUpdateInitStrings(Test Modem|apn|||)", dial + "mms.example/mms)",
          "WSPRasHangUp(Modem: Test Modem||||)", "ModemRelease(7||||)"}},
        {"definition lost, update failed: warns and goes on", {{"ZT_WAP_CID_DEFINED", "3"}}, "Modem: Test Modem",
         "apn", "", "(none)",
         {"Warning:  Modem is not responding properly to GPRS commands.  Testing will continue.", ok},
         {"ModemAllocate((none)||||)", "ModemGetCIDForAPN(Test Modem|apn|||)", "ModemGetCIDForAPN-define(Test Modem|apn|||)",
          "ModemGetCIDForAPN(Test Modem|apn|||)", "ModemDriverUpdateInitStrings(Test Modem|apn|||)",
          dial + "mms.example/mms)", "WSPRasHangUp(Modem: Test Modem||||)", "ModemRelease(7||||)"}},
        {"over-long APN is refused", {}, "Modem: Test Modem", std::string(250, 'x'), "", "COM3:",
         {"Field is too long (at most 249 characters)!"}, {}},
        {"no network connection", {}, nullptr, "apn", "", "COM3:", {"Field is required!"}, {}},
    };
    for (const GprsRow& row : rows) {
        SCOPED_TRACE(row.what);
        for (auto [name, value] : row.env) setenv(name, value, 1);
        host_.ClearTranscript();
        const std::string what = row.what;
        if (what.find("driver updated") != std::string::npos)
            host_.QueueAnswer("QuvSMS has updated", what.find("no reboot") != std::string::npos ? ui::kNo : ui::kYes);
        std::string focused;
        host_.QueueDialog("DIALOG_MMSSETTINGS", [&](ui::Dialog& d) {
            d.UserSetText("mmsurl", "mms.example/mms");
            if (!d.Checked("usedial")) d.UserClick("usedial");
            if (row.dialup) {
                Select(d, "dialup", row.dialup);
            } else {
                d.SetSelection("dialup", -1);
            }
            d.UserSetText("login", "u");
            d.UserSetText("password", "p");
            d.UserSetText("apn", row.apn);
            d.UserSetText("proxy", row.proxy);
            Select(d, "usemodem", row.modem);
            Calls();
            d.UserClick("test");
            EXPECT_FALSE(d.IsEnded());
        });
        std::string record = kModem;
        smsc::EditMmsSettings(host_, record);
        EXPECT_EQ(Boxes(), row.boxes);
        EXPECT_EQ(Calls(), row.calls);
        for (auto [name, value] : row.env) unsetenv(name);
    }
    EXPECT_FALSE(host_.Failed()) << host_.TranscriptText();
}

// Lines of "input<TAB>expected" from tests/data/modem; "#" begins a comment line.
std::vector<std::pair<std::string, std::string>> ReadPairs(const std::string& file) {
    std::ifstream in(std::string(ZELLA_TEST_DATA_DIR) + "/modem/" + file);
    std::vector<std::pair<std::string, std::string>> rows;
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        const std::size_t tab = line.find('\t');
        if (tab != std::string::npos) rows.emplace_back(line.substr(0, tab), line.substr(tab + 1));
    }
    return rows;
}

TEST(NormaliseIPv4, MatchesEveryCaseOfTheDataFile) {
    const auto rows = ReadPairs("normalise_ipv4.tsv");
    ASSERT_GE(rows.size(), 10u);
    for (const auto& [input, expected] : rows) {
        EXPECT_EQ(modem::NormaliseIPv4(input), expected) << "input [" << input << "]";
    }
}

}  // namespace
}  // namespace dialogtest
