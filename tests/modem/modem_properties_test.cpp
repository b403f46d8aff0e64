// The modem properties dialog: what it shows from the record and ZELLA.INI, and the
// edit record it hands back.
#include "config/config_store.h"
#include "modem/modem_properties_dialog.h"
#include "tests/modem/dialog_fixture.h"

namespace dialogtest {
namespace {

using Script = std::function<void(ui::Dialog&)>;

class ModemProperties : public DialogTest {
protected:
    // Runs the dialog on `entry` with `script` before OK; returns the new entry.
    std::string Edit(std::string entry, const Script& script) {
        host_.QueueDialog("DIALOG_ROUTING", [&](ui::Dialog& d) {
            script(d);
            d.UserClick(ui::IDOK);
        });
        EXPECT_TRUE(modem::ModemPropertiesDialog(host_, entry));
        return entry;
    }
    static void ChooseStorage(ui::Dialog& d, const std::string& item) {
        d.UserSelect("storage", d.FindItem("storage", item));
    }
    static void AddPreferred(ui::Dialog& d, const std::string& text) {
        d.UserSetText("preferredText", text);
        d.UserClick("add");
    }
    static const std::string kName;
};

const std::string ModemProperties::kName = "COM3:";

TEST_F(ModemProperties, UnchangedModemWithStoredReceiveKeysGivesBareName) {
    SetKey(kName, "ReceiveSMS", "Yes");
    SetKey(kName, "ReceiveMMS", "No");
    EXPECT_EQ(Edit(kName, [](ui::Dialog&) {}), kName);
}

TEST_F(ModemProperties, OpensWithPendingValuesBeforeStoredOnes) {
    SetKey(kName, "PIN", "1111");
    SetKey(kName, "PhoneNumber", "+4470000");
    Edit(kName + "\tPIN=2222", [](ui::Dialog& d) {
        EXPECT_EQ(d.Text("pin"), "2222");
        EXPECT_EQ(d.Text("phoneNumber"), "+4470000");
        EXPECT_EQ(d.Text("routeName"), "COM3:");
        EXPECT_TRUE(d.Checked("accessDefault"));
        EXPECT_TRUE(d.Checked("anyTraffic"));
        EXPECT_EQ(d.Text("storage"), "Default");
        EXPECT_EQ(d.Text("routeLocal"), "(disabled)");
    });
}

TEST_F(ModemProperties, PendingPinSurvivesOk) {
    const std::string entry = Edit(kName + "\tPIN=2222", [](ui::Dialog&) {});
    EXPECT_EQ(config::FindRecordValue(entry, "PIN"), "2222");
}

TEST_F(ModemProperties, RouteNameBackToConnectionNameDeletesTheKey) {
    SetKey(kName, "RouteName", "Office");
    const std::string entry = Edit(kName, [](ui::Dialog& d) {
        EXPECT_EQ(d.Text("routeName"), "Office");
        d.UserSetText("routeName", "COM3:");
    });
    EXPECT_EQ(config::FindRecordValue(entry, "RouteName"), "");
}

TEST_F(ModemProperties, RouteNameComparesWithCase) {
    SetKey(kName, "RouteName", "Office");
    const std::string entry =
        Edit(kName, [](ui::Dialog& d) { d.UserSetText("routeName", "OFFICE"); });
    EXPECT_EQ(config::FindRecordValue(entry, "RouteName"), "OFFICE");
}

TEST_F(ModemProperties, DirectPhase2PlusStoresDirectYesAndDefaultDeletesBoth) {
    std::string entry = Edit(kName, [](ui::Dialog& d) {
        d.UserClick("receiveSms");
        ChooseStorage(d, "Direct to Modem - Phase 2+");
    });
    EXPECT_EQ(config::FindRecordValue(entry, "ReceiveTo"), "Direct");
    EXPECT_EQ(config::FindRecordValue(entry, "AllowPhase2Plus"), "Yes");

    SetKey(kName, "ReceiveSMS", "Yes");
    SetKey(kName, "ReceiveTo", "Direct");
    SetKey(kName, "AllowPhase2Plus", "Yes");
    entry = Edit(kName, [](ui::Dialog& d) {
        EXPECT_EQ(d.Text("storage"), "Direct to Modem - Phase 2+");
        ChooseStorage(d, "Default");
    });
    EXPECT_EQ(config::FindRecordValue(entry, "ReceiveTo"), "");
    EXPECT_EQ(config::FindRecordValue(entry, "AllowPhase2Plus"), "");
}

TEST_F(ModemProperties, StoredStorageValuesSelectTheirItems) {
    const std::pair<const char*, const char*> cases[] = {{"me", "Device Memory"},
                                                         {"SM", "SIM Card"},
                                                         {"Direct", "Direct to Modem"},
                                                         {"Elsewhere", "Default"}};
    for (const auto& [value, item] : cases) {
        SetKey(kName, "ReceiveTo", value);
        SetKey(kName, "AllowPhase2Plus", "No");
        Edit(kName,
             [item = std::string(item)](ui::Dialog& d) { EXPECT_EQ(d.Text("storage"), item); });
    }
}

TEST_F(ModemProperties, ReceiveMmsWithoutReceiveSmsStoresNo) {
    SetKey(kName, "ReceiveSMS", "Yes");
    const std::string entry = Edit(kName, [](ui::Dialog& d) {
        d.UserClick("receiveMms");
        d.UserClick("receiveSms");
        EXPECT_TRUE(d.Checked("receiveMms"));
    });
    EXPECT_EQ(config::FindRecordValue(entry, "ReceiveSMS"), "No");
    EXPECT_EQ(config::FindRecordValue(entry, "ReceiveMMS"), "No");
}

TEST_F(ModemProperties, ReceiveSmsOffDisablesReceivingControls) {
    Edit(kName, [](ui::Dialog& d) {
        for (const char* id : {"storage", "receiveMms", "mms", "routeLocal"})
            EXPECT_FALSE(d.Enabled(id)) << id;
        d.UserClick("receiveSms");
        EXPECT_TRUE(d.Enabled("storage"));
        EXPECT_TRUE(d.Enabled("routeLocal"));
        EXPECT_FALSE(d.Enabled("mms"));
        d.UserClick("receiveMms");
        EXPECT_TRUE(d.Enabled("mms"));
    });
}

TEST_F(ModemProperties, ReceiveDefaultsComeFromZellaSection) {
    SetZella("ReceiveSMS", "Yes");
    SetZella("ReceiveMMS", "1");
    SetZella("RebootOnModemError", "true");
    Edit(kName, [](ui::Dialog& d) {
        EXPECT_TRUE(d.Checked("receiveSms"));
        EXPECT_TRUE(d.Checked("receiveMms"));
        EXPECT_TRUE(d.Checked("reboot"));
    });
}

TEST_F(ModemProperties, SmsAccessAndTrafficAndRebootKeys) {
    const std::string entry = Edit(kName, [](ui::Dialog& d) {
        d.UserClick("accessGprs");
        d.UserClick("anyTraffic");
        d.UserClick("reboot");
    });
    EXPECT_EQ(config::FindRecordValue(entry, "SMSAccess"), "GPRS");
    EXPECT_EQ(config::FindRecordValue(entry, "RoutePrefOnly"), "Yes");
    EXPECT_EQ(config::FindRecordValue(entry, "RebootOnModemError"), "Yes");
}

TEST_F(ModemProperties, LocalUserListOffersOnlyUsersAcceptingMessages) {
    AddUser("alice", true);
    AddUser("bob", false);
    const std::string entry = Edit(kName, [](ui::Dialog& d) {
        EXPECT_EQ(d.Items("routeLocal"), (std::vector<std::string>{"(disabled)", "alice"}));
        d.UserClick("receiveSms");
        d.UserSelect("routeLocal", 1);
    });
    EXPECT_EQ(config::FindRecordValue(entry, "RouteLocal"), "alice");
}

TEST_F(ModemProperties, PreferredListSplitsUsersFromRoutes) {
    AddUser("alice", true);
    std::string entry = Edit(kName, [](ui::Dialog& d) {
        AddPreferred(d, "alice");
        AddPreferred(d, "44");
    });
    EXPECT_EQ(config::FindRecordValue(entry, "AllowedUser1"), "alice");
    EXPECT_EQ(config::FindRecordValue(entry, "Route1"), "44");
    EXPECT_EQ(config::FindRecordValue(entry, "AllowedUserOnly"), "Yes");

    SetKey(kName, "AllowedUser1", "alice");
    SetKey(kName, "Route1", "44");
    SetKey(kName, "AllowedUserOnly", "Yes");
    entry = Edit(kName, [](ui::Dialog& d) {
        EXPECT_EQ(d.Items("preferred"), (std::vector<std::string>{"alice", "44"}));
        d.UserSelect("preferred", 0);
        d.UserClick("remove");
    });
    EXPECT_EQ(config::FindRecordValue(entry, "AllowedUser1"), "");
    EXPECT_EQ(config::FindRecordValue(entry, "AllowedUserOnly"), "");
    EXPECT_FALSE(config::FindRecordValue(entry, "Route1").has_value());
}

TEST_F(ModemProperties, DuplicatePreferredEntryIsSelectedNotAdded) {
    Edit(kName, [](ui::Dialog& d) {
        AddPreferred(d, "44");
        AddPreferred(d, "55");
        AddPreferred(d, "44");
        EXPECT_EQ(d.Items("preferred").size(), 2u);
        EXPECT_EQ(d.Selection("preferred"), 0);
        EXPECT_EQ(d.Text("preferredText"), "");
    });
}

TEST_F(ModemProperties, RemoveSelectsThePreviousEntry) {
    Edit(kName, [](ui::Dialog& d) {
        for (const char* t : {"1", "2", "3"}) AddPreferred(d, t);
        d.UserSelect("preferred", 2);
        d.UserClick("remove");
        EXPECT_EQ(d.Selection("preferred"), 1);
        d.UserSelect("preferred", 0);
        d.UserClick("remove");
        EXPECT_EQ(d.Items("preferred"), (std::vector<std::string>{"2"}));
        EXPECT_EQ(d.Selection("preferred"), 0);
    });
}

TEST_F(ModemProperties, PreferredListRefusesEntryTenThousandAndOne) {
    std::vector<std::string> full;
    for (int i = 0; i < 10000; ++i) full.push_back("route" + std::to_string(i));
    Edit(kName, [&](ui::Dialog& d) {
        d.SetItems("preferred", full);
        AddPreferred(d, "one too many");
        EXPECT_EQ(d.Items("preferred").size(), 10000u);
    });
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0], "Maximum entries in list");
}

