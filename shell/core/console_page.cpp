#include "shell/core/console_page.h"

#include "platform/files.h"
#include "shell/core/console_state.h"

namespace shell {

bool ConsolePage::OnQueryCancel() {
    ui::Sheet* sheet = GetSheet();
    bool unsaved = sheet != nullptr ? sheet->AnyUnsaved() : HasUnsavedChanges();
    if (!unsaved) return true;
    // No is the default: Enter on this question must not throw the changes away.
    return ui::Ask(GetHost(), "Exit without saving configuration changes?",
                   ui::Buttons::YesNoCancel, 1) == ui::kYes;
}

void ConsolePage::OnHelp() { OpenManual(GetHost()); }

bool ConsolePage::HasUnsavedChanges() const {
    return GetSheet() != nullptr && GetSheet()->Changed();
}

void ConsolePage::SettingChanged() {
    if (!Filling()) MarkChanged();
}

void OpenManual(ui::Host& host) {
    const std::string& manual = Console().manualPath;
    std::string dir = manual.substr(0, manual.find_last_of('/') + 1);
    host.ShellOpen(manual, dir);
}

std::string ManualPath(const std::string& programDirectory) {
    const std::string beside = programDirectory + kManualFileName;
    if (platform::FileExists(beside)) return beside;
    const std::string suffix = "/lib/quvsms/";
    if (programDirectory.size() > suffix.size() &&
        programDirectory.compare(programDirectory.size() - suffix.size(), suffix.size(), suffix) == 0) {
        std::string prefix = programDirectory.substr(0, programDirectory.size() - suffix.size());
        std::string shared = prefix + "/share/quvsms/manual/" + kManualFileName;
        if (platform::FileExists(shared)) return shared;
    }
    return beside;
}

bool SaveChangesBeforeServiceAction(ui::Page& page) {
    ui::Sheet* sheet = page.GetSheet();
    if (sheet == nullptr || !sheet->AnyUnsaved()) return true;
    int answer = ui::Ask(page.GetHost(), "Save configuration changes?", ui::Buttons::YesNoCancel);
    if (answer != ui::kYes) return true;
    return sheet->ApplyAll();
}

EmptyPage::EmptyPage(const std::string& templateId, const std::string& title)
    : ConsolePage(ui::Template{templateId, title, {}}) {}

}  // namespace shell
