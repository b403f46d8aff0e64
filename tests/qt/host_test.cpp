// Message boxes, file filters, the busy cursor, the clipboard and the window icon of
// the Qt host.
#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include "qt/qt_host.h"
#include "tests/qt/qt_test_app.h"

namespace {

constexpr const char* kCaption = "Quv SMS/MMS Gateway v2022.10.03";

TEST(FileFilters, PatternsAreBlankSeparatedAndFiltersJoined) {
    EXPECT_EQ(qtui::FileFilterText({{"Images", "*.jpg;*.jpeg;*.png"}, {"All files", "*.*"}}),
              QStringLiteral("Images (*.jpg *.jpeg *.png);;All files (*.*)"));
    EXPECT_EQ(qtui::FileFilterText({{"Any", ""}}), QStringLiteral("Any (*)"));
    EXPECT_EQ(qtui::FileFilterText({}), QString());
}

TEST(MessageBoxes, CaptionIconButtonsAndDefaultAreAsAsked) {
    qtui_test::App();
    ui::MessageBoxSpec spec{"Connection failed. Save connection?", kCaption,
                            ui::Icon::Question, ui::Buttons::YesNo, 1, false};
    qtui::BuiltMessageBox built = qtui::BuildMessageBox(spec, nullptr);
    EXPECT_EQ(built.box->windowTitle(), QString::fromLatin1(kCaption));
    EXPECT_EQ(built.box->text(), QString::fromStdString(spec.text));
    EXPECT_EQ(built.box->icon(), QMessageBox::Question);
    ASSERT_EQ(built.results.size(), 2u);
    EXPECT_EQ(built.results.at(built.box->defaultButton()), ui::kNo);
    EXPECT_EQ(built.results.at(built.box->escapeButton()), ui::kNo);
}

TEST(MessageBoxes, EnterAnswersWithTheDefaultButton) {
    qtui_test::App();
    qtui::QtHost host;
    ui::MessageBoxSpec spec{"Exit without saving configuration changes?", kCaption,
                            ui::Icon::Question, ui::Buttons::YesNoCancel, 1, false};
    QTimer::singleShot(0, [] {
        QWidget* box = QApplication::activeModalWidget();
        ASSERT_NE(box, nullptr);
        QTest::keyClick(box, Qt::Key_Return);
    });
    EXPECT_EQ(host.MessageBox(spec), ui::kNo);
}

TEST(MessageBoxes, EscapeAnswersCancel) {
    qtui_test::App();
    qtui::QtHost host;
    ui::MessageBoxSpec spec{"Retry?", kCaption, ui::Icon::Warning,
                            ui::Buttons::RetryCancel, 0, true};
    QTimer::singleShot(0, [] {
        QWidget* box = QApplication::activeModalWidget();
        ASSERT_NE(box, nullptr);
        QTest::keyClick(box, Qt::Key_Escape);
    });
    EXPECT_EQ(host.MessageBox(spec), ui::kCancel);
}

TEST(BusyCursor, IsRestoredWhenTheGuardGoes) {
    qtui_test::App();
    qtui::QtHost host;
    ASSERT_EQ(QGuiApplication::overrideCursor(), nullptr);
    {
        auto outer = host.BusyCursor();
        auto inner = host.BusyCursor();
        ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
        EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
    }
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST(Clipboard, TextArrivesOnTheClipboard) {
    qtui_test::App();
    qtui::QtHost host;
    host.SetClipboardText("+41791234567");
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("+41791234567"));
}

TEST(ApplicationIcon, LoadsAnImageAndRefusesAMissingFile) {
    qtui_test::App();
    std::string path = qtui_test::RenderDir() + "/icon.png";
    QImage image(32, 32, QImage::Format_ARGB32);
    image.fill(Qt::blue);
    ASSERT_TRUE(image.save(QString::fromStdString(path)));
    EXPECT_TRUE(qtui::SetApplicationIcon(path));
    EXPECT_FALSE(QApplication::windowIcon().isNull());
    EXPECT_FALSE(qtui::SetApplicationIcon(qtui_test::RenderDir() + "/missing.png"));
}

}  // namespace
