// One outbound request file of the queue ("*.REQ", INI text): reading what the service
// needs from it, and the "[ErrorDetail]" the service keeps in it while it waits.
#pragma once

#include <cstdint>
#include <string>

namespace gateway {

// The largest request file read; a larger one is refused as damaged rather than read.
inline constexpr std::size_t kMaxRequestBytes = 256 * 1024;

struct OutboundRequest {
    std::string section;  // "SMS" or "SMS-IN"
    std::string phoneNumber, sender, data, udh;  // data unescaped; udh as hex
    std::string submittedBy, submitUser, serviceType, smscRoute, routeToLocalUser;
    std::string validity, billingInfo, smppOptions;
    bool binary = false;
    int pid = -1, dcs = -1;  // -1: not given
    bool receiptRequested = false;
    // The client interface debited the credit when it took the request in ("CreditCharged").
    bool chargedOnSubmit = false;
    // [ErrorDetail]
    unsigned retryCount = 0;
    std::string firstAttemptTime, lastRetryTime, lastErrorInfo;

    // The user the request is charged to: SubmitUser, else "localsystem".
    std::string User() const;
};

// Parses the request text. False with `error` set when the text has no [SMS] or [SMS-IN]
// section or no recipient (PhoneNumber), or a binary Data that is not hexadecimal.
bool ParseRequest(const std::string& text, OutboundRequest& out, std::string& error);

// The text unescaped the way the console escapes it: "\r" and "\n" become CR and LF,
// "\\" a backslash; any other backslash stays as it is.
std::string UnescapeLineBreaks(const std::string& text);

// Octets of a hex text ("48656C6C6F"); false when it has an odd length or a non-hex digit.
bool HexToOctets(const std::string& hex, std::string& octets);
std::string OctetsToHex(const std::string& octets);

// The request text with its [ErrorDetail] replaced by these values (the section is
// added at the end when missing; other lines keep their bytes). `lastError` is made one
// line without commas and cut to 199 bytes.
std::string WithErrorDetail(const std::string& text, unsigned retryCount, const std::string& firstAttemptTime,
                            const std::string& lastRetryTime, const std::string& lastError);

// Makes an error text fit a one-line, comma-separated log field: CR, LF and tabs become
// blanks, "," becomes ";", cut to `max` bytes.
std::string OneLineField(const std::string& text, std::size_t max = 199);

}  // namespace gateway
