// Report lists on the Qt host: columns widen to what their first rows show (within the
// list), the operator can size them and they keep that size while the list refreshes; a
// list without column titles shows no empty header; an empty list says why in grey; an
// alarm is bold as well as red.
#include <gtest/gtest.h>

#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QTreeView>

#include "qt/dialog_window.h"
#include "qt/qt_host.h"
#include "tests/qt/qt_test_app.h"

namespace {

class Queue : public ui::Dialog {
public:
    Queue()
        : ui::Dialog(ui::Template{
              "DIALOG_COLUMNS",
              "Queue",
              {ui::Report("rows", "", {"ID", "Status", "Error"}), ui::Report("plain", "", {"", ""}),
               ui::List("names", ""), ui::Static("state", ""), ui::OkCancelRow()}}) {}
    void OnInit() override {
        SetEmptyText("rows", "No messages are waiting to be sent.");
        SetEmptyText("names", "Nothing to choose from.");
        SetRowCount("rows", 0);
    }
    std::vector<std::string> OnGetRow(const std::string& id, int row) override {
        if (id == "plain") return {"left", "right"};
        return {"TEST" + std::to_string(4000 + row) + ".REQ", "Retry -  3 attempt(s)",
                error + std::to_string(row)};
    }
    std::string error = "Timeout";
};

class ReportColumns : public ::testing::Test {
protected:
    void SetUp() override {
        qtui_test::App();
        window_.Open(&host_);
        window_.setAttribute(Qt::WA_DontShowOnScreen);
        window_.resize(700, 400);
        window_.show();
    }
    void TearDown() override { window_.Close(); }
    QTreeView* View(const char* id) {
        return static_cast<QTreeView*>(window_.Widget().Find(id)->widget);
    }
    int TextWidth(QTreeView* view, const std::string& text) {
        return view->fontMetrics().horizontalAdvance(QString::fromStdString(text));
    }

    Queue dialog_;
    qtui::QtHost host_;
    qtui::DialogWindow window_{dialog_, nullptr};
};

TEST_F(ReportColumns, FitTheirRowsCanBeSizedAndKeepTheirSizeThroughRefreshes) {
    QTreeView* view = View("rows");
    QHeaderView* header = view->header();
    auto* empty = view->viewport()->findChild<QLabel*>(QStringLiteral("rows.empty"));
    ASSERT_NE(empty, nullptr);
    EXPECT_TRUE(empty->isVisible());
    EXPECT_EQ(empty->text(), QStringLiteral("No messages are waiting to be sent."));
    EXPECT_NE(empty->palette().color(QPalette::WindowText), view->palette().color(QPalette::Text));

    dialog_.SetRowCount("rows", 5);
    EXPECT_FALSE(empty->isVisible());
    EXPECT_GE(header->sectionSize(0), TextWidth(view, "TEST4004.REQ"));
    EXPECT_GE(header->sectionSize(1), TextWidth(view, "Retry -  3 attempt(s)"));
    for (int c = 0; c < 3; ++c) EXPECT_EQ(header->sectionResizeMode(c), QHeaderView::Interactive);

    // The operator narrows the ID column; a refresh with longer texts widens the others.
    header->resizeSection(0, 40);
    dialog_.error = "The SMSC refused the message: throttling error, try again later";
    dialog_.SetRowCount("rows", 6);
    EXPECT_EQ(header->sectionSize(0), 40);
    dialog_.RefreshRows("rows");
    EXPECT_EQ(header->sectionSize(0), 40);
    // The last column takes what its texts need, up to the list's width.
    EXPECT_GE(header->sectionSize(2),
              std::min(TextWidth(view, dialog_.error + "5"), view->viewport()->width()));
    EXPECT_LE(header->sectionSize(1), view->viewport()->width());
}

TEST_F(ReportColumns, UntitledColumnsShowNoHeaderAndShareTheWidth) {
    QTreeView* view = View("plain");
    EXPECT_TRUE(view->header()->isHidden());
    dialog_.SetRowCount("plain", 2);
    EXPECT_NEAR(view->header()->sectionSize(0), view->header()->sectionSize(1), 1);
    EXPECT_FALSE(View("rows")->header()->isHidden());
}

TEST_F(ReportColumns, AnEmptyListSaysWhyUntilItHasItems) {
    auto* list = static_cast<QListWidget*>(window_.Widget().Find("names")->widget);
    auto* empty = list->viewport()->findChild<QLabel*>(QStringLiteral("names.empty"));
    ASSERT_NE(empty, nullptr);
    EXPECT_TRUE(empty->isVisible());
    dialog_.SetItems("names", {"one"});
    EXPECT_FALSE(empty->isVisible());
    dialog_.SetItems("names", {});
    EXPECT_TRUE(empty->isVisible());
}

TEST_F(ReportColumns, AnAlarmIsBoldAsWellAsRed) {
    auto* state = static_cast<QLabel*>(window_.Widget().Find("state")->widget);
    dialog_.SetText("state", "ERROR");
    EXPECT_FALSE(state->font().bold());
    dialog_.SetAlarm("state", true);
    EXPECT_TRUE(state->font().bold());
    dialog_.SetAlarm("state", false);
    EXPECT_FALSE(state->font().bold());
}

}  // namespace
