// Per-user message quotas: the Gateway service counts each user's submitted messages per
// day of the year in "<year>.QTA" in the user's directory, 366 little-endian 32-bit
// counters (1 January is counter 0; in years divisible by 4 the days after February move
// up by one). A shorter file covers only its first counters; the rest read as 0.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/clock.h"

namespace accounts {

inline constexpr int kQuotaDays = 366;
inline constexpr std::size_t kQuotaFileBytes = kQuotaDays * 4;

using QuotaCounters = std::array<std::uint32_t, kQuotaDays>;

// The user's directory without creating it: the users directory plus the mended name.
std::string UserFolder(const std::string& user);
// The quota file of a user for a year: UserFolder(user) + "%d.QTA".
std::string QuotaFilePath(const std::string& user, int year);

// Counters from a file's bytes (at most the first 1464 are looked at).
QuotaCounters ParseQuota(const std::string& bytes);
// Reads a year's counters; false (all zero) when the file cannot be opened.
bool ReadQuotaFile(const std::string& user, int year, QuotaCounters& counters);

// Divisible by 4, the service's own rule (it never meets 1900 or 2100).
bool IsQuotaLeapYear(int year);
// Days in month 1..12 of the year under that rule.
int QuotaMonthDays(int year, int month);
// Counter index of a date (month 1..12, day 1..31).
int QuotaDayIndex(int year, int month, int day);

struct UserQuota {
    std::uint32_t today = 0;
    std::uint32_t month = 0;
};
// `ReadUserQuota`: the user's messages on the given date and in its month; zeros when
// the year's file is missing.
UserQuota ReadUserQuota(const std::string& user, const platform::SystemTime& date);
// The same for the gateway's local date now.
UserQuota ReadUserQuota(const std::string& user);

}  // namespace accounts
