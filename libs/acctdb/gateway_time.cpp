// Calendar time in the gateway's zone. The zone is the process's (TZ, else the system
// zone), resolved by the platform clock so that a test clock moves these times too.
#include "acctdb/acctdb.h"

namespace acctdb {
namespace {

// 100-ns intervals between 1601-01-01 and 1970-01-01, divided down to milliseconds.
constexpr std::int64_t kFileTimeEpochOffsetMillis = 11'644'473'600'000;

// Days since 1970-01-01 of a proleptic Gregorian date; months outside 1..12 carry into
// the year so that a denormalised calendar time still names one moment.
std::int64_t DaysFromCivil(std::int64_t year, std::int64_t month, std::int64_t day) {
    std::int64_t monthIndex = month - 1;
    year += monthIndex >= 0 ? monthIndex / 12 : (monthIndex - 11) / 12;
    monthIndex -= (monthIndex >= 0 ? monthIndex / 12 : (monthIndex - 11) / 12) * 12;
    month = monthIndex + 1;
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const std::int64_t yearOfEra = year - era * 400;
    const std::int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

}  // namespace

platform::SystemTime TZGetLocalTime() {
    return platform::LocalSystemTime(platform::Clock().UnixMillis());
}

platform::SystemTime TZFileTimeToLocalSystemTime(std::uint64_t fileTimeUtc) {
    const std::int64_t millis =
        static_cast<std::int64_t>(fileTimeUtc / 10'000) - kFileTimeEpochOffsetMillis;
    return platform::LocalSystemTime(millis);
}

platform::SystemTime TZSystemTimeToLocalSystemTime(const platform::SystemTime& utc) {
    const std::int64_t days = DaysFromCivil(utc.year, utc.month, utc.day);
    const std::int64_t seconds =
        days * 86'400 + static_cast<std::int64_t>(utc.hour) * 3'600 + utc.minute * 60 + utc.second;
    return platform::LocalSystemTime(seconds * 1'000 + utc.milliseconds);
}

}  // namespace acctdb
