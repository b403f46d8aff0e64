// A file shown read-only in a window of the console, for machines where nothing else
// opens it (a server without a desktop, no editor set up).
#pragma once

#include <QDialog>
#include <string>

class QPlainTextEdit;

namespace qtui {

class FileViewerWindow : public QDialog {
    Q_OBJECT
public:
    // Shows `text`, the content of `path`; `cut` says that only its beginning is shown.
    FileViewerWindow(const std::string& path, const QString& text, bool cut, QWidget* parent);
    QPlainTextEdit* TextView() const { return text_; }

private:
    QPlainTextEdit* text_;
};

// The most of a file the window shows; a longer file shows its beginning and says so.
inline constexpr std::size_t kViewedFileBytes = 8u << 20;

// Reads `path` (a regular file, no link followed, at most kViewedFileBytes) and shows it
// modally above `parent` until the operator closes it. False, with `error` in the
// operator's words, when it cannot be read or is not text.
bool ViewFileReadOnly(const std::string& path, QWidget* parent, std::string& error);

}  // namespace qtui
