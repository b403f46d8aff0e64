// A sample template using every control kind and flag, drawn offscreen and inspected.
#include <QAbstractButton>
#include <QFileInfo>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QComboBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeView>
#include <gtest/gtest.h>

#include "qt/dialog_window.h"
#include "qt/qt_host.h"
#include "qt/render.h"
#include "tests/qt/render_checks.h"
#include "tests/qt/qt_test_app.h"

namespace {

using qtui_test::InWindow;

TEST(SampleTemplate, EveryControlKindRendersOrderlyWithItsLabels) {
    qtui_test::CheckTemplate(qtui_test::EveryControlTemplate());
}

// Groups side by side, fields inside groups, a row of fields and loose buttons: the
// shapes the connection dialogs use.
ui::Template ConnectionTemplate() {
    using namespace ui;
    Template t{"DIALOG_SAMPLE_LINK", "SMPP Connection", {}};
    t.controls = {
        Row("IDC_SIDES",
            {Group("IDC_SERVER", "Server",
                   {Edit("IDC_HOST", "&Host:"), Edit("IDC_PORT", "&Port:", Flag::Number),
                    Check("IDC_TLS", "Use &TLS")}),
             Group("IDC_LOGIN", "Login",
                   {Edit("IDC_USER", "&System ID:"), Edit("IDC_PASS", "Pass&word:", Flag::Password),
                    Combo("IDC_VERSION", "&Version:")})}),
        Row("IDC_RANGE", {Edit("IDC_FROM", "Send &limit:", Flag::Number),
                          Edit("IDC_WINDOW", "&Window:", Flag::Number)}),
        Static("IDC_STATE", "Status:  OK -- Message Sent"),
        Button("IDC_TEST", "&Test"),
        Button(IDOK, "OK", Flag::Default),
        Button(IDCANCEL, "Cancel"),
    };
    return t;
}

TEST(SampleTemplate, GroupsSideBySideRenderOrderly) {
    qtui_test::CheckTemplate(ConnectionTemplate());
}

class SampleWidgets : public ::testing::Test {
protected:
    void SetUp() override {
        qtui_test::App();
        window_.Open(&host_);
        window_.setAttribute(Qt::WA_DontShowOnScreen);
        window_.show();
    }
    void TearDown() override { window_.Close(); }
    template <typename W>
    W* Get(const char* id) {
        return qobject_cast<W*>(window_.Widget().Find(id)->widget);
    }

    ui::Dialog dialog_{qtui_test::EveryControlTemplate()};
    qtui::QtHost host_;
    qtui::DialogWindow window_{dialog_, nullptr};
};

TEST_F(SampleWidgets, EditFlagsBecomeWidgetProperties) {
    EXPECT_EQ(Get<QLineEdit>("IDC_PASSWORD")->echoMode(), QLineEdit::Password);
    EXPECT_TRUE(Get<QLineEdit>("IDC_SYSTEM")->isReadOnly());
    EXPECT_FALSE(Get<QLineEdit>("IDC_NAME")->isReadOnly());
    ASSERT_NE(Get<QPlainTextEdit>("IDC_NOTES"), nullptr);
    EXPECT_FALSE(Get<QLineEdit>("IDC_HIDDEN")->isVisible());
    EXPECT_FALSE(window_.Widget().Find("IDC_HIDDEN")->label->isVisible());
    EXPECT_FALSE(Get<QAbstractButton>("IDC_SPARE")->isEnabled());
}

TEST_F(SampleWidgets, NumberFieldRejectsLetters) {
    QLineEdit* port = Get<QLineEdit>("IDC_PORT");
    ASSERT_NE(port->validator(), nullptr);
    QString text = QStringLiteral("25a");
    int pos = 0;
    EXPECT_EQ(port->validator()->validate(text, pos), QValidator::Invalid);
    text = QStringLiteral("2775");
    EXPECT_EQ(port->validator()->validate(text, pos), QValidator::Acceptable);
}

TEST_F(SampleWidgets, ComboListAndReportFlagsBecomeWidgetProperties) {
    EXPECT_TRUE(Get<QComboBox>("IDC_CHARSET")->isEditable());
    EXPECT_FALSE(Get<QComboBox>("IDC_TYPE")->isEditable());
    EXPECT_EQ(Get<QTreeView>("IDC_QUEUE")->selectionMode(), QAbstractItemView::ExtendedSelection);
    EXPECT_EQ(Get<QListWidget>("IDC_KEYWORDS")->selectionMode(),
              QAbstractItemView::SingleSelection);
    QAbstractItemModel* model = Get<QTreeView>("IDC_QUEUE")->model();
    ASSERT_EQ(model->columnCount(), 3);
    EXPECT_EQ(model->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Recipient"));
}

TEST_F(SampleWidgets, OkIsTheDefaultButtonAndTheButtonRowSitsBottomRight) {
    auto* ok = Get<QPushButton>(ui::IDOK);
    auto* cancel = Get<QPushButton>(ui::IDCANCEL);
    EXPECT_TRUE(ok->isDefault());
    EXPECT_FALSE(cancel->isDefault());
    window_.adjustSize();
    QRect okRect = InWindow(ok), cancelRect = InWindow(cancel);
    EXPECT_EQ(okRect.top(), cancelRect.top());
    EXPECT_LT(okRect.right(), cancelRect.left());
    EXPECT_GE(cancelRect.right(), window_.width() - 20);
    EXPECT_GT(okRect.left(), InWindow(Get<QWidget>("IDC_ADD")).right());
    EXPECT_GT(okRect.top(), InWindow(Get<QWidget>("IDC_QUEUE")).bottom());
}

TEST_F(SampleWidgets, ButtonsOfARowShareOneLine) {
    window_.adjustSize();
    QRect add = InWindow(Get<QWidget>("IDC_ADD"));
    QRect edit = InWindow(Get<QWidget>("IDC_EDIT"));
    QRect remove = InWindow(Get<QWidget>("IDC_REMOVE"));
    EXPECT_EQ(add.top(), edit.top());
    EXPECT_EQ(edit.top(), remove.top());
    EXPECT_LT(add.right(), edit.left());
    EXPECT_LT(edit.right(), remove.left());
}

TEST_F(SampleWidgets, WideControlsSpanTheLabelColumn) {
    window_.adjustSize();
    QRect intro = InWindow(Get<QWidget>("IDC_INTRO"));
    QRect nameLabel = InWindow(window_.Widget().Find("IDC_NAME")->label);
    QRect wide = InWindow(Get<QWidget>("IDC_WIDE"));
    EXPECT_LE(intro.left(), nameLabel.left());
    EXPECT_LE(wide.left(), nameLabel.left());
}

}  // namespace
