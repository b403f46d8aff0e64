// The event log over the journal (sd-journal) or the supervisor's text log. This is the
// one place that sees systemd's headers.
#include "platform/event_log.h"

#include <fcntl.h>
#include <systemd/sd-journal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>

#include "platform/cancel.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/regular_file.h"
#include "platform/text.h"

namespace platform {
namespace {

constexpr std::size_t kMaxText = 4096;       // longer texts are cut for display
constexpr const char* kTextCursor = "text:";  // text log cursors: byte offset of the line

bool MatchesSource(const EventSource& s, const std::string& source) {
    if (s.sources.empty()) return true;
    for (const std::string& name : s.sources)
        if (EqualsNoCase(name, source)) return true;
    return false;
}

EventLevel LevelFromPriority(int priority) {
    if (priority <= 3) return EventLevel::Error;
    return priority == 4 ? EventLevel::Warning : EventLevel::Info;
}

// ---- journal ----------------------------------------------------------------------------

struct JournalCloser {
    void operator()(sd_journal* j) const { sd_journal_close(j); }
};
using Journal = std::unique_ptr<sd_journal, JournalCloser>;

bool OpenJournal(const EventSource& s, Journal& journal, std::string& error) {
    sd_journal* raw = nullptr;
    int r;
    if (s.kind == EventSource::Kind::JournalFiles) {
        std::vector<const char*> paths;
        for (const std::string& f : s.files) paths.push_back(f.c_str());
        paths.push_back(nullptr);
        r = sd_journal_open_files(&raw, paths.data(), 0);
    } else {
        r = sd_journal_open(&raw, SD_JOURNAL_LOCAL_ONLY);
    }
    if (r < 0) {
        error = std::strerror(-r);
        return false;
    }
    journal.reset(raw);
    // Values of one field are alternatives; the disjunction makes the unit an
    // alternative to the identifier rather than a further condition.
    for (const std::string& name : s.sources) sd_journal_add_match(raw, ("SYSLOG_IDENTIFIER=" + name).c_str(), 0);
    if (!s.sources.empty()) sd_journal_add_disjunction(raw);
    for (const std::string& name : s.sources) sd_journal_add_match(raw, ("_SYSTEMD_UNIT=" + name + ".service").c_str(), 0);
    return true;
}

std::string Field(sd_journal* j, const char* name) {
    const void* data = nullptr;
    std::size_t length = 0;
    if (sd_journal_get_data(j, name, &data, &length) < 0) return {};
    const std::size_t skip = std::strlen(name) + 1;  // "NAME="
    if (length < skip) return {};
    return std::string(static_cast<const char*>(data) + skip, std::min(length - skip, kMaxText));
}

EventEntry CurrentEntry(sd_journal* j) {
    EventEntry e;
    std::uint64_t usec = 0;
    if (sd_journal_get_realtime_usec(j, &usec) >= 0) e.unixMicros = static_cast<std::int64_t>(usec);
    const std::string priority = Field(j, "PRIORITY");
    e.level = priority.empty() ? EventLevel::Info : LevelFromPriority(std::atoi(priority.c_str()));
    e.source = Field(j, "SYSLOG_IDENTIFIER");
    e.text = Field(j, "MESSAGE");
    char* cursor = nullptr;
    if (sd_journal_get_cursor(j, &cursor) >= 0) {
        e.cursor = cursor;
        std::free(cursor);
    }
    return e;
}

bool ReadJournal(const EventSource& s, const std::string& after, std::size_t max,
                 std::vector<EventEntry>& out, std::string& error) {
    Journal journal;
    if (!OpenJournal(s, journal, error)) return false;
    sd_journal* j = journal.get();
    const bool resume = !after.empty() && after.rfind(kTextCursor, 0) != 0 &&
                        sd_journal_seek_cursor(j, after.c_str()) >= 0;
    if (!resume) sd_journal_seek_head(j);
    std::vector<EventEntry> read;
    bool first = true;
    // A cancelled read keeps what it has: the caller resumes after the last entry.
    while (read.size() < max && !CancelRequested() && sd_journal_next(j) > 0) {
        // Seeking to a cursor lands on that entry itself when it still exists.
        if (first && resume && sd_journal_test_cursor(j, after.c_str()) > 0) {
            first = false;
            continue;
        }
        first = false;
        read.push_back(CurrentEntry(j));
    }
    out.insert(out.end(), read.begin(), read.end());
    return true;
}

bool NewestJournalCursor(const EventSource& s, std::string& cursor, std::string& error) {
    Journal journal;
    if (!OpenJournal(s, journal, error)) return false;
    cursor.clear();
    sd_journal_seek_tail(journal.get());
    if (sd_journal_previous(journal.get()) > 0) cursor = CurrentEntry(journal.get()).cursor;
    return true;
}

// ---- text log ---------------------------------------------------------------------------

std::int64_t ParseUtc(const std::string& text) {
    std::tm tm{};
    char zone = 0;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%c", &tm.tm_year, &tm.tm_mon, &tm.tm_mday,
                    &tm.tm_hour, &tm.tm_min, &tm.tm_sec, &zone) != 7 || zone != 'Z')
        return -1;
    tm.tm_year -= 1900;
    tm.tm_mon -= 1;
    const time_t t = timegm(&tm);
    return t < 0 ? -1 : static_cast<std::int64_t>(t) * 1'000'000;
}

