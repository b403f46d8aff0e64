// Storing the SMSC connection list into ZELLA.INI: order, renames, deleted keys,
// orphaned sections, and the network-modem VASP clean-up.
#include "smsc/connection_list.h"

#include "config/config_store.h"
#include "platform/files.h"
#include "platform/ini.h"
#include "tests/modem/dialog_fixture.h"

namespace dialogtest {
namespace {

using smsc::ConnectionEntry;
using smsc::EntryFromRecord;

class ConnectionList : public DialogTest {
protected:
    std::vector<ConnectionEntry> Entries(const std::vector<std::string>& records) {
        std::vector<ConnectionEntry> entries;
        for (const std::string& r : records) entries.push_back(EntryFromRecord(r));
        return entries;
    }
    std::string Zella(const std::string& key) const { return config::ReadZellaKey(key); }
    bool HasSection(const std::string& section) const {
        for (const std::string& s : platform::GetPrivateProfileSectionNames(ini_))
            if (s == section) return true;
        return false;
    }
};

// The page's own adds, edits and removals against what others stored meanwhile.
TEST_F(ConnectionList, MergeKeepsThePagesChangesAndWhatOthersStoredMeanwhile) {
    struct Case {
        const char* what;
        std::vector<std::string> page, loaded, stored, merged;
    } cases[] = {
        {"nothing changed anywhere", {"A"}, {"A"}, {"A"}, {"A"}},
        {"another added B", {"A"}, {"A"}, {"A", "B"}, {"A", "B"}},
        {"another removed B", {"A", "B"}, {"A", "B"}, {"A"}, {"A"}},
        {"page removed B, another added C", {"A"}, {"A", "B"}, {"A", "B", "C"}, {"A", "C"}},
        {"page added C, another removed A", {"A", "C\tPIN=1"}, {"A"}, {}, {"C"}},
        {"page edited A that another removed", {"A\tPIN=1"}, {"A"}, {}, {"A"}},
        {"page renamed A to D", {"D\tSaveRoute=A", "B"}, {"A", "B"}, {"A", "B"}, {"D", "B"}},
        {"names compare ignoring case", {"smpp - h:1"}, {"SMPP - H:1"}, {"SMPP - h:1"},
         {"smpp - h:1"}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> names;
        for (const ConnectionEntry& e : smsc::MergeConnectionList(Entries(c.page), c.loaded, c.stored))
            names.push_back(e.name);
        EXPECT_EQ(names, c.merged) << c.what;
    }
}

TEST_F(ConnectionList, DisplayTextShowsRouteNameBeforeConnectionName) {
    SetKey("COM3:", "RouteName", "Office");
    EXPECT_EQ(EntryFromRecord("COM3:").display, "Office (COM3:)");
    EXPECT_EQ(EntryFromRecord("COM4:").display, "COM4:");
    EXPECT_EQ(EntryFromRecord("COM3:\tRouteName=Desk").display, "Desk (COM3:)");
    EXPECT_EQ(EntryFromRecord("COM3:\tRouteName=").display, "COM3:");
}

TEST_F(ConnectionList, DisplayTextIsCutTo150Characters) {
    const ConnectionEntry e = EntryFromRecord("COM3:\tRouteName=" + std::string(200, 'r'));
    EXPECT_EQ(e.display, std::string(150, 'r'));
}

TEST_F(ConnectionList, StoresNamesInOrderAndPendingSettingsInTheirSections) {
    auto entries = Entries({"COM3:\tPIN=1234", "SMPP - 10.0.0.5:2775\tSystemID=abc"});
    ASSERT_TRUE(smsc::StoreConnectionList(entries));
    EXPECT_EQ(Zella("Modem1"), "COM3:");
    EXPECT_EQ(Zella("Modem2"), "SMPP - 10.0.0.5:2775");
    EXPECT_EQ(Key("COM3:", "PIN"), "1234");
    EXPECT_TRUE(HasKey("Modem - COM3:", "PIN"));
    EXPECT_EQ(Key("SMPP - 10.0.0.5:2775", "SystemID"), "abc");
    EXPECT_EQ(entries[0].settings, "");
    EXPECT_EQ(entries[0].name, "COM3:");
}

TEST_F(ConnectionList, EmptyPendingValueDeletesTheKey) {
    SetKey("COM3:", "PIN", "1234");
    SetKey("COM3:", "PhoneNumber", "+44");
    auto entries = Entries({"COM3:\tPIN="});
    ASSERT_TRUE(smsc::StoreConnectionList(entries));
    EXPECT_FALSE(HasKey("Modem - COM3:", "PIN"));
    EXPECT_EQ(Key("COM3:", "PhoneNumber"), "+44");
}

TEST_F(ConnectionList, RenameMovesEveryKeyAndRemovesTheOldSection) {
    SetZella("Modem1", "SMPP - old:1");
    SetKey("SMPP - old:1", "SystemID", "abc");
    SetKey("SMPP - old:1", "Password", "\"quoted\"");
    auto entries = Entries({"SMPP - new:2\tSaveRoute=SMPP - old:1\tSystemID=xyz"});
    ASSERT_TRUE(smsc::StoreConnectionList(entries));
    EXPECT_EQ(Zella("Modem1"), "SMPP - new:2");
    EXPECT_EQ(Key("SMPP - new:2", "SystemID"), "xyz");
    EXPECT_EQ(Key("SMPP - new:2", "Password"), "quoted");
    EXPECT_FALSE(HasKey("SMPP - new:2", "SaveRoute"));
    EXPECT_FALSE(HasSection("SMPP - old:1"));
}

TEST_F(ConnectionList, RenameKeepsAPreferredListLongerThanOldBuffers) {
    platform::IniBatch batch(ini_);
    for (int i = 1; i <= 3000; ++i)
        batch.Write("Modem - COM3:", "Route" + std::to_string(i),
                    "route-number-" + std::to_string(i));
    ASSERT_TRUE(batch.Commit());
    auto entries = Entries({"COM9:\tSaveRoute=COM3:"});
    ASSERT_TRUE(smsc::StoreConnectionList(entries));
    EXPECT_EQ(Key("COM9:", "Route3000"), "route-number-3000");
    EXPECT_FALSE(HasSection("Modem - COM3:"));
}

TEST_F(ConnectionList, RemovingTheSecondOfThreeRewritesModem2AndDeletesModem3) {
    SetZella("Modem1", "COM1:");
    SetZella("Modem2", "COM2:");
    SetZella("Modem3", "COM3:");
    auto entries = smsc::LoadConnectionEntries();
    ASSERT_EQ(entries.size(), 3u);
    entries.erase(entries.begin() + 1);
    ASSERT_TRUE(smsc::StoreConnectionList(entries));
    EXPECT_EQ(Zella("Modem1"), "COM1:");
    EXPECT_EQ(Zella("Modem2"), "COM3:");
    EXPECT_FALSE(HasKey("ZELLA", "Modem3"));
}

TEST_F(ConnectionList, GapsAreClosedAndKeysPast201AreFollowed) {
    SetZella("Modem1", "COM1:");
    SetZella("Modem5", "COM5:");
    for (int i = 201; i <= 204; ++i) SetZella("Modem" + std::to_string(i), "X" + std::to_string(i));
    auto entries = smsc::LoadConnectionEntries();
    ASSERT_EQ(entries.size(), 6u);
    entries.resize(2);
    ASSERT_TRUE(smsc::StoreConnectionList(entries));
    EXPECT_EQ(Zella("Modem2"), "COM5:");
    for (int i = 3; i <= 205; ++i) EXPECT_FALSE(HasKey("ZELLA", "Modem" + std::to_string(i))) << i;
}

TEST_F(ConnectionList, OrphanedSectionsGoButIpModemsAndOtherSectionsStay) {
    SetKey("SMPP - 10.0.0.9:2775", "SystemID", "x");
    SetKey("IPModem - 10.0.0.9:23", "PIN", "1");
    SetKey("COM4:", "PIN", "1");
    SetKey("My [Test] modem", "PIN", "2");
    ASSERT_TRUE(platform::WritePrivateProfileString(ini_, "2Way-Keywords", "k", "v"));
    auto entries = Entries({"My [Test] modem"});
    ASSERT_TRUE(smsc::StoreConnectionList(entries));
    EXPECT_FALSE(HasSection("SMPP - 10.0.0.9:2775"));
    EXPECT_FALSE(HasSection("Modem - COM4:"));
    EXPECT_TRUE(HasSection("IPModem - 10.0.0.9:23"));
    EXPECT_TRUE(HasSection("2Way-Keywords"));
    EXPECT_EQ(Key("My [Test] modem", "PIN"), "2");
}

TEST_F(ConnectionList, OrphanMatchIgnoresCase) {
    SetKey("smpp - HOST:1", "SystemID", "x");
    auto entries = Entries({"SMPP - host:1"});
    ASSERT_TRUE(smsc::StoreConnectionList(entries));
    EXPECT_EQ(Key("SMPP - host:1", "SystemID"), "x");
}

TEST_F(ConnectionList, UnwritableFileKeepsPendingSettings) {
    auto entries = Entries({"COM3:\tPIN=12\n34"});  // a line break cannot be stored
    EXPECT_FALSE(smsc::StoreConnectionList(entries));
    EXPECT_EQ(entries[0].settings, "\tPIN=12\n34");
    EXPECT_EQ(Zella("Modem1"), "");
}

class NetworkModemAccount : public ConnectionList {
protected:
    void MakeAccount(const std::string& account, const std::string& protocol,
                     const std::string& server) {
        const std::string dir = config::VaspConfigDirectory() + "VASPOUT/" + account + "/";
        ASSERT_TRUE(platform::CreateDirectories(dir));
        platform::WritePrivateProfileString(dir + "VASP.INI", "VASP", "Protocol", protocol);
        platform::WritePrivateProfileString(dir + "VASP.INI", "VASP", "Server", server);
        platform::WritePrivateProfileString(config::MmscIniPath(), "Outbound MMS Routing", account,
                                            "Yes");
    }
    bool AccountLeft(const std::string& account) const {
        return platform::DirectoryExists(config::VaspConfigDirectory() + "VASPOUT/" + account);
    }
    std::string Routing(const std::string& account) const {
        return platform::GetPrivateProfileString(config::MmscIniPath(), "Outbound MMS Routing",
                                                 account, "");
    }
};

TEST_F(NetworkModemAccount, ModemAccountIsRemovedWithItsRoutingKey) {
    MakeAccount("phone1", "mm1", "QuvSMSModem_abc");
    EXPECT_TRUE(smsc::RemoveNetworkModemAccount("QuvSMSModem - phone1:8990"));
    EXPECT_FALSE(AccountLeft("phone1"));
    EXPECT_EQ(Routing("phone1"), "");
}

TEST_F(NetworkModemAccount, OtherVaspAccountsStay) {
    MakeAccount("phone2", "MM7", "quvsmsmodem_abc");
    MakeAccount("phone3", "MM1", "mmsc.example");
    EXPECT_FALSE(smsc::RemoveNetworkModemAccount("QuvSMSModem - phone2:1"));
    EXPECT_FALSE(smsc::RemoveNetworkModemAccount("QuvSMSModem - phone3"));
    EXPECT_TRUE(AccountLeft("phone2"));
    EXPECT_TRUE(AccountLeft("phone3"));
    EXPECT_EQ(Routing("phone3"), "Yes");
}

TEST_F(NetworkModemAccount, AccountNameCannotReachOutsideTheVaspFolder) {
    MakeAccount("../victim", "MM1", "quvsmsmodem_x");
    EXPECT_FALSE(smsc::RemoveNetworkModemAccount("QuvSMSModem - ../victim:1"));
    EXPECT_TRUE(platform::DirectoryExists(config::VaspConfigDirectory() + "victim"));
}

}  // namespace
}  // namespace dialogtest
