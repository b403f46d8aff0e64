// What the console reads from the service's request and received-message files: the
// message keys of "[SMS]" / "[SMS-IN]" and the retry details of "[ErrorDetail]".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/clock.h"

namespace viewers {

// Receipt and reply flags of a request, as bits of RequestDetail::flags.
inline constexpr std::uint32_t kReplyRequested = 0x01;
inline constexpr std::uint32_t kReceiptRequested = 0x02;
inline constexpr std::uint32_t kReceiptDelivered = 0x0C;
inline constexpr std::uint32_t kReceiptIntransit = 0x14;
inline constexpr std::uint32_t kReceiptFailed = 0x24;
inline constexpr std::uint32_t kNonDelReceiptRequested = 0x40;

struct RequestDetail {
    std::string phoneNumber;       // 149
    std::string sender;            // 149
    std::string data;              // 8191, "\r" and "\n" escapes resolved
    std::string udh;               // 499
    std::string submittedBy;       // 499
    std::string submitUser;        // 249
    std::string serviceType;       // 99
    std::string routeToLocalUser;  // 99
    std::string smppOptions;       // 499
    std::string smscRoute;         // 99
    std::string validity;          // 49
    std::string billingInfo;       // 49
    std::string modemName;         // 149
    std::string receiptMessageId;  // 149
    std::uint8_t pid = 0;
    std::uint8_t dcs = 0;
    bool binary = false;
    std::uint32_t flags = 0;
    // [ErrorDetail]
    std::int32_t retryCount = 0;
    std::string retryCountText;  // the value as written, "" when the key is absent or empty
    platform::SystemTime lastRetryTime = DefaultTime();
    platform::SystemTime firstAttemptTime = DefaultTime();
    std::string lastErrorInfo;  // 199

    // 1 January 2000, 00:00:00: the time of a missing or malformed value.
    static platform::SystemTime DefaultTime();
};

// Parses the text of a request file. Text after a NUL is not looked at. Never fails:
// malformed values are cut, read as far as they are digits, or take their defaults.
RequestDetail ParseRequestDetail(std::string_view text);

// `ReadRequestDetail`: reads the file (no links, no FIFOs, at most kMaxRequestBytes) and
// parses it; a missing or unreadable file gives an empty record.
inline constexpr std::size_t kMaxRequestBytes = 16u << 20;
RequestDetail ReadRequestDetail(const std::string& path);

// As ReadRequestDetail for `name` inside the open directory `dirFd`, reading into
// `buffer` (reused between calls, so a scan does not allocate per file). `opened` tells
// whether the file could be read and `modifiedUnixMillis` then holds its last-write time.
RequestDetail ReadRequestDetailAt(int dirFd, const char* name, std::string& buffer, bool& opened,
                                  std::int64_t& modifiedUnixMillis);

// The value of the first line beginning with `key` (ignoring case, "=" included) in the
// first section whose header line begins with `header` ("[RetryInfo]"), read with the same
// line rules; "" when there is none.
std::string FindSectionValue(std::string_view text, std::string_view header, std::string_view key);

}  // namespace viewers
