// Opening a file on a machine without a desktop session or an editor: the Qt host shows a
// text file read-only in a window of its own and says what it could not open, instead of
// handing the file to an opener that silently does nothing.
#include "qt/file_viewer.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <QPlainTextEdit>
#include <QTimer>
#include <optional>

#include "platform/files.h"
#include "qt/qt_host.h"
#include "tests/qt/qt_test_app.h"
#include "tests/support/temp_dir.h"

namespace {

class RecordingHost : public qtui::QtHost {
public:
    int MessageBox(const ui::MessageBoxSpec& spec) override {
        boxes.push_back(spec.text);
        return ui::kOk;
    }
    std::vector<std::string> boxes;
};

// Takes the environment's openers away for one test.
class NoOpener {
public:
    NoOpener() {
        for (const char* name : kNames) {
            const char* value = getenv(name);
            saved_.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
            unsetenv(name);
        }
    }
    ~NoOpener() {
        for (const auto& [name, value] : saved_)
            if (value) setenv(name.c_str(), value->c_str(), 1);
    }

private:
    static constexpr const char* kNames[] = {"VISUAL", "EDITOR", "XDG_CURRENT_DESKTOP"};
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

TEST(OpenWithoutADesktop, TextIsShownReadOnlyAndTheRestIsReported) {
    qtui_test::App();
    NoOpener none;
    ASSERT_FALSE(qtui::DesktopOpenerConfigured());
    zella_test::TempDir dir("viewer");
    const std::string log = dir.File("SMSOUT-20261207.LOG");
    ASSERT_TRUE(platform::WriteFileAtomic(log, "12:00:01 Message sent to +4401\n"));
    const std::string picture = dir.File("PART1.JPG");
    ASSERT_TRUE(platform::WriteFileAtomic(picture, std::string("\xff\xd8\xff\xe0\0\x10JFIF", 10)));

    RecordingHost host;
    QString shown;
    bool readOnly = false;
    QTimer::singleShot(0, [&] {
        auto* window = qobject_cast<qtui::FileViewerWindow*>(QApplication::activeModalWidget());
        if (!window) return;
        shown = window->TextView()->toPlainText();
        readOnly = window->TextView()->isReadOnly();
        window->reject();
    });
    EXPECT_TRUE(host.ShellOpen(log, dir.Path()));
    EXPECT_EQ(shown, QStringLiteral("12:00:01 Message sent to +4401\n"));
    EXPECT_TRUE(readOnly);
    EXPECT_TRUE(host.boxes.empty());

    EXPECT_FALSE(host.ShellOpen(picture, dir.Path()));
    EXPECT_FALSE(host.ShellOpen(dir.File("GONE.LOG"), dir.Path()));
    EXPECT_FALSE(host.ShellOpen("http://127.0.0.1:8800/", ""));
    ASSERT_EQ(host.boxes.size(), 3u);
    EXPECT_EQ(host.boxes[0],
              "Cannot open " + picture +
                  ": no program to show this kind of file is set up on this computer.");
    EXPECT_EQ(host.boxes[1].rfind("Cannot open " + dir.File("GONE.LOG") + ": ", 0), 0u);
    EXPECT_EQ(host.boxes[2],
              "Cannot open http://127.0.0.1:8800/: no web browser is set up on this computer.");
}

}  // namespace
