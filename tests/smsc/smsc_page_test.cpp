// The SMSC page in a sheet on the headless host: the list, add, properties, remove,
// leaving the page, the buttons that need a selection, and the status refresh.
#include "smsc/smsc_page.h"
#include "shell/core/console_caption.h"

#include "acctdb/acctdb.h"
#include "config/config_store.h"
#include "platform/files.h"
#include "platform/ini.h"
#include "shell/core/console_page.h"
#include "smsc/connection_dialogs.h"
#include "tests/modem/dialog_fixture.h"

namespace dialogtest {
namespace {

using smsc::SmscPage;

class SmscPageTest : public DialogTest {
protected:
    void SetUp() override {
        DialogTest::SetUp();
        services_.serviceActive = [this] { return active_; };
        services_.smppAvailable = [this] { return smpp_; };
        services_.ucpAvailable = [] { return false; };
        services_.cimdAvailable = [] { return false; };
        services_.queueSize = [this] { return queued_; };
    }
    // Opens a sheet of the SMSC page and a Web page and runs `script` on it.
    void Run(const std::function<void(SmscPage&, ui::Sheet&)>& script) {
        ui::Sheet sheet(shell::kConsoleCaption);
        auto page = std::make_unique<SmscPage>("Modems", services_);
        SmscPage* smscPage = page.get();
        sheet.AddPage(std::move(page));
        sheet.AddPage(std::make_unique<shell::EmptyPage>("DIALOG_WEB", "Web"));
        host_.QueueSheet([&](ui::Sheet& s) {
            script(*smscPage, s);
            if (!s.IsEnded()) s.End(ui::kOk);
        });
        host_.RunSheet(sheet);
    }
    // Runs `script` on a sheet of the SMSC page and a page whose apply writes
    // WebPort=8080, as a Web tab with a pending edit would.
    void RunWithPendingWebEdit(const std::function<void(SmscPage&, ui::Sheet&)>& script) {
        struct WebTab : shell::ConsolePage {
            WebTab() : ConsolePage(ui::Template{"DIALOG_WEB", "Web", {}}) {}
            bool OnApply() override {
                return platform::WritePrivateProfileString(config::ConfigurationPath(),
                                                           "ZELLA", "WebPort", "8080");
            }
        };
        ui::Sheet sheet(shell::kConsoleCaption);
        auto page = std::make_unique<SmscPage>("Modems", services_);
        SmscPage* smscPage = page.get();
        sheet.AddPage(std::move(page));
        sheet.AddPage(std::make_unique<WebTab>());
        host_.QueueSheet([&](ui::Sheet& s) {
            s.SetChanged(true);
            script(*smscPage, s);
            if (!s.IsEnded()) s.End(ui::kCancel);
        });
        host_.RunSheet(sheet);
    }
    void UseClock() {
        clock_ = std::make_unique<platform::FakeClock>();
        platform::SetClock(clock_.get());
    }
    std::string Zella(const std::string& key) const { return config::ReadZellaKey(key); }
    bool Showed(const std::string& text) const {
        const auto boxes = Boxes();
        return std::find(boxes.begin(), boxes.end(), text) != boxes.end();
    }

