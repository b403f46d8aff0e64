// The event log over real journal files (written by systemd-journal-remote) and over the
// supervisor's text log: which entries are read, in which order, with which level, and
// reading on from a cursor as new entries arrive.
#include <gtest/gtest.h>

#include "platform/event_log.h"
#include "tests/platform/journal_files.h"
#include "tests/platform/temp_dir.h"

namespace {

using platform::EventEntry;
using platform::EventLevel;
using platform::EventSource;

constexpr std::int64_t kT0 = 1'709'370'005'000'000;  // 2024-03-02 09:00:05 UTC

std::vector<EventEntry> Read(const EventSource& s, const std::string& after, std::size_t max = 1000) {
    std::vector<EventEntry> out;
    std::string error;
    EXPECT_TRUE(platform::ReadEvents(s, after, max, out, error)) << error;
    return out;
}

std::vector<std::string> Texts(const std::vector<EventEntry>& entries) {
    std::vector<std::string> texts;
    for (const EventEntry& e : entries) texts.push_back(e.text);
    return texts;
}

TEST(EventLogTest, JournalFilesFilteredInOrderAndFollowedFromACursor) {
    if (!zella_test::JournalToolPresent()) GTEST_SKIP() << "systemd-journal-remote is not installed";
    platform::test::TempDir dir;
    const std::string file = dir.File("gateway.journal");
    using zella_test::ExportEntry;
    ASSERT_TRUE(zella_test::AppendJournal(
        file, ExportEntry(kT0, 3, "QuvSMS", "modem COM7: not responding") +
                  ExportEntry(kT0 + 1'000'000, 6, "cron", "someone else's entry") +
                  ExportEntry(kT0 + 2'000'000, 4, "zellant", "from the unit's output", "QuvSMS.service") +
                  ExportEntry(kT0 + 3'000'000, 6, "QuvSMS", "service started") +
                  ExportEntry(kT0 + 4'000'000, 7, "QuvSMS", "debug detail")));
    const EventSource source{EventSource::Kind::JournalFiles, {file}, {"QuvSMS"}};

    const std::vector<EventEntry> all = Read(source, "");
    ASSERT_EQ((std::vector<std::string>{"modem COM7: not responding", "from the unit's output",
                                        "service started", "debug detail"}),
              Texts(all));
    EXPECT_EQ(kT0, all[0].unixMicros);
    EXPECT_EQ(EventLevel::Error, all[0].level);
    EXPECT_EQ(EventLevel::Warning, all[1].level);
    EXPECT_EQ(EventLevel::Info, all[2].level);
    EXPECT_EQ(EventLevel::Info, all[3].level);
    EXPECT_EQ("QuvSMS", all[0].source);

    // At most `max`, and on from any cursor.
    EXPECT_EQ((std::vector<std::string>{"modem COM7: not responding"}), Texts(Read(source, "", 1)));
    EXPECT_EQ((std::vector<std::string>{"service started", "debug detail"}), Texts(Read(source, all[1].cursor)));
    EXPECT_TRUE(Read(source, all[3].cursor).empty());

    // New entries written to the same file follow the last one read.
    ASSERT_TRUE(zella_test::AppendJournal(file, ExportEntry(kT0 + 5'000'000, 2, "QuvSMS", "disk full") +
                                                    ExportEntry(kT0 + 6'000'000, 3, "cron", "later noise")));
    const std::vector<EventEntry> more = Read(source, all[3].cursor);
    ASSERT_EQ((std::vector<std::string>{"disk full"}), Texts(more));
    EXPECT_EQ(EventLevel::Error, more[0].level);

    std::string newest, error;
    ASSERT_TRUE(platform::NewestEventCursor(source, newest, error)) << error;
    EXPECT_EQ(more[0].cursor, newest);

    // A cursor of some other log reads from the oldest entry.
    EXPECT_EQ(5u, Read(source, "text:12").size());
    std::vector<EventEntry> out;
    EXPECT_FALSE(platform::ReadEvents(EventSource{EventSource::Kind::JournalFiles, {dir.File("none.journal")}, {"QuvSMS"}},
                                      "", 10, out, error));
}

TEST(EventLogTest, TextLogLinesSourcesPartialLinesAndCursors) {
    platform::test::TempDir dir;
    const std::string log = dir.File("EVENTS.LOG");
    const EventSource source{EventSource::Kind::TextFile, {log}, {"QuvSMS"}};
    std::vector<EventEntry> out;
    std::string error;
    EXPECT_FALSE(platform::ReadEvents(source, "", 10, out, error));

    ASSERT_TRUE(platform::AppendEventLine(log, kT0, EventLevel::Error, "QuvSMS", "tab\there\nand a break"));
    ASSERT_TRUE(platform::AppendEventLine(log, kT0 + 1'000'000, EventLevel::Info, "zellaother", "foreign"));
    ASSERT_TRUE(platform::AppendEventLine(log, kT0 + 2'000'000, EventLevel::Warning, "quvsms", std::string(10'000, 'x')));
    std::string text;
    ASSERT_TRUE(platform::ReadFile(log, text));
    ASSERT_TRUE(platform::WriteFileAtomic(log, text + "not a log line\n2024-03-02T09:00:09Z\tInfo\tQuvSMS\tstill being wr"));
    EXPECT_EQ(0u, text.find("2024-03-02T09:00:05Z\tError\tQuvSMS\ttab here and a break\n"));

    std::vector<EventEntry> all = Read(source, "");
    ASSERT_EQ(2u, all.size());
    EXPECT_EQ("tab here and a break", all[0].text);
    EXPECT_EQ(kT0, all[0].unixMicros);
    EXPECT_EQ(EventLevel::Error, all[0].level);
    EXPECT_EQ(EventLevel::Warning, all[1].level);
    EXPECT_EQ(4096u, all[1].text.size());  // cut for display

    // The unfinished line appears once its line feed is written.
    EXPECT_TRUE(Read(source, all[1].cursor).empty());
    ASSERT_TRUE(platform::ReadFile(log, text));
    ASSERT_TRUE(platform::WriteFileAtomic(log, text + "itten\n"));
    const std::vector<EventEntry> more = Read(source, all[1].cursor);
    ASSERT_EQ((std::vector<std::string>{"still being written"}), Texts(more));
    std::string newest;
    ASSERT_TRUE(platform::NewestEventCursor(source, newest, error));
    EXPECT_EQ(more[0].cursor, newest);

    // A log replaced by a shorter one is read from its start.
    ASSERT_TRUE(platform::WriteFileAtomic(log, ""));
    ASSERT_TRUE(platform::AppendEventLine(log, kT0, EventLevel::Info, "QuvSMS", "after rotation"));
    EXPECT_EQ((std::vector<std::string>{"after rotation"}), Texts(Read(source, newest)));
}

}  // namespace
