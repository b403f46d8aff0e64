// The window of a long operation: a small modal window with the operation's progress
// line, a busy bar and Cancel, shown by QtHost::RunLongOperation while the operation runs
// on a worker thread. Escape and the close box mean Cancel; the window closes only when
// the operation has ended.
#pragma once

#include <QDialog>
#include <functional>

class QLabel;
class QPushButton;

namespace qtui {

class LongOperationWindow : public QDialog {
    Q_OBJECT
public:
    // `onCancel` runs on the first Cancel (button, Escape or close box).
    LongOperationWindow(const QString& title, const QString& progress,
                        std::function<void()> onCancel, QWidget* parent);

    void SetProgress(const QString& text);
    QString Progress() const;
    bool CancelRequested() const { return cancelled_; }
    QPushButton* CancelButton() const { return cancel_; }

public slots:
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QLabel* progress_;
    QPushButton* cancel_;
    std::function<void()> onCancel_;
    bool cancelled_ = false;
};

}  // namespace qtui
