// The widgets of one dialog (a modal dialog or a page of a sheet), bound to the dialog
// procedure both ways: state changes of the procedure update the widgets without being
// fed back, and only the user's own actions reach the procedure's User* entry points.
#pragma once

#include <QTimer>
#include <QWidget>
#include <map>
#include <memory>
#include <string>

#include "qt/layout.h"
#include "ui/dialog.h"

namespace qtui {

class DialogWidget : public QWidget, public ui::DialogView {
    Q_OBJECT
public:
    // Builds the widgets of `dialog`'s template. The dialog must outlive this widget;
    // attaching it to this view is the caller's business.
    DialogWidget(ui::Dialog& dialog, const BuildOptions& options, QWidget* parent);
    ~DialogWidget() override;

    ui::Dialog& GetDialog() const { return dialog_; }
    // Widgets of the control `id`; null when the template has no such control.
    const BoundControl* Find(const std::string& id) const;
    // Brings every widget in line with the dialog's state.
    void SyncAll();

    // ---- ui::DialogView -----------------------------------------------------------------
    void ControlChanged(const std::string& id) override;
    void RowsChanged(const std::string& id) override;
    void TitleChanged() override;
    void FocusRequested(const std::string& id) override;
    void TimerSet(int timerId, int ms) override;
    void TimerKilled(int timerId) override;
    void Ended(int result) override;

signals:
    void titleChanged(const QString& title);
    void ended(int result);

private:
    void Sync(const std::string& id);
    void SyncCommon(const BoundControl& b, const ui::ControlState& s);
    void SyncItems(const BoundControl& b, const ui::ControlState& s);
    void SyncReport(const BoundControl& b, const ui::ControlState& s);
    void Connect(const std::string& id, const BoundControl& b);
    void ConnectItemView(const std::string& id, const BoundControl& b);
    // Runs a user action on the procedure unless the dialog has already ended, then
    // shows the control's state, which the procedure may have corrected.
    template <typename Fn>
    void Deliver(const std::string& id, Fn&& action);

    ui::Dialog& dialog_;
    ControlMap controls_;
    std::map<int, std::unique_ptr<QTimer>> timers_;
    int updating_ = 0;  // > 0 while widgets are set from the dialog's state
};

// "\r\n" line ends of the dialog's multi-line texts shown as "\n", and back.
QString FromDialogText(const std::string& text);
std::string ToDialogText(const QString& text, bool multiline);

}  // namespace qtui
