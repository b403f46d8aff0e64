#include "qt/qt_host.h"

#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QGuiApplication>
#include <QIcon>
#include <QPixmap>
#include <QPushButton>
#include <cstdlib>

#include "platform/process.h"
#include "qt/dialog_window.h"
#include "qt/file_viewer.h"
#include "qt/sheet_window.h"

namespace qtui {

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

// Dialogs opened from a dialog stay above it.
QWidget* ModalParent() { return QApplication::activeModalWidget(); }

QMessageBox::StandardButton StandardButtonFor(int result) {
    switch (result) {
        case ui::kOk: return QMessageBox::Ok;
        case ui::kCancel: return QMessageBox::Cancel;
        case ui::kAbort: return QMessageBox::Abort;
        case ui::kRetry: return QMessageBox::Retry;
        case ui::kIgnore: return QMessageBox::Ignore;
        case ui::kYes: return QMessageBox::Yes;
        case ui::kNo: return QMessageBox::No;
        default: return QMessageBox::NoButton;
    }
}

QMessageBox::Icon IconFor(ui::Icon icon) {
    switch (icon) {
        case ui::Icon::Information: return QMessageBox::Information;
        case ui::Icon::Warning: return QMessageBox::Warning;
        case ui::Icon::Error: return QMessageBox::Critical;
        case ui::Icon::Question: return QMessageBox::Question;
        case ui::Icon::None: break;
    }
    return QMessageBox::NoIcon;
}

// The answer when the box is dismissed without a button: Cancel when offered, else No,
// else the only button.
int EscapeResult(const std::vector<int>& results) {
    for (int wanted : {int(ui::kCancel), int(ui::kNo)})
        for (int r : results)
            if (r == wanted) return r;
    return results.size() == 1 ? results.front() : 0;
}

class OverrideCursor : public ui::WaitCursor {
public:
    OverrideCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~OverrideCursor() override { QGuiApplication::restoreOverrideCursor(); }
    OverrideCursor(const OverrideCursor&) = delete;
    OverrideCursor& operator=(const OverrideCursor&) = delete;
};

}  // namespace

BuiltMessageBox BuildMessageBox(const ui::MessageBoxSpec& spec, QWidget* parent) {
    BuiltMessageBox built;
    built.box = std::make_unique<QMessageBox>(parent);
    QMessageBox& box = *built.box;
    box.setWindowTitle(Q(spec.caption));
    box.setText(Q(spec.text));
    box.setTextFormat(Qt::PlainText);
    box.setIcon(IconFor(spec.icon));
    const std::vector<int> results = ui::ButtonResults(spec.buttons);
    const int escape = EscapeResult(results);
    for (std::size_t i = 0; i < results.size(); ++i) {
        QPushButton* button = box.addButton(StandardButtonFor(results[i]));
        built.results[button] = results[i];
        if (static_cast<int>(i) == spec.defaultButton) box.setDefaultButton(button);
        if (results[i] == escape) box.setEscapeButton(button);
    }
    if (spec.foreground) box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    return built;
}

int QtHost::MessageBox(const ui::MessageBoxSpec& spec) {
    BuiltMessageBox built = BuildMessageBox(spec, spec.foreground ? nullptr : ModalParent());
    if (spec.foreground) {
        built.box->show();
        built.box->raise();
        built.box->activateWindow();
    }
    built.box->exec();
    auto it = built.results.find(built.box->clickedButton());
    if (it != built.results.end()) return it->second;
    return EscapeResult(ui::ButtonResults(spec.buttons));
}

int QtHost::RunModal(ui::Dialog& dialog) {
    DialogWindow window(dialog, ModalParent());
    window.Open(this);
    int result = window.RunUntilEnded();
    window.Close();
    return result;
}

int QtHost::RunSheet(ui::Sheet& sheet) {
    SheetWindow window(sheet, ModalParent());
    window.Open(this);
    int result = window.RunUntilEnded();
    window.Close();
    return result;
}

QString FileFilterText(const std::vector<ui::FileFilter>& filters) {
    QStringList parts;
    for (const ui::FileFilter& f : filters) {
        QString patterns = Q(f.patterns);
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        QStringList list = patterns.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (list.isEmpty()) list << QStringLiteral("*");
        parts << QStringLiteral("%1 (%2)").arg(Q(f.name), list.join(QLatin1Char(' ')));
    }
    return parts.join(QStringLiteral(";;"));
}

bool QtHost::GetFileName(const ui::OpenFileSpec& spec, std::string& path) {
    QFileDialog dialog(ModalParent(), Q(spec.title), Q(spec.initialDirectory));
    if (!spec.filters.empty()) dialog.setNameFilter(FileFilterText(spec.filters));
    dialog.setAcceptMode(spec.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(spec.mustExist && !spec.save ? QFileDialog::ExistingFile
                                                    : QFileDialog::AnyFile);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
    path = dialog.selectedFiles().front().toStdString();
    return true;
}

std::unique_ptr<ui::WaitCursor> QtHost::BusyCursor() { return std::make_unique<OverrideCursor>(); }

void QtHost::KeepPainted() { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); }

void QtHost::SetClipboardText(const std::string& text) {
    if (QClipboard* clipboard = QGuiApplication::clipboard()) clipboard->setText(Q(text));
}

bool DesktopOpenerConfigured() {
    for (const char* name : {"VISUAL", "EDITOR", "XDG_CURRENT_DESKTOP"}) {
        if (!platform::EnvironmentValue(name).empty()) return true;
    }
    return false;
}

bool QtHost::ShellOpen(const std::string& path, const std::string& workingDir) {
    // Without a desktop session or an editor of the operator's choice the desktop's
    // opener starts and silently finds nothing to open with (a server reached through
    // VNC): the console shows the file itself, or says what it could not open.
    if (DesktopOpenerConfigured()) return platform::ShellOpen(path, workingDir);
    const bool url = path.find("://") != std::string::npos;
    std::string error;
    if (url) {
        error = "Cannot open " + path + ": no web browser is set up on this computer.";
    } else {
        std::string full = path;
        if (!full.empty() && full[0] != '/' && !workingDir.empty()) full = workingDir + full;
        if (ViewFileReadOnly(full, ModalParent(), error)) return true;
    }
    ui::Error(*this, error);
    return false;
}

bool SetApplicationIcon(const std::string& path) {
    if (QPixmap(Q(path)).isNull()) return false;
    QApplication::setWindowIcon(QIcon(Q(path)));
    return true;
}

}  // namespace qtui