    smsc::SmscPageServices services_;
    bool active_ = false;
    bool smpp_ = false;
    std::uint32_t queued_ = 0;
};

TEST_F(SmscPageTest, EmptyListShowsTheInvitationInsteadOfTheList) {
    Run([](SmscPage& p, ui::Sheet&) {
        EXPECT_TRUE(p.Visible("none"));
        EXPECT_EQ(p.Text("none"), smsc::kNoConnectionsText);
        for (const char* id : {"connections", "remove", "test", "properties", "stats"})
            EXPECT_FALSE(p.Visible(id)) << id;
        EXPECT_TRUE(p.Visible("add"));
        EXPECT_TRUE(p.Visible("restrictions"));
    });
}

TEST_F(SmscPageTest, ListShowsRouteNamesAndSelectsTheFirst) {
    SetZella("Modem1", "COM3:");
    SetZella("Modem2", "SMPP - 10.0.0.5:2775");
    SetKey("COM3:", "RouteName", "Office");
    Run([](SmscPage& p, ui::Sheet&) {
        EXPECT_EQ(p.Items("connections"),
                  (std::vector<std::string>{"Office (COM3:)", "SMPP - 10.0.0.5:2775"}));
        EXPECT_EQ(p.Selection("connections"), 0);
        EXPECT_FALSE(p.Visible("none"));
    });
}

TEST_F(SmscPageTest, LeavingWithEmptyListNeedsYes) {
    host_.QueueAnswer(smsc::kLeaveEmptyQuestion, ui::kNo);
    host_.QueueAnswer(smsc::kLeaveEmptyQuestion, ui::kYes);
    Run([](SmscPage&, ui::Sheet& s) {
        EXPECT_FALSE(s.Activate(1));
        EXPECT_EQ(s.ActiveIndex(), 0);
        EXPECT_TRUE(s.Activate(1));
        EXPECT_EQ(s.ActiveIndex(), 1);
    });
    EXPECT_EQ(host_.UnusedAnswers(), 0);
    EXPECT_FALSE(host_.Failed()) << host_.TranscriptText();
}

TEST_F(SmscPageTest, ButtonsNeedingASelectionComplainWithoutOne) {
    Run([](SmscPage& p, ui::Sheet&) { p.UserClick("restrictions"); });
    EXPECT_EQ(Boxes(), (std::vector<std::string>{"No connection selected"}));
}

TEST_F(SmscPageTest, RemovingTheSecondOfThreeIsStoredAtOnce) {
    SetZella("Modem1", "COM1:");
    SetZella("Modem2", "COM2:");
    SetZella("Modem3", "COM3:");
    SetKey("COM2:", "PIN", "1");
    host_.QueueAnswer("Delete this connection?", ui::kYes);
    Run([&](SmscPage& p, ui::Sheet& s) {
        p.UserSelect("connections", 1);
        p.UserClick("remove");
        EXPECT_EQ(p.Items("connections"), (std::vector<std::string>{"COM1:", "COM3:"}));
        EXPECT_FALSE(s.Changed());
        EXPECT_EQ(Zella("Modem2"), "COM3:");
    });
    EXPECT_FALSE(HasKey("ZELLA", "Modem3"));
    EXPECT_FALSE(HasKey("Modem - COM2:", "PIN"));
    EXPECT_NE(host_.TranscriptText().find("box: Delete this connection? [Yes/No/Cancel] -> Yes"),
              std::string::npos);
}

TEST_F(SmscPageTest, RemoveAskedWithTheConnectionNameAsCaption) {
    SetZella("Modem1", "COM1:");
    std::string caption;
    host_.SetBoxHook([&](const ui::MessageBoxSpec& spec) {
        caption = spec.caption;
        return ui::kNo;
    });
    Run([](SmscPage& p, ui::Sheet&) { p.UserClick("remove"); });
    EXPECT_EQ(caption, "COM1:");
    EXPECT_EQ(Zella("Modem1"), "COM1:");
}

TEST_F(SmscPageTest, AddWithoutSmppLibraryGoesStraightToTheModemAndItsProperties) {
    StartModem({"--pin=4321"});
    host_.QueueDialog("DIALOG_ADDMODEM", [](ui::Dialog& d) {
        d.UserSelect("modem", d.FindItem("modem", "COM7:"));
        d.UserSetText("pin", "4321");
        d.UserClick("test");
    });
    host_.QueueDialog("DIALOG_ROUTING", [](ui::Dialog& d) {
        EXPECT_EQ(d.Text("pin"), "4321");
        d.UserSetText("phoneNumber", "+447700900000");
        d.UserClick(ui::IDOK);
    });
    Run([](SmscPage& p, ui::Sheet& s) {
        p.UserClick("add");
        EXPECT_EQ(p.Items("connections"), (std::vector<std::string>{"COM7:"}));
        EXPECT_FALSE(p.Visible("none"));
        EXPECT_FALSE(s.Changed());
    });
    EXPECT_EQ(Zella("Modem1"), "COM7:");
    EXPECT_EQ(Key("COM7:", "PIN"), "4321");
    EXPECT_EQ(Key("COM7:", "PhoneNumber"), "+447700900000");
    EXPECT_FALSE(host_.Failed()) << host_.TranscriptText();
}

TEST_F(SmscPageTest, AddWithSmppLibraryAsksTheTypeFirst) {
    smpp_ = true;
    host_.QueueDialog("DIALOG_SMSCTYPE", [](ui::Dialog& d) {
        EXPECT_FALSE(d.Visible("ucp"));
        d.UserClick("smpp");
        d.UserClick(ui::IDOK);
    });
    host_.QueueDialog("DIALOG_SMPP", [](ui::Dialog& d) { d.UserClick(ui::IDCANCEL); });
    host_.QueueDialog("DIALOG_SMSCTYPE", [](ui::Dialog& d) { d.UserClick(ui::IDCANCEL); });
    Run([](SmscPage& p, ui::Sheet&) {
        p.UserClick("add");
        p.UserClick("add");
        EXPECT_TRUE(p.Items("connections").empty());
    });
    EXPECT_TRUE(Boxes().empty()) << host_.TranscriptText();
    EXPECT_NE(host_.TranscriptText().find("close: SMPP Connection = Cancel"), std::string::npos)
        << host_.TranscriptText();
    EXPECT_EQ(Zella("Modem1"), "");
}

TEST_F(SmscPageTest, PropertiesRenameTheRouteAndStoreAtOnce) {
    SetZella("Modem1", "COM3:");
    host_.QueueDialog("DIALOG_ROUTING", [](ui::Dialog& d) {
        d.UserSetText("routeName", "Office");
        d.UserClick(ui::IDOK);
    });
    Run([](SmscPage& p, ui::Sheet&) {
        p.UserDoubleClick("connections", 0);
        EXPECT_EQ(p.Items("connections"), (std::vector<std::string>{"Office (COM3:)"}));
    });
    EXPECT_EQ(Key("COM3:", "RouteName"), "Office");
}

TEST_F(SmscPageTest, CancelledPropertiesChangeNothing) {
    SetZella("Modem1", "COM3:");
    host_.QueueDialog("DIALOG_ROUTING", [](ui::Dialog& d) {
        d.UserSetText("routeName", "Office");
        d.UserClick(ui::IDCANCEL);
    });
    Run([](SmscPage& p, ui::Sheet& s) {
        p.UserClick("properties");
        EXPECT_FALSE(s.Changed());
    });
    EXPECT_FALSE(HasKey("Modem - COM3:", "RouteName"));
    EXPECT_FALSE(HasKey("Modem - COM3:", "ReceiveSMS"));
}

TEST_F(SmscPageTest, PropertiesOfSmppConnectionUseItsOwnDialog) {
    SetZella("Modem1", "smpp - host:1");
    host_.QueueDialog("DIALOG_SMPP", [](ui::Dialog& d) {
        EXPECT_EQ(d.Text("host"), "host");
        EXPECT_EQ(d.Text("port"), "1");
        d.UserClick(ui::IDCANCEL);
    });
    Run([](SmscPage& p, ui::Sheet&) { p.UserClick("properties"); });
    EXPECT_TRUE(Boxes().empty()) << host_.TranscriptText();
    EXPECT_EQ(host_.UnusedAnswers(), 0);
}

TEST_F(SmscPageTest, NetworkModemPropertiesAlwaysDropThePairingSection) {
    SetZella("Modem1", "QuvSMSModem - phone:8990");
    ASSERT_TRUE(platform::WritePrivateProfileString(ini_, "QuvSMSModemTest", "Code", "1234"));
    host_.QueueDialog("DIALOG_QUVSMSMODEM", [](ui::Dialog& d) { d.UserClick(ui::IDCANCEL); });
    Run([](SmscPage& p, ui::Sheet&) {
        p.UserClick("properties");
        // Stored already, so a dialog ending without a record keeps it.
        EXPECT_EQ(p.Items("connections").size(), 1u);
    });
    EXPECT_FALSE(HasKey("QuvSMSModemTest", "Code"));
    EXPECT_TRUE(Boxes().empty()) << host_.TranscriptText();
}

TEST_F(SmscPageTest, RestrictionsAndStatsOpenForTheSelectedConnection) {
    SetZella("Modem1", "COM1:");
    SetZella("Modem2", "COM2:");
    host_.QueueDialog("DIALOG_RESTRICTIONS", [](ui::Dialog& d) {
        d.UserClick("enabled");
        d.UserClick(ui::IDOK);
    });
    host_.QueueDialog("DIALOG_STATS", [](ui::Dialog& d) { d.UserClick(ui::IDOK); });
    Run([](SmscPage& p, ui::Sheet&) {
        p.UserSelect("connections", 1);
        p.UserClick("restrictions");
        p.UserClick("stats");
    });
    EXPECT_EQ(Key("COM2:", "Offline"), "Yes");
    EXPECT_FALSE(HasKey("Modem - COM1:", "Offline"));
    EXPECT_EQ(host_.UnusedAnswers(), 0);
}

// Another console adds COM2: (key and section) while this sheet is open. Applying the
// sheet for another page's change must not touch the list, and this page's own removal
// must merge with what is on disk instead of overwriting it.
TEST_F(SmscPageTest, ConnectionsAnotherConsoleAddedSurviveThisPagesApplyAndRemoval) {
    SetZella("Modem1", "COM1:");
    SetZella("Modem2", "COM3:");
    host_.QueueAnswer("Delete this connection?", ui::kYes);
    Run([&](SmscPage& p, ui::Sheet& s) {
        SetZella("Modem3", "COM2:");
        SetKey("COM2:", "PIN", "1111");
        s.SetChanged(true);  // a change on the Web page
        ASSERT_TRUE(s.ApplyAll());
        EXPECT_EQ(Zella("Modem3"), "COM2:");
        EXPECT_EQ(Key("COM2:", "PIN"), "1111");

        p.UserSelect("connections", 0);
        p.UserClick("remove");
        EXPECT_EQ(p.Items("connections"), (std::vector<std::string>{"COM3:", "COM2:"}));
    });
    EXPECT_EQ(Zella("Modem1"), "COM3:");
    EXPECT_EQ(Zella("Modem2"), "COM2:");
    EXPECT_EQ(Zella("Modem3"), "");
    EXPECT_EQ(Key("COM2:", "PIN"), "1111");
}

// Cancel in any connection dialog leaves the other tab's pending edit pending: nothing is
// written and the sheet still has unsaved changes.
TEST_F(SmscPageTest, CancelledConnectionDialogsLeaveOtherTabsEditsPending) {
    smpp_ = true;
    SetZella("Modem1", "SMPP - host:1");
    SetZella("Modem2", "COM3:");
    SetZella("Modem3", "QuvSMSModem - phone:8990");
    host_.QueueDialog("DIALOG_SMPP", [](ui::Dialog& d) { d.UserClick(ui::IDCANCEL); });
    host_.QueueDialog("DIALOG_ROUTING", [](ui::Dialog& d) { d.UserClick(ui::IDCANCEL); });
    host_.QueueDialog("DIALOG_QUVSMSMODEM", [](ui::Dialog& d) { d.UserClick(ui::IDCANCEL); });
    host_.QueueDialog("DIALOG_SMSCTYPE", [](ui::Dialog& d) {
        d.UserClick("smpp");
        d.UserClick(ui::IDOK);
    });
    host_.QueueDialog("DIALOG_SMPP", [](ui::Dialog& d) { d.UserClick(ui::IDCANCEL); });
    RunWithPendingWebEdit([&](SmscPage& p, ui::Sheet& s) {
        for (int i = 0; i < 3; ++i) {
            p.UserSelect("connections", i);
            p.UserClick("properties");
        }
        p.UserClick("add");
        EXPECT_TRUE(s.Changed());
        EXPECT_EQ(Zella("WebPort"), "");
    });
    EXPECT_EQ(Zella("WebPort"), "");
    EXPECT_EQ(host_.UnusedAnswers(), 0) << host_.TranscriptText();
}

TEST_F(SmscPageTest, StatusLinesRefreshAboutEveryThreeSeconds) {
    UseClock();
    SetZella("Modem1", "COM3:");
    queued_ = 1;
    Run([this](SmscPage& p, ui::Sheet&) {
        // Filled as the page opens, before the first tick.
        EXPECT_EQ(p.Text("queue"), "Outbound Message Queue:  1 message");
        host_.Wait(1000);
        EXPECT_EQ(p.Text("queue"), "Outbound Message Queue:  1 message");
        EXPECT_EQ(p.Text("status"), "SMSC Status:  Service is NOT active");
        queued_ = 0;
        active_ = true;
        host_.Wait(1000);
        EXPECT_EQ(p.Text("queue"), "Outbound Message Queue:  1 message");
        host_.Wait(2000);
        EXPECT_EQ(p.Text("queue"), "Outbound Message Queue:  Empty");
        EXPECT_EQ(p.Text("status"), "SMSC Status:  All Connections OK");
        ASSERT_TRUE(platform::WriteFileAtomic(acctdb::GetPrivateDataDirectory() + "COM3-.ERR",
                                              "No answer"));
        host_.Wait(3000);
        EXPECT_EQ(p.Text("status"), "SMSC Status:  ERROR");
        EXPECT_EQ(p.Text("detail"), "COM3: : No answer\r\n");
    });
}

}  // namespace
}  // namespace dialogtest
