#include "config/counter_file.h"

#include "acctdb/acctdb.h"
#include "platform/files.h"


#include <limits>

namespace config {

DailyCounters ReadDailyCounterFile(const std::string& path) {
    DailyCounters counters{};
    std::string bytes;
    if (!platform::ReadFileHead(path, kDailyCounterFileSize, bytes)) return counters;
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
    for (std::size_t i = 0; i + 4 <= bytes.size(); i += 4) {
        counters[i / 4] = static_cast<std::uint32_t>(b[i]) |
                          static_cast<std::uint32_t>(b[i + 1]) << 8 |
                          static_cast<std::uint32_t>(b[i + 2]) << 16 |
                          static_cast<std::uint32_t>(b[i + 3]) << 24;
    }
    return counters;
}

std::string StatsDirectory() { return acctdb::GetPrivateDataDirectory() + "STATS/"; }

std::string StatCounterPath(const std::string& name, int year) {
    return StatsDirectory() + name + "-" + std::to_string(year) + ".CTR";
}

std::string CurrentValueCounterPath(const std::string& name) {
    return StatsDirectory() + name + ".CTR";
}

bool IsCurrentValueStatistic(const std::string& name) {
    return name.find("SMS") != std::string::npos && name.find("QSIZE") != std::string::npos;
}

std::uint32_t ReadCurrentValueCounter(const std::string& name) {
    return ReadDailyCounterFile(CurrentValueCounterPath(name))[0];
}

bool CounterFileWriter::Open(const std::string& path) {
    platform::OpenOptions options;
    options.access = platform::FileAccess::ReadWrite;
    options.create = true;
    options.mode = 0660;
    file_ = platform::RegularFile(platform::OpenRegularFile(path, options));
    if (!file_.Valid()) return false;
    if (file_.Size() < static_cast<std::int64_t>(kDailyCounterFileSize) && !file_.Truncate(kDailyCounterFileSize)) {
        file_ = platform::RegularFile();
        return false;
    }
    return true;
}

std::uint32_t CounterFileWriter::Get(std::size_t index) const {
    unsigned char b[4] = {};
    if (index >= kDailyCounterCount || file_.ReadAt(index * 4, b, 4) != 4) return 0;
    return static_cast<std::uint32_t>(b[0]) | static_cast<std::uint32_t>(b[1]) << 8 |
           static_cast<std::uint32_t>(b[2]) << 16 | static_cast<std::uint32_t>(b[3]) << 24;
}

bool CounterFileWriter::Set(std::size_t index, std::uint32_t value) {
    if (index >= kDailyCounterCount || !file_.Valid()) return false;
    const unsigned char b[4] = {static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
                                static_cast<unsigned char>(value >> 16), static_cast<unsigned char>(value >> 24)};
    return file_.WriteAt(index * 4, b, 4);
}

bool CounterFileWriter::Add(std::size_t index, std::uint32_t amount) {
    const std::uint32_t now = Get(index);
    const std::uint32_t room = std::numeric_limits<std::uint32_t>::max() - now;
    return Set(index, now + (amount > room ? room : amount));
}

}  // namespace config
