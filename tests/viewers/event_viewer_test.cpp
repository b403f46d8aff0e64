// The event log viewer on the headless host over a real journal file: the gateway's
// entries newest first in the gateway's zone, new entries on the 5-second timer, "Clear
// Event Log" hiding what was shown for good; and the three time texts.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <unistd.h>

#include "platform/files.h"
#include "tests/platform/journal_files.h"
#include "tests/platform/planted_files.h"
#include "tests/support/temp_dir.h"
#include "ui/headless_host.h"
#include "viewers/event_viewer.h"
#include "viewers/time_texts.h"

namespace {

constexpr std::int64_t kT0 = 1'709'370'005'000'000;  // 2024-03-02 09:00:05 UTC, 10:00:05 CET

class EventViewerTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* tz = std::getenv("TZ");
        oldTz_ = tz ? tz : "";
        hadTz_ = tz != nullptr;
        setenv("TZ", "CET-1", 1);
        tzset();
    }
    void TearDown() override {
        if (hadTz_) setenv("TZ", oldTz_.c_str(), 1);
        else unsetenv("TZ");
        tzset();
    }
    std::string oldTz_;
    bool hadTz_ = false;
};

std::vector<std::string> Lines(ui::Dialog& d) {
    std::vector<std::string> lines;
    for (int i = 0; i < d.RowCount("events"); ++i) lines.push_back(d.Row("events", i).at(0));
    return lines;
}

TEST_F(EventViewerTest, ShowsNewestFirstFollowsAndClearsForGood) {
    if (!zella_test::JournalToolPresent()) GTEST_SKIP() << "systemd-journal-remote is not installed";
    zella_test::TempDir dir("eventlog");
    const std::string file = dir.File("gw.journal");
    const std::string clearFile = dir.File("EVENTLOG.CLR");
    using zella_test::ExportEntry;
    ASSERT_TRUE(zella_test::AppendJournal(
        file, ExportEntry(kT0, 3, "QuvSMS", "Unable to open COM7:") +
                  ExportEntry(kT0 + 1'000'000, 3, "other", "not ours") +
                  ExportEntry(kT0 + 2'000'000, 5, "QuvSMS", "Audit: settings reloaded") +
                  ExportEntry(kT0 + 3'000'000, 4, "QuvSMS", "Retrying SMSC login")));
    const platform::EventSource source{platform::EventSource::Kind::JournalFiles, {file}, {"QuvSMS"}};

    ui::HeadlessHost host;
    host.QueueDialog("DIALOG_EVENT", [&](ui::Dialog& d) {
        EXPECT_EQ("Event Log", d.Title());
        EXPECT_EQ((std::vector<std::string>{"2024-03-02 10:00:08 - Warning: Retrying SMSC login",
                                            "2024-03-02 10:00:07 - Info: Audit: settings reloaded",
                                            "2024-03-02 10:00:05 - Error: Unable to open COM7:"}),
                  Lines(d));
        // A new entry goes on top at the next tick; the selected line stays selected.
        d.UserSelectRows("events", {2});
        ASSERT_TRUE(zella_test::AppendJournal(file, ExportEntry(kT0 + 9'000'000, 2, "QuvSMS", "Disk full")));
        d.UserTimer(1);
        ASSERT_EQ(4, d.RowCount("events"));
        EXPECT_EQ("2024-03-02 10:00:14 - Error: Disk full", Lines(d)[0]);
        EXPECT_EQ((std::vector<int>{3}), d.SelectedRows("events"));

        // Declined, nothing changes; accepted, the list empties and only later entries come.
        host.QueueAnswer("The system keeps the gateway's events in its own log", ui::kNo);
        d.UserClick("clear");
        EXPECT_EQ(4, d.RowCount("events"));
        EXPECT_FALSE(platform::FileExists(clearFile));
        host.QueueAnswer("The system keeps the gateway's events in its own log", ui::kYes);
        d.UserClick("clear");
        EXPECT_EQ(0, d.RowCount("events"));
        ASSERT_TRUE(zella_test::AppendJournal(file, ExportEntry(kT0 + 20'000'000, 6, "QuvSMS", "Back to normal")));
        d.UserTimer(1);
        EXPECT_EQ((std::vector<std::string>{"2024-03-02 10:00:25 - Info: Back to normal"}), Lines(d));
        d.UserClick(ui::IDOK);
    });
    viewers::OpenEventLogViewer(host, source, clearFile);
    EXPECT_TRUE(platform::FileExists(clearFile));

    // The clearing outlives the dialog.
    host.QueueDialog("DIALOG_EVENT", [&](ui::Dialog& d) {
        EXPECT_EQ((std::vector<std::string>{"2024-03-02 10:00:25 - Info: Back to normal"}), Lines(d));
    });
    viewers::OpenEventLogViewer(host, source, clearFile);

    // A log that cannot be opened (a folder where the file should be) is reported at each
    // attempt; the dialog stays.
    ASSERT_TRUE(platform::CreateDirectories(dir.File("none.log")));
    const platform::EventSource missing{platform::EventSource::Kind::TextFile, {dir.File("none.log")}, {"QuvSMS"}};
    host.QueueDialog("DIALOG_EVENT", [&](ui::Dialog& d) {
        d.UserTimer(1);
        EXPECT_EQ(0, d.RowCount("events"));
    });
    viewers::OpenEventLogViewer(host, missing, clearFile);
    int unable = 0;
    for (const std::string& text : host.BoxTexts()) unable += text == "Unable to open event log";
    EXPECT_EQ(2, unable);
    EXPECT_FALSE(host.Failed());
    EXPECT_EQ(0, host.UnusedAnswers());
}

