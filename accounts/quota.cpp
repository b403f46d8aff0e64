#include "accounts/quota.h"

#include "acctdb/acctdb.h"
#include "config/config_store.h"
#include "platform/files.h"

namespace accounts {
namespace {

constexpr int kDaysBeforeMonth[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
constexpr int kMonthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

}  // namespace

std::string UserFolder(const std::string& user) {
    return config::UserDirectory() + acctdb::SafeUserDirectoryName(user) + "/";
}

std::string QuotaFilePath(const std::string& user, int year) {
    return UserFolder(user) + std::to_string(year) + ".QTA";
}

QuotaCounters ParseQuota(const std::string& bytes) {
    QuotaCounters counters{};
    const std::size_t whole = std::min(bytes.size(), kQuotaFileBytes) / 4;
    for (std::size_t i = 0; i < whole; ++i) {
        const auto* p = reinterpret_cast<const unsigned char*>(bytes.data() + 4 * i);
        counters[i] = static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
                      static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
    }
    return counters;
}

bool ReadQuotaFile(const std::string& user, int year, QuotaCounters& counters) {
    std::string bytes;
    counters = QuotaCounters{};
    if (!platform::ReadFileHead(QuotaFilePath(user, year), kQuotaFileBytes, bytes)) return false;
    counters = ParseQuota(bytes);
    return true;
}

bool IsQuotaLeapYear(int year) { return year % 4 == 0; }

int QuotaMonthDays(int year, int month) {
    if (month < 1 || month > 12) return 0;
    return month == 2 && IsQuotaLeapYear(year) ? 29 : kMonthDays[month - 1];
}

int QuotaDayIndex(int year, int month, int day) {
    if (month < 1 || month > 12) return 0;
    return kDaysBeforeMonth[month - 1] + day - 1 + (month > 2 && IsQuotaLeapYear(year) ? 1 : 0);
}

UserQuota ReadUserQuota(const std::string& user, const platform::SystemTime& date) {
    UserQuota quota;
    QuotaCounters counters;
    if (!ReadQuotaFile(user, date.year, counters)) return quota;
    const int today = QuotaDayIndex(date.year, date.month, date.day);
    if (today >= 0 && today < kQuotaDays) quota.today = counters[today];
    const int first = QuotaDayIndex(date.year, date.month, 1);
    const int last = QuotaDayIndex(date.year, date.month, QuotaMonthDays(date.year, date.month));
    for (int i = first; i <= last && i < kQuotaDays; ++i) quota.month += counters[i];
    return quota;
}

UserQuota ReadUserQuota(const std::string& user) {
    return ReadUserQuota(user, acctdb::TZGetLocalTime());
}

}  // namespace accounts
