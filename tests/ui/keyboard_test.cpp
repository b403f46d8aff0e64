// The keyboard in the UI layer: access keys given to templates, keys and type-ahead on
// lists reaching the procedure, lists scrolling to a row the procedure selects, and the
// script driver's key and type commands.
#include <gtest/gtest.h>

#include <sstream>

#include "platform/clock.h"
#include "sample_dialogs.h"
#include "ui/access_keys.h"
#include "ui/script_driver.h"

namespace {

using namespace ui;

std::vector<std::string> Labels(const Template& t) {
    std::vector<std::string> labels;
    ForEachControl(t.controls, [&](const Control& c) {
        if (!c.label.empty()) labels.push_back(c.label);
    });
    return labels;
}

TEST(AccessKeys, EveryLabelAndButtonGetsItsOwnLetterWordInitialsFirst) {
    Template t{"DIALOG_KEYS",
               "Keys",
               {Edit("host", "Host name:"), Edit("port", "&Port:"),
                Edit("user", "Host user:"),  // H taken: next initial
                Check("ssl", "Use SSL"), Button("add", "Add..."), Button("apply", "Apply it"),
                Static("note", "A note is no label"), Edit("wide", "Wide", Flag::Wide),
                Group("frame", "Frame", {Radio("r1", "Ready", Flag::GroupStart)}),
                Button("hh", "hh"),    // H taken: "Host name:" moves on to its N
                Button("plus", "++"),  // no letter at all: a digit
                Button("amp", "R&&D"), OkCancelRow()}};
    const Template keyed = WithAccessKeys(t, "a");
    EXPECT_EQ(Labels(keyed), (std::vector<std::string>{
                                 "Host &name:", "&Port:", "Host &user:", "Use &SSL", "A&dd...",
                                 "Apply &it", "A note is no label", "Wide", "Frame", "R&eady", "&hh",
                                 "++ (&1)", "&R&&D", "&OK", "&Cancel"}));
    // What is left without a key, and a clash, are reported by control.
    EXPECT_TRUE(AccessKeyProblems(keyed, "a").empty());
    // More labels than letters: the last ones get digits, before a colon or an ellipsis.
    Template crowded{
        "DIALOG_CROWDED",
        "",
        {Button("a1", "Go"), Button("a2", "Go"), Button("a3", "Go..."), Edit("e", "Go:")}};
    EXPECT_EQ(Labels(WithAccessKeys(crowded)),
              (std::vector<std::string>{"&Go", "G&o", "Go (&1)...", "Go (&2):"}));
    Template unkeyed{"DIALOG_BARE", "", {Button("plus", "++"), Check("amp", "R&&D")}};
    EXPECT_EQ(AccessKeyProblems(unkeyed),
              (std::vector<std::string>{"plus (\"++\"): no access key",
                                        "amp (\"R&&D\"): no access key"}));
    Template clash{"DIALOG_CLASH", "", {Button("one", "&Go"), Check("two", "&Good")}};
    EXPECT_EQ(AccessKeyProblems(clash), (std::vector<std::string>{"one and two share alt+g"}));
    EXPECT_EQ(AccessKeyProblems(clash, "g").size(), 2u);  // the sheet's key counts too
    // A changed button text keeps the letter it had where it can.
    EXPECT_EQ(MarkAccessKey("Stop Test", 't'), "Stop &Test");
    EXPECT_EQ(MarkAccessKey("Run", 't'), "Run");
    EXPECT_EQ(AccessKeyOf("Pa&ssword"), 's');
    EXPECT_EQ(AccessKeyOf("R&&D"), 0);
}

// A list of names with keys: Enter and Delete act, Insert is not the procedure's.
class KeyedList : public Dialog {
public:
    KeyedList()
        : Dialog(Template{"DIALOG_KEYED",
                          "Keyed",
                          {List("names", "&Names:"), Report("rows", "&Rows:", {"Name", "Size"}),
                           Static("said", ""), OkCancelRow()}}) {}
    void OnInit() override {
        SetItems("names", {"alpha", "Beta", "bravo", "charlie"});
        SetRowCount("rows", 30);
    }
    std::vector<std::string> OnGetRow(const std::string&, int row) override {
        return {"row" + std::to_string(100 + row), std::to_string(row)};
    }
    bool OnKey(const std::string& id, Key key) override {
        if (key == Key::Insert) return false;
        SetText("said", id + (key == Key::Enter ? " enter" : " delete"));
        return true;
    }
    void OnCommand(const std::string& id, Event event) override {
        if (event == Event::SelChanged) ++selChanges[id];
        if (id == "rows" && event == Event::ColumnClicked)
            SetSelectedRows("rows", {29 - Selection("rows")});
    }
    std::map<std::string, int> selChanges;
};

TEST(ListKeys, ReachTheProcedureAndTypeAheadSelectsAndScrolls) {
    HeadlessHost host;
    host.QueueDialog([](Dialog& dialog) {
        auto& d = static_cast<KeyedList&>(dialog);
        EXPECT_TRUE(d.UserKey("names", Key::Enter));
        EXPECT_EQ(d.Text("said"), "names enter");
        EXPECT_TRUE(d.UserKey("rows", Key::Delete));
        EXPECT_EQ(d.Text("said"), "rows delete");
        EXPECT_FALSE(d.UserKey("rows", Key::Insert));

        // Letters find the first item beginning with them, ignoring case.
        EXPECT_TRUE(d.UserTypeAhead("names", "b"));
        EXPECT_EQ(d.Text("names"), "Beta");
        EXPECT_TRUE(d.UserTypeAhead("names", "br"));
        EXPECT_EQ(d.Text("names"), "bravo");
        EXPECT_EQ(d.State("names").visibleRow, 2);
        EXPECT_FALSE(d.UserTypeAhead("names", "brz"));
        EXPECT_EQ(d.Text("names"), "bravo");
        EXPECT_EQ(d.selChanges["names"], 2);

        // Rows are searched by their first cell; a far row is scrolled into view.
        EXPECT_TRUE(d.UserTypeAhead("rows", "ROW12"));
        EXPECT_EQ(d.SelectedRows("rows"), std::vector<int>{20});
        EXPECT_EQ(d.State("rows").visibleRow, 20);
        // A selection the procedure moves (as a sort does) is scrolled to as well.
        d.UserColumnClick("rows", 1);
        EXPECT_EQ(d.SelectedRows("rows"), std::vector<int>{9});
        EXPECT_EQ(d.State("rows").visibleRow, 9);
        d.UserClick(IDCANCEL);
    });
    KeyedList dialog;
    host.RunModal(dialog);
    EXPECT_FALSE(host.Failed()) << host.TranscriptText();
}

TEST(ScriptKeys, KeyAndTypeCommandsAndButtonsNamedWithoutTheirEllipsis) {
    platform::FakeClock clock;
    platform::SetClock(&clock);
    std::istringstream in(
        "type \"Names:\" \"ch\"\n"
        "expect names \"charlie\"\n"
        "key names Enter\n"
        "expect said \"names enter\"\n"
        "key rows insert\n"
        "key said Enter\n"
        "press Cancel\n");
    std::ostringstream out;
    ScriptHost host(in, out);
    KeyedList dialog;
    host.RunModal(dialog);
    platform::SetClock(nullptr);
    EXPECT_EQ(host.ExitStatus(0), 3);
    EXPECT_EQ(out.str(),
              "open: Keyed\n"
              "FAIL: line 6: \"said\" is not a list\n"
              "close: Keyed = Cancel\n");

    std::string error;
    EXPECT_FALSE(ParseScriptCommand("key names Space", 1, error).has_value());
    EXPECT_EQ(error, "usage: key CONTROL Enter|Insert|Delete");
    EXPECT_FALSE(ParseScriptCommand("type names", 1, error).has_value());
}

// A viewer whose accept button says "Close".
class Viewer : public Dialog {
public:
    Viewer()
        : Dialog(
              Template{"DIALOG_VIEWER", "Viewer", {ui::Row("buttons", {Button(IDOK, "Close")})}}) {}
};

TEST(ScriptKeys, OkStillNamesTheAcceptButtonOfAViewerThatSaysClose) {
    platform::FakeClock clock;
    platform::SetClock(&clock);
    std::istringstream in("press OK\n");
    std::ostringstream out;
    ScriptHost host(in, out);
    Viewer viewer;
    host.RunModal(viewer);
    platform::SetClock(nullptr);
    EXPECT_EQ(host.ExitStatus(0), 0) << out.str();
    EXPECT_EQ(out.str(), "open: Viewer\nclose: Viewer = OK\n");
}

TEST(ScriptKeys, PressFindsAButtonWhoseLabelEndsInAnEllipsis) {
    platform::FakeClock clock;
    platform::SetClock(&clock);
    std::istringstream in(
        "press More\npress OK\npress \"&More\"\npress Cancel\nset host \"h\"\npress OK\n");
    std::ostringstream out;
    ScriptHost host(in, out);
    sample::ConnectionDialog dialog;
    host.RunModal(dialog);
    platform::SetClock(nullptr);
    EXPECT_EQ(host.ExitStatus(0), 0) << out.str();
    EXPECT_EQ(out.str(),
              "open: Sample Connection\n"
              "open: More Settings\n"
              "close: More Settings = OK\n"
              "open: More Settings\n"
              "close: More Settings = Cancel\n"
              "close: Sample Connection = OK\n");
}

}  // namespace
