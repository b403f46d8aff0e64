// The keyboard on the Qt host: every dialog and page of the console has an access key on
// each label and button, unique within it; Alt and the letter reach the field; keys and
// letters on a list reach the procedure before the dialog's default button; a long
// operation gives the keyboard back to the window that started it; Escape on the sheet
// asks as Cancel does, wherever the focus is.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeView>
#include <QVBoxLayout>
#include <atomic>
#include <chrono>
#include <thread>

#include "qt/dialog_window.h"
#include "qt/long_operation.h"
#include "qt/qt_host.h"
#include "qt/sheet_window.h"
#include "shell/sheet/template_catalog.h"
#include "tests/qt/qt_test_app.h"
#include "ui/access_keys.h"

namespace {

// The catalog holds every page and every dialog of the console; a page also leaves the
// sheet's own buttons their keys.
TEST(AccessKeys, EveryDialogAndPageHasItsOwnKeyOnEachLabelAndButton) {
    const std::size_t pages = shell::PageTemplates().size();
    const std::vector<ui::Template> all = shell::AllTemplates();
    for (std::size_t i = 0; i < all.size(); ++i) {
        const std::string_view reserved = i < pages ? ui::kSheetAccessKeys : "";
        EXPECT_EQ(ui::AccessKeyProblems(all[i], reserved), std::vector<std::string>{})
            << all[i].id;
    }
}

// A list whose Enter is the procedure's, in a dialog whose OK is the default button.
class ListDialog : public ui::Dialog {
public:
    ListDialog()
        : ui::Dialog(ui::WithAccessKeys(
              ui::Template{"DIALOG_LISTKEYS",
                           "List Keys",
                           {ui::Edit("name", "Name:"), ui::Report("rows", "Rows:", {"Name"}),
                            ui::Static("said", ""), ui::OkCancelRow()}})) {}
    void OnInit() override { SetRowCount("rows", 200); }
    std::vector<std::string> OnGetRow(const std::string&, int row) override {
        return {"item" + std::to_string(1000 + row)};
    }
    bool OnKey(const std::string&, ui::Key key) override {
        if (key != ui::Key::Enter) return false;
        SetText("said", "opened " + Row("rows", Selection("rows"))[0]);
        return true;
    }
};

class QtKeys : public ::testing::Test {
protected:
    void SetUp() override {
        qtui_test::App();
        window_.Open(&host_);
        window_.setAttribute(Qt::WA_DontShowOnScreen);
        window_.show();
        QApplication::setActiveWindow(&window_);
    }
    void TearDown() override { window_.Close(); }
    QWidget* Widget(const char* id) { return window_.Widget().Find(id)->widget; }

