#include "twoway/alert_message.h"

#include <cstdio>

#include "acctdb/acctdb.h"
#include "platform/files.h"
#include "shell/core/console_caption.h"
#include "viewers/time_texts.h"

namespace twoway {
namespace {

std::string Line(const std::string& text) { return text + "\r\n"; }

// Subject, the empty line ending the headers, and the body.
std::string Tail(const platform::SystemTime& local) {
    return Line(std::string(kAlertSubjectLine)) + "\r\n" + Line(kAlertBodyLine) +
           Line(AlertStampText(local));
}

}  // namespace

std::string AlertDateText(const platform::SystemTime& utc) { return platform::HeaderDateText(utc); }

std::string AlertStampText(const platform::SystemTime& local) {
    return viewers::LongDateText(local) + " @ " + viewers::ShortTimeText(local);
}

std::string TestAlertMessage(const std::string& sender, const std::vector<std::string>& recipients,
                             const platform::SystemTime& utc, const platform::SystemTime& local) {
    std::string to;
    for (const std::string& r : recipients) to += (to.empty() ? "" : ", ") + r;
    return Line("From: " + sender) + Line("To: " + to) + Line("Date: " + AlertDateText(utc)) +
           Line(std::string("X-Mailer: ") + shell::kConsoleCaption) + Tail(local);
}

std::string QueuedAlertFile(const std::string& sender, const std::string& recipient,
                            const platform::SystemTime& utc, const platform::SystemTime& local) {
    return Line("To: " + recipient) + Line("X-MMSC-RCPT-TO: " + recipient) +
           Line("Date: " + AlertDateText(utc)) + Line("From: " + sender) +
           Line(std::string("X-Mailer: ") + shell::kConsoleCaption) + Tail(local);
}

std::vector<QueuedAlert> QueueTestAlerts(const std::string& outboundDir, const std::string& sender,
                                         const std::vector<std::string>& recipients) {
    std::vector<QueuedAlert> out;
    const std::string dir = platform::WithSlash(outboundDir);
    platform::CreateDirectories(dir);
    const auto utc = platform::UtcSystemTime(platform::Clock().UnixMillis());
    const auto local = acctdb::TZGetLocalTime();
    unsigned n = 1;
    for (const std::string& to : recipients) {
        QueuedAlert q{dir + "ALERTTEST" + std::to_string(n++) + ".RFC", false};
        q.written = platform::WriteFileAtomic(q.path, QueuedAlertFile(sender, to, utc, local));
        out.push_back(q);
        if (!q.written) break;
    }
    return out;
}

}  // namespace twoway
