// The Qt host: shows the toolkit-neutral dialogs, sheets and message boxes as Qt
// windows. Needs a QApplication that outlives every call.
#pragma once

#include <QMessageBox>
#include <QString>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ui/host.h"

namespace qtui {

class QtHost : public ui::Host {
public:
    // Modal QDialog with the template's title until the procedure ends the dialog.
    int RunModal(ui::Dialog& dialog) override;
    // Modal tabbed window with OK, Cancel, Apply and (when asked for) Help.
    int RunSheet(ui::Sheet& sheet) override;
    int MessageBox(const ui::MessageBoxSpec& spec) override;
    bool GetFileName(const ui::OpenFileSpec& spec, std::string& path) override;
    // Override cursor until the returned object is destroyed; nests.
    std::unique_ptr<ui::WaitCursor> BusyCursor() override;
    // Processes pending paint and timer events, never user input.
    void KeepPainted() override;
    void SetClipboardText(const std::string& text) override;
    // The desktop's opener (or the operator's editor for text) when one is set up;
    // otherwise a text file is shown read-only in a window of the console and anything
    // else is reported as not opened.
    bool ShellOpen(const std::string& path, const std::string& workingDir) override;
    // Runs the operation on a worker thread under a cancel token while a modal progress
    // window (qt/long_operation.h) shows `progress` and Cancel; the windows the operation
    // asks for are shown by this (the UI) thread and answered back to the worker. Every
    // other window stays painted; user input reaches only the progress window and what
    // the operation opens.
    bool RunLongOperation(const std::string& progress,
                          const std::function<void(ui::Host&)>& operation) override;
    // Operations that ended after the operator cancelled them.
    int CancelledOperations() const { return cancelledOperations_; }

private:
    int cancelledOperations_ = 0;
};

// A message box built from `spec`, not yet shown, and the result code of each of its
// buttons. The requested default button (an index) is the box's default; Escape answers
// Cancel (or No, or OK for a lone OK button) as the Win32 boxes do.
struct BuiltMessageBox {
    std::unique_ptr<QMessageBox> box;
    std::map<QAbstractButton*, int> results;
};
BuiltMessageBox BuildMessageBox(const ui::MessageBoxSpec& spec, QWidget* parent);

// Name filter text of a file dialog: "Images (*.jpg *.png);;Text (*.txt)". Patterns may
// be given separated by ";" or blanks.
QString FileFilterText(const std::vector<ui::FileFilter>& filters);

// Whether the desktop can open files and URLs here: a desktop session, or an editor
// named by VISUAL or EDITOR.
bool DesktopOpenerConfigured();

// Uses the image at `path` as every window's icon. False when it cannot be loaded.
bool SetApplicationIcon(const std::string& path);

}  // namespace qtui
