// The console's own sheet, every page of it, on the Qt host: it fits a 1024x700 screen
// area (the Status page, at its fullest, scrolls inside it) and keeps one size while the
// operator visits every tab.
#include <stdlib.h>

#include <QScrollArea>
#include <QScrollBar>
#include <QTabBar>
#include <gtest/gtest.h>

#include "platform/files.h"
#include "qt/qt_host.h"
#include "qt/sheet_window.h"
#include "shell/core/console_caption.h"
#include "shell/sheet/pages.h"
#include "shell/sheet/status_page.h"
#include "tests/qt/qt_test_app.h"
#include "tests/support/temp_dir.h"

namespace {

// The Status page with every line it can show: services, connections, queue, counters.
class FullStatusPage : public shell::StatusPage {
public:
    void OnInit() override {
        shell::GatewayStatus s;
        s.gatewayInstalled = s.gatewayActive = true;
        s.gatewayLine = "Service is Active";
        s.mmscAvailable = s.mmscInstalled = true;
        s.mmscLine = "Service is NOT Active";
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

TEST(ConsoleSheet, FitsTheScreenAndKeepsItsSizeOnEveryTab) {
    qtui_test::App();
    setenv("ZELLA_SERVICE_MANAGER", "supervisor", 1);
    zella_test::ScopedDataDir data("sheet");
    // Connections defined: the Modems page lists them and lets the operator move on.
    platform::WriteFileAtomic(data.File("ZELLA.INI"),
                              "[ZELLA]\nModem1=SMPP - smsc.example:2775\nModem2=COM7:\n");
    ui::Sheet sheet(shell::kConsoleCaption);
    sheet.AddPage(std::make_unique<FullStatusPage>());
    sheet.AddPage(shell::MakeSmscPage("Modems"));
    sheet.AddPage(shell::MakeWebPage());
    sheet.AddPage(shell::MakeUsersPage());
    sheet.AddPage(shell::MakeTwoWayPage());
    sheet.AddPage(shell::MakeSslPage());
    sheet.AddPage(shell::MakeDebugLogsPage());

    qtui::QtHost host;
    qtui::SheetWindow window(sheet, nullptr);
    window.Open(&host);
    window.setAttribute(Qt::WA_DontShowOnScreen);
    window.show();
    const QSize first = window.size();
    EXPECT_LE(first.width(), 1024);
    EXPECT_LE(first.height(), 700);

    for (int i = 0; i < sheet.PageCount(); ++i) {
        SCOPED_TRACE(i);
        window.Tabs().setCurrentIndex(i);
        ASSERT_EQ(sheet.ActiveIndex(), i);
        window.adjustSize();
        EXPECT_EQ(window.size(), first);
        EXPECT_EQ(window.sizeHint(), first);
        // The page is whole inside its tab or scrolls there: never cut off unreachable.
        QScrollArea* scroll = window.PageArea(i);
        ASSERT_NE(scroll, nullptr);
        const int content = scroll->widget()->minimumSizeHint().height();
        const int shown = scroll->viewport()->height();
        if (content > shown) {
            EXPECT_GE(scroll->verticalScrollBar()->maximum(), content - shown);
        }
        EXPECT_LE(scroll->widget()->minimumSizeHint().width(), scroll->viewport()->width());
        EXPECT_LE(scroll->widget()->width(), scroll->viewport()->width());
        // Pictures of every page as the operator meets it, for looking at them.
        window.grab().save(QString::fromStdString(qtui_test::RenderDir() + "/CONSOLE_PAGE" +
                                                  std::to_string(i) + ".png"));
    }
    // Every tab title is shown, and the buttons stay inside the window.
    EXPECT_LE(window.Tabs().tabBar()->sizeHint().width(), window.Tabs().tabBar()->width());
    const QRect ok(window.OkButton().mapTo(&window, QPoint(0, 0)), window.OkButton().size());
    EXPECT_TRUE(window.rect().contains(ok));
    window.Close();
}

}  // namespace
