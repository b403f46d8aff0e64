// The window of a modal dialog: a QDialog holding the dialog's widgets, whose close box,
// Escape and Enter go through the procedure, and which closes only when the procedure
// ends the dialog.
#pragma once

#include <QDialog>

#include "qt/dialog_widget.h"
#include "ui/dialog.h"
#include "ui/host.h"

namespace qtui {

class DialogWindow : public QDialog {
    Q_OBJECT
public:
    // The dialog must outlive the window.
    DialogWindow(ui::Dialog& dialog, QWidget* parent);
    // Detaches the dialog when it is still attached to this window.
    ~DialogWindow() override;

    // Attaches the dialog to this window with `host`, runs OnInit and shows the state it
    // set. Does not show the window.
    void Open(ui::Host* host);
    // Runs the window modally until the procedure ends the dialog; returns its result.
    // Returns at once when the dialog already ended (in OnInit).
    int RunUntilEnded();
    // Detaches the dialog; afterwards the window no longer reaches the procedure.
    void Close();

    DialogWidget& Widget() { return widget_; }

public slots:
    // Escape and the close box: the procedure decides (OnCancel).
    void reject() override;

private:
    ui::Dialog& dialog_;
    DialogWidget widget_;
    bool attached_ = false;
};

}  // namespace qtui
