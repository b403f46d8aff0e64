// The widgets and the dialog procedure stay in step both ways: what the procedure sets
// shows without coming back as a user command, and what the user does reaches it.
#include <cmath>
#include <QAbstractButton>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <gtest/gtest.h>

#include "qt/dialog_window.h"
#include "qt/qt_host.h"
#include "qt/report_model.h"
#include "qt/tab_stop_delegate.h"
#include "tests/qt/qt_test_app.h"

namespace {

using ui::Event;

class Recorder : public ui::Dialog {
public:
    Recorder() : ui::Dialog(qtui_test::EveryControlTemplate()) {}
    void OnInit() override {
        SetItems("IDC_TYPE", {"SMPP", "UCP", "CIMD2"});
        SetSelection("IDC_TYPE", 0);
        SetItems("IDC_KEYWORDS", {"HELP\tinfo\t1", "STOP\tunsubscribe\t2", "JOIN\tsubscribe\t3"});
        SetRowCount("IDC_QUEUE", rows);
    }
    void OnCommand(const std::string& id, Event event) override {
        commands.emplace_back(id, event);
    }
    void OnCancel() override {
        ++cancels;
        if (allowCancel) End(ui::kCancel);
    }
    void OnTimer(int timerId) override {
        if (timerId == 7 && ++ticks == 2) KillTimer(7);
    }
    std::vector<std::string> OnGetRow(const std::string& id, int row) override {
        ++fetched;
        if (id != "IDC_QUEUE") return {};
        return {"TEST" + std::to_string(row) + ".REQ", "+4179" + std::to_string(row), "1"};
    }

    static constexpr int rows = 20;
    std::vector<std::pair<std::string, Event>> commands;
    int cancels = 0;
    bool allowCancel = true;
    int ticks = 0;
    int fetched = 0;
};

class Binding : public ::testing::Test {
protected:
    void SetUp() override {
        qtui_test::App();
        Open();
    }
    void Open() {
        window_ = std::make_unique<qtui::DialogWindow>(dialog_, nullptr);
        window_->Open(&host_);
        window_->show();
        dialog_.commands.clear();
    }
    void TearDown() override { window_->Close(); }
    template <typename W>
    W* Get(const char* id) {
        return qobject_cast<W*>(window_->Widget().Find(id)->widget);
    }
    // A click on the box itself: clicks beside a short label miss the button.
    void ClickButton(const char* id) {
        auto* b = Get<QAbstractButton>(id);
        QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(6, b->height() / 2));
    }
    int Count(const std::string& id, Event event) const {
        int n = 0;
        for (const auto& [i, e] : dialog_.commands) n += (i == id && e == event);
        return n;
    }

    Recorder dialog_;
    qtui::QtHost host_;
    std::unique_ptr<qtui::DialogWindow> window_;
};

TEST_F(Binding, TextSetByProcedureShowsWithoutComingBack) {
    dialog_.SetText("IDC_NAME", "Main link");
    EXPECT_EQ(Get<QLineEdit>("IDC_NAME")->text(), QStringLiteral("Main link"));
    dialog_.SetText("IDC_STATUS", "Status: a&b");
    EXPECT_EQ(Get<QLabel>("IDC_STATUS")->text(), QStringLiteral("Status: a&b"));
    EXPECT_TRUE(dialog_.commands.empty());
}

TEST_F(Binding, TypingInAnEditReachesTheProcedureAsChanged) {
    QTest::keyClicks(Get<QLineEdit>("IDC_NAME"), "gsm1");
    EXPECT_EQ(dialog_.Text("IDC_NAME"), "gsm1");
    EXPECT_EQ(Count("IDC_NAME", Event::Changed), 4);
}

TEST_F(Binding, MultilineTextKeepsCrLfInTheDialog) {
    dialog_.SetText("IDC_NOTES", "one\r\ntwo");
    auto* notes = Get<QPlainTextEdit>("IDC_NOTES");
    EXPECT_EQ(notes->toPlainText(), QStringLiteral("one\ntwo"));
    EXPECT_TRUE(dialog_.commands.empty());
    notes->moveCursor(QTextCursor::End);
    QTest::keyClick(notes, Qt::Key_Return);
    QTest::keyClicks(notes, "3");
    EXPECT_EQ(dialog_.Text("IDC_NOTES"), "one\r\ntwo\r\n3");
    EXPECT_EQ(Count("IDC_NOTES", Event::Changed), 2);
}

