#include "ui/dialog.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/headless_host.h"
#include "ui/host.h"

namespace {

using namespace ui;

Template SampleTemplate() {
    return Template{
        "DIALOG_SAMPLE",
        "Sample",
        {Static("caption", "Status:"), Edit("host", "&Host:"), Check("ssl", "Use &SSL"),
         Group("modes", "Mode",
               {Radio("a", "A", Flag::GroupStart), Radio("b", "B"), Radio("c", "C"),
                Radio("x", "X", Flag::GroupStart), Radio("y", "Y")}),
         Radio("p", "P"), Static("gap", "-"), Radio("q", "Q"), Combo("charset", "Charset:"),
         Combo("server", "Server:", Flag::Editable), List("names", "Names:", Flag::Sorted),
         Report("rows", "Rows:", {"Name", "Value"}), Button("del", "&Delete", Flag::Disabled),
         Button("more", "&More", Flag::Hidden), OkCancelRow()}};
}

// Records what the procedure hears, so tests can tell Set* from User* calls.
class Recorder : public Dialog {
public:
    Recorder() : Dialog(SampleTemplate()) {}
    void OnInit() override {
        inits++;
        filledDuringInit = Filling();
        SetText("host", "init");
    }
    void OnCommand(const std::string& id, Event event) override {
        commands.push_back(id + ":" + std::to_string(static_cast<int>(event)));
    }
    void OnTimer(int timerId) override { timers.push_back(timerId); }
    void OnOk() override {
        oks++;
        Dialog::OnOk();
    }
    int inits = 0, oks = 0;
    bool filledDuringInit = false;
    std::vector<std::string> commands;
    std::vector<int> timers;
};

class ViewLog : public DialogView {
public:
    void ControlChanged(const std::string& id) override { changed.push_back(id); }
    void RowsChanged(const std::string& id) override { rows.push_back(id); }
    void TitleChanged() override { titles++; }
    void FocusRequested(const std::string& id) override { focus = id; }
    void TimerSet(int timerId, int ms) override { set.emplace_back(timerId, ms); }
    void TimerKilled(int timerId) override { killed.push_back(timerId); }
    void Ended(int result) override { ended = result; }
    std::vector<std::string> changed, rows;
    std::vector<std::pair<int, int>> set;
    std::vector<int> killed;
    std::string focus;
    int titles = 0, ended = 0;
};

TEST(DialogState, TemplateGivesLabelsAndInitialFlags) {
    Recorder d;
    EXPECT_EQ(d.Title(), "Sample");
    EXPECT_EQ(d.Text("caption"), "Status:");
    EXPECT_EQ(d.Text("ssl"), "Use &SSL");
    EXPECT_EQ(d.Text("modes"), "Mode");
    EXPECT_EQ(d.Text("host"), "");  // an edit's label is beside it, not in it
    EXPECT_FALSE(d.Enabled("del"));
    EXPECT_TRUE(d.Visible("del"));
    EXPECT_FALSE(d.Visible("more"));
    EXPECT_TRUE(d.Has(IDOK));
    EXPECT_EQ(d.KindOf("rows"), Kind::Report);
}

// A control id the template lacks is a programming error: the headless host records a
// FAIL line for every use, reads give empty values and writes change nothing.
TEST(DialogState, UnknownIdsFailReadEmptyAndIgnoreWrites) {
    Recorder d;
    HeadlessHost host;
    d.Attach(&host, nullptr);
    d.SetText("nope", "x");
    d.SetChecked("nope", true);
    d.AddItem("nope", "x");
    d.UserClick("nope");
    EXPECT_FALSE(d.Has("nope"));
    EXPECT_EQ(d.Text("nope"), "");
    EXPECT_FALSE(d.Checked("nope"));
    EXPECT_TRUE(d.Items("nope").empty());
    EXPECT_EQ(d.Selection("nope"), -1);
    EXPECT_TRUE(d.commands.empty());
    EXPECT_TRUE(host.Failed());
    const std::vector<std::string> expected(8, "FAIL: DIALOG_SAMPLE has no control \"nope\"");
    EXPECT_EQ(host.Transcript(), expected);
    d.Detach();
}

// Without a host that records failures (the Qt host, or none) a debug build stops at
// the first use, so a mistyped id cannot pass unnoticed.
TEST(DialogStateDeathTest, UnknownIdAssertsInDebugBuilds) {
    Recorder d;
    EXPECT_DEBUG_DEATH(d.SetText("nope", "x"), "DIALOG_SAMPLE has no control \"nope\"");
}

TEST(DialogState, InitializeRunsOnInitOnceWhileFilling) {
    Recorder d;
    ViewLog view;
    d.Attach(nullptr, &view);
    d.Initialize();
    d.Initialize();
    EXPECT_EQ(d.inits, 1);
    EXPECT_TRUE(d.filledDuringInit);
    EXPECT_FALSE(d.Filling());
    EXPECT_EQ(d.Text("host"), "init");
}

TEST(DialogRadios, GroupsAreRunsOfSiblingsSplitByGroupStart) {
    Recorder d;
    d.SetChecked("a", true);
    d.SetChecked("x", true);
    d.SetChecked("b", true);
    EXPECT_FALSE(d.Checked("a"));
    EXPECT_TRUE(d.Checked("b"));
    EXPECT_TRUE(d.Checked("x")) << "x starts its own group";
    d.SetChecked("p", true);
    d.SetChecked("q", true);
    EXPECT_TRUE(d.Checked("p")) << "a static between p and q ends the run";
    EXPECT_TRUE(d.Checked("b")) << "radios of another parent are another group";
}

TEST(DialogRadios, UserClickClearsTheGroupAndTellsTheViewAboutTheOthers) {
    Recorder d;
    ViewLog view;
    d.Attach(nullptr, &view);
    d.SetChecked("a", true);
    view.changed.clear();
    d.UserClick("c");
    EXPECT_TRUE(d.Checked("c"));
    EXPECT_FALSE(d.Checked("a"));
    EXPECT_EQ(view.changed, std::vector<std::string>{"a"});
    EXPECT_EQ(d.commands, std::vector<std::string>{"c:0"});
}

TEST(DialogNotifications, SetCallsTellTheViewNeverTheProcedure) {
    Recorder d;
    ViewLog view;
    d.Attach(nullptr, &view);
    d.SetText("host", "h");
    d.SetChecked("ssl", true);
    d.Enable("del");
    d.SetAlarm("caption", true);
    d.SetTitle("New");
    d.Focus("host");
    EXPECT_EQ(view.changed, (std::vector<std::string>{"host", "ssl", "del", "caption"}));
    EXPECT_EQ(view.titles, 1);
    EXPECT_EQ(view.focus, "host");
    EXPECT_TRUE(d.commands.empty());
    EXPECT_TRUE(d.Alarm("caption"));
    EXPECT_EQ(d.Title(), "New");
}

TEST(DialogNotifications, UserCallsChangeStateThenCallTheHook) {
    Recorder d;
    d.UserClick("ssl");
    EXPECT_TRUE(d.Checked("ssl"));
    d.UserClick("ssl");
    EXPECT_FALSE(d.Checked("ssl"));
    d.UserSetText("host", "typed");
    EXPECT_EQ(d.Text("host"), "typed");
    EXPECT_EQ(d.commands, (std::vector<std::string>{"ssl:0", "ssl:0", "host:1"}));
}

TEST(DialogNotifications, OkGoesToOnOkNotOnCommand) {
    Recorder d;
    ViewLog view;
    d.Attach(nullptr, &view);
    d.UserClick(IDOK);
    EXPECT_EQ(d.oks, 1);
    EXPECT_TRUE(d.commands.empty());
    EXPECT_TRUE(d.IsEnded());
    EXPECT_EQ(d.ResultCode(), kOk);
    EXPECT_EQ(view.ended, kOk);
}

TEST(DialogLists, DropDownComboTextFollowsSelection) {
    Recorder d;
    d.SetItems("charset", {"UTF-8", "ISO-8859-1"});
    EXPECT_EQ(d.Selection("charset"), -1);
    EXPECT_EQ(d.Text("charset"), "");
    d.SetSelection("charset", 1);
    EXPECT_EQ(d.Text("charset"), "ISO-8859-1");
    d.SetText("charset", "UTF-8");
    EXPECT_EQ(d.Selection("charset"), 0);
    d.SetText("charset", "KOI8-R");  // not an item: a drop-down list cannot show it
    EXPECT_EQ(d.Text("charset"), "UTF-8");
    d.RemoveItem("charset", 0);
    EXPECT_EQ(d.Selection("charset"), -1);
    EXPECT_EQ(d.Text("charset"), "");
    d.SetSelection("charset", 5);
    EXPECT_EQ(d.Selection("charset"), -1);
}

TEST(DialogLists, EditableComboKeepsTypedTextAndTakesChosenItem) {
    Recorder d;
    d.SetItems("server", {"alpha", "beta"});
    d.SetText("server", "gamma");
    EXPECT_EQ(d.Text("server"), "gamma");
    d.UserSelect("server", 1);
    EXPECT_EQ(d.Text("server"), "beta");
    EXPECT_EQ(d.commands, std::vector<std::string>{"server:2"});
}

TEST(DialogLists, SortedListInsertsInOrderAndSelectionFollowsItsItem) {
    Recorder d;
    d.AddItem("names", "m");
    d.SetSelection("names", 0);
    EXPECT_EQ(d.AddItem("names", "z"), 1);
    EXPECT_EQ(d.AddItem("names", "a"), 0);
    EXPECT_EQ(d.Items("names"), (std::vector<std::string>{"a", "m", "z"}));
    EXPECT_EQ(d.Selection("names"), 1);
    EXPECT_EQ(d.Text("names"), "m");
    EXPECT_EQ(d.FindItem("names", "z"), 2);
    EXPECT_EQ(d.FindItem("names", "q"), -1);
}

TEST(DialogReports, RowCountClipsSelectionAndAsksForRefetch) {
    Recorder d;
    ViewLog view;
    d.Attach(nullptr, &view);
    d.SetRowCount("rows", 5);
    d.SetSelectedRows("rows", {4, 1, 1, 9});
    EXPECT_EQ(d.SelectedRows("rows"), (std::vector<int>{1, 4}));
    EXPECT_EQ(d.Selection("rows"), 1);
    d.SetRowCount("rows", 3);
    EXPECT_EQ(d.SelectedRows("rows"), std::vector<int>{1});
    EXPECT_EQ(view.rows, (std::vector<std::string>{"rows", "rows"}));
    d.UserSelect("rows", 2);
    EXPECT_EQ(d.SelectedRows("rows"), std::vector<int>{2});
    d.UserDoubleClick("rows", 0);
    EXPECT_EQ(d.Selection("rows"), 0);
    EXPECT_EQ(d.commands, (std::vector<std::string>{"rows:2", "rows:3"}));
}

TEST(DialogTimers, SetAndKillAreRecordedAndTold) {
    Recorder d;
    ViewLog view;
    d.Attach(nullptr, &view);
    d.SetTimer(7, 1000);
    d.SetTimer(8, 50);
    d.KillTimer(7);
    d.KillTimer(99);
    EXPECT_EQ(d.Timers().size(), 1u);
    EXPECT_EQ(d.Timers().at(8), 50);
    EXPECT_EQ(view.set, (std::vector<std::pair<int, int>>{{7, 1000}, {8, 50}}));
    EXPECT_EQ(view.killed, std::vector<int>{7});
    d.UserTimer(8);
    EXPECT_EQ(d.timers, std::vector<int>{8});
}

TEST(DialogHost, DialogWithoutHostGetsTheNullHost) {
    Recorder d;
    EXPECT_FALSE(d.HasHost());
    MessageBoxSpec spec;
    spec.buttons = Buttons::YesNo;
    spec.defaultButton = 1;
    EXPECT_EQ(d.GetHost().MessageBox(spec), kNo);
}

TEST(Templates, StripAcceleratorKeepsDoubledAmpersand) {
    EXPECT_EQ(StripAccelerator("&Add"), "Add");
    EXPECT_EQ(StripAccelerator("Save && &Close"), "Save & Close");
    EXPECT_EQ(StripAccelerator("trailing&"), "trailing");
}

}  // namespace
