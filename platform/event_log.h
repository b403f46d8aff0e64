// The services' event log behind one interface. On a systemd machine the events are
// entries of the journal (read through sd-journal); under the built-in supervisor they
// are lines of a plain text log that the services append to:
//
//   2024-03-02T09:00:05Z<TAB>Error<TAB>QuvSMS<TAB>the event's text<LF>
//
// (UTC time, level "Error", "Warning" or "Info", the source name, the text; a line
// without its final line feed is still being written and is not read yet).
//
// An entry is named by a cursor, an opaque text that can be kept on disk and given back
// to continue reading after that entry. Nothing here can delete entries.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

enum class EventLevel { Error, Warning, Info };

struct EventEntry {
    std::int64_t unixMicros = 0;  // when the event was generated, UTC
    EventLevel level = EventLevel::Info;
    std::string source;  // identifier of the program that logged it
    std::string text;
    std::string cursor;  // names this entry for ReadEvents' `after`
};

struct EventSource {
    enum class Kind { SystemJournal, JournalFiles, TextFile };
    Kind kind = Kind::SystemJournal;
    // JournalFiles: the journal files to read; TextFile: the one log file.
    std::vector<std::string> files;
    // Only entries of these sources (journal identifier or unit "<name>.service", or the
    // text log's source field, compared ignoring case) are read.
    std::vector<std::string> sources;
};

// The journal when this machine runs systemd (the rule of OpenServiceManager, including
// $ZELLA_SERVICE_MANAGER), else the text log `textLogPath`; for `sources`.
EventSource DefaultEventSource(const std::string& textLogPath, std::vector<std::string> sources);

// Reads, oldest first, at most `max` entries of the source that follow the entry named by
// `after` ("" or a cursor this source does not know: from the oldest entry). False (with
// `error` set) when the log cannot be opened; `out` is then untouched.
bool ReadEvents(const EventSource& source, const std::string& after, std::size_t max,
                std::vector<EventEntry>& out, std::string& error);

// The cursor of the newest entry of the source ("" when it has none). False when the log
// cannot be opened.
bool NewestEventCursor(const EventSource& source, std::string& cursor, std::string& error);

// Appends one line in the text log format above (tabs and line breaks in the fields
// become blanks), creating the file. False when it cannot be written.
bool AppendEventLine(const std::string& path, std::int64_t unixMicros, EventLevel level,
                     const std::string& source, const std::string& text);

// Writes one event of a service where DefaultEventSource reads them: an entry of the
// journal (identifier `source`, priority err, warning or info) on a systemd machine, else
// a line of the text log `textLogPath` (its directory created). False when not written.
bool WriteServiceEvent(const std::string& textLogPath, const std::string& source, EventLevel level,
                       const std::string& text);

// "Error", "Warning" or "Info".
const char* EventLevelName(EventLevel level);

}  // namespace platform
