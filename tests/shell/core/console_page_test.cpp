#include "shell/core/console_page.h"
#include "shell/core/console_caption.h"

#include <gtest/gtest.h>

#include "platform/files.h"
#include "shell/core/console_state.h"
#include "tests/support/temp_dir.h"
#include "ui/headless_host.h"

namespace shell {
namespace {

// A page with one check box whose clicks count as settings changes.
class SettingPage : public ConsolePage {
public:
    explicit SettingPage(bool refuseApply = false)
        : ConsolePage(ui::Template{"DIALOG_TEST", "Test", {ui::Check("flag", "Flag")}}),
          refuseApply_(refuseApply) {}
    void OnInit() override { SetChecked("flag", true); }
    void OnCommand(const std::string& id, ui::Event) override {
        if (id == "flag") SettingChanged();
    }
    bool OnApply() override {
        ++applied;
        return !refuseApply_;
    }
    int applied = 0;

private:
    bool refuseApply_;
};

struct SheetRun {
    ui::HeadlessHost host;
    ui::Sheet sheet{shell::kConsoleCaption};
    SettingPage* page = nullptr;
    explicit SheetRun(bool refuseApply = false) {
        auto p = std::make_unique<SettingPage>(refuseApply);
        page = p.get();
        sheet.AddPage(std::move(p));
    }
};

TEST(ConsolePage, CancelWithoutChangesClosesWithoutAsking) {
    SheetRun run;
    run.host.QueueSheet([](ui::Sheet& sheet) { sheet.PressCancel(); });
    EXPECT_EQ(run.host.RunSheet(run.sheet), ui::kCancel);
    EXPECT_EQ(run.host.TranscriptText().find("box:"), std::string::npos);
}

TEST(ConsolePage, FillingThePageIsNotAChange) {
    SheetRun run;
    run.host.QueueSheet([](ui::Sheet& sheet) {
        EXPECT_FALSE(sheet.Changed());
        EXPECT_FALSE(sheet.ApplyEnabled());
        sheet.PressCancel();
    });
    run.host.RunSheet(run.sheet);
}

TEST(ConsolePage, CancelWithChangesClosesOnlyOnYes) {
    SheetRun run;
    bool stillOpenAfterNo = false, stillOpenAfterCancel = false;
    run.host.QueueSheet([&](ui::Sheet& sheet) {
        sheet.ActivePage().UserClick("flag");
        EXPECT_TRUE(sheet.Changed());
        EXPECT_TRUE(sheet.ApplyEnabled());
        sheet.PressCancel();
        stillOpenAfterNo = !sheet.IsEnded();
        sheet.PressCancel();
        stillOpenAfterCancel = !sheet.IsEnded();
        sheet.PressCancel();
    });
    run.host.QueueAnswer("Exit without saving configuration changes?", ui::kNo);
    run.host.QueueAnswer("Exit without saving configuration changes?", ui::kCancel);
    run.host.QueueAnswer("Exit without saving configuration changes?", ui::kYes);
    EXPECT_EQ(run.host.RunSheet(run.sheet), ui::kCancel);
    EXPECT_TRUE(stillOpenAfterNo);
    EXPECT_TRUE(stillOpenAfterCancel);
    EXPECT_EQ(run.page->applied, 0);
    EXPECT_EQ(run.host.UnusedAnswers(), 0) << run.host.TranscriptText();
}

// Enter on the question (its default button) keeps the sheet and its changes.
TEST(ConsolePage, TheExitQuestionDefaultsToKeepingTheChanges) {
    SheetRun run;
    bool stillOpen = false;
    run.host.QueueSheet([&](ui::Sheet& sheet) {
        sheet.ActivePage().UserClick("flag");
        sheet.PressCancel();
        stillOpen = !sheet.IsEnded();
        sheet.End(ui::kCancel);
    });
    run.host.RunSheet(run.sheet);
    EXPECT_TRUE(stillOpen);
    EXPECT_NE(run.host.TranscriptText().find(
                  "box: Exit without saving configuration changes? [Yes/No/Cancel] -> No\n"),
              std::string::npos)
        << run.host.TranscriptText();
}

TEST(ConsolePage, ServiceActionOffersToSaveAndDropsTheActionWhenSavingFails) {
    SheetRun saving;
    bool goAhead = false;
    saving.host.QueueSheet([&](ui::Sheet& sheet) {
        sheet.ActivePage().UserClick("flag");
        goAhead = SaveChangesBeforeServiceAction(sheet.ActivePage());
        EXPECT_FALSE(sheet.Changed());
        sheet.PressCancel();
    });
    saving.host.QueueAnswer("Save configuration changes?", ui::kYes);
    saving.host.RunSheet(saving.sheet);
    EXPECT_TRUE(goAhead);
    EXPECT_EQ(saving.page->applied, 1);

    SheetRun refusing(/*refuseApply=*/true);
    refusing.host.QueueSheet([&](ui::Sheet& sheet) {
        sheet.ActivePage().UserClick("flag");
        goAhead = SaveChangesBeforeServiceAction(sheet.ActivePage());
        sheet.End(ui::kCancel);
    });
    refusing.host.QueueAnswer("Save configuration changes?", ui::kYes);
    refusing.host.RunSheet(refusing.sheet);
    EXPECT_FALSE(goAhead);
}

TEST(ConsolePage, ServiceActionGoesAheadUnsavedOnNo) {
    SheetRun run;
    bool goAhead = false;
    run.host.QueueSheet([&](ui::Sheet& sheet) {
        sheet.ActivePage().UserClick("flag");
        goAhead = SaveChangesBeforeServiceAction(sheet.ActivePage());
        sheet.End(ui::kCancel);
    });
    run.host.QueueAnswer("Save configuration changes?", ui::kNo);
    run.host.RunSheet(run.sheet);
    EXPECT_TRUE(goAhead);
    EXPECT_EQ(run.page->applied, 0);
}

TEST(ConsolePage, HelpOpensTheManualInItsOwnDirectory) {
    Console().manualPath = "/opt/quvsms/quvsms.pdf";
    SheetRun run;
    run.host.QueueSheet([](ui::Sheet& sheet) {
        sheet.PressHelp();
        sheet.PressCancel();
    });
    run.host.RunSheet(run.sheet);
    EXPECT_NE(run.host.TranscriptText().find("shell: open /opt/quvsms/quvsms.pdf"),
              std::string::npos)
        << run.host.TranscriptText();
}

// An installed console lives in <prefix>/lib/quvsms/ and its manual in the package's
// shared data; a build tree keeps the manual beside the program, and that copy wins.
TEST(ConsolePage, ManualIsFoundBesideTheProgramElseInTheInstalledSharedData) {
    zella_test::TempDir prefix{"prefix"};
    ASSERT_FALSE(prefix.Path().empty());
    const std::string programDir = prefix.Path() + "lib/quvsms/";
    const std::string shared = prefix.Path() + "share/quvsms/manual/";
    ASSERT_TRUE(platform::CreateDirectories(programDir));
    ASSERT_TRUE(platform::CreateDirectories(shared));
    EXPECT_EQ(programDir + "quvsms.pdf", ManualPath(programDir)) << "nothing there yet";
    ASSERT_TRUE(platform::WriteFileAtomic(shared + "quvsms.pdf", "%PDF-1.7\n"));
    EXPECT_EQ(shared + "quvsms.pdf", ManualPath(programDir));
    ASSERT_TRUE(platform::WriteFileAtomic(programDir + "quvsms.pdf", "%PDF-1.7\n"));
    EXPECT_EQ(programDir + "quvsms.pdf", ManualPath(programDir));
    // Another program directory never borrows that shared copy.
    const std::string elsewhere = prefix.Path() + "lib/other/";
    ASSERT_TRUE(platform::CreateDirectories(elsewhere));
    EXPECT_EQ(elsewhere + "quvsms.pdf", ManualPath(elsewhere));
}

}  // namespace
}  // namespace shell
