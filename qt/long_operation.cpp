#include "qt/long_operation.h"

#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QHBoxLayout>
#include <QLabel>
#include <QMetaObject>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSet>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>
#include <mutex>
#include <thread>

#include "platform/cancel.h"
#include "qt/owned.h"
#include "qt/qt_host.h"

namespace qtui {

namespace {
// How long an operation runs before its progress window appears.
constexpr int kShowDelayMs = 300;
}  // namespace

LongOperationWindow::LongOperationWindow(const QString& title, const QString& progress,
                                         std::function<void()> onCancel, QWidget* parent)
    : QDialog(parent), onCancel_(std::move(onCancel)) {
    setObjectName(QStringLiteral("longOperation"));
    setWindowTitle(title);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    auto* layout = MakeChild<QVBoxLayout>(this);
    progress_ = MakeChild<QLabel>(progress, this);
    progress_->setObjectName(QStringLiteral("progress"));
    progress_->setTextFormat(Qt::PlainText);
    progress_->setMinimumWidth(320);
    layout->addWidget(progress_);
    auto* bar = MakeChild<QProgressBar>(this);
    bar->setRange(0, 0);  // busy: the operations do not know how far they are
    bar->setTextVisible(false);
    layout->addWidget(bar);
    auto* row = MakeChild<QHBoxLayout>();
    row->addStretch();
    cancel_ = MakeChild<QPushButton>(QStringLiteral("Cancel"), this);
    cancel_->setObjectName(QStringLiteral("cancel"));
    row->addWidget(cancel_);
    layout->addLayout(row);
    connect(cancel_, &QPushButton::clicked, this, &LongOperationWindow::reject);
}

void LongOperationWindow::SetProgress(const QString& text) { progress_->setText(text); }

QString LongOperationWindow::Progress() const { return progress_->text(); }

void LongOperationWindow::reject() {
    if (cancelled_) return;
    cancelled_ = true;
    cancel_->setEnabled(false);
    // The operation now takes its failure path; its release steps still run.
    progress_->setText(progress_->text() + QStringLiteral("\nCancelling..."));
    if (onCancel_) onCancel_();
}

void LongOperationWindow::closeEvent(QCloseEvent* event) {
    event->ignore();
    reject();
}

namespace {

// Drops the operator's clicks and keys meant for the windows open when it was made, as
// Qt drops those meant for windows a modal window blocks: nothing is replayed to them
// afterwards. Windows opened later (a question the operation asks) take input as usual.
class InputBlocker : public QObject {
public:
    InputBlocker() {
        for (QWidget* widget : QApplication::topLevelWidgets()) blocked_.insert(widget);
        qApp->installEventFilter(this);
    }
    ~InputBlocker() override { qApp->removeEventFilter(this); }
    InputBlocker(const InputBlocker&) = delete;
    InputBlocker& operator=(const InputBlocker&) = delete;

protected:
    bool eventFilter(QObject* target, QEvent* event) override {
        switch (event->type()) {
            case QEvent::KeyPress:
            case QEvent::KeyRelease:
            case QEvent::ShortcutOverride:
            case QEvent::Shortcut:
            case QEvent::MouseButtonPress:
            case QEvent::MouseButtonRelease:
            case QEvent::MouseButtonDblClick:
            case QEvent::Wheel:
            case QEvent::TouchBegin:
            case QEvent::TouchUpdate:
            case QEvent::TouchEnd:
                break;
            default:
                return false;
        }
        const auto* widget = qobject_cast<QWidget*>(target);
        return widget != nullptr && blocked_.contains(widget->window());
    }

private:
    QSet<QWidget*> blocked_;
};

// Runs `call` on the thread of `context` (the UI thread) and waits for it.
template <class F>
void OnUiThread(QObject* context, F&& call) {
    if (QThread::currentThread() == context->thread()) {
        call();
        return;
    }
    QMetaObject::invokeMethod(context, std::forward<F>(call), Qt::BlockingQueuedConnection);
}

// What the operation on the worker sees as its host: every window goes to the UI thread
// (which shows it above the progress window) and the answer comes back.
class WorkerHost : public ui::Host {
public:
    WorkerHost(QtHost& ui, LongOperationWindow& window) : ui_(ui), window_(window) {
        SetCaption(ui.Caption());
    }

