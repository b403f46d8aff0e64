#include "ui/headless_host.h"

#include <algorithm>
#include <limits>

#include "platform/clock.h"

namespace ui {

// Keeps the due times of one dialog's timers on the virtual queue.
class HeadlessHost::View : public DialogView {
public:
    struct Timer {
        std::uint64_t period = 1;
        std::uint64_t due = 0;
    };

    explicit View(Dialog& dialog) : dialog_(dialog) {
        for (const auto& [id, ms] : dialog.Timers()) TimerSet(id, ms);
    }

    void ControlChanged(const std::string&) override {}
    void RowsChanged(const std::string&) override {}
    void TitleChanged() override {}
    void FocusRequested(const std::string&) override {}
    void TimerSet(int timerId, int ms) override {
        // A zero period would starve the queue; Win32 rounds tiny periods up as well.
        std::uint64_t period = static_cast<std::uint64_t>(std::max(ms, 1));
        timers_[timerId] = Timer{period, platform::Clock().TickCount() + period};
    }
    void TimerKilled(int timerId) override { timers_.erase(timerId); }
    void Ended(int) override {}

    // The timer due first (lowest id among equals), or -1.
    int NextDue(std::uint64_t& due) const {
        int best = -1;
        due = std::numeric_limits<std::uint64_t>::max();
        for (const auto& [id, t] : timers_) {
            if (t.due < due) {
                due = t.due;
                best = id;
            }
        }
        return best;
    }

    void Rearm(int timerId, std::uint64_t now) {
        auto it = timers_.find(timerId);
        if (it != timers_.end()) it->second.due = now + it->second.period;
    }

