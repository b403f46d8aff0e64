// Small dialogs and a sheet shaped like the console's, for the host and script tests.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "ui/host.h"

namespace sample {

using namespace ui;

// A details dialog opened from the connection dialog's "&More..." button.
class MoreDialog : public Dialog {
public:
    MoreDialog()
        : Dialog(
              Template{"DIALOG_MORE", "More Settings", {Edit("note", "&Note:"), OkCancelRow()}}) {}
    void OnOk() override {
        note = Text("note");
        End(kOk);
    }
    std::string note;
};

// A connection dialog: fields, a test that fails with the usual question, a nested
// dialog, a one-second status timer and a disabled button.
class ConnectionDialog : public Dialog {
public:
    ConnectionDialog()
        : Dialog(
              Template{"DIALOG_CONN",
                       "Sample Connection",
                       {Edit("host", "&Host:"), Edit("port", "&Port:", Flag::Number),
                        Check("ssl", "Use &SSL"), Radio("modeA", "Mode &A", Flag::GroupStart),
                        Radio("modeB", "Mode &B"), Combo("charset", "&Charset:"),
                        Report("peers", "Peers:", {"Name", "Address"}), Static("status", "Status:"),
                        Static("v1", "Value:"), Static("v2", "Value:"), Button("test", "&Test"),
                        Button("more", "&More..."), Button("del", "&Delete", Flag::Disabled),
                        OkCancelRow()}}) {}
    void OnInit() override {
        SetItems("charset", {"UTF-8", "ISO-8859-1"});
        SetSelection("charset", 0);
        SetChecked("modeA", true);
        SetRowCount("peers", 2);
        SetTimer(1, 1000);
    }
    std::vector<std::string> OnGetRow(const std::string&, int row) override {
        return {row == 0 ? "alpha" : "beta", "10.0.0." + std::to_string(row + 1)};
    }
    void OnCommand(const std::string& id, Event event) override {
        if (id == "test") {
            int answer =
                Ask(GetHost(), "Connection failed.\r\nSave connection?", Buttons::YesNo, 1);
            SetText("status", answer == kYes ? "Saved" : "Not saved");
        } else if (id == "more") {
            MoreDialog more;
            if (GetHost().RunModal(more) == kOk) SetText("status", "Note: " + more.note);
        } else if (id == "peers" && event == Event::SelChanged) {
            SetText("status", "Peer " + Row("peers", Selection("peers"))[0]);
        } else if (id == "peers" && event == Event::ColumnClicked) {
            SetText("status", "Column " + std::to_string(ClickedColumn("peers")));
        }
    }
    void OnTimer(int) override { SetText("status", "Ticks: " + std::to_string(++ticks)); }
    void OnOk() override {
        if (Text("host").empty()) {
            Error(GetHost(), "Enter a host.");
            return;
        }
        End(kOk);
    }
    int ticks = 0;
};

// A settings page; typing in it marks the sheet changed, and its cancel asks first.
class GeneralPage : public Page {
public:
    GeneralPage()
        : Page(Template{
              "DIALOG_GENERAL",
              "General",
              {Edit("name", "&Name:"), Check("lock", "&Lock this page"), Button("help", "Help")}}) {
    }
    void OnCommand(const std::string& id, Event) override {
        if (id == "name") MarkChanged();
        if (id == "help") SetText("name", "page help");
    }
    bool OnKillActive() override {
        if (!Checked("lock")) return true;
        Info(GetHost(), "This page is locked.");
        return false;
    }
    bool OnApply() override {
        applied++;
        return true;
    }
    bool OnQueryCancel() override {
        Sheet* sheet = GetSheet();
        if (!sheet || !sheet->AnyUnsaved()) return true;
        return Ask(GetHost(), "Exit without saving configuration changes?", Buttons::YesNoCancel) ==
               kYes;
    }
    int applied = 0;
};

class DetailsPage : public Page {
public:
    DetailsPage()
        : Page(Template{"DIALOG_DETAILS",
                        "Details",
                        {Static("clock", "Clock"), Button("open", "&Open...")}}) {}
    void OnInit() override { SetTimer(5, 500); }
    void OnTimer(int) override { SetText("clock", std::to_string(++ticks)); }
    void OnCommand(const std::string& id, Event) override {
        if (id != "open") return;
        OpenFileSpec spec;
        spec.title = "Open Picture";
        std::string path;
        if (GetHost().GetFileName(spec, path)) GetHost().ShellOpen(path, "");
    }
    void OnHelp() override { GetHost().ShellOpen("manual.pdf", ""); }
    int ticks = 0;
};

inline std::unique_ptr<Sheet> MakeSheet() {
    auto sheet = std::make_unique<Sheet>("Sample Sheet");
    sheet->AddPage(std::make_unique<GeneralPage>());
    sheet->AddPage(std::make_unique<DetailsPage>());
    sheet->SetHelpButton(true);
    return sheet;
}

}  // namespace sample
