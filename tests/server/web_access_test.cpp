// "Access Web Interface" of the Web page while the stand-in Gateway service runs: with a
// login-protected interface and no account yet, Yes to the offer opens the user editor
// for a new account and stores it, and then the browser opens; No opens nothing.
#include "acctdb/acctdb.h"
#include "config/config_store.h"
#include "server/web_page.h"
#include "shell/core/console_caption.h"
#include "tests/support/service_fixture.h"
#include "ui/headless_host.h"

namespace services_test {
namespace {

class WebAccess : public ServiceFixture {
protected:
    void SetUp() override {
        ServiceFixture::SetUp();
        config::SetConfigurationPath(dataDir_ + "ZELLA.INI");
        acctdb::SMSIniSetFilename(dataDir_ + "ZELLA.INI");
    }
    void TearDown() override {
        acctdb::SMSIniSetFilename("");
        config::SetConfigurationPath("");
        ServiceFixture::TearDown();
    }
    // Presses "Access Web Interface" on the Web page.
    void PressAccess(ui::HeadlessHost& host) {
        ui::Sheet sheet(shell::kConsoleCaption);
        sheet.AddPage(server::CreateWebPage());
        host.QueueSheet([](ui::Sheet& s) {
            s.ActivePage().UserClick("access");
            s.End(ui::kCancel);
        });
        host.RunSheet(sheet);
    }
    static int Accounts() {
        acctdb::UserHandle users = 0;
        if (acctdb::SMSOpenUserFile(&users, acctdb::GENERIC_READ) == 0) return -1;
        const int count = acctdb::SMSGetRecordCount(users);
        acctdb::SMSCloseUserFile(users);
        return count;
    }
};

TEST_F(WebAccess, YesToTheAccountOfferCreatesTheAccountAndOpensTheInterface) {
    InstallAndStartGateway();
    const char* offer = "No user accounts are defined.";
    ui::HeadlessHost declined;
    declined.QueueAnswer(offer, ui::kNo);
    PressAccess(declined);
    EXPECT_EQ(Accounts(), 0);
    EXPECT_EQ(declined.TranscriptText().find("shell: open"), std::string::npos) << declined.TranscriptText();

    ui::HeadlessHost host;
    host.QueueAnswer(offer, ui::kYes);
    host.QueueDialog("DIALOG_USERINFO", [](ui::Dialog& d) {
        EXPECT_EQ(d.Text("name"), "");
        d.UserSetText("name", "webadmin");
        d.UserSetText("password", "secret");
        d.UserClick(ui::IDOK);
    });
    PressAccess(host);
    EXPECT_EQ(Accounts(), 1);
    acctdb::UserHandle users = 0;
    ASSERT_NE(acctdb::SMSOpenUserFile(&users, acctdb::GENERIC_READ), 0);
    acctdb::UserRecord found;
    EXPECT_NE(acctdb::SMSFindUserRecord(users, "webadmin", &found), 0);
    acctdb::SMSCloseUserFile(users);
    EXPECT_NE(host.TranscriptText().find("shell: open http://127.0.0.1:8800/"), std::string::npos)
        << host.TranscriptText();
    EXPECT_EQ(host.UnusedAnswers(), 0);
    EXPECT_FALSE(host.Failed()) << host.TranscriptText();
}

}  // namespace
}  // namespace services_test