    Dialog& dialog() { return dialog_; }

private:
    Dialog& dialog_;
    std::map<int, Timer> timers_;
};

class HeadlessHost::SheetViewImpl : public SheetView {
public:
    SheetViewImpl(Sheet& sheet, std::vector<std::unique_ptr<View>>& pageViews)
        : sheet_(sheet), pageViews_(pageViews) {}
    DialogView* CreatePageView(int index) override {
        if (static_cast<int>(pageViews_.size()) <= index) pageViews_.resize(index + 1);
        pageViews_[index] = std::make_unique<View>(sheet_.PageAt(index));
        return pageViews_[index].get();
    }
    void PageActivated(int) override {}
    void ApplyEnabledChanged(bool) override {}
    void SheetEnded(int) override {}

private:
    Sheet& sheet_;
    std::vector<std::unique_ptr<View>>& pageViews_;
};

struct HeadlessHost::Window {
    Dialog* dialog = nullptr;
    Sheet* sheet = nullptr;
    std::unique_ptr<View> view;
    std::vector<std::unique_ptr<View>> pageViews;
    std::unique_ptr<SheetViewImpl> sheetView;
};

class HeadlessHost::NoWait : public WaitCursor {
public:
    explicit NoWait(int& depth) : depth_(depth) { ++depth_; }
    ~NoWait() override { --depth_; }

private:
    int& depth_;
};

HeadlessHost::HeadlessHost(std::ostream* echo) : echo_(echo) {}

HeadlessHost::~HeadlessHost() = default;

void HeadlessHost::QueueDialog(DialogScript script) {
    dialogScripts_.emplace_back(std::string(), std::move(script));
}

void HeadlessHost::QueueDialog(std::string templateId, DialogScript script) {
    dialogScripts_.emplace_back(std::move(templateId), std::move(script));
}

void HeadlessHost::QueueSheet(SheetScript script) { sheetScripts_.push_back(std::move(script)); }

void HeadlessHost::QueueAnswer(int result) { answers_.emplace_back(std::nullopt, result); }

void HeadlessHost::QueueAnswer(std::string prefix, int result) {
    answers_.emplace_back(std::move(prefix), result);
}

void HeadlessHost::QueueFile(std::string path) { files_.emplace_back(std::move(path)); }

void HeadlessHost::QueueFileCancel() { files_.emplace_back(std::nullopt); }

std::string HeadlessHost::TranscriptText() const {
    std::string text;
    for (const std::string& line : transcript_) text += line + "\n";
    return text;
}

int HeadlessHost::UnusedAnswers() const {
    return static_cast<int>(dialogScripts_.size() + sheetScripts_.size() + answers_.size() +
                            files_.size());
}

void HeadlessHost::Record(const std::string& line) {
    if (line.rfind("FAIL:", 0) == 0) failed_ = true;
    transcript_.push_back(line);
    if (echo_) *echo_ << line << std::endl;  // in step with the console's own output
}

Dialog* HeadlessHost::ActiveDialog() const {
    return windows_.empty() ? nullptr : windows_.back()->dialog;
}

Sheet* HeadlessHost::ActiveSheet() const {
    return windows_.empty() ? nullptr : windows_.back()->sheet;
}

Dialog* HeadlessHost::FrontDialog() const {
    if (windows_.empty()) return nullptr;
    const Window& w = *windows_.back();
    if (w.dialog) return w.dialog;
    return w.sheet->ActiveIndex() >= 0 ? &w.sheet->ActivePage() : nullptr;
}

HeadlessHost::View* HeadlessHost::FrontView() const {
    if (windows_.empty()) return nullptr;
    const Window& w = *windows_.back();
    if (w.dialog) return w.view.get();
    int active = w.sheet->ActiveIndex();
    if (active < 0 || active >= static_cast<int>(w.pageViews.size())) return nullptr;
    return w.pageViews[active].get();
}

bool HeadlessHost::FrontEnded() const {
    if (windows_.empty()) return true;
    const Window& w = *windows_.back();
    return w.dialog ? w.dialog->IsEnded() : w.sheet->IsEnded();
}

void HeadlessHost::Wait(std::uint64_t ms) {
    platform::ClockSource& clock = platform::Clock();
    const std::uint64_t target = clock.TickCount() + ms;
    for (;;) {
        View* view = FrontView();
        if (!view || FrontEnded()) break;
        std::uint64_t due = 0;
        int timerId = view->NextDue(due);
        if (timerId < 0 || due > target) break;
        std::uint64_t now = clock.TickCount();
        if (due > now) clock.Sleep(due - now);
        view->Rearm(timerId, clock.TickCount());
        view->dialog().UserTimer(timerId);
    }
    std::uint64_t now = clock.TickCount();
    if (now < target) clock.Sleep(target - now);
}

void HeadlessHost::CloseLeftOpen(Window& window) {
    if (window.dialog) {
        window.dialog->UserClose();
        if (!window.dialog->IsEnded()) window.dialog->End(kCancel);
        return;
    }
    if (window.sheet->ActiveIndex() >= 0) window.sheet->PressCancel();
    if (!window.sheet->IsEnded()) window.sheet->End(kCancel);
}

int HeadlessHost::RunModal(Dialog& dialog) {
    windows_.push_back(std::make_unique<Window>());
    Window& window = *windows_.back();
    window.dialog = &dialog;
    window.view = std::make_unique<View>(dialog);
    dialog.Attach(this, window.view.get());
    dialog.Initialize();
    Record("open: " + dialog.Title());
    if (!dialog.IsEnded()) DriveDialog(dialog);
    if (!dialog.IsEnded()) CloseLeftOpen(window);
    Record("close: " + dialog.Title() + " = " + ResultName(dialog.ResultCode()));
    dialog.Detach();
    windows_.pop_back();
    return dialog.ResultCode();
}

int HeadlessHost::RunSheet(Sheet& sheet) {
    windows_.push_back(std::make_unique<Window>());
    Window& window = *windows_.back();
    window.sheet = &sheet;
    window.sheetView = std::make_unique<SheetViewImpl>(sheet, window.pageViews);
    sheet.Attach(this, window.sheetView.get());
    sheet.Open();
    Record("open: " + sheet.Caption());
    if (!sheet.IsEnded()) DriveSheet(sheet);
    if (!sheet.IsEnded()) CloseLeftOpen(window);
    Record("close: " + sheet.Caption() + " = " + ResultName(sheet.ResultCode()));
    sheet.Detach();
    windows_.pop_back();
    return sheet.ResultCode();
}

void HeadlessHost::DriveDialog(Dialog& dialog) {
    if (dialogScripts_.empty()) return;
    auto [templateId, script] = std::move(dialogScripts_.front());
    dialogScripts_.pop_front();
    if (!templateId.empty() && templateId != dialog.GetTemplate().id) {
        Fail("expected dialog " + templateId + ", but " + dialog.GetTemplate().id + " opened");
        return;
    }
    if (script) script(dialog);
}

void HeadlessHost::DriveSheet(Sheet& sheet) {
    if (sheetScripts_.empty()) return;
    SheetScript script = std::move(sheetScripts_.front());
    sheetScripts_.pop_front();
    if (script) script(sheet);
}

int HeadlessHost::AnswerBox(const MessageBoxSpec& spec, std::string& failure) {
    if (!answers_.empty()) {
        auto [prefix, result] = std::move(answers_.front());
        answers_.pop_front();
        if (prefix && spec.text.rfind(*prefix, 0) != 0) {
            failure = "message box does not begin with \"" + EscapeLine(*prefix) + "\"";
            return DefaultAnswer(spec);
        }
        return result;
    }
    if (boxHook_) return boxHook_(spec);
    return DefaultAnswer(spec);
}

int HeadlessHost::MessageBox(const MessageBoxSpec& spec) {
    std::string failure;
    int answer = AnswerBox(spec, failure);
    std::vector<int> buttons = ButtonResults(spec.buttons);
    if (std::find(buttons.begin(), buttons.end(), answer) == buttons.end()) {
        if (failure.empty())
            failure = "answer " + ResultName(answer) + " is not a button of the message box";
        answer = DefaultAnswer(spec);
    }
    Record(BoxLine(spec, answer));
    if (!failure.empty()) Fail(failure);
    return answer;
}

std::optional<std::string> HeadlessHost::AnswerFile(const OpenFileSpec&, std::string&) {
    if (files_.empty()) return std::nullopt;
    std::optional<std::string> answer = std::move(files_.front());
    files_.pop_front();
    return answer;
}

bool HeadlessHost::GetFileName(const OpenFileSpec& spec, std::string& path) {
    std::string failure;
    std::optional<std::string> answer = AnswerFile(spec, failure);
    Record("file: " + spec.title + " -> " + (answer ? *answer : std::string("cancel")));
    if (!failure.empty()) Fail(failure);
    if (!answer) return false;
    path = *answer;
    return true;
}

std::unique_ptr<WaitCursor> HeadlessHost::BusyCursor() {
    return std::make_unique<NoWait>(busyDepth_);
}

bool HeadlessHost::RunLongOperation(const std::string& progress,
                                    const std::function<void(Host&)>& operation) {
    if (platform::CurrentCancelToken() != nullptr) return Host::RunLongOperation(progress, operation);
    platform::CancelToken token;
    {
        std::lock_guard<std::mutex> lock(operationMutex_);
        operationToken_ = &token;
        progress_ = progress;
    }
    {
        platform::ScopedCancelToken scope(&token);
        operation(*this);
    }
    {
        std::lock_guard<std::mutex> lock(operationMutex_);
        operationToken_ = nullptr;
        progress_.clear();
    }
    if (token.Cancelled()) Record("cancelled: " + EscapeLine(progress));
    return token.Cancelled();
}

bool HeadlessHost::CancelOperation() {
    std::lock_guard<std::mutex> lock(operationMutex_);
    if (operationToken_ == nullptr) return false;
    operationToken_->Cancel();
    return true;
}

void HeadlessHost::SetProgress(const std::string& text) {
    std::lock_guard<std::mutex> lock(operationMutex_);
    progress_ = text;
}

std::string HeadlessHost::Progress() const {
    std::lock_guard<std::mutex> lock(operationMutex_);
    return progress_;
}

void HeadlessHost::UnknownControl(const std::string& templateId, const std::string& controlId) {
    Fail(templateId + " has no control \"" + controlId + "\"");
}

bool HeadlessHost::ShellOpen(const std::string& path, const std::string&) {
    Record("shell: open " + path);
    return true;
}

std::string HeadlessHost::ButtonList(Buttons buttons) {
    std::string list = "[";
    for (int result : ButtonResults(buttons)) {
        if (list.size() > 1) list += "/";
        list += ResultName(result);
    }
    return list + "]";
}

std::string HeadlessHost::EscapeLine(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out;
}

std::vector<std::string> HeadlessHost::BoxTexts() const {
    static const std::string kPrefix = "box: ";
    std::vector<std::string> boxes;
    for (const std::string& line : transcript_) {
        if (line.rfind(kPrefix, 0) != 0) continue;
        const std::size_t end = line.rfind(" [");
        boxes.push_back(line.substr(kPrefix.size(),
                                    end == std::string::npos ? std::string::npos : end - kPrefix.size()));
    }
    return boxes;
}

std::string HeadlessHost::BoxLine(const MessageBoxSpec& spec, int answer) {
    return "box: " + EscapeLine(spec.text) + " " + ButtonList(spec.buttons) + " -> " +
           ResultName(answer);
}

}  // namespace ui
