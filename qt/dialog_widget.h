// The widgets of one dialog (a modal dialog or a page of a sheet), bound to the dialog
// procedure both ways: state changes of the procedure update the widgets without being
// fed back, and only the user's own actions reach the procedure's User* entry points.
#pragma once

#include <QColor>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "qt/layout.h"
#include "ui/dialog.h"

namespace qtui {

// The colour of an alarm (a red dark enough to read: 6.4:1 against Fusion's window grey,
// above the 4.5:1 that text needs; pure red reaches only 3.4:1 there).
inline QColor AlarmColor() { return QColor(0xB0, 0x00, 0x00); }

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
    // The least width the widgets ask for, whatever their layout needs less; never an
    // explicit minimum, which would stop the layout from asking for more.
    void SetWidthFloor(int pixels) {
        widthFloor_ = std::max(widthFloor_, pixels);
        updateGeometry();
    }
    QSize minimumSizeHint() const override;
    QSize sizeHint() const override;

    // ---- ui::DialogView -----------------------------------------------------------------
    void ControlChanged(const std::string& id) override;
    void RowsChanged(const std::string& id) override;
    void TitleChanged() override;
    void FocusRequested(const std::string& id) override;
    void TimerSet(int timerId, int ms) override;
    void TimerKilled(int timerId) override;
    void Ended(int result) override;
    void ScrollRequested(const std::string& id, int row) override;

protected:
    // Enter, Insert, Delete and typed letters on a list or report go to the procedure.
    bool eventFilter(QObject* watched, QEvent* event) override;

signals:
    void titleChanged(const QString& title);
    void ended(int result);

private:
    void Sync(const std::string& id);
    void SyncCommon(const BoundControl& b, const ui::ControlState& s);
    void SyncItems(const BoundControl& b, const ui::ControlState& s);
    void SyncReport(const BoundControl& b, const ui::ControlState& s);
    // Widens the columns of a report the user has not sized to what their titles and
    // first rows need, each within the list's width.
    void FitColumns(const std::string& id, const BoundControl& b);
    // The grey line of an empty list or report, over the top of its viewport.
    void SyncEmptyLine(const std::string& id, const BoundControl& b, const ui::ControlState& s);
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
    int widthFloor_ = 0;
    std::map<QObject*, std::string> keyViews_;        // list and report views -> control id
    std::map<std::string, std::set<int>> userSized_;  // report -> columns the user sized
    std::map<QObject*, QLabel*> emptyLines_;          // viewport -> its empty line
    int fitting_ = 0;             // > 0 while columns are sized here, not by the user
    QString typed_;               // the type-ahead text so far
    QObject* typedIn_ = nullptr;  // the view it was typed in
    QElapsedTimer sinceTyped_;
};

// "\r\n" line ends of the dialog's multi-line texts shown as "\n", and back.
QString FromDialogText(const std::string& text);
std::string ToDialogText(const QString& text, bool multiline);

}  // namespace qtui
