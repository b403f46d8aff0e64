// The Service page through the headless host, against the stand-in Gateway service.
#include "shell/sheet/service_page.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include "tests/shell/sheet/page_fixture.h"
#include "tests/support/held_port.h"

namespace pages_test {
namespace {

class ServicePageTest : public PageFixture {
protected:
    void WithServicePage(const std::function<void(shell::ServicePage&)>& body) {
        WithPage<shell::ServicePage>(std::make_unique<shell::ServicePage>(), body);
    }
    int Warnings() const { return Count("box: Gateway is not active.  Port number for web interface"); }
};

using zella_test::HeldPort;

TEST_F(ServicePageTest, ControlsFollowTheServiceState) {
    InstallGatewayStopped();
    WithServicePage([&](shell::ServicePage& page) {
        EXPECT_TRUE(page.Checked("gwRun"));
        EXPECT_TRUE(page.Enabled("gwStart"));
        EXPECT_FALSE(page.Enabled("gwStop"));
        page.UserClick("gwStart");
        EXPECT_TRUE(platform::IsActiveState(Supervisor()->State("QuvSMS")));
        EXPECT_FALSE(page.Enabled("gwStart"));
        EXPECT_TRUE(page.Enabled("gwStop"));
    });
    EXPECT_EQ(std::string::npos, host_.TranscriptText().find("box:")) << host_.TranscriptText();
}

TEST_F(ServicePageTest, MmscControlsAreDisabledWithoutTheLibrary) {
    WithServicePage([&](shell::ServicePage& page) {
        for (const char* id : {"mmscLabel", "mmscRun", "mmscStart", "mmscStop"}) {
            EXPECT_FALSE(page.Enabled(id)) << id;
        }
        EXPECT_TRUE(page.Enabled("gwRun"));
    });
}

TEST_F(ServicePageTest, MmscControlsWorkWithTheLibrary) {
    ProvideMmscLibrary();
    WithServicePage([&](shell::ServicePage& page) {
        EXPECT_TRUE(page.Enabled("mmscRun"));
        EXPECT_FALSE(page.Checked("mmscRun"));
        page.UserClick("mmscRun");
        EXPECT_TRUE(Supervisor()->IsInstalled("QuvMMSC"));
        EXPECT_TRUE(page.Checked("mmscRun"));
    });
}

TEST_F(ServicePageTest, WebPortWarningIsShownOnceAndAgainAfterTheServiceBoxIsClicked) {
    HeldPort web;
    SetZella("WebPort", std::to_string(web.port));
    StartGateway();
    WithServicePage([&](shell::ServicePage& page) {
        EXPECT_EQ(1, Warnings()) << host_.TranscriptText();
        host_.Wait(2 * shell::ServicePage::kRefreshMs);
        EXPECT_EQ(1, Warnings()) << host_.TranscriptText();
        host_.QueueAnswer("Are you sure?", ui::kNo);
        page.UserClick("gwRun");
        EXPECT_EQ(2, Warnings()) << host_.TranscriptText();
        host_.Wait(shell::ServicePage::kRefreshMs);
        EXPECT_EQ(2, Warnings()) << host_.TranscriptText();
    });
    EXPECT_NE(std::string::npos,
              host_.TranscriptText().find("Please change the port number on the Web page of this dialog. [OK]"));
}

TEST_F(ServicePageTest, NoWarningWhileTheWebPortIsFree) {
    StartGateway();
    WithServicePage([&](shell::ServicePage&) { host_.Wait(shell::ServicePage::kRefreshMs); });
    EXPECT_EQ(0, Warnings()) << host_.TranscriptText();
}

}  // namespace
}  // namespace pages_test
