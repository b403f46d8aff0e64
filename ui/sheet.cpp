#include "ui/sheet.h"

#include <utility>

#include "ui/host.h"

namespace ui {

void Page::MarkChanged() {
    if (sheet_) sheet_->SetChanged(true);
}

Sheet::Sheet(std::string caption) : caption_(std::move(caption)) {}

void Sheet::AddPage(std::unique_ptr<Page> page) {
    if (!page) return;
    page->sheet_ = this;
    pages_.push_back(std::move(page));
    created_.push_back(false);
}

std::vector<std::string> Sheet::TabTitles() const {
    std::vector<std::string> titles;
    for (const auto& page : pages_) titles.push_back(page->Title());
    return titles;
}

void Sheet::SetChanged(bool changed) {
    changed_ = changed;
    if (applyEnabled_ != changed) {
        applyEnabled_ = changed;
        if (view_) view_->ApplyEnabledChanged(changed);
    }
}

bool Sheet::AnyUnsaved() const {
    if (changed_) return true;
    for (std::size_t i = 0; i < pages_.size(); ++i)
        if (created_[i] && pages_[i]->HasUnsavedChanges()) return true;
    return false;
}

void Sheet::Attach(Host* host, SheetView* view) {
    host_ = host;
    view_ = view;
    for (auto& page : pages_) page->sheet_ = this;
}

void Sheet::Detach() {
    for (auto& page : pages_) page->Detach();
    host_ = nullptr;
    view_ = nullptr;
}

void Sheet::EnsureCreated(int index) {
    if (created_[index]) return;
    created_[index] = true;
    DialogView* view = view_ ? view_->CreatePageView(index) : nullptr;
    Page& page = *pages_[index];
    page.Attach(host_, view);
    page.Initialize();
}

void Sheet::MakeActive(int index) {
    EnsureCreated(index);
    active_ = index;
    pages_[index]->OnSetActive();
    if (view_) view_->PageActivated(index);
}

void Sheet::Open() {
    if (pages_.empty()) return;
    int start = startPage_ >= 0 && startPage_ < PageCount() ? startPage_ : 0;
    active_ = -1;
    MakeActive(start);
}

bool Sheet::Activate(int index) {
    if (index < 0 || index >= PageCount()) return false;
    if (index == active_) return true;
    if (active_ >= 0 && !pages_[active_]->OnKillActive()) return false;
    MakeActive(index);
    return true;
}

bool Sheet::ApplyPages() {
    for (int i = 0; i < PageCount(); ++i) {
        if (!created_[i] || pages_[i]->OnApply()) continue;
        // The refusing page has said why; show it without asking the current page again.
        if (i != active_) MakeActive(i);
        return false;
    }
    SetChanged(false);
    return true;
}

bool Sheet::PressOk() {
    if (active_ >= 0 && !pages_[active_]->OnKillActive()) return false;
    if (!ApplyPages()) return false;
    End(kOk);
    return true;
}

bool Sheet::PressApply() {
    if (active_ >= 0 && !pages_[active_]->OnKillActive()) return false;
    return ApplyPages();
}

bool Sheet::PressCancel() {
    if (active_ >= 0 && !pages_[active_]->OnQueryCancel()) return false;
    for (int i = 0; i < PageCount(); ++i)
        if (created_[i]) pages_[i]->OnReset();
    End(kCancel);
    return true;
}

void Sheet::PressHelp() {
    if (active_ >= 0) pages_[active_]->OnHelp();
}

bool Sheet::ApplyAll() { return ApplyPages(); }

bool Sheet::Created(int index) const {
    return index >= 0 && index < PageCount() && created_[index];
}

void Sheet::End(int result) {
    ended_ = true;
    result_ = result;
    if (view_) view_->SheetEnded(result);
}

}  // namespace ui
