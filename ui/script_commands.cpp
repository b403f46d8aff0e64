// The commands of the script driver that act on the active window's controls.
#include <algorithm>
#include <cctype>

#include "ui/script_driver.h"

namespace ui {

namespace {

struct SheetButton {
    const char* id;
    const char* label;
};
// The sheet's buttons as the Qt host labels them (ui::kSheetAccessKeys).
constexpr SheetButton kSheetButtons[] = {
    {"IDOK", "&OK"}, {"IDCANCEL", "&Cancel"}, {"IDAPPLY", "App&ly"}, {"IDHELP", "&Help"}};
enum { kSheetOk, kSheetCancel, kSheetApply, kSheetHelp };

const Control* FindTemplateControl(const Dialog& dialog, const std::string& id) {
    const Control* found = nullptr;
    ForEachControl(dialog.GetTemplate().controls, [&](const Control& c) {
        if (!found && c.id == id) found = &c;
    });
    return found;
}

// A label as a person names it: without accelerator marks, and without the "..." that
// tells a button opens another window.
std::string PlainLabel(const std::string& label) {
    std::string plain = StripAccelerator(label);
    if (plain.size() > 3 && plain.compare(plain.size() - 3, 3, "...") == 0)
        plain.erase(plain.size() - 3);
    return plain;
}

// The name a script may always use for a dialog's closing buttons, whatever they say
// ("Close" on a viewer is still "OK" to a script written for its accept button).
std::string StandardName(const std::string& id) {
    if (id == IDOK) return "OK";
    if (id == IDCANCEL) return "Cancel";
    return {};
}

// Candidates for `name`: by label, else by label without accelerators, else without a
// closing "...", else by id (OK and Cancel also by those names).
template <typename Each>
std::vector<int> Match(const std::string& name, Each&& each) {
    for (int stage = 0; stage < 4; ++stage) {
        std::vector<int> found;
        each([&](int index, const std::string& id, const std::string& label) {
            bool fits = stage == 0   ? !label.empty() && label == name
                        : stage == 1 ? !label.empty() && StripAccelerator(label) == name
                        : stage == 2 ? !label.empty() && PlainLabel(label) == PlainLabel(name)
                                     : id == name || StandardName(id) == name;
            if (fits) found.push_back(index);
        });
        if (!found.empty()) return found;
    }
    return {};
}

std::string KindName(Kind kind) {
    switch (kind) {
        case Kind::Static:
            return "static";
        case Kind::Edit:
            return "edit";
        case Kind::Check:
            return "check";
        case Kind::Radio:
            return "radio";
        case Kind::Button:
            return "button";
        case Kind::Combo:
            return "combo";
        case Kind::List:
            return "list";
        case Kind::Report:
            return "report";
        case Kind::Group:
            return "group";
        case Kind::Row:
            return "row";
    }
    return "control";
}

std::string Quote(const std::string& text) { return "\"" + HeadlessHost::EscapeLine(text) + "\""; }

std::string SelectionText(const std::vector<int>& rows) {
    std::string text;
    for (int row : rows) text += (text.empty() ? "#" : ",#") + std::to_string(row + 1);
    return text;
}

}  // namespace

struct ScriptHost::Target {
    Dialog* dialog = nullptr;  // null for a sheet button
    std::string id;
    int sheetButton = -1;
    std::string name;  // as the script wrote it, quoted, for messages
};

bool ScriptHost::Resolve(const ScriptCommand& command, const ScriptToken& name, Target& target) {
    target = Target();
    target.name = Quote(name.text);
    Dialog* front = FrontDialog();
    if (!front) {
        FailAt(command.line, "no control can be reached: no window is open");
        return false;
    }
    std::vector<const Control*> controls;
    ForEachControl(front->GetTemplate().controls, [&](const Control& c) {
        if (!c.id.empty() && c.kind != Kind::Row) controls.push_back(&c);
    });
    std::vector<int> found = Match(name.text, [&](auto visit) {
        for (std::size_t i = 0; i < controls.size(); ++i)
            visit(static_cast<int>(i), controls[i]->id, controls[i]->label);
    });
    if (found.empty() && ActiveSheet()) {
        found = Match(name.text, [&](auto visit) {
            for (int i = 0; i < 4; ++i) visit(i, kSheetButtons[i].id, kSheetButtons[i].label);
        });
        if (found.size() == 1) {
            target.sheetButton = found[0];
            target.id = kSheetButtons[found[0]].id;
            return true;
        }
    }
    if (found.empty()) {
        FailAt(command.line, "no control is named " + target.name);
        return false;
    }
    if (found.size() > 1) {
        std::string ids;
        for (int index : found) ids += " " + controls[index]->id;
        FailAt(command.line, target.name + " is ambiguous:" + ids);
        return false;
    }
    target.dialog = front;
    target.id = controls[found[0]]->id;
    return true;
}

bool ScriptHost::Usable(const ScriptCommand& command, const Target& target) {
    bool visible = true, enabled = true;
    if (target.dialog) {
        visible = target.dialog->Visible(target.id);
        enabled = target.dialog->Enabled(target.id);
    } else if (target.sheetButton == kSheetHelp) {
        visible = ActiveSheet()->HelpButton();
    } else if (target.sheetButton == kSheetApply) {
        enabled = ActiveSheet()->ApplyEnabled();
    }
    if (!visible)
        FailAt(command.line, target.name + " is hidden");
    else if (!enabled)
        FailAt(command.line, target.name + " is disabled");
    return visible && enabled;
}

void ScriptHost::Tab(const ScriptCommand& command) {
    Sheet* sheet = ActiveSheet();
    if (!sheet) return FailAt(command.line, "the active window is not a property sheet");
    const std::string& title = command.args[0].text;
    std::vector<std::string> titles = sheet->TabTitles();
    auto it = std::find(titles.begin(), titles.end(), title);
    if (it == titles.end())
        it = std::find_if(titles.begin(), titles.end(),
                          [&](const std::string& t) { return StripAccelerator(t) == title; });
    if (it == titles.end()) return FailAt(command.line, "no tab is titled " + Quote(title));
    sheet->Activate(static_cast<int>(it - titles.begin()));
}

void ScriptHost::Set(const ScriptCommand& command) {
    Target target;
    if (!Resolve(command, command.args[0], target)) return;
    const Control* c = target.dialog ? FindTemplateControl(*target.dialog, target.id) : nullptr;
    bool edit = c && c->kind == Kind::Edit;
    bool editableCombo = c && c->kind == Kind::Combo && (c->flags & Flag::Editable);
    if (!edit && !editableCombo) {
        bool list = c && c->kind == Kind::Combo;
        return FailAt(command.line, target.name + (list ? " is a drop-down list (use choose)"
                                                        : " is not an edit field"));
    }
    if (!Usable(command, target)) return;
    const std::string& text = command.args[1].text;
    if (edit && (c->flags & Flag::ReadOnly))
        return FailAt(command.line, target.name + " is read-only");
    if (edit && (c->flags & Flag::Number) &&
        !std::all_of(text.begin(), text.end(), [](unsigned char ch) { return std::isdigit(ch); }))
        return FailAt(command.line, target.name + " accepts digits only");
    target.dialog->UserSetText(target.id, text);
}

void ScriptHost::CheckBox(const ScriptCommand& command, bool checked) {
    Target target;
    if (!Resolve(command, command.args[0], target)) return;
    Kind kind = target.dialog ? target.dialog->KindOf(target.id) : Kind::Button;
    if (kind != Kind::Check && kind != Kind::Radio)
        return FailAt(command.line, target.name + " is not a check box or radio button");
    if (!Usable(command, target)) return;
    if (target.dialog->Checked(target.id) == checked) return;
    if (kind == Kind::Radio && !checked)
        return FailAt(command.line, target.name + " is a radio button: choose another one instead");
    target.dialog->UserClick(target.id);
}

void ScriptHost::Choose(const ScriptCommand& command) {
    Target target;
    if (!Resolve(command, command.args[0], target)) return;
    Kind kind = target.dialog ? target.dialog->KindOf(target.id) : Kind::Button;
    if (kind != Kind::Combo && kind != Kind::List && kind != Kind::Report)
        return FailAt(command.line, target.name + " is not a combo box or list");
    if (!Usable(command, target)) return;
    Dialog& dialog = *target.dialog;
    const ScriptToken& item = command.args[1];
    int count = kind == Kind::Report ? dialog.RowCount(target.id)
                                     : static_cast<int>(dialog.Items(target.id).size());
    int index = -1;
    if (item.type == ScriptToken::Type::Number) {
        if (item.number < 1 || item.number > count)
            return FailAt(command.line, target.name + " has no item " + item.text + " (it has " +
                                            std::to_string(count) + ")");
        index = item.number - 1;
    } else if (kind == Kind::Report) {
        for (int row = 0; row < count && index < 0; ++row) {
            std::vector<std::string> cells = dialog.Row(target.id, row);
            if (!cells.empty() && cells[0] == item.text) index = row;
        }
    } else {
        index = dialog.FindItem(target.id, item.text);
    }
    if (index < 0) return FailAt(command.line, target.name + " has no item " + Quote(item.text));
    dialog.UserSelect(target.id, index);
}

void ScriptHost::Sort(const ScriptCommand& command) {
    Target target;
    if (!Resolve(command, command.args[0], target)) return;
    if (!target.dialog || target.dialog->KindOf(target.id) != Kind::Report)
        return FailAt(command.line, target.name + " is not a report list");
    if (!Usable(command, target)) return;
    const std::vector<std::string>& columns =
        FindTemplateControl(*target.dialog, target.id)->columns;
    const ScriptToken& column = command.args[1];
    const int count = static_cast<int>(columns.size());
    int index = -1;
    if (column.type == ScriptToken::Type::Number) {
        if (column.number < 1 || column.number > count)
            return FailAt(command.line, target.name + " has no column " + column.text +
                                            " (it has " + std::to_string(count) + ")");
        index = column.number - 1;
    } else {
        auto it = std::find(columns.begin(), columns.end(), column.text);
        if (it == columns.end())
            return FailAt(command.line, target.name + " has no column " + Quote(column.text));
        index = static_cast<int>(it - columns.begin());
    }
    target.dialog->UserColumnClick(target.id, index);
}

void ScriptHost::KeyOrType(const ScriptCommand& command) {
    Target target;
    if (!Resolve(command, command.args[0], target)) return;
    const Kind kind = target.dialog ? target.dialog->KindOf(target.id) : Kind::Button;
    if (!target.dialog || (kind != Kind::List && kind != Kind::Report))
        return FailAt(command.line, target.name + " is not a list");
    if (!Usable(command, target)) return;
    const std::string& what = command.args[1].text;
    if (command.verb == "type") {
        // Letter by letter, as the search grows while a person types.
        for (std::size_t n = 1; n <= what.size() && !target.dialog->IsEnded(); ++n)
            target.dialog->UserTypeAhead(target.id, what.substr(0, n));
        return;
    }
    std::string key;
    for (char c : what) key += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    target.dialog->UserKey(target.id, key == "enter"    ? Key::Enter
                                      : key == "insert" ? Key::Insert
                                                        : Key::Delete);
}

void ScriptHost::Press(const ScriptCommand& command) {
    Target target;
    if (!Resolve(command, command.args[0], target)) return;
    if (target.dialog && target.dialog->KindOf(target.id) != Kind::Button)
        return FailAt(command.line, target.name + " is not a push button");
    if (!Usable(command, target)) return;
    if (target.dialog) return target.dialog->UserClick(target.id);
    Sheet& sheet = *ActiveSheet();
    switch (target.sheetButton) {
        case kSheetOk:
            sheet.PressOk();
            break;
        case kSheetCancel:
            sheet.PressCancel();
            break;
        case kSheetApply:
            sheet.PressApply();
            break;
        case kSheetHelp:
            sheet.PressHelp();
            break;
    }
}

void ScriptHost::Expect(const ScriptCommand& command) {
    const ScriptToken& first = command.args[0];
    if (first.type == ScriptToken::Type::Word) {
        std::string what = first.text;
        std::transform(what.begin(), what.end(), what.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        if (what == "title" || what == "tab" || what == "tabs") return ExpectWindow(command);
        if (what == "list" && command.args[1].type != ScriptToken::Type::Word)
            return ExpectList(command);
    }
    Target target;
    if (!Resolve(command, first, target)) return;
    if (command.args[1].type == ScriptToken::Type::Word) return ExpectState(command, target);
    std::string text = target.dialog ? target.dialog->Text(target.id)
                                     : StripAccelerator(kSheetButtons[target.sheetButton].label);
    // A label's access key is how it is reached, not what it says.
    const Kind kind = target.dialog ? target.dialog->KindOf(target.id) : Kind::Button;
    const bool label = kind == Kind::Button || kind == Kind::Check || kind == Kind::Radio;
    if (text != command.args[1].text && label && StripAccelerator(text) == command.args[1].text)
        text = command.args[1].text;
    if (text != command.args[1].text)
        FailAt(command.line,
               target.name + " is " + Quote(text) + ", expected " + Quote(command.args[1].text));
}

void ScriptHost::ExpectWindow(const ScriptCommand& command) {
    std::string what = command.args[0].text;
    std::transform(what.begin(), what.end(), what.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    Dialog* dialog = ActiveDialog();
    Sheet* sheet = ActiveSheet();
    if (!dialog && !sheet) return FailAt(command.line, "no window is open");
    if (what == "title") {
        std::string title = dialog ? dialog->Title() : sheet->Caption();
        if (title != command.args[1].text)
            FailAt(command.line,
                   "the title is " + Quote(title) + ", expected " + Quote(command.args[1].text));
        return;
    }
    if (!sheet) return FailAt(command.line, "the active window is not a property sheet");
    if (what == "tab") {
        std::string tab = sheet->ActiveIndex() >= 0 ? sheet->ActivePage().Title() : "";
        if (tab != command.args[1].text)
            FailAt(command.line,
                   "the active tab is " + Quote(tab) + ", expected " + Quote(command.args[1].text));
        return;
    }
    std::string actual, expected;
    for (const std::string& t : sheet->TabTitles()) actual += " " + Quote(t);
    for (std::size_t i = 1; i < command.args.size(); ++i)
        expected += " " + Quote(command.args[i].text);
    if (actual != expected) FailAt(command.line, "the tabs are" + actual + ", expected" + expected);
}

void ScriptHost::ExpectList(const ScriptCommand& command) {
    Sheet* sheet = ActiveSheet();
    Dialog* dialog = ActiveDialog();
    if (!dialog && sheet && sheet->ActiveIndex() >= 0) dialog = &sheet->ActivePage();
    if (!dialog) return FailAt(command.line, "no window is open");
    const std::string& wanted = command.args[1].text;
    std::vector<std::string> seen;
    ForEachControl(dialog->GetTemplate().controls, [&](const Control& c) {
        if (c.kind == Kind::List) {
            for (const std::string& item : dialog->Items(c.id)) seen.push_back(item);
        } else if (c.kind == Kind::Report) {
            for (int row = 0; row < dialog->RowCount(c.id); ++row) {
                const std::vector<std::string> cells = dialog->Row(c.id, row);
                std::string joined;
                for (std::size_t i = 0; i < cells.size(); ++i) joined += (i ? "\t" : "") + cells[i];
                if (!cells.empty() && cells[0] == wanted) seen.push_back(cells[0]);
                seen.push_back(joined);
            }
        }
    });
    if (std::find(seen.begin(), seen.end(), wanted) == seen.end())
        FailAt(command.line, "no list of the window holds " + Quote(wanted));
}

void ScriptHost::ExpectState(const ScriptCommand& command, const Target& target) {
    std::string state = command.args[1].text;
    std::transform(state.begin(), state.end(), state.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    Sheet* sheet = ActiveSheet();
    bool checked = target.dialog && target.dialog->Checked(target.id);
    bool red = target.dialog && target.dialog->Alarm(target.id);
    bool enabled = target.dialog ? target.dialog->Enabled(target.id)
                                 : target.sheetButton != kSheetApply || sheet->ApplyEnabled();
    bool visible = target.dialog ? target.dialog->Visible(target.id)
                                 : target.sheetButton != kSheetHelp || sheet->HelpButton();
    bool holds = state == "checked"     ? checked
                 : state == "unchecked" ? !checked
                 : state == "enabled"   ? enabled
                 : state == "disabled"  ? !enabled
                 : state == "visible"   ? visible
                 : state == "hidden"    ? !visible
                                        : red;
    if (!holds) FailAt(command.line, target.name + " is not " + state);
}

void ScriptHost::Dump() {
    Dialog* front = FrontDialog();
    Sheet* sheet = ActiveSheet();
    if (sheet) {
        Record("dump: sheet " + Quote(sheet->Caption()) + " tab " +
               Quote(front ? front->Title() : std::string()));
    } else if (front) {
        Record("dump: window " + Quote(front->Title()));
    }
    if (front) {
        ForEachControl(front->GetTemplate().controls, [&](const Control& c) {
            if (c.id.empty() || c.kind == Kind::Row) return;
            const ControlState& s = front->State(c.id);
            std::string line = "dump: " + c.id + " " + KindName(c.kind) + " " + Quote(c.label) +
                               " " + Quote(s.text);
            if (s.checked) line += " checked";
            if (!s.enabled) line += " disabled";
            if (!s.visible) line += " hidden";
            if (s.alarm) line += " red";
            if (c.kind == Kind::Combo || c.kind == Kind::List)
                line += " items=" + std::to_string(s.items.size());
            if (c.kind == Kind::Report) line += " rows=" + std::to_string(s.rowCount);
            if (!s.selectedRows.empty())
                line += " sel=" + SelectionText(s.selectedRows);
            else if (s.selection >= 0)
                line += " sel=" + SelectionText({s.selection});
            Record(line);
        });
    }
    if (!sheet) return;
    for (int i = 0; i < 4; ++i) {
        const SheetButton& b = kSheetButtons[i];
        std::string line = std::string("dump: ") + b.id + " button " + Quote(b.label) + " " +
                           Quote(StripAccelerator(b.label));
        if (i == kSheetApply && !sheet->ApplyEnabled()) line += " disabled";
        if (i == kSheetHelp && !sheet->HelpButton()) line += " hidden";
        Record(line);
    }
}

}  // namespace ui