    int RunModal(ui::Dialog& dialog) override {
        int result = 0;
        OnUiThread(&window_, [&] { result = ui_.RunModal(dialog); });
        return result;
    }
    int RunSheet(ui::Sheet& sheet) override {
        int result = 0;
        OnUiThread(&window_, [&] { result = ui_.RunSheet(sheet); });
        return result;
    }
    int MessageBox(const ui::MessageBoxSpec& spec) override {
        int result = 0;
        OnUiThread(&window_, [&] { result = ui_.MessageBox(spec); });
        return result;
    }
    bool GetFileName(const ui::OpenFileSpec& spec, std::string& path) override {
        bool chosen = false;
        OnUiThread(&window_, [&] { chosen = ui_.GetFileName(spec, path); });
        return chosen;
    }
    // The progress window says the console is busy; a wait cursor would hide that its
    // Cancel button can be pressed.
    std::unique_ptr<ui::WaitCursor> BusyCursor() override {
        return std::make_unique<ui::WaitCursor>();
    }
    void KeepPainted() override {}  // the UI thread is free
    void SetClipboardText(const std::string& text) override {
        OnUiThread(&window_, [&] { ui_.SetClipboardText(text); });
    }
    bool ShellOpen(const std::string& path, const std::string& workingDir) override {
        return ui_.ShellOpen(path, workingDir);
    }
    bool RunLongOperation(const std::string& progress,
                          const std::function<void(Host&)>& operation) override {
        const std::string outer = Progress();
        SetProgress(progress);
        operation(*this);
        SetProgress(outer);
        return platform::CancelRequested();
    }
    void SetProgress(const std::string& text) override {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            progress_ = text;
        }
        const QString shown = QString::fromStdString(text);
        QMetaObject::invokeMethod(
            &window_, [window = &window_, shown] {
                if (!window->CancelRequested()) window->SetProgress(shown);
            },
            Qt::QueuedConnection);
    }
    void UnknownControl(const std::string& templateId, const std::string& controlId) override {
        ui_.UnknownControl(templateId, controlId);
    }

private:
    std::string Progress() {
        std::lock_guard<std::mutex> lock(mutex_);
        return progress_;
    }

    QtHost& ui_;
    LongOperationWindow& window_;
    std::mutex mutex_;
    std::string progress_;
};

}  // namespace

bool QtHost::RunLongOperation(const std::string& progress,
                              const std::function<void(ui::Host&)>& operation) {
    // Called from inside an operation's own UI-thread window (a dialog it opened): the
    // operation already owns the worker, so this one runs where it is asked.
    if (platform::CurrentCancelToken() != nullptr) return Host::RunLongOperation(progress, operation);
    platform::CancelToken token;
    // The window and the field the operator started from get the keyboard back when the
    // progress window goes: a window manager gives it to nobody.
    const QPointer<QWidget> starter = QApplication::activeWindow();
    const QPointer<QWidget> focused = QApplication::focusWidget();
    LongOperationWindow window(QString::fromStdString(Caption()), QString::fromStdString(progress),
                               [&token] { token.Cancel(); }, QApplication::activeModalWidget());
    window.setWindowModality(Qt::ApplicationModal);
    WorkerHost worker(*this, window);
    QEventLoop loop;
    bool finished = false;
    std::thread thread([&] {
        {
            platform::ScopedCancelToken scope(&token);
            worker.SetProgress(progress);
            operation(worker);
        }
        QMetaObject::invokeMethod(&window, [&loop, &finished] {
            finished = true;
            loop.quit();
        }, Qt::QueuedConnection);
    });
    // A quick operation (a spool scan, a refused connection) ends before the window would
    // be noticed, so the window waits kShowDelayMs before it appears instead of
    // flashing. Meanwhile the console keeps painting and the windows open before the
    // operation take no input, as under the modal window.
    QTimer::singleShot(kShowDelayMs, &loop, &QEventLoop::quit);
    {
        InputBlocker blocker;
        loop.exec();
    }
    if (!finished) {
        window.show();
        loop.exec();
    }
    thread.join();
    window.hide();
    if (starter && starter->isVisible()) {
        starter->activateWindow();
        if (focused && focused->window() == starter && focused->isVisible())
            focused->setFocus(Qt::OtherFocusReason);
    }
    if (token.Cancelled()) ++cancelledOperations_;
    return token.Cancelled();
}

}  // namespace qtui