    ListDialog dialog_;
    qtui::QtHost host_;
    qtui::DialogWindow window_{dialog_, nullptr};
};

TEST_F(QtKeys, AltAndTheLetterFocusTheFieldBesideTheLabel) {
    ASSERT_EQ(window_.Widget().Find("name")->label->text(), QStringLiteral("&Name:"));
    Widget("rows")->setFocus();
    QTest::keyClick(&window_, Qt::Key_N, Qt::AltModifier);
    EXPECT_EQ(QApplication::focusWidget(), Widget("name"));
    QTest::keyClick(&window_, Qt::Key_R, Qt::AltModifier);
    EXPECT_EQ(QApplication::focusWidget(), Widget("rows"));
}

TEST_F(QtKeys, LettersSearchTheListAndEnterGoesToTheProcedureNotTheDefaultButton) {
    auto* view = static_cast<QTreeView*>(Widget("rows"));
    view->setFocus();
    // Typing slowly starts a new search; this test types in one go, however busy the
    // machine running it.
    const int interval = QApplication::keyboardInputInterval();
    QApplication::setKeyboardInputInterval(600'000);
    QTest::keyClicks(view, "item115");
    QApplication::setKeyboardInputInterval(interval);
    ASSERT_EQ(dialog_.SelectedRows("rows"), std::vector<int>{150});
    EXPECT_EQ(view->selectionModel()->selectedRows().value(0).row(), 150);
    // The row found is scrolled into view.
    const QRect shown = view->visualRect(view->model()->index(150, 0));
    EXPECT_TRUE(view->viewport()->rect().intersects(shown));
    QTest::keyClick(view, Qt::Key_Return);
    EXPECT_EQ(dialog_.Text("said"), "opened item1150");
    EXPECT_FALSE(dialog_.IsEnded());
}

// Waits, without asserting on time, until the progress window is up.
bool ProgressWindowShown() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (qobject_cast<qtui::LongOperationWindow*>(w) && w->isVisible()) return true;
    return false;
}

TEST(QtLongOperationFocus, TheWindowThatStartedItHasTheKeyboardAgainAfterwards) {
    qtui_test::App();
    qtui::QtHost host;
    QDialog starter;
    auto* layout = new QVBoxLayout(&starter);
    auto* other = new QLineEdit(&starter);
    auto* field = new QLineEdit(&starter);
    layout->addWidget(other);
    layout->addWidget(field);
    starter.show();
    QApplication::setActiveWindow(&starter);
    field->setFocus();
    ASSERT_EQ(QApplication::focusWidget(), field);

    std::atomic<bool> shown{false};
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (ProgressWindowShown()) shown = true;
    });
    poll.start(10);
    host.RunLongOperation("Testing...", [&](ui::Host&) {
        for (int i = 0; i < 3000 && !shown; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    });
    poll.stop();
    ASSERT_TRUE(shown);
    QCoreApplication::processEvents();
    EXPECT_EQ(QApplication::activeWindow(), &starter);
    EXPECT_EQ(QApplication::focusWidget(), field);
}

// A page with unsaved changes asks before the sheet closes.
class AskingPage : public ui::Page {
public:
    AskingPage()
        : ui::Page(ui::WithAccessKeys(
              ui::Template{"DIALOG_ASK",
                           "General",
                           {ui::Edit("value", "Value:"), ui::Report("rows", "Rows:", {"A"})}})) {}
    void OnCommand(const std::string& id, ui::Event event) override {
        if (id == "value" && event == ui::Event::Changed) MarkChanged();
    }
    bool OnQueryCancel() override {
        return ui::Ask(GetHost(), "Exit without saving configuration changes?",
                       ui::Buttons::YesNoCancel, 1) == ui::kYes;
    }
};

class AnsweringHost : public qtui::QtHost {
public:
    int MessageBox(const ui::MessageBoxSpec& spec) override {
        asked.push_back(spec.text);
        return answer;
    }
    std::vector<std::string> asked;
    int answer = ui::kNo;
};

TEST(QtSheetKeys, EscapeInAFieldOrAListAsksAsCancelDoes) {
    qtui_test::App();
    ui::Sheet sheet("Quv SMS/MMS Gateway v2022.10.03");
    sheet.AddPage(std::make_unique<AskingPage>());
    AnsweringHost host;
    qtui::SheetWindow window(sheet, nullptr);
    window.Open(&host);
    window.setAttribute(Qt::WA_DontShowOnScreen);
    window.show();
    QApplication::setActiveWindow(&window);
    QWidget* value = window.PageWidget(0)->Find("value")->widget;
    QWidget* rows = window.PageWidget(0)->Find("rows")->widget;
    value->setFocus();
    QTest::keyClicks(value, "x");
    ASSERT_TRUE(sheet.Changed());
    QTest::keyClick(value, Qt::Key_Escape);
    rows->setFocus();
    QTest::keyClick(rows, Qt::Key_Escape);
    EXPECT_EQ(host.asked.size(), 2u);
    EXPECT_FALSE(sheet.IsEnded());
    host.answer = ui::kYes;
    QTest::keyClick(value, Qt::Key_Escape);
    EXPECT_TRUE(sheet.IsEnded());
    EXPECT_EQ(sheet.ResultCode(), ui::kCancel);
    window.Close();
}

}  // namespace
