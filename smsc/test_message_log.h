// Reading back the services' daily logs for the outcome of a test message.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace smsc {

// Reads log lines from a byte source, at most 4095 bytes a line: a line ends at CR or LF
// (CR LF is consumed whole, the first CR of a CR CR pair becomes a blank), a line that
// fills the buffer without an end is cut after its last blank and the rest read as the
// next line, and end-of-file characters (26) before a line are dropped.
class LogLineReader {
public:
    // `read(offset, buffer, size)` gives the bytes read at `offset` (0 at the end).
    using Source = std::function<std::size_t(std::uint64_t, char*, std::size_t)>;
    explicit LogLineReader(Source read) : read_(std::move(read)) {}
    // The next line; false at the end of the source.
    bool Next(std::string& line);

private:
    Source read_;
    std::uint64_t offset_ = 0;
};

// The outcome of a test found in a log.
struct LogOutcome {
    bool found = false;
    bool sent = false;        // status field begins with "OK" (ignoring case)
    std::string errorDetail;  // what the dialog shows on an error
};

// The last line of the SMS log whose field 1 begins with `testId`; its status is field 4.
LogOutcome FindSmsOutcome(const std::string& logPath, const std::string& testId);
// The last line of the MMSC log whose field 6 begins with `testId`; its status is field 5,
// and on error the detail is the text from field 5 to the end of field 6.
LogOutcome FindMmsOutcome(const std::string& logPath, const std::string& testId);

}  // namespace smsc
