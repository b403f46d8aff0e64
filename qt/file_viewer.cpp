#include "qt/file_viewer.h"

#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <cerrno>
#include <cstring>
#include <string_view>

#include "platform/files.h"
#include "qt/owned.h"

namespace qtui {

namespace {

// Text when it has no NUL bytes in its first block: logs and spool files, not pictures.
bool LooksLikeText(const std::string& content) {
    return std::string_view(content).substr(0, 8192).find('\0') == std::string_view::npos;
}

}  // namespace

FileViewerWindow::FileViewerWindow(const std::string& path, const QString& text, bool cut,
                                   QWidget* parent)
    : QDialog(parent) {
    const QString name = QString::fromStdString(path.substr(path.find_last_of('/') + 1));
    setWindowTitle(name);
    setObjectName(QStringLiteral("FileViewer"));
    setSizeGripEnabled(true);
    auto* layout = MakeChild<QVBoxLayout>(this);
    auto* where = MakeChild<QLabel>(QString::fromStdString(path), this);
    where->setTextInteractionFlags(Qt::TextSelectableByMouse);
    where->setWordWrap(true);
    layout->addWidget(where);
    text_ = MakeChild<QPlainTextEdit>(this);
    text_->setReadOnly(true);
    text_->setLineWrapMode(QPlainTextEdit::NoWrap);
    text_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    text_->setPlainText(text);
    layout->addWidget(text_, 1);
    if (cut) {
        auto* note = MakeChild<QLabel>(
            tr("Only the first %1 MB of this file are shown.").arg(kViewedFileBytes >> 20), this);
        layout->addWidget(note);
    }
    auto* buttons = MakeChild<QDialogButtonBox>(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    // Wide enough for a log line, within the smallest screen the console is made for.
    const QFontMetrics fm(text_->font());
    resize(std::min(100 * fm.averageCharWidth() + 40, 1000), 560);
}

bool ViewFileReadOnly(const std::string& path, QWidget* parent, std::string& error) {
    std::string content;
    errno = 0;
    if (!platform::ReadFileHead(path, kViewedFileBytes + 1, content)) {
        error = "Cannot open " + path + ": " +
                (errno != 0 ? std::string(std::strerror(errno)) : "it is not a readable file");
        return false;
    }
    if (!LooksLikeText(content)) {
        error = "Cannot open " + path +
                ": no program to show this kind of file is set up on this computer.";
        return false;
    }
    const bool cut = content.size() > kViewedFileBytes;
    if (cut) content.resize(kViewedFileBytes);
    FileViewerWindow window(path, QString::fromLocal8Bit(content.data(), qsizetype(content.size())),
                            cut, parent);
    window.exec();
    return true;
}

}  // namespace qtui
