// The property sheet window: tabs built lazily, tab changes the page may refuse, Apply
// following the sheet's changed flag, and close going through the active page.
#include <QPushButton>
#include <QTabBar>
#include <QLineEdit>
#include <QTest>
#include <gtest/gtest.h>

#include <functional>

#include "qt/qt_host.h"
#include "qt/render.h"
#include "qt/sheet_window.h"
#include "tests/qt/qt_test_app.h"

namespace {

ui::Template PageTemplate(const std::string& id, const std::string& title) {
    using namespace ui;
    return Template{id, title,
                    {Edit("IDC_VALUE", "&Value:"), Check("IDC_ON", "&Enabled"),
                     Group("IDC_GROUP", "Options",
                           {Radio("IDC_A", "Option A", Flag::GroupStart), Radio("IDC_B", "Option B")}),
                     Row("IDC_BUTTONS", {Button("IDC_ADD", "&Add"), Button("IDC_DEL", "&Delete")})}};
}

class SamplePage : public ui::Page {
public:
    SamplePage(const std::string& id, const std::string& title)
        : ui::Page(PageTemplate(id, title)) {}
    void OnInit() override { SetText("IDC_VALUE", Title() + " value"); }
    void OnCommand(const std::string& id, ui::Event event) override {
        if (id == "IDC_VALUE" && event == ui::Event::Changed) MarkChanged();
    }
    bool OnKillActive() override {
        if (onKill) onKill();
        return !holdOn;
    }
    bool OnApply() override {
        ++applies;
        return true;
    }
    bool OnQueryCancel() override {
        ++queries;
        return allowCancel;
    }
    std::function<void()> onKill;
    bool holdOn = false;
    bool allowCancel = true;
    int applies = 0;
    int queries = 0;
};

struct SampleSheet {
    SampleSheet() : sheet("Quv SMS/MMS Gateway v2022.10.03") {
        for (const char* title : {"Service", "SMSC", "Web"}) {
            auto page = std::make_unique<SamplePage>(std::string("DIALOG_") + title, title);
            pages.push_back(page.get());
            sheet.AddPage(std::move(page));
        }
    }
    ui::Sheet sheet;
    std::vector<SamplePage*> pages;
};

class SheetTest : public ::testing::Test {
protected:
    void SetUp() override {
        qtui_test::App();
        s_.sheet.SetMinimizeBox(true);
    }
    void Open() {
        window_ = std::make_unique<qtui::SheetWindow>(s_.sheet, nullptr);
        window_->Open(&host_);
        window_->show();
    }
    void TearDown() override {
        if (window_) window_->Close();
    }
    SampleSheet s_;
    qtui::QtHost host_;
    std::unique_ptr<qtui::SheetWindow> window_;
};

TEST_F(SheetTest, ShowsCaptionTabsButtonsAndMinimizeBox) {
    Open();
    EXPECT_EQ(window_->windowTitle(), QStringLiteral("Quv SMS/MMS Gateway v2022.10.03"));
    ASSERT_EQ(window_->Tabs().count(), 3);
    EXPECT_EQ(window_->Tabs().tabText(1), QStringLiteral("SMSC"));
    EXPECT_EQ(window_->OkButton().text(), QStringLiteral("&OK"));
    EXPECT_EQ(window_->ApplyButton().text(), QStringLiteral("App&ly"));
    EXPECT_FALSE(window_->HelpButton().isVisible());
    EXPECT_FALSE(window_->ApplyButton().isEnabled());
    EXPECT_TRUE(window_->windowFlags() & Qt::WindowMinimizeButtonHint);
}

TEST_F(SheetTest, HelpButtonOnlyWhenTheSheetAsks) {
    s_.sheet.SetHelpButton(true);
    Open();
    EXPECT_TRUE(window_->HelpButton().isVisible());
}

TEST_F(SheetTest, PagesAreBuiltWhenFirstActivated) {
    s_.sheet.SetStartPage(1);
    Open();
    EXPECT_EQ(window_->Tabs().currentIndex(), 1);
    EXPECT_EQ(window_->PageWidget(0), nullptr);
    ASSERT_NE(window_->PageWidget(1), nullptr);
    auto* value = qobject_cast<QLineEdit*>(window_->PageWidget(1)->Find("IDC_VALUE")->widget);
    EXPECT_EQ(value->text(), QStringLiteral("SMSC value"));
    window_->Tabs().setCurrentIndex(2);
    EXPECT_EQ(s_.sheet.ActiveIndex(), 2);
    EXPECT_NE(window_->PageWidget(2), nullptr);
    EXPECT_EQ(window_->PageWidget(0), nullptr);
}

TEST_F(SheetTest, RefusedTabChangeSwitchesBack) {
    Open();
    s_.pages[0]->holdOn = true;
    window_->Tabs().setCurrentIndex(2);
    EXPECT_EQ(window_->Tabs().currentIndex(), 0);
    EXPECT_EQ(s_.sheet.ActiveIndex(), 0);
    EXPECT_EQ(window_->PageWidget(2), nullptr);
    s_.pages[0]->holdOn = false;
    window_->Tabs().setCurrentIndex(2);
    EXPECT_EQ(s_.sheet.ActiveIndex(), 2);
}

TEST_F(SheetTest, LeavingAPageAsksBeforeTheNewTabIsShown) {
    Open();
    std::vector<int> shownWhileAsked;
    s_.pages[0]->onKill = [&] { shownWhileAsked.push_back(window_->Tabs().currentIndex()); };
    s_.pages[0]->holdOn = true;
    window_->Tabs().tabBar()->setCurrentIndex(1);
    s_.pages[0]->holdOn = false;
    window_->Tabs().tabBar()->setCurrentIndex(2);
    EXPECT_EQ(shownWhileAsked, (std::vector<int>{0, 0}));
    EXPECT_EQ(window_->Tabs().currentIndex(), 2);
    EXPECT_EQ(s_.sheet.ActiveIndex(), 2);
}

TEST_F(SheetTest, ApplyFollowsTheChangedFlag) {
    Open();
    auto* value = qobject_cast<QLineEdit*>(window_->PageWidget(0)->Find("IDC_VALUE")->widget);
    QTest::keyClicks(value, "x");
    EXPECT_TRUE(s_.sheet.Changed());
    EXPECT_TRUE(window_->ApplyButton().isEnabled());
    window_->ApplyButton().click();
    EXPECT_EQ(s_.pages[0]->applies, 1);
    EXPECT_FALSE(window_->ApplyButton().isEnabled());
    EXPECT_FALSE(s_.sheet.IsEnded());
}

TEST_F(SheetTest, ClosingAsksTheActivePageAndStaysWhenRefused) {
    Open();
    s_.pages[0]->allowCancel = false;
    window_->close();
    EXPECT_EQ(s_.pages[0]->queries, 1);
    EXPECT_TRUE(window_->isVisible());
    EXPECT_FALSE(s_.sheet.IsEnded());
    s_.pages[0]->allowCancel = true;
    QTest::keyClick(window_.get(), Qt::Key_Escape);
    EXPECT_TRUE(s_.sheet.IsEnded());
    EXPECT_EQ(s_.sheet.ResultCode(), ui::kCancel);
    EXPECT_FALSE(window_->isVisible());
}

TEST_F(SheetTest, OkAppliesAndEnds) {
    Open();
    window_->OkButton().click();
    EXPECT_EQ(s_.pages[0]->applies, 1);
    EXPECT_TRUE(s_.sheet.IsEnded());
    EXPECT_EQ(s_.sheet.ResultCode(), ui::kOk);
}

TEST(SheetRender, EachOfThreePagesRendersToAPicture) {
    qtui_test::App();
    SampleSheet s;
    for (int page = 0; page < 3; ++page) {
        std::string path = qtui_test::RenderDir() + "/SHEET_PAGE" + std::to_string(page) + ".png";
        ASSERT_TRUE(qtui::RenderSheetToPng(s.sheet, path, page));
        QImage image(QString::fromStdString(path));
        EXPECT_GE(image.width(), 200);
        EXPECT_GE(image.height(), 100);
    }
}

}  // namespace
