#include "ui/dialog.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <utility>

#include "platform/text.h"
#include "ui/host.h"

namespace ui {

namespace {

// Radios group the Win32 way: a run of consecutive radios among siblings, broken by any
// other control or by a radio that starts a new group.
void CollectRadioGroups(const std::vector<Control>& controls,
                        std::vector<std::vector<std::string>>& groups) {
    bool inRun = false;
    for (const Control& c : controls) {
        if (c.kind == Kind::Radio && !c.id.empty()) {
            if (!inRun || (c.flags & Flag::GroupStart)) groups.emplace_back();
            groups.back().push_back(c.id);
            inRun = true;
        } else {
            inRun = false;
        }
        CollectRadioGroups(c.children, groups);
    }
}

bool ShowsLabel(Kind kind) {
    return kind == Kind::Static || kind == Kind::Button || kind == Kind::Check ||
           kind == Kind::Radio || kind == Kind::Group;
}

}  // namespace

Dialog::Dialog(Template tmpl) : template_(std::move(tmpl)), title_(template_.title) {
    ForEachControl(template_.controls, [this](const Control& c) {
        if (c.id.empty()) return;
#ifndef NDEBUG
        if (state_.count(c.id))
            std::fprintf(stderr, "ui: %s uses the id \"%s\" twice\n", template_.id.c_str(),
                         c.id.c_str());
#endif
        ControlState& s = state_[c.id];
        if (ShowsLabel(c.kind)) s.text = c.label;
        s.enabled = !(c.flags & Flag::Disabled);
        s.visible = !(c.flags & Flag::Hidden);
        kinds_[c.id] = c.kind;
    });
    std::vector<std::vector<std::string>> groups;
    CollectRadioGroups(template_.controls, groups);
    for (const auto& group : groups)
        for (const std::string& id : group) radioGroups_[id] = group;
}

Dialog::~Dialog() = default;

void Dialog::Unknown(const std::string& id) const { GetHost().UnknownControl(template_.id, id); }

void Dialog::SetTitle(const std::string& title) {
    title_ = title;
    if (view_) view_->TitleChanged();
}

bool Dialog::Has(const std::string& id) const { return state_.count(id) != 0; }

Kind Dialog::KindOf(const std::string& id) const {
    auto it = kinds_.find(id);
    return it == kinds_.end() ? Kind::Static : it->second;
}

const ControlState& Dialog::State(const std::string& id) const {
    static const ControlState kEmpty;
    auto it = state_.find(id);
    if (it != state_.end()) return it->second;
    Unknown(id);
    return kEmpty;
}

ControlState& Dialog::Mut(const std::string& id) {
    auto it = state_.find(id);
    if (it != state_.end()) return it->second;
    Unknown(id);
    // Writes to an unknown id land in a scratch state that nobody reads.
    static thread_local ControlState scratch;
    scratch = ControlState();
    return scratch;
}

void Dialog::Notify(const std::string& id) {
    if (view_ && Has(id)) view_->ControlChanged(id);
}

bool Dialog::FollowsSelection(const std::string& id) const {
    Kind kind = KindOf(id);
    if (kind == Kind::List) return true;
    if (kind != Kind::Combo) return false;
    const Control* c = FindControl(id);
    return c && !(c->flags & Flag::Editable);
}

const Control* Dialog::FindControl(const std::string& id) const {
    const Control* found = nullptr;
    ForEachControl(template_.controls, [&](const Control& c) {
        if (!found && c.id == id) found = &c;
    });
    return found;
}

void Dialog::SyncListText(const std::string& id) {
    ControlState& s = Mut(id);
    if (s.selection >= static_cast<int>(s.items.size())) s.selection = -1;
    if (FollowsSelection(id)) s.text = s.selection >= 0 ? s.items[s.selection] : std::string();
}

std::string Dialog::Text(const std::string& id) const { return State(id).text; }

void Dialog::SetText(const std::string& id, const std::string& text) {
    if (!Has(id)) return Unknown(id);
    if (FollowsSelection(id)) {
        // A drop-down list cannot show text that is not one of its items.
        int index = FindItem(id, text);
        if (index >= 0) SetSelection(id, index);
        return;
    }
    Mut(id).text = text;
    Notify(id);
}

bool Dialog::Checked(const std::string& id) const { return State(id).checked; }

void Dialog::SetChecked(const std::string& id, bool checked) {
    if (!Has(id)) return Unknown(id);
    if (checked && KindOf(id) == Kind::Radio) {
        for (const std::string& other : radioGroups_[id]) {
            if (other == id || !state_[other].checked) continue;
            state_[other].checked = false;
            Notify(other);
        }
    }
    Mut(id).checked = checked;
    Notify(id);
}

bool Dialog::Enabled(const std::string& id) const { return State(id).enabled; }

void Dialog::Enable(const std::string& id, bool enabled) {
    Mut(id).enabled = enabled;
    Notify(id);
}

bool Dialog::Visible(const std::string& id) const { return State(id).visible; }

void Dialog::Show(const std::string& id, bool visible) {
    Mut(id).visible = visible;
    Notify(id);
}

bool Dialog::Alarm(const std::string& id) const { return State(id).alarm; }

void Dialog::SetAlarm(const std::string& id, bool alarm) {
    Mut(id).alarm = alarm;
    Notify(id);
}

void Dialog::SetTip(const std::string& id, const std::string& tip) {
    Mut(id).tip = tip;
    Notify(id);
}

void Dialog::SetEmptyText(const std::string& id, const std::string& text) {
    Mut(id).emptyText = text;
    Notify(id);
}

void Dialog::Focus(const std::string& id) {
    if (!Has(id)) return Unknown(id);
    if (view_) view_->FocusRequested(id);
}

const std::vector<std::string>& Dialog::Items(const std::string& id) const {
    return State(id).items;
}

void Dialog::SetItems(const std::string& id, std::vector<std::string> items) {
    if (!Has(id)) return Unknown(id);
    const Control* c = FindControl(id);
    if (c && (c->flags & Flag::Sorted)) std::sort(items.begin(), items.end());
    ControlState& s = Mut(id);
    s.items = std::move(items);
    s.selection = -1;
    s.selectedRows.clear();
    SyncListText(id);
    Notify(id);
}

int Dialog::AddItem(const std::string& id, const std::string& item) {
    if (!Has(id)) {
        Unknown(id);
        return -1;
    }
    ControlState& s = Mut(id);
    const Control* c = FindControl(id);
    auto pos = s.items.end();
    if (c && (c->flags & Flag::Sorted))
        pos = std::upper_bound(s.items.begin(), s.items.end(), item);
    int index = static_cast<int>(pos - s.items.begin());
    s.items.insert(pos, item);
    if (s.selection >= index) ++s.selection;
    SyncListText(id);
    Notify(id);
    return index;
}

void Dialog::RemoveItem(const std::string& id, int index) {
    ControlState& s = Mut(id);
    if (index < 0 || index >= static_cast<int>(s.items.size())) return;
    s.items.erase(s.items.begin() + index);
    if (s.selection == index)
        s.selection = -1;
    else if (s.selection > index)
        --s.selection;
    SyncListText(id);
    Notify(id);
}

void Dialog::ClearItems(const std::string& id) { SetItems(id, {}); }

int Dialog::FindItem(const std::string& id, const std::string& text) const {
    const auto& items = State(id).items;
    auto it = std::find(items.begin(), items.end(), text);
    return it == items.end() ? -1 : static_cast<int>(it - items.begin());
}

int Dialog::Selection(const std::string& id) const { return State(id).selection; }

void Dialog::SetSelection(const std::string& id, int index) {
    if (!Has(id)) return Unknown(id);
    if (KindOf(id) == Kind::Report) {
        SetSelectedRows(id, index >= 0 ? std::vector<int>{index} : std::vector<int>{});
        return;
    }
    ControlState& s = Mut(id);
    const int before = s.selection;
    s.selection = index >= 0 && index < static_cast<int>(s.items.size()) ? index : -1;
    s.selectedRows = s.selection >= 0 ? std::vector<int>{s.selection} : std::vector<int>{};
    if (KindOf(id) == Kind::Combo && !FollowsSelection(id) && s.selection >= 0)
        s.text = s.items[s.selection];
    SyncListText(id);
    Notify(id);
    if (KindOf(id) == Kind::List && s.selection >= 0 && s.selection != before)
        EnsureVisible(id, s.selection);
}

void Dialog::SetRowCount(const std::string& id, int rows) {
    if (!Has(id)) return Unknown(id);
    ControlState& s = Mut(id);
    s.rowCount = std::max(rows, 0);
    std::erase_if(s.selectedRows, [&](int r) { return r >= s.rowCount; });
    s.selection = s.selectedRows.empty() ? -1 : s.selectedRows.front();
    if (view_) view_->RowsChanged(id);
    Notify(id);
}

int Dialog::RowCount(const std::string& id) const { return State(id).rowCount; }

void Dialog::RefreshRows(const std::string& id) {
    if (!Has(id)) return Unknown(id);
    if (view_) view_->RowsChanged(id);
}

std::vector<int> Dialog::SelectedRows(const std::string& id) const {
    return State(id).selectedRows;
}

void Dialog::SetSelectedRows(const std::string& id, std::vector<int> rows) {
    if (!Has(id)) return Unknown(id);
    ControlState& s = Mut(id);
    int limit = KindOf(id) == Kind::Report ? s.rowCount : static_cast<int>(s.items.size());
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    std::erase_if(rows, [&](int r) { return r < 0 || r >= limit; });
    const bool moved = rows != s.selectedRows;
    s.selectedRows = std::move(rows);
    s.selection = s.selectedRows.empty() ? -1 : s.selectedRows.front();
    if (KindOf(id) != Kind::Report) SyncListText(id);
    Notify(id);
    // A row the procedure selects (after a sort, a refresh or a search) is one the user
    // should see; the user's own selection is already on screen.
    if (moved && s.selection >= 0) EnsureVisible(id, s.selection);
}

void Dialog::EnsureVisible(const std::string& id, int row) {
    if (!Has(id)) return Unknown(id);
    ControlState& s = Mut(id);
    const int limit = KindOf(id) == Kind::Report ? s.rowCount : static_cast<int>(s.items.size());
    if (row < 0 || row >= limit) return;
    s.visibleRow = row;
    if (view_) view_->ScrollRequested(id, row);
}

void Dialog::SetSortIndicator(const std::string& id, int column, bool descending) {
    if (!Has(id)) return Unknown(id);
    ControlState& s = Mut(id);
    s.sortColumn = column >= 0 && column < ColumnCount(id) ? column : -1;
    s.sortDescending = s.sortColumn >= 0 && descending;
    Notify(id);
}

int Dialog::ColumnCount(const std::string& id) const {
    const Control* c = FindControl(id);
    return c && c->kind == Kind::Report ? static_cast<int>(c->columns.size()) : 0;
}

void Dialog::End(int result) {
    ended_ = true;
    result_ = result;
    if (view_) view_->Ended(result);
}

void Dialog::SetTimer(int timerId, int ms) {
    timers_[timerId] = ms;
    if (view_) view_->TimerSet(timerId, ms);
}

void Dialog::KillTimer(int timerId) {
    if (timers_.erase(timerId) && view_) view_->TimerKilled(timerId);
}

Host& Dialog::GetHost() const { return host_ ? *host_ : NullHost(); }

void Dialog::Attach(Host* host, DialogView* view) {
    host_ = host;
    view_ = view;
    ended_ = false;  // a dialog object may be shown again after it ended
    result_ = 0;
}

void Dialog::Detach() {
    host_ = nullptr;
    view_ = nullptr;
}

void Dialog::Initialize() {
    if (initialized_) return;
    filling_ = true;
    OnInit();
    filling_ = false;
    initialized_ = true;
}

void Dialog::UserClick(const std::string& id) {
    if (!Has(id)) return Unknown(id);
    if (id == IDOK) return OnOk();
    if (id == IDCANCEL) return OnCancel();
    Kind kind = KindOf(id);
    if (kind == Kind::Check) {
        state_[id].checked = !state_[id].checked;
    } else if (kind == Kind::Radio) {
        for (const std::string& other : radioGroups_[id]) {
            if (other == id || !state_[other].checked) continue;
            state_[other].checked = false;
            Notify(other);  // the view shows only the clicked radio changing
        }
        state_[id].checked = true;
    }
    OnCommand(id, Event::Clicked);
}

void Dialog::UserSetText(const std::string& id, const std::string& text) {
    if (!Has(id)) return Unknown(id);
    state_[id].text = text;
    OnCommand(id, Event::Changed);
}

void Dialog::UserSelect(const std::string& id, int index) {
    if (!Has(id)) return Unknown(id);
    ControlState& s = state_[id];
    if (KindOf(id) == Kind::Report) {
        s.selectedRows =
            index >= 0 && index < s.rowCount ? std::vector<int>{index} : std::vector<int>{};
        s.selection = s.selectedRows.empty() ? -1 : index;
    } else {
        s.selection = index >= 0 && index < static_cast<int>(s.items.size()) ? index : -1;
        s.selectedRows = s.selection >= 0 ? std::vector<int>{s.selection} : std::vector<int>{};
        if (KindOf(id) == Kind::Combo && s.selection >= 0) s.text = s.items[s.selection];
        SyncListText(id);
    }
    OnCommand(id, Event::SelChanged);
}

void Dialog::UserSelectRows(const std::string& id, std::vector<int> rows) {
    if (!Has(id)) return Unknown(id);
    DialogView* view = view_;
    view_ = nullptr;  // the view already shows what the user selected
    SetSelectedRows(id, std::move(rows));
    view_ = view;
    OnCommand(id, Event::SelChanged);
}

void Dialog::UserDoubleClick(const std::string& id, int index) {
    if (!Has(id)) return Unknown(id);
    ControlState& s = state_[id];
    int limit = KindOf(id) == Kind::Report ? s.rowCount : static_cast<int>(s.items.size());
    if (index >= 0 && index < limit && s.selection != index) {
        s.selection = index;
        s.selectedRows = {index};
        if (KindOf(id) != Kind::Report) SyncListText(id);
    }
    OnCommand(id, Event::DoubleClicked);
}

bool Dialog::OnTypeAhead(const std::string& id, const std::string& text) {
    const auto lower = [](const std::string& t) { return platform::ToLowerAscii(t); };
    const std::string wanted = lower(text);
    if (wanted.empty()) return false;
    const bool report = KindOf(id) == Kind::Report;
    const int rows = report ? RowCount(id) : static_cast<int>(Items(id).size());
    for (int row = 0; row < rows; ++row) {
        std::string first;
        if (report) {
            std::vector<std::string> cells = OnGetRow(id, row);
            if (!cells.empty()) first = std::move(cells.front());
        } else {
            first = Items(id)[static_cast<std::size_t>(row)];
        }
        if (lower(first).rfind(wanted, 0) != 0) continue;
        SetSelectedRows(id, {row});
        return true;
    }
    return false;
}

bool Dialog::UserKey(const std::string& id, Key key) {
    if (!Has(id)) {
        Unknown(id);
        return false;
    }
    return OnKey(id, key);
}

bool Dialog::UserTypeAhead(const std::string& id, const std::string& text) {
    if (!Has(id)) {
        Unknown(id);
        return false;
    }
    const std::vector<int> before = State(id).selectedRows;
    OnTypeAhead(id, text);
    const ControlState& s = State(id);
    if (s.selectedRows == before) return false;
    if (s.selection >= 0) EnsureVisible(id, s.selection);
    OnCommand(id, Event::SelChanged);
    return true;
}

void Dialog::UserColumnClick(const std::string& id, int column) {
    if (!Has(id)) return Unknown(id);
    if (column < 0 || column >= ColumnCount(id)) return;
    state_[id].clickedColumn = column;
    OnCommand(id, Event::ColumnClicked);
}

}  // namespace ui
