// Dialog procedures. A Dialog owns the state of its controls (text, check, enabled,
// visible, items, selection, alarm colour, report rows) and reacts to the user through
// virtual hooks, the way a Win32 dialog procedure reacts to messages. Hosts render that
// state and feed user actions back through the User* entry points, so the same
// procedure runs unchanged under Qt, the headless host and the script driver.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "ui/template.h"

namespace ui {

class Host;

enum class Event {
    Clicked,       // button, check box, radio button
    Changed,       // edit or editable combo text typed
    SelChanged,    // combo, list or report selection changed by the user
    DoubleClicked, // list or report item double-clicked
    ColumnClicked  // report column header clicked; ClickedColumn(id) tells which
};

// Keys a list or report reacts to beyond moving its selection.
enum class Key { Enter, Insert, Delete };

// Current state of one control. For Static, Button, Check, Radio and Group `text` is
// the label shown; for Edit the content; for a drop-down Combo and a List the selected
// item's text (kept in step by the dialog); for an editable Combo the edit text.
struct ControlState {
    std::string text;
    bool checked = false;
    bool enabled = true;
    bool visible = true;
    bool alarm = false;  // drawn in the alarm colour (red)
    std::vector<std::string> items;
    int selection = -1;               // Combo and List; first selected row of a Report
    std::vector<int> selectedRows;    // Report (and multi-select List), ascending
    int rowCount = 0;                 // Report
    int clickedColumn = -1;           // Report: 0-based column of the last header click
    int sortColumn = -1;              // Report: column showing a sort mark, -1 for none
    bool sortDescending = false;      // Report: the mark points the descending way
    int visibleRow = -1;              // List, Report: the row last scrolled into view
    std::string emptyText;            // List, Report: why it is empty, shown while it is
    std::string tip;
};

// What a host wants to hear about while it shows the dialog.
class DialogView {
public:
    virtual ~DialogView() = default;
    virtual void ControlChanged(const std::string& id) = 0;
    virtual void RowsChanged(const std::string& id) = 0;  // a report's rows must be refetched
    virtual void TitleChanged() = 0;
    virtual void FocusRequested(const std::string& id) = 0;
    virtual void TimerSet(int timerId, int ms) = 0;
    virtual void TimerKilled(int timerId) = 0;
    virtual void Ended(int result) = 0;
    // Row `row` of the list or report `id` must be scrolled into view.
    virtual void ScrollRequested(const std::string& id, int row) {
        (void)id;
        (void)row;
    }
};

class Dialog {
public:
    explicit Dialog(Template tmpl);
    virtual ~Dialog();
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;

    // ---- hooks, overridden by procedures --------------------------------------------
    // Called once before the dialog is first shown; state set here is what shows.
    virtual void OnInit() {}
    // A user action on a control (not produced by the procedure's own Set* calls).
    virtual void OnCommand(const std::string& id, Event event) { (void)id; (void)event; }
    virtual void OnTimer(int timerId) { (void)timerId; }
    // IDOK pressed (or Enter on the default button). The default ends with kOk.
    virtual void OnOk() { End(kOk); }
    // IDCANCEL pressed, Escape or the window closed. The default ends with kCancel.
    virtual void OnCancel() { End(kCancel); }
    // A key pressed on a list or report. True when the procedure acted on it; the host
    // then gives the key to nobody else (Enter does not press the default button).
    virtual bool OnKey(const std::string& id, Key key) {
        (void)id;
        (void)key;
        return false;
    }
    // Letters typed on a list or report (`text` grows while the user keeps typing). True
    // when the procedure moved the selection itself; the default selects the first item,
    // or the first row whose first cell, begins with `text`, ignoring case.
    virtual bool OnTypeAhead(const std::string& id, const std::string& text);
    // A report list asks for the cells of one row (rows are supplied on demand).
    virtual std::vector<std::string> OnGetRow(const std::string& id, int row) {
        (void)id; (void)row;
        return {};
    }

    // ---- Win32-like accessors ---------------------------------------------------------
    const Template& GetTemplate() const { return template_; }
    const std::string& Title() const { return title_; }
    void SetTitle(const std::string& title);

    bool Has(const std::string& id) const;
    Kind KindOf(const std::string& id) const;
    const ControlState& State(const std::string& id) const;

    std::string Text(const std::string& id) const;
    // On a drop-down Combo or a List this selects the item equal to `text` (nothing
    // changes when there is none). Set* calls tell the view, never OnCommand.
    void SetText(const std::string& id, const std::string& text);
    bool Checked(const std::string& id) const;
    void SetChecked(const std::string& id, bool checked);  // radios clear their group
    bool Enabled(const std::string& id) const;
    void Enable(const std::string& id, bool enabled = true);
    bool Visible(const std::string& id) const;
    void Show(const std::string& id, bool visible = true);
    bool Alarm(const std::string& id) const;
    void SetAlarm(const std::string& id, bool alarm);
    void SetTip(const std::string& id, const std::string& tip);
    // The line a list or report shows (in grey) while it has no items or rows: why it is
    // empty, or what would fill it. Empty shows nothing.
    void SetEmptyText(const std::string& id, const std::string& text);
    void Focus(const std::string& id);

