// The three pages drawn offscreen inside a sheet, the Status page with every kind of
// line filled in (alarms included), so their look can be checked by eye in
// ZELLA_RENDER_DIR and their drawing cannot break unnoticed.
#include <stdlib.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "qt/render.h"
#include "platform/files.h"
#include "shell/core/console_caption.h"
#include "shell/sheet/debug_logs_page.h"
#include "shell/sheet/pages.h"
#include "shell/sheet/service_page.h"
#include "shell/sheet/status_page.h"
#include "tests/support/temp_dir.h"

namespace pages_test {
namespace {

namespace fs = std::filesystem;

// A Status page showing a fixed status instead of reading one.
class SampleStatusPage : public shell::StatusPage {
public:
    void OnInit() override {
        shell::GatewayStatus s;
        s.gatewayInstalled = s.gatewayActive = true;
        s.gatewayLine = "Service is Active";
        s.mmscAvailable = true;
        s.mmscInstalled = true;
        s.mmscLine = "Service is NOT Active";
        s.mmscAlarm = true;
        s.connectionHeadline = "ERROR";
        s.connectionDetail = "Operator (SMPP - smsc.example:2775) : Bind failed\r\nCOM1 : No SIM\r\n";
        s.connectionAlarm = true;
        s.queueSize = 11;
        s.queueText = "11";
        s.queueAlarm = true;
        s.smppClientsCounted = true;
        s.smppClients = 2;
        for (std::size_t i = 0; i < s.counters.size(); ++i) {
            auto n = static_cast<std::uint32_t>(i);
            s.counters[i] = {n, 7 * n, 30 * n + 1234};
        }
        ShowStatus(s);
    }
};

class PagesRender : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("ZELLA_SERVICE_MANAGER", "supervisor", 1);
        fs::create_directories(ZELLA_RENDER_DIR);
    }
    void Render(std::unique_ptr<ui::Page> page, const std::string& file) {
        ui::Sheet sheet(shell::kConsoleCaption);
        sheet.AddPage(std::move(page));
        std::string path = std::string(ZELLA_RENDER_DIR) + "/" + file;
        ASSERT_TRUE(qtui::RenderSheetToPng(sheet, path));
        EXPECT_GT(fs::file_size(path), 1000u);
    }
    zella_test::ScopedDataDir data_{"render"};
};

TEST_F(PagesRender, StatusPageWithAlarms) { Render(std::make_unique<SampleStatusPage>(), "status_page.png"); }
TEST_F(PagesRender, ServicePage) { Render(std::make_unique<shell::ServicePage>(), "service_page.png"); }
TEST_F(PagesRender, SmscPageEmptyAndWithConnections) {
    Render(shell::MakeSmscPage("SMSC"), "smsc_page_empty.png");
    platform::WriteFileAtomic(data_.File("ZELLA.INI"),
                              "[ZELLA]\nModem1=SMPP - smsc.example:2775\nModem2=COM7:\n");
    Render(shell::MakeSmscPage("SMSC"), "smsc_page.png");
}
TEST_F(PagesRender, DebugLogsPage) { Render(std::make_unique<shell::DebugLogsPage>(), "debug_logs_page.png"); }

}  // namespace
}  // namespace pages_test
