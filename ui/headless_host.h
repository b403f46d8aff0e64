// A host without a display: dialogs and sheets keep their state in memory, every window
// and message box leaves a transcript line, and tests answer them through hooks queued
// in advance. Timers run on a virtual queue driven by platform::Clock(), so with a
// FakeClock a wait of minutes takes no time at all.
//
// Transcript lines:
//   open: TITLE                      a dialog or sheet opened (after its OnInit)
//   close: TITLE = RESULT            it ended ("OK", "Cancel", "Yes", ... or the number)
//   box: TEXT [BUTTONS] -> ANSWER    a message box; CR and LF in TEXT written as \r and \n
//   file: TITLE -> PATH              a file dialog answered ("-> cancel" when cancelled)
//   shell: open PATH                 a file or URL handed to the desktop
//   cancelled: PROGRESS              a long operation ended after CancelOperation
//   FAIL: WHY                        a queued expectation that was not met, or a
//                                    control id the dialog does not have
//
// Long operations run inline on the calling thread and leave no line of their own
// unless they are cancelled, so a transcript reads the same with or without them.
//
// Typical use in a test:
//   ui::HeadlessHost host;
//   host.QueueDialog("DIALOG_SMPP", [&](ui::Dialog& d) {
//       d.UserSetText("host", "127.0.0.1");
//       d.UserClick(ui::IDOK);
//   });
//   host.QueueAnswer("Save connection?", ui::kNo);
//   EditSmppConnection(host, ...);
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "platform/cancel.h"
#include "ui/host.h"

namespace ui {

class HeadlessHost : public Host {
public:
    using DialogScript = std::function<void(Dialog&)>;
    using SheetScript = std::function<void(Sheet&)>;
    using BoxHook = std::function<int(const MessageBoxSpec&)>;

    // `echo`, when given, receives every transcript line as it is recorded.
    explicit HeadlessHost(std::ostream* echo = nullptr);
    ~HeadlessHost() override;

    // ---- answers, queued before the code under test runs --------------------------------
    // The next dialog to open runs `script` right after its OnInit. A dialog still open
    // when its script returns (or that opens with no script queued) is cancelled as a
    // user closing it would; one that refuses is ended with kCancel.
    void QueueDialog(DialogScript script);
    // As above, and the dialog must have this template id (else FAIL and it is cancelled).
    void QueueDialog(std::string templateId, DialogScript script);
    // The same for sheets; the script runs after the start page is active.
    void QueueSheet(SheetScript script);
    // The next message box is answered with `result`; with `prefix`, its text must begin
    // with it (else FAIL, and the box gets its default button).
    void QueueAnswer(int result);
    void QueueAnswer(std::string prefix, int result);
    // Asked for message boxes when no queued answer is left; without it, and for hooks
    // returning a code that is not one of the box's buttons, the default button answers.
    void SetBoxHook(BoxHook hook) { boxHook_ = std::move(hook); }
    // The next file dialog returns `path` (QueueFileCancel: is cancelled). Unqueued file
    // dialogs are cancelled.
    void QueueFile(std::string path);
    void QueueFileCancel();

    // ---- what happened --------------------------------------------------------------------
    const std::vector<std::string>& Transcript() const { return transcript_; }
    // The transcript as one text, each line ended by "\n".
    std::string TranscriptText() const;
    void ClearTranscript() { transcript_.clear(); }
    // The texts of every message box shown so far, in order, as the transcript writes
    // them (CR, LF and tab escaped), without their buttons and answers.
    std::vector<std::string> BoxTexts() const;
    // Whether a FAIL line was recorded.
    bool Failed() const { return failed_; }
    // Queued answers and scripts that nothing used (a test usually expects 0).
    int UnusedAnswers() const;
    const std::string& ClipboardText() const { return clipboard_; }
    int BusyDepth() const { return busyDepth_; }

