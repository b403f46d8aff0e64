// Every dialog of the console on a 1024x768 screen (the offscreen platform is given one):
// each fits 1024x700 and shows its texts whole — labels, buttons, check boxes, frame
// titles and the window title — in its fullest state, with every control it may show
// shown; text fields without a width of their own are wide enough to read an address. "Add Android
// Modem" is used as the operator uses it: after "Local WiFi" its fields take clicks, not its
// labels.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QScrollArea>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <functional>

#include "modem/network_modem_dialogs.h"
#include "platform/files.h"
#include "qt/dialog_window.h"
#include "qt/layout.h"
#include "qt/qt_host.h"
#include "qt/sheet_window.h"
#include "shell/core/console_caption.h"
#include "shell/sheet/pages.h"
#include "shell/sheet/status_page.h"
#include "shell/sheet/template_catalog.h"
#include "tests/qt/qt_test_app.h"
#include "tests/qt/render_checks.h"
#include "tests/support/temp_dir.h"

namespace {

constexpr int kMaxWidth = 1024;
constexpr int kMaxHeight = 700;
// A window manager's close, maximise and minimise buttons and the title's margins.
constexpr int kTitleBarButtons = 120;
// An e-mail address or a host name with its port, readable whole.
constexpr int kAddressChars = 24;

std::string Name(const QWidget* w) { return w->objectName().toStdString(); }

// Every text of `window` that is shown is shown whole, and the window fits.
void ExpectWhole(QWidget& window, const std::string& what) {
    EXPECT_LE(window.width(), kMaxWidth) << what;
    EXPECT_LE(window.height(), kMaxHeight) << what;
    QFont titleFont = QApplication::font("QMdiSubWindowTitleBar");
    titleFont.setBold(true);
    EXPECT_GE(window.width(),
              QFontMetrics(titleFont).horizontalAdvance(window.windowTitle()) + kTitleBarButtons)
        << what << ": the title \"" << window.windowTitle().toStdString() << "\" is cut";
    for (QLabel* label : window.findChildren<QLabel*>()) {
        if (!label->isVisibleTo(&window) || label->text().isEmpty()) continue;
        if (label->wordWrap()) {
            EXPECT_GE(label->height(), label->heightForWidth(label->width()))
                << what << ": " << Name(label) << " \"" << label->text().toStdString()
                << "\" is cut at the bottom";
        } else {
            EXPECT_GE(label->width(), label->sizeHint().width())
                << what << ": " << Name(label) << " \"" << label->text().toStdString()
                << "\" is cut";
        }
    }
    for (QAbstractButton* button : window.findChildren<QAbstractButton*>()) {
        if (!button->isVisibleTo(&window) || button->text().isEmpty()) continue;
        EXPECT_GE(button->width(), button->sizeHint().width())
            << what << ": " << Name(button) << " \"" << button->text().toStdString() << "\" is cut";
    }
    for (QGroupBox* box : window.findChildren<QGroupBox*>()) {
        if (!box->isVisibleTo(&window) || box->title().isEmpty()) continue;
        EXPECT_GE(box->width(), box->fontMetrics().horizontalAdvance(box->title()))
            << what << ": the frame title \"" << box->title().toStdString() << "\" is cut";
    }
    for (QLineEdit* edit : window.findChildren<QLineEdit*>()) {
        if (!edit->isVisibleTo(&window) || edit->validator() != nullptr) continue;
        if (edit->parentWidget() && qobject_cast<QAbstractSpinBox*>(edit->parentWidget())) continue;
        if (edit->objectName().isEmpty()) continue;                  // the edit of a combo box
        if (edit->minimumWidth() == edit->maximumWidth()) continue;  // sized by its template
        EXPECT_GE(edit->width(), qtui::CharsToPixels(edit, kAddressChars))
            << what << ": " << Name(edit) << " is too narrow to read an address";
    }
}

TEST(DialogGeometry, TheScreenIs1024x768) {
    qtui_test::App();
    ASSERT_NE(QGuiApplication::primaryScreen(), nullptr);
    EXPECT_EQ(QGuiApplication::primaryScreen()->geometry().size(), QSize(1024, 768));
}

TEST(DialogGeometry, EveryDialogFitsAndShowsItsTextsWhole) {
    qtui_test::App();
    for (const ui::Template& t : shell::AllTemplates()) {
        ui::Dialog dialog(t);
        qtui::QtHost host;
        qtui::DialogWindow window(dialog, nullptr);
        window.Open(&host);
        window.setAttribute(Qt::WA_DontShowOnScreen);
        window.show();
        window.adjustSize();
        ExpectWhole(window, t.id);
        // Then everything it may show later (a Cancel beside a running test, the fields
        // of a connection type): the open window makes room for it.
        ui::ForEachControl(t.controls, [&](const ui::Control& c) {
            if (!c.id.empty()) dialog.Show(c.id, true);
        });
        QCoreApplication::processEvents();
        ExpectWhole(window, t.id + " with every control shown");
        window.grab().save(
            QString::fromStdString(qtui_test::RenderDir() + "/FIT_" + t.id + ".png"));
        window.Close();
    }
}

// The operator chooses "Local WiFi": the list and the address field appear, stand clear
// of their labels, and a click puts the cursor in the address field.
TEST(DialogGeometry, AddAndroidModemAfterLocalWifiIsUsableWithTheMouse) {
    qtui_test::App();
    modem::NetworkModemServices services;
    services.discovered = [] {
        return std::vector<std::string>{"Pixel 7 (192.168.1.20:8990)",
                                        "Galaxy (192.168.1.21:8990)"};
    };
    services.configured = [](const std::string&) { return false; };
    qtui::QtHost host;
    bool checked = false;
    QTimer::singleShot(0, [&] {
        auto* window = qobject_cast<qtui::DialogWindow*>(QApplication::activeModalWidget());
        ASSERT_NE(window, nullptr);
        qobject_cast<QAbstractButton*>(window->Widget().Find("local")->widget)->click();
        QCoreApplication::processEvents();
        QWidget* list = window->Widget().Find("list")->widget;
        QWidget* address = window->Widget().Find("address")->widget;
        QLabel* listLabel = window->Widget().Find("list")->label;
        QLabel* addressLabel = window->Widget().Find("address")->label;
        ASSERT_TRUE(list->isVisible() && address->isVisible());
        const QRect a = qtui_test::InWindow(address), l = qtui_test::InWindow(list);
        for (QWidget* label :
             {static_cast<QWidget*>(listLabel), static_cast<QWidget*>(addressLabel)}) {
            if (!label || !label->isVisible()) continue;
            EXPECT_FALSE(qtui_test::InWindow(label).intersects(a))
                << Name(label) << " lies over the address";
            EXPECT_FALSE(qtui_test::InWindow(label).intersects(l))
                << Name(label) << " lies over the list";
        }
        EXPECT_FALSE(l.intersects(a));
        ExpectWhole(*window, "DIALOG_ADDQUVSMSMODEM after Local WiFi");
        window->grab().save(
            QString::fromStdString(qtui_test::RenderDir() + "/ADDQUVSMSMODEM_LOCAL.png"));
        QTest::mouseClick(address, Qt::LeftButton, Qt::NoModifier, address->rect().center());
        EXPECT_EQ(QApplication::focusWidget(), address);
        checked = true;
        window->reject();
    });
    std::string record;
    EXPECT_FALSE(modem::RunAddNetworkModem(host, services, record));
    EXPECT_TRUE(checked);
}

}  // namespace

