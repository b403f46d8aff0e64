// The test message dialog on the headless host, its timer driven by hand: the request it
// drops, each state the waiting request can show, the outcome read from the day's log,
// Cancel, the web interface, the MMS-only route and a stopped gateway.
#include <cstdio>

#include "acctdb/acctdb.h"
#include "config/config_store.h"
#include "mmsclnk/console_exports.h"
#include "platform/files.h"
#include "platform/ini.h"
#include "smsc/test_message.h"
#include "tests/modem/dialog_fixture.h"

namespace {

class TestMessageDialogTest : public dialogtest::DialogTest {
protected:
    smsc::TestMessageServices Services(bool active) {
        smsc::TestMessageServices s;
        s.gatewayInstalled = [] { return true; };
        s.gatewayActive = [active] { return active; };
        s.mmscInstalled = [active] { return active; };
        s.mmscReady = [active] { return active; };
        s.installAllServices = [this](ui::Host&) { return ++installs_ > 0; };
        return s;
    }
    // The one test request in the outbound queue ("" when there is none).
    std::string Request() const {
        const auto found = platform::ListDirectory(config::QueueDirectory(), "TEST*.REQ");
        return found.size() == 1 ? config::QueueDirectory() + found[0].name : std::string();
    }
    std::string TodaysSmsLog() const {
        const platform::SystemTime t = acctdb::TZGetLocalTime();
        char name[40];
        std::snprintf(name, sizeof name, "SMSOUT-%04d%02d%02d.LOG", t.year, t.month, t.day);
        platform::CreateDirectories(acctdb::GetLogDirectory());
        return acctdb::GetLogDirectory() + name;
    }
    int installs_ = 0;
};

TEST_F(TestMessageDialogTest, SmsTestWalksFromWaitingToTheLoggedOutcome) {
    SetZella("WebAuth", "No");
    SetZella("WebPort", "0");
    host_.QueueDialog("DIALOG_TESTMSG", [&](ui::Dialog& d) {
        EXPECT_EQ("Send Test Message: COM3:", d.Title());
        EXPECT_FALSE(d.Visible("sendMms"));
        for (const char* bad : {"", "+", "12 34", "12-34", "+44a"}) {
            d.UserSetText("phone", bad);
            EXPECT_FALSE(d.Enabled("sendSms")) << bad;
        }
        d.UserSetText("phone", "+4479460001");
        EXPECT_TRUE(d.Enabled("sendSms"));
        d.UserClick("sendSms");
        const std::string request = Request();
        ASSERT_FALSE(request.empty());
        std::string content;
        ASSERT_TRUE(platform::ReadFile(request, content));
        EXPECT_EQ("[SMS]\r\nPhoneNumber=+4479460001\r\nData=QuvSMS Test Message\r\nSMSCRoute=COM3:\r\n",
                  content);
        EXPECT_EQ("Status:  Waiting", d.Text("smsStatus"));
        EXPECT_TRUE(d.Visible("cancelTest"));
        d.UserTimer(1);
        EXPECT_FALSE(d.Enabled("sendSms"));
        EXPECT_FALSE(d.Enabled("phone"));

        const std::string errorFile = acctdb::GetPrivateDataDirectory() + "COM3-.ERR";
        ASSERT_TRUE(platform::WriteFileAtomic(errorFile, "Modem not responding"));
        d.UserTimer(1);
        EXPECT_EQ("Status:  Modem Off-Line", d.Text("smsStatus"));
        EXPECT_EQ("Modem not responding", d.Text("smsDetail"));
        platform::DeleteFileChecked(errorFile);

        platform::WritePrivateProfileString(request, "ErrorDetail", "RetryCount", "2");
        platform::WritePrivateProfileString(request, "ErrorDetail", "LastErrorInfo", "Timeout");
        d.UserTimer(1);
        EXPECT_EQ("Status:  Retry pending, 2 attempts", d.Text("smsStatus"));
        EXPECT_EQ("Last Error Info:  Timeout", d.Text("smsDetail"));

        // The service sent it: a longer id sharing the prefix matches, the last line wins,
        // and a 10,000-character line without an end does not get in the way.
        const std::string id = request.substr(request.rfind('/') + 1, 8);
        ASSERT_TRUE(platform::WriteFileAtomic(
            TodaysSmsLog(), "t,TEST0000X,COM3:,+1,OK\r\n" + std::string(10000, 'z') + "\r\n\x1a" +
                                "t," + id + ",COM3:,+4479460001,OK\r\n" + "t," + id +
                                "9,COM3:,+4479460001,Failed: no credit\r\n"));
        platform::DeleteFileChecked(request);
        d.UserTimer(1);
        EXPECT_EQ("Status:  ERROR", d.Text("smsStatus"));
        EXPECT_EQ("Failed: no credit", d.Text("smsDetail"));
        d.UserTimer(1);
        EXPECT_FALSE(d.Visible("cancelTest"));
        EXPECT_TRUE(d.Enabled("sendSms"));

        // Cancel takes the request back; without a log line both status lines empty.
        platform::Clock().Sleep(2);
        d.UserClick("sendSms");
        ASSERT_FALSE(Request().empty());
        d.UserClick("cancelTest");
        EXPECT_TRUE(Request().empty());
        d.UserTimer(1);
        EXPECT_EQ("", d.Text("smsStatus"));

        d.UserClick("web");
        d.UserClick(ui::IDOK);
    });
    smsc::TestMessageDlgProc(host_, "COM3:", Services(true));
    EXPECT_FALSE(host_.Failed()) << host_.TranscriptText();
    EXPECT_NE(std::string::npos, host_.TranscriptText().find("shell: open http://127.0.0.1:8800/"))
        << host_.TranscriptText();
}

// The entry point the MMSC library's pages call by name: the dialog for an MMS route on
// the host the page hands over, with the console's own checks (a gateway that is not
// running offers to enable the services; declined, the dialog closes).
TEST_F(TestMessageDialogTest, ExportedEntryPointOpensTheDialogOnTheCallersHost) {
    host_.QueueAnswer("QuvSMS Services are not active.", ui::kNo);
    ::TestMessageDlgProc(&host_, "MMSCROUTE - acct");
    EXPECT_NE(std::string::npos,
              host_.TranscriptText().find("close: Send Test Message: MMSCROUTE - acct = Cancel"))
        << host_.TranscriptText();
    ::TestMessageDlgProc(nullptr, "COM3:");  // no host: nothing to show it on
    char url[8] = "x", proxy[8] = "y";
    EXPECT_EQ(0, ::QuvsmsModemHasDefaultSettings("127.0.0.1:1", url, sizeof url, proxy, sizeof proxy));
    EXPECT_EQ(std::string(), url);
    EXPECT_EQ(std::string(), proxy);
}

TEST_F(TestMessageDialogTest, MmsOnlyRouteAndStoppedGateway) {
    const std::string vasp = config::VaspConfigDirectory() + "VASPOUT/acct/";
    ASSERT_TRUE(platform::CreateDirectories(vasp));
    platform::WritePrivateProfileString(vasp + "VASP.INI", "VASP", "Protocol", "MM7");
    host_.QueueDialog("DIALOG_TESTMSG", [&](ui::Dialog& d) {
        EXPECT_FALSE(d.Visible("sendSms"));
        EXPECT_TRUE(d.Visible("sendMms"));
        d.UserSetText("phone", "4479460001");
        d.UserTimer(1);
        d.UserClick("sendMms");  // no MMSTEST.MMS beside the program
        d.UserClick(ui::IDOK);
    });
    smsc::TestMessageDlgProc(host_, "MMSCROUTE - acct", Services(true));
    ASSERT_EQ(1u, host_.BoxTexts().size()) << host_.TranscriptText();
    EXPECT_EQ(acctdb::GetRealProgramDirectory() + "MMSTEST.MMS", host_.BoxTexts()[0]);

    // A stopped gateway: the offer to enable the services, declined, closes the dialog.
    host_.ClearTranscript();
    host_.QueueAnswer("QuvSMS Services are not active.", ui::kNo);
    smsc::TestMessageDlgProc(host_, "COM3:", Services(false));
    EXPECT_EQ(0, installs_);
    EXPECT_NE(std::string::npos, host_.TranscriptText().find("close: Send Test Message: COM3: = Cancel"))
        << host_.TranscriptText();
    EXPECT_EQ(0, host_.UnusedAnswers());
}

TEST_F(TestMessageDialogTest, WebInterfaceWithoutAccountsOffersTheUserEditor) {
    SetZella("WebAuth", "Yes");
    SetZella("WebPort", "8811");
    smsc::TestMessageServices services = Services(true);
    services.editUser = smsc::DefaultTestMessageServices().editUser;
    host_.QueueDialog("DIALOG_TESTMSG", [&](ui::Dialog& d) {
        d.UserClick("web");
        d.UserClick(ui::IDOK);
    });
    host_.QueueAnswer("No user accounts are defined.", ui::kYes);
    host_.QueueDialog("DIALOG_USERINFO", [](ui::Dialog& d) {
        d.UserSetText("name", "webadmin");
        d.UserSetText("password", "s3cret-pw");
        d.UserClick(ui::IDOK);
    });
    smsc::TestMessageDlgProc(host_, "COM3:", services);
    EXPECT_FALSE(host_.Failed()) << host_.TranscriptText();
    EXPECT_EQ(0, host_.UnusedAnswers());
    acctdb::UserHandle store = 0;
    ASSERT_NE(0, acctdb::SMSOpenUserFile(&store, acctdb::GENERIC_READ));
    acctdb::UserRecord found;
    EXPECT_NE(0, acctdb::SMSFindUserRecord(store, "webadmin", &found));
    acctdb::SMSCloseUserFile(store);
    // With an account now in the store, the browser is opened.
    EXPECT_NE(std::string::npos, host_.TranscriptText().find("shell: open http://127.0.0.1:8811/"))
        << host_.TranscriptText();
}

}  // namespace
