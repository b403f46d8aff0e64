#include "qt/dialog_window.h"

#include <QApplication>
#include <QVBoxLayout>
#include <algorithm>

#include "qt/owned.h"

namespace qtui {

namespace {
// A window manager's close, maximise and minimise buttons and the title's margins.
constexpr int kTitleBarButtons = 120;
}  // namespace

DialogWindow::DialogWindow(ui::Dialog& dialog, QWidget* parent)
    : QDialog(parent), dialog_(dialog), widget_(dialog, BuildOptions{}, this) {
    auto* layout = MakeChild<QVBoxLayout>(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(&widget_);
    setWindowTitle(QString::fromStdString(dialog.Title()));
    setObjectName(QString::fromStdString(dialog.GetTemplate().id));
    setSizeGripEnabled(true);
    // Wide enough for the window manager to show the whole title beside its buttons.
    QFont titleFont = QApplication::font("QMdiSubWindowTitleBar");
    titleFont.setBold(true);
    widget_.SetWidthFloor(QFontMetrics(titleFont).horizontalAdvance(windowTitle()) +
                          kTitleBarButtons);
    connect(&widget_, &DialogWidget::titleChanged, this, &QWidget::setWindowTitle);
    connect(&widget_, &DialogWidget::ended, this, [this](int result) { QDialog::done(result); });
}

DialogWindow::~DialogWindow() {
    // The widget is a member, destroyed (and so removed from the window's children)
    // before QWidget's destructor deletes the children.
    Close();
}

void DialogWindow::Open(ui::Host* host) {
    dialog_.Attach(host, &widget_);
    attached_ = true;
    dialog_.Initialize();
    setWindowTitle(QString::fromStdString(dialog_.Title()));
    widget_.SyncAll();
}

int DialogWindow::RunUntilEnded() {
    if (!dialog_.IsEnded()) exec();
    return dialog_.IsEnded() ? dialog_.ResultCode() : ui::kCancel;
}

void DialogWindow::Close() {
    if (!attached_) return;
    attached_ = false;
    dialog_.Detach();
}

void DialogWindow::reject() {
    if (attached_ && !dialog_.IsEnded()) dialog_.UserClose();
}

}  // namespace qtui
