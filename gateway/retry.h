// When a message that failed for now is tried again, and when the service gives up: after
// 1, 2, 4 ... minutes, at most an hour apart, until its validity ends, else after 48
// hours or 20 attempts. A connection that is down costs a message no attempt.
#pragma once

#include <cstdint>
#include <string>

namespace gateway {

struct RetryPolicy {
    std::uint64_t firstDelayMs = 60'000;
    std::uint64_t maxDelayMs = 3'600'000;
    unsigned maxAttempts = 20;
    std::uint64_t maxAgeMs = 48ull * 3'600'000;
};

// The policy of this process: the defaults, with the first delay from
// $ZELLA_RETRY_FIRST_SECONDS when set (1..3600), for operators who want quicker retries.
RetryPolicy ProcessRetryPolicy();

// The wait after the `attempts`-th failed attempt (1 for the first).
std::uint64_t RetryDelayMs(const RetryPolicy& policy, unsigned attempts);

// Whether to give up after `attempts` failed attempts, the first made `ageMs` ago, with
// the request's Validity (minutes; "" or unreadable for none).
bool GiveUp(const RetryPolicy& policy, unsigned attempts, std::uint64_t ageMs, const std::string& validity);

// "YYYYMMDDhhmmss" in the gateway's local time as Unix milliseconds; 0 when unreadable.
std::int64_t Time14ToUnixMillis(const std::string& time14);

}  // namespace gateway