    // Combo and List items. SetItems keeps no selection; AddItem returns the index (a
    // Sorted control inserts in order). Accessors on an unknown id return empty values.
    // Every accessor given an id the template does not have tells the host
    // (Host::UnknownControl: a FAIL line headless, an assertion in a debug build).
    const std::vector<std::string>& Items(const std::string& id) const;
    void SetItems(const std::string& id, std::vector<std::string> items);
    int AddItem(const std::string& id, const std::string& item);
    void RemoveItem(const std::string& id, int index);
    void ClearItems(const std::string& id);
    int FindItem(const std::string& id, const std::string& text) const;  // exact, or -1
    int Selection(const std::string& id) const;
    void SetSelection(const std::string& id, int index);  // -1 clears

    // Report rows, supplied on demand by OnGetRow.
    void SetRowCount(const std::string& id, int rows);  // also refetches every row
    int RowCount(const std::string& id) const;
    void RefreshRows(const std::string& id);
    std::vector<int> SelectedRows(const std::string& id) const;
    void SetSelectedRows(const std::string& id, std::vector<int> rows);
    std::vector<std::string> Row(const std::string& id, int row) { return OnGetRow(id, row); }
    // The number of columns of a report (0 for any other control).
    int ColumnCount(const std::string& id) const;
    // The 0-based column whose header the user clicked last (-1 before any click).
    int ClickedColumn(const std::string& id) const { return State(id).clickedColumn; }
    // Scrolls `row` of a list or report into view. Selections the procedure makes call it
    // for their first row, so a row selected after a sort or a refresh is on screen.
    void EnsureVisible(const std::string& id, int row);
    // Marks `column` of the report's header as the sort key (-1 removes the mark); the
    // mark only shows the order, the procedure orders the rows itself.
    void SetSortIndicator(const std::string& id, int column, bool descending);

    // Ends the dialog with `result` once the current hook returns.
    void End(int result);
    bool IsEnded() const { return ended_; }
    int ResultCode() const { return result_; }

    void SetTimer(int timerId, int ms);
    void KillTimer(int timerId);
    const std::map<int, int>& Timers() const { return timers_; }

    // The host showing this dialog (valid from OnInit until the dialog ends); a dialog
    // used without a host gets NullHost(), so a stray message box cannot crash.
    Host& GetHost() const;
    bool HasHost() const { return host_ != nullptr; }

    // ---- host side ----------------------------------------------------------------------
    // Hosts attach a view, then call Initialize once, then the User* entry points.
    // User* calls change the state as the user did (the view, which showed the change
    // itself, is not told, except for radios cleared by a click), then call the hooks.
    // Ids of no control are ignored after the host has been told (Host::UnknownControl).
    // Attaching starts a new showing: the ended mark and result are cleared.
    void Attach(Host* host, DialogView* view);
    void Detach();
    void Initialize();
    bool Initialized() const { return initialized_; }
    // A click: toggles a check box, sets a radio (clearing its group), presses a button
    // (IDOK and IDCANCEL go to OnOk and OnCancel only); then OnCommand(id, Clicked).
    void UserClick(const std::string& id);
    void UserSetText(const std::string& id, const std::string& text);
    void UserSelect(const std::string& id, int index);
    void UserSelectRows(const std::string& id, std::vector<int> rows);
    // Selects the item or row first when it is not the selection yet.
    void UserDoubleClick(const std::string& id, int index);
    // A click on a report's column header (0-based); columns it does not have are ignored.
    void UserColumnClick(const std::string& id, int column);
    void UserTimer(int timerId) { OnTimer(timerId); }
    void UserClose() { OnCancel(); }
    // A key on a list or report; returns what OnKey returned.
    bool UserKey(const std::string& id, Key key);
    // Letters typed on a list or report: OnTypeAhead, and when the selection moved, the
    // row is scrolled into view and OnCommand(id, SelChanged) follows as for a click.
    // Returns whether the selection moved.
    bool UserTypeAhead(const std::string& id, const std::string& text);
    // True while the procedure fills its controls in OnInit (pages ignore changes then).
    bool Filling() const { return filling_; }

private:
    // Tells the host that `id` is no control of this dialog.
    void Unknown(const std::string& id) const;
    ControlState& Mut(const std::string& id);
    void Notify(const std::string& id);
    void SyncListText(const std::string& id);
    // A drop-down Combo or a List: its text is its selected item.
    bool FollowsSelection(const std::string& id) const;
    const Control* FindControl(const std::string& id) const;

    Template template_;
    std::string title_;
    std::map<std::string, ControlState> state_;
    std::map<std::string, Kind> kinds_;
    std::map<std::string, std::vector<std::string>> radioGroups_;  // radio id -> its group
    std::map<int, int> timers_;
    Host* host_ = nullptr;
    DialogView* view_ = nullptr;
    bool initialized_ = false;
    bool filling_ = false;
    bool ended_ = false;
    int result_ = 0;
};

}  // namespace ui
