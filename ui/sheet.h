// Property sheets: pages are dialogs with sheet notifications; the sheet owns the
// sheet-wide unsaved-changes flag, the active page and the OK / Cancel / Apply / Help
// buttons, with the Win32 property-sheet sequence of notifications.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "ui/dialog.h"

namespace ui {

class Sheet;

class Page : public Dialog {
public:
    using Dialog::Dialog;
    // The page becomes the active one (after OnInit on first activation).
    virtual void OnSetActive() {}
    // The page is about to be left (tab change or OK). false keeps it active.
    virtual bool OnKillActive() { return true; }
    // Apply or OK: store the settings. false keeps the sheet open on this page.
    virtual bool OnApply() { return true; }
    // Cancel or close was asked on this (the active) page. false keeps the sheet open.
    virtual bool OnQueryCancel() { return true; }
    // The sheet closed by Cancel (called on every created page).
    virtual void OnReset() {}
    // Help pressed while this page is active.
    virtual void OnHelp() {}
    // Whether this page holds unsaved changes (the QuerySiblings answer).
    virtual bool HasUnsavedChanges() const { return false; }

    Sheet* GetSheet() const { return sheet_; }
    // Tells the sheet that a setting changed: sets the sheet-wide flag, enables Apply.
    void MarkChanged();

private:
    friend class Sheet;
    Sheet* sheet_ = nullptr;
};

class SheetView {
public:
    virtual ~SheetView() = default;
    // The view that will show page `index`; asked once, just before the page is created.
    virtual DialogView* CreatePageView(int index) = 0;
    virtual void PageActivated(int index) = 0;
    virtual void ApplyEnabledChanged(bool enabled) = 0;
    virtual void SheetEnded(int result) = 0;
};

class Sheet {
public:
    explicit Sheet(std::string caption);
    const std::string& Caption() const { return caption_; }

    void AddPage(std::unique_ptr<Page> page);
    int PageCount() const { return static_cast<int>(pages_.size()); }
    Page& PageAt(int index) const { return *pages_.at(index); }
    std::vector<std::string> TabTitles() const;

    // Index shown first; default 0.
    void SetStartPage(int index) { startPage_ = index; }
    int StartPage() const { return startPage_; }
    void SetHelpButton(bool shown) { helpButton_ = shown; }
    bool HelpButton() const { return helpButton_; }
    void SetMinimizeBox(bool shown) { minimizeBox_ = shown; }
    bool MinimizeBox() const { return minimizeBox_; }

    // The sheet-wide unsaved-changes flag; Apply is enabled exactly while it is set.
    bool Changed() const { return changed_; }
    void SetChanged(bool changed);
    // Any page that has been created reports unsaved changes, or the flag is set.
    bool AnyUnsaved() const;
    bool ApplyEnabled() const { return applyEnabled_; }

    int ActiveIndex() const { return active_; }
    // Valid once Open has run (and the sheet has at least one page).
    Page& ActivePage() const { return *pages_.at(active_); }

    // ---- host side ----------------------------------------------------------------------
    void Attach(Host* host, SheetView* view);
    void Detach();
    // Creates (OnInit) and activates the start page.
    void Open();
    // Moves to page `index`: OnKillActive of the current page may refuse (false).
    bool Activate(int index);
    // OK: kill-active, apply every created page, end with kOk. false when refused; a
    // page that refuses to apply becomes the active page.
    bool PressOk();
    // Apply: kill-active, then apply every created page; Apply is disabled and the flag
    // cleared on success.
    bool PressApply();
    // Cancel or close: OnQueryCancel of the active page; on consent OnReset on every
    // created page and end with kCancel.
    bool PressCancel();
    void PressHelp();
    // Applies every created page (the "Save configuration changes?" helper uses it).
    bool ApplyAll();

    void End(int result);
    bool IsEnded() const { return ended_; }
    int ResultCode() const { return result_; }
    Host* GetHost() const { return host_; }

    // Whether page `index` has been created (pages are created on first activation).
    bool Created(int index) const;

private:
    void EnsureCreated(int index);
    void MakeActive(int index);
    // OnApply on every created page; the first refusal activates that page and stops.
    bool ApplyPages();

    std::string caption_;
    std::vector<std::unique_ptr<Page>> pages_;
    std::vector<bool> created_;
    Host* host_ = nullptr;
    SheetView* view_ = nullptr;
    int startPage_ = 0;
    int active_ = -1;
    bool helpButton_ = false;
    bool minimizeBox_ = false;
    bool changed_ = false;
    bool applyEnabled_ = false;
    bool ended_ = false;
    int result_ = 0;
};

}  // namespace ui
