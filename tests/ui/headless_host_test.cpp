#include "ui/headless_host.h"

#include <gtest/gtest.h>

#include <sstream>

#include "platform/clock.h"
#include "sample_dialogs.h"

namespace {

using namespace ui;

// Installs a fake clock for one test, so waits take no time.
class FakeTime : public ::testing::Test {
protected:
    void SetUp() override { platform::SetClock(&clock); }
    void TearDown() override { platform::SetClock(nullptr); }
    platform::FakeClock clock;
};

using HeadlessDialog = FakeTime;

TEST_F(HeadlessDialog, QueuedScriptFillsFieldsAndPressesOk) {
    HeadlessHost host;
    host.QueueDialog("DIALOG_CONN", [](Dialog& d) {
        d.UserSetText("host", "127.0.0.1");
        d.UserClick(IDOK);
    });
    sample::ConnectionDialog dialog;
    EXPECT_EQ(host.RunModal(dialog), kOk);
    EXPECT_EQ(dialog.Text("host"), "127.0.0.1");
    EXPECT_EQ(host.TranscriptText(), "open: Sample Connection\nclose: Sample Connection = OK\n");
}

TEST_F(HeadlessDialog, DialogWithoutScriptIsCancelled) {
    HeadlessHost host;
    sample::ConnectionDialog dialog;
    EXPECT_EQ(host.RunModal(dialog), kCancel);
    EXPECT_EQ(host.Transcript().back(), "close: Sample Connection = Cancel");
    EXPECT_FALSE(dialog.HasHost()) << "the dialog is detached once it closed";
}

TEST_F(HeadlessDialog, WrongTemplateIdFailsAndCancels) {
    HeadlessHost host;
    host.QueueDialog("DIALOG_OTHER", [](Dialog& d) { d.UserClick(IDOK); });
    sample::ConnectionDialog dialog;
    EXPECT_EQ(host.RunModal(dialog), kCancel);
    EXPECT_TRUE(host.Failed());
    EXPECT_EQ(host.Transcript()[1], "FAIL: expected dialog DIALOG_OTHER, but DIALOG_CONN opened");
}

TEST_F(HeadlessDialog, QueuedAnswerMeetsTheBoxAndEscapesLineBreaks) {
    HeadlessHost host;
    host.QueueAnswer("Connection failed.", kYes);
    host.QueueDialog([](Dialog& d) { d.UserClick("test"); });
    sample::ConnectionDialog dialog;
    host.RunModal(dialog);
    EXPECT_EQ(dialog.Text("status"), "Saved");
    EXPECT_EQ(host.Transcript()[1],
              "box: Connection failed.\\r\\nSave connection? [Yes/No] -> Yes");
    EXPECT_EQ(host.UnusedAnswers(), 0);
}

TEST_F(HeadlessDialog, UnansweredBoxGetsItsDefaultButton) {
    HeadlessHost host;
    host.QueueDialog([](Dialog& d) { d.UserClick("test"); });
    sample::ConnectionDialog dialog;
    host.RunModal(dialog);
    EXPECT_EQ(dialog.Text("status"), "Not saved");
    EXPECT_FALSE(host.Failed());
}

TEST_F(HeadlessDialog, AnswerWithWrongPrefixFailsAndTakesTheDefault) {
    HeadlessHost host;
    host.QueueAnswer("Service", kYes);
    EXPECT_EQ(Ask(host, "Save connection?", Buttons::YesNo, 1), kNo);
    EXPECT_EQ(host.TranscriptText(),
              "box: Save connection? [Yes/No] -> No\n"
              "FAIL: message box does not begin with \"Service\"\n");
}

TEST_F(HeadlessDialog, AnswerThatIsNoButtonOfTheBoxFails) {
    HeadlessHost host;
    host.QueueAnswer(kYes);
    Info(host, "Done.");
    EXPECT_EQ(host.Transcript()[0], "box: Done. [OK] -> OK");
    EXPECT_TRUE(host.Failed());
}

TEST_F(HeadlessDialog, BoxHookAnswersWhenNothingIsQueued) {
    HeadlessHost host;
    host.SetCaption("Console");
    host.SetBoxHook(
        [](const MessageBoxSpec& spec) { return spec.caption == "Console" ? kCancel : kOk; });
    EXPECT_EQ(Ask(host, "Exit?", Buttons::YesNoCancel), kCancel);
    EXPECT_EQ(host.Transcript()[0], "box: Exit? [Yes/No/Cancel] -> Cancel");
}

TEST_F(HeadlessDialog, NestedDialogRunsItsOwnScript) {
    HeadlessHost host;
    host.QueueDialog("DIALOG_CONN", [](Dialog& d) {
        d.UserClick("more");
        d.UserClick(IDCANCEL);
    });
    host.QueueDialog("DIALOG_MORE", [&](Dialog& d) {
        EXPECT_EQ(host.OpenWindows(), 2);
        d.UserSetText("note", "hi");
        d.UserClick(IDOK);
    });
    sample::ConnectionDialog dialog;
    EXPECT_EQ(host.RunModal(dialog), kCancel);
    EXPECT_EQ(dialog.Text("status"), "Note: hi");
    EXPECT_EQ(host.TranscriptText(),
              "open: Sample Connection\nopen: More Settings\nclose: More Settings = OK\n"
              "close: Sample Connection = Cancel\n");
}

TEST_F(HeadlessDialog, DialogRefusingToCloseIsEndedWithCancel) {
    HeadlessHost host;
    class Stubborn : public Dialog {
    public:
        Stubborn() : Dialog(Template{"DIALOG_STUBBORN", "Stubborn", {OkCancelRow()}}) {}
        void OnCancel() override {}
    } dialog;
    EXPECT_EQ(host.RunModal(dialog), kCancel);
}

TEST_F(HeadlessDialog, WaitFiresTimersOnTheFakeClockWithoutDelay) {
    HeadlessHost host;
    host.QueueDialog([&](Dialog& d) {
        host.Wait(3500);
        EXPECT_EQ(d.Text("status"), "Ticks: 3");
        d.KillTimer(1);
        host.Wait(5000);
        EXPECT_EQ(d.Text("status"), "Ticks: 3");
    });
    sample::ConnectionDialog dialog;
    host.RunModal(dialog);
    EXPECT_EQ(clock.Slept(), 8500u);
}

TEST_F(HeadlessDialog, FilesShellAndClipboardAreRecorded) {
    HeadlessHost host;
    host.QueueFile("/tmp/a.png");
    host.QueueFileCancel();
    OpenFileSpec spec;
    spec.title = "Open";
    std::string path;
    EXPECT_TRUE(host.GetFileName(spec, path));
    EXPECT_EQ(path, "/tmp/a.png");
    EXPECT_FALSE(host.GetFileName(spec, path));
    EXPECT_FALSE(host.GetFileName(spec, path));
    host.ShellOpen("manual.pdf", "/opt");
    host.SetClipboardText("copied");
    {
        auto busy = host.BusyCursor();
        EXPECT_EQ(host.BusyDepth(), 1);
    }
    EXPECT_EQ(host.BusyDepth(), 0);
    EXPECT_EQ(host.ClipboardText(), "copied");
    EXPECT_EQ(host.TranscriptText(),
              "file: Open -> /tmp/a.png\nfile: Open -> cancel\nfile: Open -> cancel\n"
              "shell: open manual.pdf\n");
}

TEST_F(HeadlessDialog, TranscriptIsEchoedLineByLine) {
    std::ostringstream out;
    HeadlessHost host(&out);
    Info(host, "a\nb");
    EXPECT_EQ(out.str(), "box: a\\nb [OK] -> OK\n");
}

using HeadlessSheet = FakeTime;

TEST_F(HeadlessSheet, ScriptEditsPagesAndApplies) {
    HeadlessHost host;
    auto sheet = sample::MakeSheet();
    auto& general = static_cast<sample::GeneralPage&>(sheet->PageAt(0));
    host.QueueSheet([&](Sheet& s) {
        EXPECT_EQ(host.FrontDialog(), &general);
        general.UserSetText("name", "x");
        EXPECT_TRUE(s.ApplyEnabled());
        s.Activate(1);
        host.Wait(1000);
        EXPECT_EQ(s.PageAt(1).Text("clock"), "2");
        s.PressOk();
    });
    EXPECT_EQ(host.RunSheet(*sheet), kOk);
    EXPECT_EQ(general.applied, 1);
    EXPECT_EQ(host.TranscriptText(), "open: Sample Sheet\nclose: Sample Sheet = OK\n");
}

TEST_F(HeadlessSheet, LeftOpenSheetIsCancelledThroughItsPage) {
    HeadlessHost host;
    auto sheet = sample::MakeSheet();
    host.QueueSheet([](Sheet& s) { s.PageAt(0).UserSetText("name", "x"); });
    host.QueueAnswer("Exit without saving", kNo);
    EXPECT_EQ(host.RunSheet(*sheet), kCancel);
    EXPECT_EQ(host.TranscriptText(),
              "open: Sample Sheet\n"
              "box: Exit without saving configuration changes? [Yes/No/Cancel] -> No\n"
              "close: Sample Sheet = Cancel\n");
}

}  // namespace
