// Dialog templates: what a dialog shows, independent of any toolkit. A template is data;
// the dialog procedure (dialog.h) gives it behaviour and a host (host.h) shows it.
#pragma once

#include <initializer_list>
#include <string>
#include <vector>

namespace ui {

enum class Kind {
    Static,  // a text; `label` is the text shown
    Edit,    // a text field; `label` is shown beside it
    Check,   // check box; `label` is its text
    Radio,   // radio button; a run of radios from one marked GroupStart is one group
    Button,  // push button; `label` is its text
    Combo,   // drop-down list, or editable with Flag::Editable; `label` beside it
    List,    // list box; `tabStops` lay out tab-separated items in columns
    Report,  // report list view: `columns`, rows supplied on demand by the procedure
    Group,   // group frame titled `label`, holding `children` top to bottom
    Row,     // horizontal row holding `children` left to right
};

namespace Flag {
enum : unsigned {
    None = 0,
    Multiline = 1u << 0,    // Edit
    Password = 1u << 1,     // Edit
    ReadOnly = 1u << 2,     // Edit
    Number = 1u << 3,       // Edit accepting digits only
    Editable = 1u << 4,     // Combo with an edit field
    MultiSelect = 1u << 5,  // List, Report
    Default = 1u << 6,      // Button: the default button (Enter)
    GroupStart = 1u << 7,   // Radio: begins a new group
    Disabled = 1u << 8,     // initially disabled
    Hidden = 1u << 9,       // initially hidden
    Sorted = 1u << 10,      // List, Combo: items kept sorted
    Wide = 1u << 11,        // Static/Edit: spans the whole row (no label column)
};
}

struct Control {
    std::string id;     // stable, unique in the dialog; how procedures address it
    Kind kind = Kind::Static;
    std::string label;  // the text the user sees: "&Add", "Keyword:" ("&" marks the accelerator)
    unsigned flags = Flag::None;
    std::vector<Control> children;     // Group and Row
    std::vector<std::string> columns;  // Report column titles
    std::vector<int> tabStops;         // List: column starts, in average characters
    int width = 0;                     // preferred width in average characters, 0 = auto
    int height = 0;                    // preferred height in text lines, 0 = auto
};

struct Template {
    std::string id;     // "DIALOG_STATS"
    std::string title;  // window title, or the tab title of a page
    std::vector<Control> controls;
};

// Standard ids: pressing IDOK calls Dialog::OnOk, IDCANCEL calls Dialog::OnCancel.
inline constexpr const char* IDOK = "IDOK";
inline constexpr const char* IDCANCEL = "IDCANCEL";

// Result codes of dialogs and message boxes, numbered as on Windows.
enum Result : int { kOk = 1, kCancel = 2, kAbort = 3, kRetry = 4, kIgnore = 5, kYes = 6, kNo = 7 };

// Builders, so templates read like the dialogs they describe.
Control Static(std::string id, std::string text, unsigned flags = Flag::None);
Control Edit(std::string id, std::string label, unsigned flags = Flag::None);
Control Check(std::string id, std::string label, unsigned flags = Flag::None);
Control Radio(std::string id, std::string label, unsigned flags = Flag::None);
Control Button(std::string id, std::string label, unsigned flags = Flag::None);
Control Combo(std::string id, std::string label, unsigned flags = Flag::None);
Control List(std::string id, std::string label, unsigned flags = Flag::None,
             std::vector<int> tabStops = {});
Control Report(std::string id, std::string label, std::vector<std::string> columns,
               unsigned flags = Flag::None);
Control Group(std::string id, std::string label, std::vector<Control> children);
Control Row(std::string id, std::vector<Control> children);
// The usual "OK" / "Cancel" row.
Control OkCancelRow();

// Calls `visit` for every control, children after their container.
template <typename Fn>
void ForEachControl(const std::vector<Control>& controls, Fn&& visit) {
    for (const Control& c : controls) {
        visit(c);
        ForEachControl(c.children, visit);
    }
}

// Label without "&" accelerator marks ("&&" stays a literal "&").
std::string StripAccelerator(const std::string& label);

}  // namespace ui