namespace {

// The Status page with every line it can show.
class BusyStatusPage : public shell::StatusPage {
public:
    void OnInit() override {
        shell::GatewayStatus s;
        s.gatewayInstalled = s.gatewayActive = true;
        s.gatewayLine = "Service is Active";
        s.mmscAvailable = s.mmscInstalled = true;
        s.mmscLine = "Service is NOT Active";
        s.connectionHeadline = "ERROR";
        s.connectionDetail =
            "Operator (SMPP - smsc.example:2775) : Bind failed\r\nCOM1 : No SIM\r\n";
        s.connectionAlarm = true;
        s.queueSize = 11;
        s.queueText = "11";
        s.queueAlarm = true;
        s.smppClientsCounted = true;
        s.smppClients = 2;
        ShowStatus(s);
    }
};

// Every page with every control it may show: its texts whole inside the sheet, which
// keeps its size; the Status page whole without scrolling.
TEST(SheetPageGeometry, EveryPageShowsItsTextsWholeAndTheStatusPageNeedsNoScrolling) {
    qtui_test::App();
    setenv("ZELLA_SERVICE_MANAGER", "supervisor", 1);
    zella_test::ScopedDataDir data("pagefit");
    platform::WriteFileAtomic(data.File("ZELLA.INI"), "[ZELLA]\nModem1=SMPP - smsc.example:2775\n");
    ui::Sheet sheet(shell::kConsoleCaption);
    sheet.AddPage(std::make_unique<BusyStatusPage>());
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
    const QSize size = window.size();

    QScrollArea* status = window.PageArea(0);
    EXPECT_LE(status->widget()->minimumSizeHint().height(), status->viewport()->height())
        << "the Status page scrolls";
    for (int i = 0; i < sheet.PageCount(); ++i) {
        window.Tabs().setCurrentIndex(i);
        ASSERT_EQ(sheet.ActiveIndex(), i);
        ui::Page& page = sheet.PageAt(i);
        ui::ForEachControl(page.GetTemplate().controls, [&](const ui::Control& c) {
            if (!c.id.empty()) page.Show(c.id, true);
        });
        QCoreApplication::processEvents();
        const std::string what = "page " + page.GetTemplate().id;
        EXPECT_EQ(window.size(), size) << what;
        ExpectWhole(window, what);
        QScrollArea* area = window.PageArea(i);
        EXPECT_LE(area->widget()->minimumSizeHint().width(), area->viewport()->width()) << what;
        window.grab().save(QString::fromStdString(qtui_test::RenderDir() + "/FIT_PAGE" +
                                                  std::to_string(i) + ".png"));
    }
    window.Close();
}

}  // namespace