TEST_F(ModemProperties, ShorterListDeletesStoredRoutesBeyondIt) {
    for (int i = 1; i <= 3; ++i)
        SetKey(kName, "Route" + std::to_string(i), "r" + std::to_string(i));
    const std::string entry = Edit(kName, [](ui::Dialog& d) {
        d.UserSelect("preferred", 0);
        d.UserClick("remove");
    });
    EXPECT_EQ(config::FindRecordValue(entry, "Route1"), "r2");
    EXPECT_EQ(config::FindRecordValue(entry, "Route2"), "r3");
    EXPECT_EQ(config::FindRecordValue(entry, "Route3"), "");
}

TEST_F(ModemProperties, PendingKeysOfOtherDialogsAreKept) {
    const std::string entry =
        Edit(kName + "\tSaveRoute=COM2:\tMMSProxy=10.0.0.1", [](ui::Dialog&) {});
    EXPECT_EQ(config::FindRecordValue(entry, "SaveRoute"), "COM2:");
    EXPECT_EQ(config::FindRecordValue(entry, "MMSProxy"), "10.0.0.1");
}

TEST_F(ModemProperties, MmsSettingsEditTheRecordThatOkReturns) {
    std::string entry = kName;
    host_.QueueDialog([](ui::Dialog& d) {
        d.UserClick("receiveSms");
        d.UserClick("receiveMms");
        d.UserClick("mms");
        d.UserClick(ui::IDOK);
    });
    ASSERT_TRUE(modem::ModemPropertiesDialog(
        host_, entry, [](ui::Host&, std::string& record) { record += "\tMMSAPN=internet"; }));
    EXPECT_EQ(config::FindRecordValue(entry, "MMSAPN"), "internet");
    EXPECT_EQ(config::FindRecordValue(entry, "ReceiveMMS"), "Yes");
}

TEST_F(ModemProperties, CancelLeavesTheEntryAlone) {
    std::string entry = kName + "\tPIN=1";
    host_.QueueDialog([](ui::Dialog& d) {
        d.UserSetText("pin", "2");
        d.UserClick(ui::IDCANCEL);
    });
    EXPECT_FALSE(modem::ModemPropertiesDialog(host_, entry));
    EXPECT_EQ(entry, kName + "\tPIN=1");
}

TEST_F(ModemProperties, EmptyEntryChecksOnlyDefaultAccess) {
    std::string entry;
    host_.QueueDialog([](ui::Dialog& d) {
        EXPECT_TRUE(d.Checked("accessDefault"));
        EXPECT_FALSE(d.Checked("accessGsm"));
        EXPECT_FALSE(d.Checked("accessGprs"));
    });
    EXPECT_FALSE(modem::ModemPropertiesDialog(host_, entry));
}

}  // namespace
}  // namespace dialogtest