TEST_F(Binding, ClickingARadioClearsOnlyItsOwnGroup) {
    dialog_.SetChecked("IDC_MODE_TX", true);
    dialog_.SetChecked("IDC_BIND_A", true);
    ClickButton("IDC_MODE_RX");
    EXPECT_TRUE(dialog_.Checked("IDC_MODE_RX"));
    EXPECT_FALSE(dialog_.Checked("IDC_MODE_TX"));
    EXPECT_TRUE(dialog_.Checked("IDC_BIND_A"));
    EXPECT_FALSE(Get<QAbstractButton>("IDC_MODE_TX")->isChecked());
    EXPECT_TRUE(Get<QAbstractButton>("IDC_BIND_A")->isChecked());
    EXPECT_EQ(Count("IDC_MODE_RX", Event::Clicked), 1);
}

TEST_F(Binding, ClickingTheCheckedRadioKeepsItChecked) {
    ClickButton("IDC_MODE_TRX");
    ClickButton("IDC_MODE_TRX");
    EXPECT_TRUE(dialog_.Checked("IDC_MODE_TRX"));
    EXPECT_TRUE(Get<QAbstractButton>("IDC_MODE_TRX")->isChecked());
}

TEST_F(Binding, CheckBoxClickTogglesTheModel) {
    ClickButton("IDC_LOG");
    EXPECT_TRUE(dialog_.Checked("IDC_LOG"));
    dialog_.SetChecked("IDC_LOG", false);
    EXPECT_FALSE(Get<QAbstractButton>("IDC_LOG")->isChecked());
    EXPECT_EQ(Count("IDC_LOG", Event::Clicked), 1);
}

