#include "gateway/retry.h"

#include <cstdlib>
#include <ctime>

#include "gateway/settings.h"
#include "platform/process.h"

namespace gateway {

RetryPolicy ProcessRetryPolicy() {
    RetryPolicy policy;
    if (const std::string seconds = platform::EnvironmentValue("ZELLA_RETRY_FIRST_SECONDS"); !seconds.empty())
        policy.firstDelayMs = static_cast<std::uint64_t>(ParseBounded(seconds, 60, 1, 3600)) * 1000;
    return policy;
}

std::uint64_t RetryDelayMs(const RetryPolicy& policy, unsigned attempts) {
    std::uint64_t delay = policy.firstDelayMs;
    for (unsigned i = 1; i < attempts && delay < policy.maxDelayMs; ++i) delay *= 2;
    return delay < policy.maxDelayMs ? delay : policy.maxDelayMs;
}

bool GiveUp(const RetryPolicy& policy, unsigned attempts, std::uint64_t ageMs, const std::string& validity) {
    const long minutes = ParseBounded(validity, 0, 0, 525'600);
    if (minutes > 0) return ageMs >= static_cast<std::uint64_t>(minutes) * 60'000;
    return attempts >= policy.maxAttempts || ageMs >= policy.maxAgeMs;
}

std::int64_t Time14ToUnixMillis(const std::string& time14) {
    if (time14.size() != 14 || time14.find_first_not_of("0123456789") != std::string::npos) return 0;
    std::tm tm{};
    tm.tm_year = std::atoi(time14.substr(0, 4).c_str()) - 1900;
    tm.tm_mon = std::atoi(time14.substr(4, 2).c_str()) - 1;
    tm.tm_mday = std::atoi(time14.substr(6, 2).c_str());
    tm.tm_hour = std::atoi(time14.substr(8, 2).c_str());
    tm.tm_min = std::atoi(time14.substr(10, 2).c_str());
    tm.tm_sec = std::atoi(time14.substr(12, 2).c_str());
    tm.tm_isdst = -1;
    const std::time_t t = std::mktime(&tm);
    return t == static_cast<std::time_t>(-1) ? 0 : static_cast<std::int64_t>(t) * 1000;
}

}  // namespace gateway
