// The test alert message: its lines for SMTP, and the files by which it is queued
// through the MMSC service when no SMTP server is set.
#pragma once

#include <string>
#include <vector>

#include "platform/clock.h"

namespace twoway {

inline constexpr const char* kAlertSubjectLine = "Subject:  QuvSMS Alert - Information";
inline constexpr const char* kAlertBodyLine = "This is a test alert message";

// "Sun, 7 Dec 2026 15:04:05 GMT" for a UTC time.
std::string AlertDateText(const platform::SystemTime& utc);
// The local date in the locale's long form, " @ ", the local time in the locale's form
// without seconds: "December 7, 2026 @ 15:04" in the C locale.
std::string AlertStampText(const platform::SystemTime& local);

// The message as SMTP submits it: From, To (recipients joined by ", "), Date, X-Mailer,
// Subject, an empty line, the body line and the date " @ " time line; CR LF after each.
std::string TestAlertMessage(const std::string& sender, const std::vector<std::string>& recipients,
                             const platform::SystemTime& utc, const platform::SystemTime& local);

// The same lines in the order of a queued file addressed to one recipient, which the
// MMSC service reads: To, X-MMSC-RCPT-TO, Date, From, X-Mailer, Subject, ...
std::string QueuedAlertFile(const std::string& sender, const std::string& recipient,
                            const platform::SystemTime& utc, const platform::SystemTime& local);

// One queued file: its path and whether it was written.
struct QueuedAlert {
    std::string path;
    bool written = false;
};

// Writes "ALERTTEST<n>.RFC" (n from 1) into `outboundDir` (created when missing) for
// each recipient, replacing older files, and stops at the first file that cannot be
// written (it is the last entry, not written).
std::vector<QueuedAlert> QueueTestAlerts(const std::string& outboundDir, const std::string& sender,
                                         const std::vector<std::string>& recipients);

}  // namespace twoway
