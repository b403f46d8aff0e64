#include "config/counter_file.h"

#include "acctdb/acctdb.h"
#include "platform/files.h"

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

}  // namespace config
