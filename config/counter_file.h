// The services' binary counter files: 366 unsigned 32-bit little-endian counters, one per
// day of the year (counter 0 is 1 January), 1464 bytes. The console only reads them,
// sharing them with the service that keeps writing.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/regular_file.h"

namespace config {

inline constexpr std::size_t kDailyCounterCount = 366;
inline constexpr std::size_t kDailyCounterFileSize = kDailyCounterCount * 4;

using DailyCounters = std::array<std::uint32_t, kDailyCounterCount>;

// Reads up to 1464 bytes of the file. A missing or unreadable file, and anything but a
// regular file (a link, a FIFO, a device), reads as all zeros; a
// shorter file reads as zeros beyond its end (a trailing partial counter too); bytes
// past 1464 are ignored.
DailyCounters ReadDailyCounterFile(const std::string& path);

// "STATS/" in the private data directory, ending in "/".
std::string StatsDirectory();
// The yearly file of a statistic: "STATS/<name>-<year>.CTR".
std::string StatCounterPath(const std::string& name, int year);
// The current-value file of a statistic: "STATS/<name>.CTR".
std::string CurrentValueCounterPath(const std::string& name);
// True for the statistics the service keeps as one current value rather than per day:
// names holding both "SMS" and "QSIZE".
bool IsCurrentValueStatistic(const std::string& name);
// Counter 0 of the current-value file of `name`; 0 when the file is missing or short.
std::uint32_t ReadCurrentValueCounter(const std::string& name);

// The writing side, for the one process that keeps a counter file. The file is created at
// full size (mode 0660, never through a link) and each counter changes with one 4-byte
// positioned write, so a reader without a lock never sees a torn value.
class CounterFileWriter {
public:
    // Opens `path`, creating it or extending a short file to full size; false when the
    // file cannot be opened or is not a regular file.
    bool Open(const std::string& path);
    bool IsOpen() const { return file_.Valid(); }
    // Adds `amount` to counter `index` (saturating at UINT32_MAX); false on a failed
    // write (a full disk) or an index outside the file.
    bool Add(std::size_t index, std::uint32_t amount);
    bool Set(std::size_t index, std::uint32_t value);
    std::uint32_t Get(std::size_t index) const;

private:
    platform::RegularFile file_;
};

}  // namespace config
