// The host shows dialogs, sheets and message boxes. Part code reaches the user only
// through this interface, so the Qt host, the headless host and the script driver are
// interchangeable.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ui/dialog.h"
#include "ui/sheet.h"

namespace ui {

enum class Icon { None, Information, Warning, Error, Question };
enum class Buttons { Ok, OkCancel, YesNo, YesNoCancel, RetryCancel, AbortRetryIgnore };

struct MessageBoxSpec {
    std::string text;
    std::string caption;
    Icon icon = Icon::None;
    Buttons buttons = Buttons::Ok;
    int defaultButton = 0;  // index into the buttons, 0 = first
    bool foreground = false;
};

// The buttons of a set, in display order, as result codes.
std::vector<int> ButtonResults(Buttons buttons);
// "OK", "Cancel", "Yes", "No", "Abort", "Retry", "Ignore" for a result code; other
// codes as decimal text.
std::string ResultName(int result);
// The result of the box's default button (the first one when the index is out of range).
int DefaultAnswer(const MessageBoxSpec& spec);

struct FileFilter {
    std::string name;      // "Images"
    std::string patterns;  // "*.jpg;*.jpeg;*.png;*.gif"
};

struct OpenFileSpec {
    std::string title;
    std::vector<FileFilter> filters;
    std::string initialDirectory;
    bool mustExist = true;
    bool save = false;  // a save dialog instead of an open dialog
};

// Restores the cursor when destroyed.
class WaitCursor {
public:
    virtual ~WaitCursor() = default;
};

class Host {
public:
    virtual ~Host() = default;

    // Shows the dialog modally (Attach, OnInit, events) until it ends; returns its result.
    virtual int RunModal(Dialog& dialog) = 0;
    // Shows the sheet modally until it ends; returns its result.
    virtual int RunSheet(Sheet& sheet) = 0;
    // A message box; returns the result code of the button chosen.
    virtual int MessageBox(const MessageBoxSpec& spec) = 0;
    // A file dialog; false when cancelled, else `path` is the chosen file.
    virtual bool GetFileName(const OpenFileSpec& spec, std::string& path) = 0;
    // Shows the busy cursor until the returned object is destroyed.
    virtual std::unique_ptr<WaitCursor> BusyCursor() = 0;
    // Lets windows repaint during a long operation on the UI thread (no user input).
    virtual void KeepPainted() = 0;
    virtual void SetClipboardText(const std::string& text) = 0;
    // Opens a file or URL with the desktop's handler (the shell "open" verb).
    virtual bool ShellOpen(const std::string& path, const std::string& workingDir) = 0;

    // Runs `operation` as a long operation showing `progress` (one line) and a Cancel
    // button, and returns once it has ended. The operation must use the host it is given
    // (its message boxes and dialogs may come from another thread). Cancel sets the
    // platform cancel token the operation runs under, so its waits return early and it
    // takes its failure path. Returns true when the operator cancelled it. This default
    // runs it inline on the calling thread with a token nobody sets.
    virtual bool RunLongOperation(const std::string& progress,
                                  const std::function<void(Host&)>& operation);
    // Replaces the progress line of the long operation running on this host (nothing
    // when none runs).
    virtual void SetProgress(const std::string& text) { (void)text; }
    // A dialog procedure used a control id its template does not have (a programming
    // error): this default writes it to standard error and asserts in debug builds.
    virtual void UnknownControl(const std::string& templateId, const std::string& controlId);

    // The caption of the console's message boxes, given by the program at start-up
    // (empty until then). MessageBox, Info, Error and Ask below use it.
    const std::string& Caption() const { return caption_; }
    void SetCaption(std::string caption) { caption_ = std::move(caption); }

private:
    std::string caption_;
};

// A host that shows nothing: message boxes answer their default button, dialogs and
// sheets are cancelled without being opened, file dialogs are cancelled.
Host& NullHost();

// Shorthands with the host's caption.
int MessageBox(Host& host, const std::string& text, Icon icon = Icon::None,
               Buttons buttons = Buttons::Ok, int defaultButton = 0);
void Info(Host& host, const std::string& text);
void Error(Host& host, const std::string& text);
// Question with Yes/No (or Yes/No/Cancel); returns kYes, kNo or kCancel.
int Ask(Host& host, const std::string& text, Buttons buttons = Buttons::YesNo,
        int defaultButton = 0);

}  // namespace ui