// WCAG's contrast ratio of two colours.
double Contrast(const QColor& a, const QColor& b) {
    const auto luminance = [](const QColor& c) {
        const auto channel = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
        return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
    };
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

TEST_F(Binding, AlarmDrawsTheTextRedUntilCleared) {
    QLabel* status = Get<QLabel>("IDC_STATUS");
    const QColor normal = status->palette().color(QPalette::WindowText);
    ASSERT_NE(normal, qtui::AlarmColor());
    dialog_.SetAlarm("IDC_STATUS", true);
    EXPECT_EQ(status->palette().color(QPalette::WindowText), qtui::AlarmColor());
    EXPECT_GT(qtui::AlarmColor().red(), 3 * std::max(qtui::AlarmColor().green(), qtui::AlarmColor().blue()));
    // Readable on the page and in a field.
    EXPECT_GE(Contrast(qtui::AlarmColor(), status->palette().color(QPalette::Window)), 4.5);
    EXPECT_GE(Contrast(qtui::AlarmColor(), status->palette().color(QPalette::Base)), 4.5);
    dialog_.SetAlarm("IDC_STATUS", false);
    EXPECT_EQ(status->palette().color(QPalette::WindowText), normal);
    // A field's alarm takes its label along: the line turns red as one.
    const qtui::BoundControl* name = window_->Widget().Find("IDC_NAME");
    dialog_.SetAlarm("IDC_NAME", true);
    EXPECT_EQ(name->label->palette().color(QPalette::WindowText), qtui::AlarmColor());
    EXPECT_EQ(name->widget->palette().color(QPalette::Text), qtui::AlarmColor());
    dialog_.SetAlarm("IDC_NAME", false);
    EXPECT_EQ(name->label->palette().color(QPalette::WindowText), normal);
}

TEST_F(Binding, DisablingAndHidingAFieldTakesItsLabelAlong) {
    const qtui::BoundControl* name = window_->Widget().Find("IDC_NAME");
    dialog_.Enable("IDC_NAME", false);
    EXPECT_FALSE(name->widget->isEnabled());
    EXPECT_FALSE(name->label->isEnabled());
    dialog_.Show("IDC_NAME", false);
    EXPECT_FALSE(name->widget->isVisible());
    EXPECT_FALSE(name->label->isVisible());
    dialog_.Show("IDC_NAME", true);
    EXPECT_TRUE(name->label->isVisible());
}

TEST_F(Binding, ComboFollowsTheModelAndReportsUserChoice) {
    auto* combo = Get<QComboBox>("IDC_TYPE");
    ASSERT_EQ(combo->count(), 3);
    EXPECT_EQ(combo->currentIndex(), 0);
    dialog_.SetSelection("IDC_TYPE", 2);
    EXPECT_EQ(combo->currentText(), QStringLiteral("CIMD2"));
    EXPECT_TRUE(dialog_.commands.empty());
    QTest::keyClick(combo, Qt::Key_Up);
    EXPECT_EQ(dialog_.Selection("IDC_TYPE"), 1);
    EXPECT_EQ(dialog_.Text("IDC_TYPE"), "UCP");
    EXPECT_EQ(Count("IDC_TYPE", Event::SelChanged), 1);
}

TEST_F(Binding, EditableComboTypingIsChanged) {
    auto* combo = Get<QComboBox>("IDC_CHARSET");
    QTest::keyClicks(combo->lineEdit(), "UTF-8");
    EXPECT_EQ(dialog_.Text("IDC_CHARSET"), "UTF-8");
    EXPECT_EQ(Count("IDC_CHARSET", Event::Changed), 5);
}

TEST_F(Binding, ListSelectionAndDoubleClickReachTheProcedure) {
    auto* list = Get<QListWidget>("IDC_KEYWORDS");
    ASSERT_EQ(list->count(), 3);
    QRect second = list->visualItemRect(list->item(1));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, second.center());
    EXPECT_EQ(dialog_.Selection("IDC_KEYWORDS"), 1);
    EXPECT_EQ(Count("IDC_KEYWORDS", Event::SelChanged), 1);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, second.center());
    EXPECT_EQ(Count("IDC_KEYWORDS", Event::DoubleClicked), 1);
    dialog_.SetSelection("IDC_KEYWORDS", 2);
    EXPECT_EQ(list->currentRow(), 2);
    dialog_.SetSelection("IDC_KEYWORDS", -1);
    EXPECT_TRUE(list->selectedItems().isEmpty());
}

TEST(TabStops, ColumnsStartAtTheStopsThenEveryEightCharacters) {
    EXPECT_EQ(qtui::TabStopDelegate::ColumnStart({12, 28}, 0, 7), 0);
    EXPECT_EQ(qtui::TabStopDelegate::ColumnStart({12, 28}, 1, 7), 84);
    EXPECT_EQ(qtui::TabStopDelegate::ColumnStart({12, 28}, 2, 7), 196);
    EXPECT_EQ(qtui::TabStopDelegate::ColumnStart({12, 28}, 3, 7), 252);
    EXPECT_EQ(qtui::TabStopDelegate::ColumnStart({}, 2, 5), 80);
}

TEST_F(Binding, ReportFetchesOnlyTheRowsOnScreen) {
    dialog_.fetched = 0;
    dialog_.SetRowCount("IDC_QUEUE", 100000);
    auto* view = Get<QTreeView>("IDC_QUEUE");
    window_->grab();  // paints the visible rows
    auto* model = qobject_cast<qtui::ReportModel*>(view->model());
    ASSERT_EQ(model->rowCount(), 100000);
    EXPECT_GT(dialog_.fetched, 0);
    EXPECT_LT(dialog_.fetched, 500);
    EXPECT_EQ(model->index(99999, 1).data().toString(), QStringLiteral("+417999999"));
}

TEST_F(Binding, ReportSelectionGoesBothWays) {
    auto* view = Get<QTreeView>("IDC_QUEUE");
    QRect third = view->visualRect(view->model()->index(3, 0));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, third.center());
    EXPECT_EQ(dialog_.SelectedRows("IDC_QUEUE"), std::vector<int>({3}));
    EXPECT_EQ(Count("IDC_QUEUE", Event::SelChanged), 1);
    dialog_.SetSelectedRows("IDC_QUEUE", {5, 7});
    QModelIndexList rows = view->selectionModel()->selectedRows();
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(Count("IDC_QUEUE", Event::SelChanged), 1);
    dialog_.SetRowCount("IDC_QUEUE", 4);
    EXPECT_EQ(view->model()->rowCount(), 4);
}

