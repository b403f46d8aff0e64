#include "gateway/mail.h"

#include <atomic>

#include "acctdb/acctdb.h"
#include "gateway/tls_library.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "twoway/smtp_client.h"

namespace gateway {

namespace {

std::atomic<unsigned> g_fileCounter{0};

std::string Line(const std::string& text) { return text + "\r\n"; }

// A header value on one line.
std::string Header(const std::string& text) {
    std::string out;
    for (char c : text) out += static_cast<unsigned char>(c) < 0x20 || c == 0x7F ? ' ' : c;
    return out;
}

std::string DateLine() {
    return Line("Date: " + platform::HeaderDateText(platform::UtcSystemTime(platform::Clock().UnixMillis())));
}

}  // namespace

bool SendServiceMail(const GatewaySettings& s, const std::string& from, const std::vector<std::string>& to,
                     const std::string& subject, const std::string& body, std::string& failure) {
    const std::string sender = Header(from), title = Header(subject);
    if (s.alertSmtpServer.empty()) {
        const std::string dir = acctdb::GetProgramDataDirectory() + "MMSCOUT/";
        platform::CreateDirectories(dir);
        for (const std::string& r : to) {
            const std::string recipient = Header(r);
            const std::string name = "ALERT" + std::to_string(platform::Clock().UnixMillis()) + "-" +
                                     std::to_string(g_fileCounter.fetch_add(1)) + ".RFC";
            platform::WriteFileAtomic(dir + name,
                                      Line("To: " + recipient) + Line("X-MMSC-RCPT-TO: " + recipient) + DateLine() +
                                          Line("From: " + sender) + Line("X-Mailer: zellant") +
                                          Line("Subject: " + title) + "\r\n" + body,
                                      0660);
        }
        return true;
    }
    twoway::SmtpTestSettings smtp;
    smtp.recipients = to;
    smtp.sender = sender;
    smtp.server = s.alertSmtpServer;
    smtp.port = s.alertSmtpPort;
    smtp.useTls = s.alertSmtpSsl;
    smtp.user = s.alertSmtpUser;
    smtp.password = s.alertSmtpPassword;
    smtp.hostName = "zellant";
    smtp.trustedCertificate = s.alertSmtpCertificate;
    smtp.tls = s.alertSmtpSsl ? ServiceTlsLibrary() : nullptr;
    std::string list;
    for (const std::string& r : to) list += (list.empty() ? "" : ", ") + Header(r);
    smtp.message = Line("From: " + sender) + Line("To: " + list) + DateLine() + Line("X-Mailer: zellant") +
                   Line("Subject: " + title) + "\r\n" + body;
    const twoway::SmtpTestOutcome outcome = twoway::SendSmtpTestMessage(smtp);
    failure = outcome.failure;
    return outcome.submitted;
}

}  // namespace gateway