// One text log line as an entry; false for a line that is not in the format.
bool ParseTextLine(const std::string& line, EventEntry& e) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (int i = 0; i < 3; ++i) {
        const std::size_t tab = line.find('\t', start);
        if (tab == std::string::npos) return false;
        parts.push_back(line.substr(start, tab - start));
        start = tab + 1;
    }
    e.unixMicros = ParseUtc(parts[0]);
    if (e.unixMicros < 0) return false;
    e.level = EqualsNoCase(parts[1], "Error")     ? EventLevel::Error
              : EqualsNoCase(parts[1], "Warning") ? EventLevel::Warning
                                                  : EventLevel::Info;
    e.source = parts[2];
    e.text = line.substr(start, kMaxText);
    if (!e.text.empty() && e.text.back() == '\r') e.text.pop_back();
    return true;
}

// Calls `line(text, start)` for each complete line of the open file from `offset` on, in
// chunks; a line longer than kMaxLineBytes is passed cut to that length, so neither a
// huge line nor an endless file grows the buffer.
template <typename Line>
void ReadLines(int fd, long long offset, Line&& line) {
    constexpr std::size_t kMaxLineBytes = 64 * 1024;
    std::string pending;
    long long lineStart = offset;
    char chunk[16384];
    for (;;) {
        if (CancelRequested()) return;
        const ssize_t n = pread(fd, chunk, sizeof chunk, offset);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;  // end of file: a line without its line feed is not read yet
        for (ssize_t i = 0; i < n; ++i) {
            if (chunk[i] != '\n') {
                if (pending.size() < kMaxLineBytes) pending.push_back(chunk[i]);
                continue;
            }
            if (!line(pending, lineStart)) return;
            pending.clear();
            lineStart = offset + i + 1;
        }
        offset += n;
    }
}

// Walks the complete lines of the text log from `after` on, calling `visit` for every
// entry of the source until it returns false. The log is a data file in a folder the
// gateway's group writes: it is opened as every data file is (no link followed, no FIFO
// waited on, regular files only).
template <typename Visit>
bool WalkTextLog(const EventSource& s, const std::string& after, std::string& error, Visit&& visit) {
    if (s.files.empty()) {
        error = "no event log file";
        return false;
    }
    std::uint64_t size = 0;
    const UniqueFd fd = OpenRegularFile(s.files[0], OpenOptions{}, &size);
    if (!fd) {
        error = std::strerror(errno);
        return false;
    }
    long long offset = 0;
    bool skipFirst = false;
    if (after.rfind(kTextCursor, 0) == 0) {
        const long long at = std::atoll(after.c_str() + std::strlen(kTextCursor));
        // An offset past the end means the log was replaced: start over.
        if (at >= 0 && static_cast<std::uint64_t>(at) < size) offset = at, skipFirst = true;
    }
    ReadLines(fd.Get(), offset, [&](const std::string& line, long long lineStart) {
        if (skipFirst) {
            skipFirst = false;
            return true;
        }
        EventEntry e;
        if (!ParseTextLine(line, e) || !MatchesSource(s, e.source)) return true;
        e.cursor = kTextCursor + std::to_string(lineStart);
        return visit(std::move(e));
    });
    return true;
}

