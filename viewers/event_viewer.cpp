#include "viewers/event_viewer.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "acctdb/acctdb.h"
#include "platform/files.h"
#include "ui/long_operation.h"
#include "ui/access_keys.h"

namespace viewers {

namespace {

constexpr int kRefreshTimer = 1;
constexpr const char* kUnableToOpen = "Unable to open event log";
constexpr const char* kTooMany =
    "Too many events.  Please use the system's journal viewer (journalctl) to view all events.";
constexpr const char* kClearQuestion =
    "The system keeps the gateway's events in its own log, which this program cannot erase.\r\n\r\n"
    "Clear Event Log hides the events listed now, and every older one, from this viewer from now "
    "on. The system's log keeps them all, and new events will still be shown.\r\n\r\nContinue?";

class EventLogViewer : public ui::Dialog {
public:
    EventLogViewer(platform::EventSource source, std::string clearFile)
        : ui::Dialog(EventLogTemplate()), source_(std::move(source)), clearFile_(std::move(clearFile)) {}

    void OnInit() override {
        std::string kept;
        if (platform::ReadFileHead(clearFile_, 4096, kept)) {
            while (!kept.empty() && (kept.back() == '\n' || kept.back() == '\r')) kept.pop_back();
            hiddenUpTo_ = kept;
        }
        SetEmptyText("events", hiddenUpTo_.empty() ? "The gateway has not logged any events yet."
                                                   : "No events since the log was last cleared.");
        Refresh();
        SetTimer(kRefreshTimer, 5'000);
    }

    std::vector<std::string> OnGetRow(const std::string&, int row) override {
        if (row < 0 || static_cast<std::size_t>(row) >= lines_.size()) return {};
        return {lines_[lines_.size() - 1 - static_cast<std::size_t>(row)]};
    }

    void OnCommand(const std::string& id, ui::Event event) override {
        if (id == "clear" && event == ui::Event::Clicked) Clear();
    }

    void OnTimer(int timerId) override {
        if (timerId == kRefreshTimer) Refresh();
    }

    void OnOk() override { Close(ui::kOk); }
    void OnCancel() override { Close(ui::kCancel); }

private:
    void Close(int result) {
        KillTimer(kRefreshTimer);
        End(result);
    }

    // Reads what follows the last line shown and puts it on top, newest first.
    void Refresh() {
        const std::size_t room = kMaxEventLines - lines_.size();
        std::vector<platform::EventEntry> entries;
        std::string error;
        bool read = false;
        // A long journal takes a while to walk: the read is a long operation, and a
        // cancelled one shows what it has (the next refresh goes on from there).
        ui::RunLong(GetHost(), "Reading the event log...", [&](ui::Host&) {
            read = platform::ReadEvents(source_, next_.empty() ? hiddenUpTo_ : next_, room + 1, entries, error);
        });
        if (!read) {
            // Without systemd the service starts its log file with its first event: a
            // log that does not exist yet is an empty log, not a fault to repeat every
            // five seconds.
            if (!NotWrittenYet()) ui::Error(GetHost(), kUnableToOpen);
            return;
        }
        const std::size_t added = std::min(entries.size(), room);
        for (std::size_t i = 0; i < added; ++i) {
            lines_.push_back(EventLineText(entries[i]));
            next_ = entries[i].cursor;
        }
        unread_ = entries.size() > room;
        if (added > 0) {
            // The rows shift down by what was put on top; keep the operator's selection.
            std::vector<int> selected = SelectedRows("events");
            for (int& r : selected) r += static_cast<int>(added);
            SetRowCount("events", static_cast<int>(lines_.size()));
            SetSelectedRows("events", selected);
        }
        if (unread_ && !warned_) {
            warned_ = true;
            ui::MessageBox(GetHost(), kTooMany, ui::Icon::Warning);
        }
    }

    bool NotWrittenYet() const {
        return source_.kind == platform::EventSource::Kind::TextFile && !source_.files.empty() &&
               !platform::PathExists(source_.files[0]);
    }

    void Clear() {
        if (ui::Ask(GetHost(), kClearQuestion, ui::Buttons::YesNo, 1) != ui::kYes) return;
        // Hide what the operator has seen; only when the list could not take everything
        // is the log's newest entry the mark.
        std::string mark = next_;
        std::string error;
        if (unread_ && !platform::NewestEventCursor(source_, mark, error)) {
            ui::Error(GetHost(), kUnableToOpen);
            return;
        }
        if (!mark.empty()) {
            if (!platform::WriteFileAtomic(clearFile_, mark + "\n")) {
                ui::Error(GetHost(), "Unable to write " + clearFile_);
                return;
            }
            hiddenUpTo_ = mark;
        }
        lines_.clear();
        next_.clear();
        warned_ = false;
        SetRowCount("events", 0);
        Refresh();
    }

    platform::EventSource source_;
    std::string clearFile_;
    std::string hiddenUpTo_;  // cursor of the newest cleared entry ("" none)
    std::string next_;        // cursor of the newest line shown ("" none yet)
    std::vector<std::string> lines_;  // oldest first; shown the other way round
    bool unread_ = false;  // the list is full and the log holds more
    bool warned_ = false;
};

}  // namespace

ui::Template EventLogTemplate() {
    using namespace ui;
    Control events = Report("events", "", {"Event"});
    events.width = 72;  // fits a small screen; the window can be widened
    events.height = 16;
    return ui::WithAccessKeys(ui::Template{"DIALOG_EVENT",
            "Event Log",
            {events, Row("buttons", {Button(IDOK, "Close", Flag::Default),
                                     Button("clear", "Clear Event Log")})}});
}

platform::EventSource GatewayEventSource() {
    return platform::DefaultEventSource(acctdb::GetLogDirectory() + "EVENTS.LOG", {"QuvSMS"});
}

std::string EventLogClearFile() { return acctdb::GetProgramDataDirectory() + "EVENTLOG.CLR"; }

std::string EventLineText(const platform::EventEntry& entry) {
    const platform::SystemTime t =
        acctdb::TZSystemTimeToLocalSystemTime(platform::UtcSystemTime(entry.unixMicros / 1000));
    char stamp[48];
    std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d %02d:%02d:%02d - ", t.year, t.month, t.day, t.hour,
                  t.minute, t.second);
    return stamp + std::string(platform::EventLevelName(entry.level)) + ": " + entry.text;
}

void OpenEventLogViewer(ui::Host& host, const platform::EventSource& source, const std::string& clearFile) {
    EventLogViewer viewer(source, clearFile);
    host.RunModal(viewer);
}

void OpenEventLogViewer(ui::Host& host) { OpenEventLogViewer(host, GatewayEventSource(), EventLogClearFile()); }

}  // namespace viewers
