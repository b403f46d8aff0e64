#include "smsc/test_message_log.h"

#include <vector>

#include "platform/regular_file.h"
#include "platform/text.h"

namespace smsc {

namespace {

constexpr std::size_t kLineBytes = 4095;

// Start offsets of the comma-separated fields of a line, plus one past its end.
std::vector<std::size_t> FieldStarts(const std::string& line) {
    std::vector<std::size_t> starts{0};
    for (std::size_t i = 0; i < line.size(); ++i)
        if (line[i] == ',') starts.push_back(i + 1);
    starts.push_back(line.size() + 1);
    return starts;
}

std::string Field(const std::string& line, const std::vector<std::size_t>& starts, std::size_t k) {
    if (k + 1 >= starts.size()) return {};
    return line.substr(starts[k], starts[k + 1] - 1 - starts[k]);
}

template <typename Visit>
void ForEachLogLine(const std::string& path, Visit visit) {
    platform::RegularFile file = platform::RegularFile::Open(path, platform::FileAccess::Read);
    if (!file.Valid()) return;
    LogLineReader reader([&](std::uint64_t offset, char* buffer, std::size_t size) {
        return file.ReadAt(offset, buffer, size);
    });
    std::string line;
    while (reader.Next(line)) visit(line);
}

}  // namespace

bool LogLineReader::Next(std::string& line) {
    char buffer[kLineBytes];
    std::size_t got = read_(offset_, buffer, kLineBytes);
    std::size_t skip = 0;
    while (got > 0 && buffer[0] == 26) {
        // Drop end-of-file characters and refill, so a run of them cannot end the log early.
        ++offset_;
        ++skip;
        got = read_(offset_, buffer, kLineBytes);
        if (skip > (1u << 30)) return false;
    }
    if (got == 0) return false;
    line.clear();
    for (std::size_t i = 0; i < got; ++i) {
        const char c = buffer[i];
        if (c == '\r' && i + 1 < got && buffer[i + 1] == '\r') {
            line += ' ';
            continue;
        }
        if (c == '\r' || c == '\n') {
            const bool pair = c == '\r' && i + 1 < got && buffer[i + 1] == '\n';
            offset_ += i + (pair ? 2 : 1);
            return true;
        }
        line += c;
    }
    if (got < kLineBytes) {
        offset_ += got;  // the last line, without an end
        return true;
    }
    const std::size_t blank = line.find_last_of(' ');
    if (blank != std::string::npos && blank > 0) line.resize(blank + 1);
    offset_ += line.size();
    return true;
}

LogOutcome FindSmsOutcome(const std::string& logPath, const std::string& testId) {
    LogOutcome outcome;
    ForEachLogLine(logPath, [&](const std::string& line) {
        const auto starts = FieldStarts(line);
        if (Field(line, starts, 1).compare(0, testId.size(), testId) != 0) return;
        const std::string status = Field(line, starts, 4);
        outcome.found = true;
        outcome.sent = platform::StartsWithNoCase(status, "OK");
        outcome.errorDetail = outcome.sent ? std::string() : status;
    });
    return outcome;
}

LogOutcome FindMmsOutcome(const std::string& logPath, const std::string& testId) {
    LogOutcome outcome;
    ForEachLogLine(logPath, [&](const std::string& line) {
        const auto starts = FieldStarts(line);
        if (Field(line, starts, 6).compare(0, testId.size(), testId) != 0) return;
        const std::string status = Field(line, starts, 5);
        outcome.found = true;
        outcome.sent = platform::StartsWithNoCase(status, "OK");
        outcome.errorDetail.clear();
        if (!outcome.sent) {
            const std::size_t end = starts.size() > 7 ? starts[7] - 1 : line.size();
            outcome.errorDetail = line.substr(starts[5], end - starts[5]);
        }
    });
    return outcome;
}

}  // namespace smsc
