#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>

#include "platform/clock.h"
#include "sample_dialogs.h"
#include "ui/script_driver.h"

namespace {

using namespace ui;

struct Outcome {
    std::string transcript;
    int status = 0;
};

class ScriptRun : public ::testing::Test {
protected:
    void SetUp() override { platform::SetClock(&clock); }
    void TearDown() override { platform::SetClock(nullptr); }

    // Runs `console` against a script host fed by `script`, as the binary does.
    Outcome RunScript(const std::string& script, const std::function<int(Host&)>& console) {
        std::istringstream in(script);
        std::ostringstream out;
        ScriptHost host(in, out);
        int code = console(host);
        Outcome run;
        run.status = host.ExitStatus(code);
        run.transcript = out.str();
        return run;
    }
    Outcome RunDialog(const std::string& script) {
        return RunScript(script, [](Host& host) {
            sample::ConnectionDialog dialog;
            host.RunModal(dialog);
            return 0;
        });
    }
    Outcome RunSheet(const std::string& script) {
        return RunScript(script, [](Host& host) {
            auto sheet = sample::MakeSheet();
            host.RunSheet(*sheet);
            return 0;
        });
    }
    platform::FakeClock clock;
};

TEST_F(ScriptRun, FieldsAreFilledByLabelAndTheDialogClosesWithOk) {
    Outcome run = RunDialog(R"(# a comment, then a blank line

set "&Host:" "example.org"
set "Port:" "2775"
check "Use SSL"
check modeB
expect "Mode &A" unchecked
choose "&Charset:" "ISO-8859-1"
expect charset "ISO-8859-1"
choose "Peers:" "beta"
expect status "Peer beta"
sort "Peers:" "Address"
expect status "Column 1"
expect title "Sample Connection"
press OK
)");
    EXPECT_EQ(run.transcript, "open: Sample Connection\nclose: Sample Connection = OK\n");
    EXPECT_EQ(run.status, 0);
}

TEST_F(ScriptRun, NestedDialogAndAnsweredBoxTakeTheFollowingLines) {
    Outcome run = RunDialog(R"(press "&More..."
set "&Note:" "hi"
press OK
expect status "Note: hi"
press "&Test"
answer "Connection failed." Yes
expect status "Saved"
press Cancel
)");
    EXPECT_EQ(run.transcript,
              "open: Sample Connection\n"
              "open: More Settings\n"
              "close: More Settings = OK\n"
              "box: Connection failed.\\r\\nSave connection? [Yes/No] -> Yes\n"
              "close: Sample Connection = Cancel\n");
    EXPECT_EQ(run.status, 0);
}

TEST_F(ScriptRun, UnansweredBoxGetsItsDefaultAndFails) {
    Outcome run = RunDialog("press \"&Test\"\nexpect status \"Not saved\"\npress Cancel\n");
    EXPECT_EQ(run.transcript,
              "open: Sample Connection\n"
              "box: Connection failed.\\r\\nSave connection? [Yes/No] -> No\n"
              "FAIL: line 2: the message box was not answered\n"
              "close: Sample Connection = Cancel\n");
    EXPECT_EQ(run.status, 3);
}

TEST_F(ScriptRun, AnswerWithAnotherTextOrButtonFails) {
    Outcome run =
        RunDialog("press \"&Test\"\nanswer \"Saved\" Yes\npress \"&Test\"\nanswer \"\" OK\n");
    EXPECT_EQ(run.transcript,
              "open: Sample Connection\n"
              "box: Connection failed.\\r\\nSave connection? [Yes/No] -> No\n"
              "FAIL: line 2: the message box does not begin with \"Saved\"\n"
              "box: Connection failed.\\r\\nSave connection? [Yes/No] -> No\n"
              "FAIL: line 4: the message box has no button OK\n"
              "close: Sample Connection = Cancel\n");
    EXPECT_EQ(run.status, 3);
}

TEST_F(ScriptRun, AmbiguousAndUnknownNamesFail) {
    Outcome run = RunDialog("expect \"Value:\" \"x\"\npress \"&Nothing\"\npress Cancel\n");
    EXPECT_EQ(run.transcript,
              "open: Sample Connection\n"
              "FAIL: line 1: \"Value:\" is ambiguous: v1 v2\n"
              "FAIL: line 2: no control is named \"&Nothing\"\n"
              "close: Sample Connection = Cancel\n");
    EXPECT_EQ(run.status, 3);
}

// A procedure that names a control its template lacks fails the run, whatever the
// script does.
TEST_F(ScriptRun, ProcedureUsingUnknownControlIdFails) {
    class Mistyped : public sample::ConnectionDialog {
        void OnCommand(const std::string& id, Event event) override {
            if (id == "ssl") SetText("hots", "example.org");
            ConnectionDialog::OnCommand(id, event);
        }
    };
    Outcome run = RunScript("check \"Use SSL\"\npress Cancel\n", [](Host& host) {
        Mistyped dialog;
        host.RunModal(dialog);
        return 0;
    });
    EXPECT_EQ(run.transcript,
              "open: Sample Connection\n"
              "FAIL: DIALOG_CONN has no control \"hots\"\n"
              "close: Sample Connection = Cancel\n");
    EXPECT_EQ(run.status, 3);
}

TEST_F(ScriptRun, FailedExpectationsSayWhatWasFound) {
    Outcome run = RunDialog(R"(expect "&Host:" "zzz"
expect "&Delete" enabled
expect "Use SSL" checked
expect title "Other"
expect tab "General"
press Cancel
)");
    EXPECT_EQ(run.transcript,
              "open: Sample Connection\n"
              "FAIL: line 1: \"&Host:\" is \"\", expected \"zzz\"\n"
              "FAIL: line 2: \"&Delete\" is not enabled\n"
              "FAIL: line 3: \"Use SSL\" is not checked\n"
              "FAIL: line 4: the title is \"Sample Connection\", expected \"Other\"\n"
              "FAIL: line 5: the active window is not a property sheet\n"
              "close: Sample Connection = Cancel\n");
    EXPECT_EQ(run.status, 3);
}

TEST_F(ScriptRun, ActionsOnControlsAUserCannotUseFailAndDoNothing) {
    Outcome run = RunDialog(R"(press "&Delete"
press "Use SSL"
set "&Charset:" "UTF-8"
set "Port:" "12ab"
uncheck "Mode &A"
choose "&Charset:" "KOI8-R"
choose "Peers:" #3
sort "Peers:" #3
sort "Use SSL" "Name"
expect "Use SSL" unchecked
expect port ""
press Cancel
)");
    EXPECT_EQ(run.transcript,
              "open: Sample Connection\n"
              "FAIL: line 1: \"&Delete\" is disabled\n"
              "FAIL: line 2: \"Use SSL\" is not a push button\n"
              "FAIL: line 3: \"&Charset:\" is a drop-down list (use choose)\n"
              "FAIL: line 4: \"Port:\" accepts digits only\n"
              "FAIL: line 5: \"Mode &A\" is a radio button: choose another one instead\n"
              "FAIL: line 6: \"&Charset:\" has no item \"KOI8-R\"\n"
              "FAIL: line 7: \"Peers:\" has no item #3 (it has 2)\n"
              "FAIL: line 8: \"Peers:\" has no column #3 (it has 2)\n"
              "FAIL: line 9: \"Use SSL\" is not a report list\n"
              "close: Sample Connection = Cancel\n");
}

TEST_F(ScriptRun, BadLinesFailWithTheirNumbersAndTheRestRuns) {
    Outcome run =
        RunDialog("frobnicate\n\nset \"&Host:\" \"open\nwait soon\nset host \"ok\"\npress OK\n");
    EXPECT_EQ(run.transcript,
              "open: Sample Connection\n"
              "FAIL: line 1: unknown command frobnicate\n"
              "FAIL: line 3: unterminated string\n"
              "FAIL: line 4: usage: wait MS\n"
              "close: Sample Connection = OK\n");
    EXPECT_EQ(run.status, 3);
}

TEST_F(ScriptRun, WaitFiresTimersInstantlyOnTheFakeClock) {
    Outcome run = RunDialog(
        "wait 2500\nexpect status \"Ticks: 2\"\nwait 500\nexpect status \"Ticks: 3\"\n"
        "press Cancel\n");
    EXPECT_EQ(run.transcript, "open: Sample Connection\nclose: Sample Connection = Cancel\n");
    EXPECT_EQ(clock.Slept(), 3000u);
}

TEST_F(ScriptRun, OkRefusedByTheProcedureKeepsTheDialogOpen) {
    Outcome run =
        RunDialog("press OK\nanswer \"Enter a host\" OK\nset \"&Host:\" \"h\"\npress OK\n");
    EXPECT_EQ(run.transcript,
              "open: Sample Connection\nbox: Enter a host. [OK] -> OK\n"
              "close: Sample Connection = OK\n");
    EXPECT_EQ(run.status, 0);
}

TEST_F(ScriptRun, EndOfScriptCancelsOpenDialogsInnermostFirst) {
    Outcome run = RunScript("press \"&More...\"\nset \"&Note:\" \"x\"\n", [](Host& host) {
        sample::ConnectionDialog dialog;
        return host.RunModal(dialog) == kCancel ? 5 : 0;
    });
    EXPECT_EQ(run.transcript,
              "open: Sample Connection\nopen: More Settings\nclose: More Settings = Cancel\n"
              "close: Sample Connection = Cancel\n");
    EXPECT_EQ(run.status, 5) << "without a FAIL the console's own exit code stands";
}

TEST_F(ScriptRun, BoxesBeforeAnyWindowAndLeftoverLines) {
    Outcome run = RunScript("answer \"Delete\" Yes\npress OK\n", [](Host& host) {
        return Ask(host, "Delete Configuration files for QuvSMS?") == kYes ? 0 : 1;
    });
    EXPECT_EQ(run.transcript,
              "box: Delete Configuration files for QuvSMS? [Yes/No] -> Yes\n"
              "FAIL: line 2: no window was open for this command\n");
    EXPECT_EQ(run.status, 3);
}

TEST_F(ScriptRun, SheetTabsButtonsAndPageRefusal) {
    Outcome run = RunSheet(R"(expect tabs "General" "Details"
expect tab "General"
expect "Apply" disabled
set "&Name:" "gw"
expect "Apply" enabled
press "Help"
expect "&Name:" "page help"
check "&Lock this page"
tab "Details"
answer "This page is locked." OK
expect tab "General"
uncheck "&Lock this page"
tab "Details"
wait 1000
expect clock "2"
press Help
press "&Open..."
file "/tmp/pic.png"
press "&Open..."
file cancel
press Apply
expect "Apply" disabled
press OK
)");
    EXPECT_EQ(run.transcript,
              "open: Sample Sheet\n"
              "box: This page is locked. [OK] -> OK\n"
              "shell: open manual.pdf\n"
              "file: Open Picture -> /tmp/pic.png\n"
              "shell: open /tmp/pic.png\n"
              "file: Open Picture -> cancel\n"
              "close: Sample Sheet = OK\n");
    EXPECT_EQ(run.status, 0);
}

TEST_F(ScriptRun, DirtySheetAtEndOfScriptAsksAndTheDefaultAnswerFails) {
    Outcome run = RunSheet("set \"&Name:\" \"gw\"\n");
    EXPECT_EQ(run.transcript,
              "open: Sample Sheet\n"
              "box: Exit without saving configuration changes? [Yes/No/Cancel] -> Yes\n"
              "FAIL: line 1: the message box was not answered\n"
              "close: Sample Sheet = Cancel\n");
    EXPECT_EQ(run.status, 3);
}

TEST_F(ScriptRun, SheetThatRefusesToCancelIsForcedClosedAtTheEnd) {
    Outcome run = RunSheet("set \"&Name:\" \"gw\"\npress Cancel\nanswer \"Exit\" No\n");
    EXPECT_EQ(run.transcript,
              "open: Sample Sheet\n"
              "box: Exit without saving configuration changes? [Yes/No/Cancel] -> No\n"
              "box: Exit without saving configuration changes? [Yes/No/Cancel] -> Yes\n"
              "FAIL: line 3: the message box was not answered\n"
              "close: Sample Sheet = Cancel\n");
}

TEST_F(ScriptRun, UnansweredFileDialogIsCancelledWithAFail) {
    Outcome run = RunSheet("tab \"Details\"\npress \"&Open...\"\n");
    EXPECT_EQ(run.transcript,
              "open: Sample Sheet\n"
              "file: Open Picture -> cancel\n"
              "FAIL: line 2: the file dialog was not answered\n"
              "close: Sample Sheet = Cancel\n");
}

TEST_F(ScriptRun, DumpListsEveryControlWithItsState) {
    Outcome run = RunDialog("check \"Use SSL\"\ndump\npress Cancel\n");
    std::istringstream lines(run.transcript);
    std::vector<std::string> dump;
    for (std::string line; std::getline(lines, line);)
        if (line.rfind("dump: ", 0) == 0) dump.push_back(line);
    ASSERT_EQ(dump.size(), 16u);
    EXPECT_EQ(dump[0], "dump: window \"Sample Connection\"");
    EXPECT_EQ(dump[3], "dump: ssl check \"Use &SSL\" \"Use &SSL\" checked");
    EXPECT_EQ(dump[4], "dump: modeA radio \"Mode &A\" \"Mode &A\" checked");
    EXPECT_EQ(dump[6], "dump: charset combo \"&Charset:\" \"UTF-8\" items=2 sel=#1");
    EXPECT_EQ(dump[7], "dump: peers report \"Peers:\" \"\" rows=2");
    EXPECT_EQ(dump[13], "dump: del button \"&Delete\" \"&Delete\" disabled");
}

TEST(ScriptEnvironment, SelectsTheScriptNamedByTheVariable) {
    std::ostringstream out;
    unsetenv("ZELLA_SCRIPT");
    EXPECT_EQ(MakeScriptHostFromEnvironment(out), nullptr);
    setenv("ZELLA_SCRIPT", "", 1);
    EXPECT_EQ(MakeScriptHostFromEnvironment(out), nullptr);

    std::string path = ::testing::TempDir() + "ui_script_env.txt";
    std::ofstream(path) << "answer \"Hello\" OK\r\n";
    setenv("ZELLA_SCRIPT", path.c_str(), 1);
    auto host = MakeScriptHostFromEnvironment(out);
    ASSERT_NE(host, nullptr);
    Info(*host, "Hello there");
    EXPECT_EQ(host->ExitStatus(0), 0);
    EXPECT_EQ(out.str(), "box: Hello there [OK] -> OK\n");
    std::remove(path.c_str());

    out.str("");
    setenv("ZELLA_SCRIPT", "/nonexistent/script.txt", 1);
    host = MakeScriptHostFromEnvironment(out);
    ASSERT_NE(host, nullptr);
    EXPECT_EQ(host->ExitStatus(0), 3);
    EXPECT_EQ(out.str(), "FAIL: line 0: cannot open the script /nonexistent/script.txt\n");
    unsetenv("ZELLA_SCRIPT");
}

}  // namespace