// The header click reaches the procedure with its column; the sort mark is the
// procedure's to set, and a click does not flip it behind the procedure's back.
TEST_F(Binding, ReportHeaderClickReachesTheProcedureWhichSetsTheSortMark) {
    auto* view = Get<QTreeView>("IDC_QUEUE");
    QHeaderView* header = view->header();
    const QPoint recipient(header->sectionViewportPosition(1) + header->sectionSize(1) / 2,
                           header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, recipient);
    EXPECT_EQ(Count("IDC_QUEUE", Event::ColumnClicked), 1);
    EXPECT_EQ(dialog_.ClickedColumn("IDC_QUEUE"), 1);
    EXPECT_FALSE(header->isSortIndicatorShown());

    dialog_.SetSortIndicator("IDC_QUEUE", 1, true);
    EXPECT_TRUE(header->isSortIndicatorShown());
    EXPECT_EQ(header->sortIndicatorSection(), 1);
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::DescendingOrder);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, recipient);
    EXPECT_EQ(Count("IDC_QUEUE", Event::ColumnClicked), 2);
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::DescendingOrder);
    dialog_.SetSortIndicator("IDC_QUEUE", -1, false);
    EXPECT_FALSE(header->isSortIndicatorShown());
}

TEST_F(Binding, EscapeAsksTheProcedureAndTheWindowStaysWhenRefused) {
    dialog_.allowCancel = false;
    QTest::keyClick(window_.get(), Qt::Key_Escape);
    EXPECT_EQ(dialog_.cancels, 1);
    EXPECT_FALSE(dialog_.IsEnded());
    EXPECT_TRUE(window_->isVisible());
    dialog_.allowCancel = true;
    window_->close();
    EXPECT_EQ(dialog_.cancels, 2);
    EXPECT_TRUE(dialog_.IsEnded());
    EXPECT_EQ(dialog_.ResultCode(), ui::kCancel);
    EXPECT_FALSE(window_->isVisible());
}

TEST_F(Binding, EnterInAFieldPressesTheDefaultButton) {
    QTest::keyClick(Get<QLineEdit>("IDC_NAME"), Qt::Key_Return);
    EXPECT_TRUE(dialog_.IsEnded());
    EXPECT_EQ(dialog_.ResultCode(), ui::kOk);
}

TEST_F(Binding, TimerTicksReachTheProcedureUntilKilled) {
    dialog_.SetTimer(7, 5);
    EXPECT_TRUE(QTest::qWaitFor([&] { return dialog_.ticks >= 2; }, 2000));
    QTest::qWait(50);
    EXPECT_EQ(dialog_.ticks, 2);
}

TEST_F(Binding, TitleSetByProcedureIsTheWindowTitle) {
    dialog_.SetTitle("SMPP - host:2775");
    EXPECT_EQ(window_->windowTitle(), QStringLiteral("SMPP - host:2775"));
}

class EndsInInit : public ui::Dialog {
public:
    EndsInInit() : ui::Dialog(qtui_test::EveryControlTemplate()) {}
    void OnInit() override { End(ui::kAbort); }
};

TEST(RunModal, DialogEndedInInitReturnsAtOnce) {
    qtui_test::App();
    EndsInInit dialog;
    qtui::QtHost host;
    EXPECT_EQ(host.RunModal(dialog), ui::kAbort);
}

TEST(RunModal, ReturnsTheResultTheProcedureEndsWith) {
    qtui_test::App();
    Recorder dialog;
    qtui::QtHost host;
    QTimer::singleShot(0, [] {
        QWidget* modal = QApplication::activeModalWidget();
        ASSERT_NE(modal, nullptr);
        auto* ok = modal->findChild<QPushButton*>(QString::fromLatin1(ui::IDOK));
        ASSERT_NE(ok, nullptr);
        ok->click();
    });
    EXPECT_EQ(host.RunModal(dialog), ui::kOk);
}

}  // namespace
