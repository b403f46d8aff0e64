#include "config/counters.h"

#include <algorithm>
#include <limits>

#include "acctdb/acctdb.h"
#include "config/config_store.h"

namespace config {

namespace {

constexpr int kDaysBeforeMonth[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
constexpr int kLastIndex = static_cast<int>(kDailyCounterCount) - 1;

std::uint32_t Saturate(std::uint64_t value) {
    constexpr std::uint64_t kMax = std::numeric_limits<std::uint32_t>::max();
    return static_cast<std::uint32_t>(std::min(value, kMax));
}

}  // namespace

bool IsCounterLeapYear(int year) { return year % 4 == 0; }

int CounterDaysInYear(int year) { return IsCounterLeapYear(year) ? 366 : 365; }

int CounterDayIndex(int year, int month, int day) {
    month = std::clamp(month, 1, 12);
    int index = kDaysBeforeMonth[month - 1] + day - 1;
    if (month >= 3 && IsCounterLeapYear(year)) ++index;
    return std::clamp(index, 0, kLastIndex);
}

std::uint32_t SumBackwards(const DailyCounters& counters, int first, int days) {
    std::uint64_t sum = 0;
    first = std::min(first, kLastIndex);
    for (int i = first; i >= 0 && i > first - days; --i) sum += counters[static_cast<std::size_t>(i)];
    return Saturate(sum);
}

namespace {

// `statsDir` is StatsDirectory(), looked up once by callers reading many statistics: it
// goes through the data directory look-up, which checks the directory on disk each time.
StatCounts ReadIn(const std::string& statsDir, const std::string& name,
                  const platform::SystemTime& date) {
    StatCounts counts;
    if (IsCurrentValueStatistic(name)) {
        const std::uint32_t value = ReadDailyCounterFile(statsDir + name + ".CTR")[0];
        counts.today = counts.last7 = counts.last30 = value;
        return counts;
    }
    auto yearly = [&](int year) { return statsDir + name + "-" + std::to_string(year) + ".CTR"; };
    const int index = CounterDayIndex(date.year, date.month, date.day);
    const DailyCounters current = ReadDailyCounterFile(yearly(date.year));
    counts.today = current[static_cast<std::size_t>(index)];
    std::uint64_t last7 = SumBackwards(current, index, 7);
    std::uint64_t last30 = SumBackwards(current, index, 30);

    const int daysThisYear = index + 1;
    if (daysThisYear < 30) {
        // The first days of January: the rest of the window lies at the end of last year.
        const int previousYear = date.year - 1;
        const DailyCounters previous = ReadDailyCounterFile(yearly(previousYear));
        const int lastDay = CounterDaysInYear(previousYear) - 1;
        if (daysThisYear < 7) last7 += SumBackwards(previous, lastDay, 7 - daysThisYear);
        last30 += SumBackwards(previous, lastDay, 30 - daysThisYear);
    }
    counts.last7 = Saturate(last7);
    counts.last30 = Saturate(last30);
    return counts;
}

}  // namespace

StatCounts ReadStatCounterOn(const std::string& name, const platform::SystemTime& date) {
    return ReadIn(StatsDirectory(), name, date);
}

StatCounts ReadStatCounter(const std::string& name) {
    return ReadStatCounterOn(name, acctdb::TZGetLocalTime());
}

std::vector<StatCounts> ReadStatCounters(const std::vector<std::string>& names) {
    const std::string statsDir = StatsDirectory();
    const platform::SystemTime today = acctdb::TZGetLocalTime();
    std::vector<StatCounts> all;
    all.reserve(names.size());
    for (const std::string& name : names) all.push_back(ReadIn(statsDir, name, today));
    return all;
}

std::string ConnectionCounterPath(const std::string& connectionName, int year, bool received) {
    return acctdb::GetPrivateDataDirectory() + ConnectionFileName(connectionName) + "-" +
           std::to_string(year) + (received ? "-RECEIVED.CTR" : ".CTR");
}

}  // namespace config