std::string OneField(std::string text) {
    for (char& c : text)
        if (c == '\t' || c == '\n' || c == '\r') c = ' ';
    return text;
}

}  // namespace

const char* EventLevelName(EventLevel level) {
    switch (level) {
        case EventLevel::Error: return "Error";
        case EventLevel::Warning: return "Warning";
        default: return "Info";
    }
}

EventSource DefaultEventSource(const std::string& textLogPath, std::vector<std::string> sources) {
    const char* forced = std::getenv("ZELLA_SERVICE_MANAGER");
    const bool systemd = forced != nullptr && *forced != '\0' ? std::string(forced) == "systemd"
                                                              : DirectoryExists("/run/systemd/system");
    EventSource s;
    s.sources = std::move(sources);
    if (systemd) return s;
    s.kind = EventSource::Kind::TextFile;
    s.files = {textLogPath};
    return s;
}

bool ReadEvents(const EventSource& source, const std::string& after, std::size_t max,
                std::vector<EventEntry>& out, std::string& error) {
    if (source.kind != EventSource::Kind::TextFile) return ReadJournal(source, after, max, out, error);
    std::vector<EventEntry> read;
    if (!WalkTextLog(source, after, error, [&](EventEntry e) {
            if (read.size() >= max) return false;
            read.push_back(std::move(e));
            return true;
        }))
        return false;
    out.insert(out.end(), read.begin(), read.end());
    return true;
}

bool NewestEventCursor(const EventSource& source, std::string& cursor, std::string& error) {
    if (source.kind != EventSource::Kind::TextFile) return NewestJournalCursor(source, cursor, error);
    std::string newest;
    if (!WalkTextLog(source, "", error, [&](EventEntry e) {
            newest = std::move(e.cursor);
            return true;
        }))
        return false;
    cursor = newest;
    return true;
}

bool AppendEventLine(const std::string& path, std::int64_t unixMicros, EventLevel level,
                     const std::string& source, const std::string& text) {
    const time_t seconds = static_cast<time_t>(unixMicros / 1'000'000);
    std::tm tm{};
    gmtime_r(&seconds, &tm);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%SZ", &tm);
    const std::string line = std::string(stamp) + "\t" + EventLevelName(level) + "\t" +
                             OneField(source) + "\t" + OneField(text) + "\n";
    // One write of the whole line in append mode, so lines of concurrent writers never
    // interleave within a line.
    OpenOptions options;
    options.access = FileAccess::Write;
    options.create = true;
    options.append = true;
    options.mode = 0644;
    UniqueFd fd = OpenRegularFile(path, options);
    if (!fd) return false;
    const bool ok = write(fd.Get(), line.data(), line.size()) == static_cast<ssize_t>(line.size());
    return close(fd.Release()) == 0 && ok;
}

bool WriteServiceEvent(const std::string& textLogPath, const std::string& source, EventLevel level,
                       const std::string& text) {
    const EventSource where = DefaultEventSource(textLogPath, {source});
    if (where.kind == EventSource::Kind::TextFile) {
        const std::size_t slash = textLogPath.rfind('/');
        if (slash != std::string::npos) CreateDirectories(textLogPath.substr(0, slash + 1));
        return AppendEventLine(textLogPath, Clock().UnixMillis() * 1000, level, source, text);
    }
    const int priority = level == EventLevel::Error ? 3 : level == EventLevel::Warning ? 4 : 6;
    return sd_journal_send("MESSAGE=%s", OneField(text).c_str(), "PRIORITY=%d", priority,
                           "SYSLOG_IDENTIFIER=%s", source.c_str(), nullptr) == 0;
}

}  // namespace platform
