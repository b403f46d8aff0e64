// Real journal files for tests, written by systemd-journal-remote from export-format
// text (each call appends its entries to the file).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/files.h"

namespace zella_test {

inline constexpr const char* kJournalRemote = "/lib/systemd/systemd-journal-remote";

inline bool JournalToolPresent() { return platform::FileExists(kJournalRemote); }

// One entry in export format. An empty `identifier` or `unit` leaves that field out.
inline std::string ExportEntry(std::int64_t unixMicros, int priority, const std::string& identifier,
                               const std::string& message, const std::string& unit = {}) {
    static std::int64_t monotonic = 1'000'000;
    monotonic += 1000;
    std::string e = "__REALTIME_TIMESTAMP=" + std::to_string(unixMicros) + "\n" +
                    "__MONOTONIC_TIMESTAMP=" + std::to_string(monotonic) + "\n" +
                    "_BOOT_ID=0123456789abcdef0123456789abcdef\n" + "PRIORITY=" + std::to_string(priority) +
                    "\n" + "MESSAGE=" + message + "\n";
    if (!identifier.empty()) e += "SYSLOG_IDENTIFIER=" + identifier + "\n";
    if (!unit.empty()) e += "_SYSTEMD_UNIT=" + unit + "\n";
    return e + "\n";
}

// Appends the export-format `entries` to the journal file `path` (ending ".journal").
inline bool AppendJournal(const std::string& path, const std::string& entries) {
    const std::string command = std::string(kJournalRemote) + " -o '" + path + "' - 2>/dev/null";
    std::FILE* pipe = popen(command.c_str(), "w");
    if (pipe == nullptr) return false;
    const bool written = std::fwrite(entries.data(), 1, entries.size(), pipe) == entries.size();
    return pclose(pipe) == 0 && written;
}

}  // namespace zella_test
