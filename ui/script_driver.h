// The script driver: the headless host fed by a line script, for automated configuration
// and for running the real console without a display. The console selects it when the
// environment variable ZELLA_SCRIPT names a script file ("-" for standard input).
//
// The script runs in step with the console: a command that opens a dialog or a message
// box leaves the following lines to that dialog or box, as a person would. RunModal,
// RunSheet, MessageBox and GetFileName therefore read further script lines themselves.
//
// Commands (syntax in script_parser.h):
//   tab "TITLE"                  activate the sheet page with that tab title (a page that
//                                refuses to be left keeps the sheet where it is)
//   set CONTROL "TEXT"           type into an edit or an editable combo
//   check CONTROL / uncheck CONTROL
//                                click a check box or radio button when its state differs
//                                (unchecking a radio button is a FAIL: no click does that)
//   choose CONTROL "ITEM" / choose CONTROL #N
//                                select an item of a combo or list, or a row of a report
//                                list, as the user would (SelChanged). #1 is the first;
//                                a report row is named by the text of its first column
//   sort CONTROL "COLUMN" / sort CONTROL #N
//                                click the header of a report list's column, named by its
//                                title or numbered (#1 is the first), as the user would
//                                (ColumnClicked); the procedure decides the order
//   key CONTROL Enter|Insert|Delete
//                                press that key on a list or report list
//   type CONTROL "TEXT"          type the letters of TEXT on a list or report list (the
//                                type-ahead search of a user typing quickly)
//   press CONTROL                click a push button; the sheet's buttons are "OK",
//                                "Cancel", "Apply" and "Help"
//   answer "PREFIX" BUTTON       the message box now shown must begin with PREFIX; answer
//                                OK, Yes, No or Cancel (also Retry, Abort, Ignore)
//   file "PATH" / file cancel    answer the file dialog now shown
//   expect CONTROL "TEXT"        the control's text equals TEXT (a label's "&" marks aside)
//   expect CONTROL STATE         checked, unchecked, enabled, disabled, visible, hidden, red
//   expect title "TEXT" / expect tab "TITLE" / expect tabs "A" "B" ...
//                                the active window's title, active tab, tab titles in order
//   expect list "TEXT"           a list box item, or a report row (its cells joined by tabs,
//                                or its first cell alone), of the active window equals TEXT
//   wait MS                      let that much time pass, the timers of the innermost
//                                window (the active page of a sheet) firing in due order
//   dump                         print every control of the active window with its state
//
// A CONTROL is named by its label as the template gives it ("&Add", "Host:"), else by the
// label without "&" accelerator marks (and without a closing "..."), else by its id (a
// dialog's IDOK and IDCANCEL buttons also as "OK" and "Cancel", whatever their label); quoted or as
// a bare word. A name that fits more than one control at the first of these steps that matches is
// ambiguous (FAIL). In a sheet only the active page and the sheet's buttons are searched, the page
// first, so a page's own "Help" button shadows the sheet's. `set`, `check`, `uncheck`,
// `choose`, `sort`, `key`, `type` and `press` on a control that is disabled or hidden are a FAIL
// and do nothing; so is `press` on anything but a push button, `sort` on anything but a report
// list, and `set` on a read-only edit, a drop-down list or (with a non-digit) a
// digits-only edit.
//
// Transcript: the headless host's lines (headless_host.h), plus
//   FAIL: line N: WHY            a command that failed, or a bad line (it is skipped)
//   dump: window "TITLE"         then one line per control:
//   dump: ID KIND "LABEL" "TEXT" [checked] [disabled] [hidden] [red] [items=N] [rows=N]
//         [sel=#A,#B]            (a sheet shows `dump: sheet "CAPTION" tab "TITLE"`, the
//                                active page's controls, then its buttons)
// A message box that no `answer` line meets gets its default button and a FAIL; a file
// dialog that no `file` line meets is cancelled with a FAIL. When the script ends, open
// windows are cancelled innermost first (one that refuses is ended with Cancel). Lines
// left when the console is done (ExitStatus) are each a FAIL.
#pragma once

#include <istream>
#include <memory>
#include <optional>
#include <ostream>
#include <string>

#include "ui/headless_host.h"
#include "ui/script_parser.h"

namespace ui {

class ScriptHost : public HeadlessHost {
public:
    // Reads the script from `in` (kept by reference) and writes the transcript to `out`.
    ScriptHost(std::istream& in, std::ostream& out);
    // Owns the script stream.
    ScriptHost(std::unique_ptr<std::istream> in, std::ostream& out);
    ~ScriptHost() override;

    // The process exit status: `consoleCode`, or 3 when any FAIL was printed. Lines of
    // the script that nothing read are reported as FAIL first.
    int ExitStatus(int consoleCode);

    // Records "FAIL: line N: WHY".
    void FailAt(int line, const std::string& why);

protected:
    void DriveDialog(Dialog& dialog) override;
    void DriveSheet(Sheet& sheet) override;
    int AnswerBox(const MessageBoxSpec& spec, std::string& failure) override;
    std::optional<std::string> AnswerFile(const OpenFileSpec& spec, std::string& failure) override;

private:
    struct Target;

    // The next command without consuming it (bad lines are reported and skipped).
    const ScriptCommand* Peek();
    void Consume() { pending_.reset(); }
    // Runs commands for the innermost window until it ends or the script does.
    void RunWindow();
    void Execute(const ScriptCommand& command);

    bool Resolve(const ScriptCommand& command, const ScriptToken& name, Target& target);
    bool Usable(const ScriptCommand& command, const Target& target);
    void Tab(const ScriptCommand& command);
    void Set(const ScriptCommand& command);
    void CheckBox(const ScriptCommand& command, bool checked);
    void Choose(const ScriptCommand& command);
    void Sort(const ScriptCommand& command);
    void KeyOrType(const ScriptCommand& command);
    void Press(const ScriptCommand& command);
    void Expect(const ScriptCommand& command);
    void ExpectWindow(const ScriptCommand& command);
    void ExpectList(const ScriptCommand& command);
    void ExpectState(const ScriptCommand& command, const Target& target);
    void Dump();

    std::unique_ptr<std::istream> owned_;
    std::istream& in_;
    std::optional<ScriptCommand> pending_;
    int lineNumber_ = 0;
};

// The script host the environment asks for: nullptr when ZELLA_SCRIPT is unset or empty.
// A script file that cannot be opened gives a host that has already failed (exit 3).
std::unique_ptr<ScriptHost> MakeScriptHostFromEnvironment(std::ostream& out);

}  // namespace ui