// Without systemd the service writes its text log with its first event. Before that the
// viewer shows an empty log, at opening and at every refresh, and the first line comes
// with the next tick. Planted in the log's place, a FIFO and a link to an endless device
// are logs that cannot be opened: reported, never waited on or read.
TEST_F(EventViewerTest, TextLogNotWrittenYetIsEmptyAndAPlantedOneIsNeverRead) {
    zella_test::TempDir dir("eventlog");
    const std::string log = dir.File("EVENTS.LOG");
    const platform::EventSource source{platform::EventSource::Kind::TextFile, {log}, {"QuvSMS"}};
    ui::HeadlessHost host;
    host.QueueDialog("DIALOG_EVENT", [&](ui::Dialog& d) {
        d.UserTimer(1);
        d.UserTimer(1);
        EXPECT_EQ(0, d.RowCount("events"));
        ASSERT_TRUE(platform::AppendEventLine(log, kT0, platform::EventLevel::Error, "QuvSMS", "First"));
        d.UserTimer(1);
        EXPECT_EQ((std::vector<std::string>{"2024-03-02 10:00:05 - Error: First"}), Lines(d));
    });
    viewers::OpenEventLogViewer(host, source, dir.File("EVENTLOG.CLR"));
    EXPECT_EQ(std::vector<std::string>{}, host.BoxTexts()) << host.TranscriptText();

    for (const std::string plant : {"mkfifo", "ln -s /dev/zero"}) {
        unlink(log.c_str());
        ASSERT_EQ(0, std::system((plant + " " + log).c_str())) << plant;
        const std::optional<bool> read = zella_test::WithinHangGuard<bool>([source] {
            std::vector<platform::EventEntry> out;
            std::string error, cursor;
            return platform::ReadEvents(source, "", 10, out, error) ||
                   platform::NewestEventCursor(source, cursor, error);
        });
        ASSERT_TRUE(read.has_value()) << plant << ": the event log read hung";
        EXPECT_FALSE(*read) << plant;
    }
    host.QueueDialog("DIALOG_EVENT", [&](ui::Dialog& d) { EXPECT_EQ(0, d.RowCount("events")); });
    viewers::OpenEventLogViewer(host, source, dir.File("EVENTLOG.CLR"));
    EXPECT_EQ((std::vector<std::string>{"Unable to open event log"}), host.BoxTexts());
}

TEST_F(EventViewerTest, TimeTexts) {
    // Tuesday 2 January 2024, 05:07:09 UTC.
    const platform::SystemTime t = platform::UtcSystemTime(1'704'172'029'000);
    EXPECT_EQ("Tue, 2 Jan 2024 05:07:09 GMT", viewers::HttpDateText(t));
    EXPECT_EQ("January 2, 2024", viewers::LongDateText(t));  // the tests run in the C locale
    EXPECT_EQ("05:07", viewers::ShortTimeText(t));
    const platform::SystemTime dec = platform::UtcSystemTime(1'735'689'599'000);  // 2024-12-31 23:59:59
    EXPECT_EQ("Tue, 31 Dec 2024 23:59:59 GMT", viewers::HttpDateText(dec));
    EXPECT_EQ("December 31, 2024", viewers::LongDateText(dec));
    EXPECT_EQ("23:59", viewers::ShortTimeText(dec));

    // "Now" comes from the program's clock: UTC for the header, the gateway's zone else.
    platform::FakeClock clock(1'704'172'029'000);
    platform::SetClock(&clock);
    EXPECT_EQ("Tue, 2 Jan 2024 05:07:09 GMT", viewers::HttpDateText());
    EXPECT_EQ("January 2, 2024", viewers::LongDateText());
    EXPECT_EQ("06:07", viewers::ShortTimeText());
    platform::SetClock(nullptr);
}

}  // namespace