    // ---- long operations ------------------------------------------------------------------
    // Cancels the long operation running now, as the operator's Cancel would; safe from
    // any thread (tests call it from a thread watching a simulator). False when none runs.
    bool CancelOperation();
    // The progress line of the running long operation (empty when none runs).
    std::string Progress() const;

    // ---- while a window is open -----------------------------------------------------------
    // Lets `ms` milliseconds pass through platform::Clock().Sleep, firing the due timers
    // of the innermost window (the active page of a sheet) in due order as they come due.
    void Wait(std::uint64_t ms);
    // The innermost open dialog or sheet (nullptr when none).
    Dialog* ActiveDialog() const;
    Sheet* ActiveSheet() const;
    // The dialog whose controls the user reaches now: the innermost dialog, or the
    // active page of the innermost sheet (nullptr when nothing is open).
    Dialog* FrontDialog() const;
    int OpenWindows() const { return static_cast<int>(windows_.size()); }

    // ---- Host ------------------------------------------------------------------------------
    int RunModal(Dialog& dialog) override;
    int RunSheet(Sheet& sheet) override;
    int MessageBox(const MessageBoxSpec& spec) override;
    bool GetFileName(const OpenFileSpec& spec, std::string& path) override;
    std::unique_ptr<WaitCursor> BusyCursor() override;
    void KeepPainted() override {}
    void SetClipboardText(const std::string& text) override { clipboard_ = text; }
    bool ShellOpen(const std::string& path, const std::string& workingDir) override;
    bool RunLongOperation(const std::string& progress,
                          const std::function<void(Host&)>& operation) override;
    void SetProgress(const std::string& text) override;
    void UnknownControl(const std::string& templateId, const std::string& controlId) override;

    // "box: TEXT [BUTTONS] -> ANSWER" as recorded for a box answered with `answer`.
    static std::string BoxLine(const MessageBoxSpec& spec, int answer);
    // "[OK]", "[Yes/No]", "[Yes/No/Cancel]" ...
    static std::string ButtonList(Buttons buttons);
    // Text with CR and LF written as \r and \n.
    static std::string EscapeLine(const std::string& text);

protected:
    struct Window;

    // Drives an open window until it ends or the driver has nothing more to do; the
    // headless host runs the queued script. Derived hosts (the script driver) override.
    virtual void DriveDialog(Dialog& dialog);
    virtual void DriveSheet(Sheet& sheet);
    // Chooses the answer of a message box; a non-empty `failure` is recorded as a FAIL
    // line after the box line. Answers that are not one of the box's buttons become the
    // default button.
    virtual int AnswerBox(const MessageBoxSpec& spec, std::string& failure);
    // Chooses the answer of a file dialog (std::nullopt cancels); a non-empty `failure`
    // is recorded as a FAIL line after the file line.
    virtual std::optional<std::string> AnswerFile(const OpenFileSpec& spec, std::string& failure);

    // Appends a transcript line (and echoes it); "FAIL: ..." lines set Failed().
    void Record(const std::string& line);
    void Fail(const std::string& why) { Record("FAIL: " + why); }

private:
    class View;
    class SheetViewImpl;
    class NoWait;

    void CloseLeftOpen(Window& window);
    View* FrontView() const;
    bool FrontEnded() const;

    std::ostream* echo_;
    std::vector<std::string> transcript_;
    bool failed_ = false;
    std::deque<std::pair<std::string, DialogScript>> dialogScripts_;
    std::deque<SheetScript> sheetScripts_;
    std::deque<std::pair<std::optional<std::string>, int>> answers_;
    std::deque<std::optional<std::string>> files_;
    BoxHook boxHook_;
    std::vector<std::unique_ptr<Window>> windows_;
    std::string clipboard_;
    int busyDepth_ = 0;
    // The running operation's token and progress line, reached from other threads.
    mutable std::mutex operationMutex_;
    platform::CancelToken* operationToken_ = nullptr;
    std::string progress_;
};

}  // namespace ui
