// Conventions shared by every page of the console's property sheet: the sheet-wide
// unsaved-changes flag, the question on Cancel, Help opening the manual, and the
// "Save configuration changes?" step before service actions.
#pragma once

#include "ui/host.h"
#include "ui/sheet.h"

namespace shell {

class ConsolePage : public ui::Page {
public:
    using ui::Page::Page;

    // Cancel or close: with unsaved changes ask "Exit without saving configuration
    // changes?"; only Yes lets the sheet close.
    bool OnQueryCancel() override;
    void OnHelp() override;
    // Every page answers with the sheet-wide flag.
    bool HasUnsavedChanges() const override;

protected:
    // A setting changed by the user; ignored while the page fills its controls.
    void SettingChanged();
};

// `OpenManual`: opens the manual with the shell, in the manual's own directory.
void OpenManual(ui::Host& host);

// The manual for a program directory (ending in "/"): "quvsms.pdf" in it when present (a
// build tree); else, for an installed program directory "<prefix>/lib/quvsms/", the
// package's copy "<prefix>/share/quvsms/manual/quvsms.pdf" when present; else the first
// path, which does not exist.
std::string ManualPath(const std::string& programDirectory);

// Before a service action started from a page: when any page has unsaved changes ask
// "Save configuration changes?"; on Yes apply every page. Returns false when the action
// must be dropped (applying failed); No and Cancel let it go ahead unsaved.
bool SaveChangesBeforeServiceAction(ui::Page& page);

// A page whose content a later release provides: the tab is there, the page is empty.
class EmptyPage : public ConsolePage {
public:
    EmptyPage(const std::string& templateId, const std::string& title);
};

}  // namespace shell
