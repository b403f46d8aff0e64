#include "ui/sheet.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

using namespace ui;

// Every page writes what the sheet told it into one shared log.
class LoggingPage : public Page {
public:
    LoggingPage(std::string title, std::vector<std::string>& log)
        : Page(Template{"DIALOG_" + title, title, {Edit("field", "Field:")}}), log_(log) {}
    void OnInit() override { log_.push_back(Title() + ".init"); }
    void OnSetActive() override { log_.push_back(Title() + ".active"); }
    bool OnKillActive() override {
        log_.push_back(Title() + ".kill");
        return allowLeave;
    }
    bool OnApply() override {
        log_.push_back(Title() + ".apply");
        return allowApply;
    }
    bool OnQueryCancel() override {
        log_.push_back(Title() + ".query");
        return allowCancel;
    }
    void OnReset() override { log_.push_back(Title() + ".reset"); }
    void OnHelp() override { log_.push_back(Title() + ".help"); }
    bool HasUnsavedChanges() const override { return unsaved; }

    bool allowLeave = true, allowApply = true, allowCancel = true, unsaved = false;

private:
    std::vector<std::string>& log_;
};

class SheetLog : public SheetView {
public:
    DialogView* CreatePageView(int index) override {
        created.push_back(index);
        return nullptr;
    }
    void PageActivated(int index) override { activated.push_back(index); }
    void ApplyEnabledChanged(bool enabled) override { apply.push_back(enabled); }
    void SheetEnded(int result) override { ended = result; }
    std::vector<int> created, activated;
    std::vector<bool> apply;
    int ended = 0;
};

class SheetSequence : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* title : {"One", "Two", "Three"}) {
            auto page = std::make_unique<LoggingPage>(title, log);
            pages.push_back(page.get());
            sheet.AddPage(std::move(page));
        }
        sheet.Attach(nullptr, &view);
    }
    std::vector<std::string> log;
    std::vector<LoggingPage*> pages;
    Sheet sheet{"Caption"};
    SheetLog view;
};

TEST_F(SheetSequence, PagesAreCreatedOnFirstActivationOnly) {
    sheet.SetStartPage(1);
    sheet.Open();
    EXPECT_EQ(log, (std::vector<std::string>{"Two.init", "Two.active"}));
    EXPECT_FALSE(sheet.Created(0));
    ASSERT_TRUE(sheet.Activate(0));
    ASSERT_TRUE(sheet.Activate(1));
    EXPECT_EQ(log, (std::vector<std::string>{"Two.init", "Two.active", "Two.kill", "One.init",
                                             "One.active", "One.kill", "Two.active"}));
    EXPECT_EQ(view.created, (std::vector<int>{1, 0}));
    EXPECT_EQ(view.activated, (std::vector<int>{1, 0, 1}));
    EXPECT_FALSE(sheet.Created(2));
    EXPECT_EQ(sheet.TabTitles(), (std::vector<std::string>{"One", "Two", "Three"}));
}

TEST_F(SheetSequence, RefusedKillActiveKeepsThePage) {
    sheet.Open();
    pages[0]->allowLeave = false;
    EXPECT_FALSE(sheet.Activate(2));
    EXPECT_EQ(sheet.ActiveIndex(), 0);
    EXPECT_FALSE(sheet.Created(2));
    EXPECT_FALSE(sheet.PressOk());
    EXPECT_FALSE(sheet.IsEnded());
    EXPECT_EQ(log, (std::vector<std::string>{"One.init", "One.active", "One.kill", "One.kill"}));
}

TEST_F(SheetSequence, OkAppliesCreatedPagesThenEnds) {
    sheet.Open();
    sheet.Activate(2);
    log.clear();
    EXPECT_TRUE(sheet.PressOk());
    EXPECT_EQ(log, (std::vector<std::string>{"Three.kill", "One.apply", "Three.apply"}));
    EXPECT_TRUE(sheet.IsEnded());
    EXPECT_EQ(sheet.ResultCode(), kOk);
    EXPECT_EQ(view.ended, kOk);
}

TEST_F(SheetSequence, RefusedApplyStopsAndActivatesTheRefusingPage) {
    sheet.Open();
    sheet.Activate(1);
    sheet.Activate(2);
    pages[1]->allowApply = false;
    pages[0]->MarkChanged();
    log.clear();
    EXPECT_FALSE(sheet.PressOk());
    EXPECT_EQ(log,
              (std::vector<std::string>{"Three.kill", "One.apply", "Two.apply", "Two.active"}));
    EXPECT_EQ(sheet.ActiveIndex(), 1);
    EXPECT_FALSE(sheet.IsEnded());
    EXPECT_TRUE(sheet.Changed()) << "nothing was saved, the flag stays";
}

TEST_F(SheetSequence, MarkChangedEnablesApplyAndApplyClearsIt) {
    sheet.Open();
    EXPECT_FALSE(sheet.ApplyEnabled());
    pages[0]->MarkChanged();
    EXPECT_TRUE(sheet.Changed());
    EXPECT_TRUE(sheet.ApplyEnabled());
    EXPECT_TRUE(sheet.AnyUnsaved());
    EXPECT_TRUE(sheet.PressApply());
    EXPECT_FALSE(sheet.Changed());
    EXPECT_FALSE(sheet.ApplyEnabled());
    EXPECT_FALSE(sheet.IsEnded());
    EXPECT_EQ(view.apply, (std::vector<bool>{true, false}));
}

TEST_F(SheetSequence, UnsavedChangesOfUncreatedPagesDoNotCount) {
    sheet.Open();
    pages[2]->unsaved = true;
    EXPECT_FALSE(sheet.AnyUnsaved());
    sheet.Activate(2);
    EXPECT_TRUE(sheet.AnyUnsaved());
}

TEST_F(SheetSequence, RefusedQueryCancelKeepsTheSheetOpen) {
    sheet.Open();
    pages[0]->allowCancel = false;
    EXPECT_FALSE(sheet.PressCancel());
    EXPECT_FALSE(sheet.IsEnded());
    EXPECT_EQ(log.back(), "One.query");
}

TEST_F(SheetSequence, CancelResetsEveryCreatedPage) {
    sheet.Open();
    sheet.Activate(2);
    log.clear();
    EXPECT_TRUE(sheet.PressCancel());
    EXPECT_EQ(log, (std::vector<std::string>{"Three.query", "One.reset", "Three.reset"}));
    EXPECT_EQ(sheet.ResultCode(), kCancel);
}

TEST_F(SheetSequence, HelpGoesToTheActivePage) {
    sheet.Open();
    sheet.Activate(1);
    sheet.PressHelp();
    EXPECT_EQ(log.back(), "Two.help");
}

TEST_F(SheetSequence, ActivateOutOfRangeIsRefused) {
    sheet.Open();
    EXPECT_FALSE(sheet.Activate(3));
    EXPECT_FALSE(sheet.Activate(-1));
    EXPECT_EQ(sheet.ActiveIndex(), 0);
}

}  // namespace
