#include "gateway/keywords/actions.h"

#include <filesystem>

#include "acctdb/acctdb.h"
#include "config/config_store.h"
#include "config/sms_request.h"
#include "gateway/clients/submission.h"
#include "gateway/links/http_request.h"
#include "gateway/links/http_transport.h"
#include "gateway/mail.h"
#include "platform/charsets.h"
#include "platform/file_locks.h"
#include "platform/files.h"
#include "platform/ini_snapshot.h"
#include "platform/restricted_command.h"
#include "platform/text.h"
#include "twoway/smtp_client.h"

namespace gateway::keywords {

namespace {

constexpr std::size_t kMaxReplyBytes = 1530;  // ten parts of GSM text
constexpr std::size_t kMaxReplyFileBytes = 4096;

std::string InCharset(const std::string& text, const std::string& charset) {
    if (charset.empty() || platform::EqualsNoCase(charset, "utf-8")) return text;
    std::string out;
    return platform::ConvertCharset("UTF-8", charset, text, out) ? out : text;
}

// Cut to `max` bytes without splitting a UTF-8 character.
std::string Cut(std::string text, std::size_t max) {
    if (text.size() <= max) return text;
    std::size_t end = max;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    text.resize(end);
    return text;
}

std::string Reply(const ReceivedMessage& m, const std::string& text) {
    const std::string trimmed = Cut(text.substr(0, text.find_last_not_of(" \t\r\n") + 1), kMaxReplyBytes);
    if (trimmed.empty()) return "nothing to reply";
    config::SmsRequest r;
    r.phoneNumber = m.sender;
    r.sender = m.recipient;
    r.data = trimmed;
    r.smscRoute = m.connection;
    r.submittedBy = "2-Way";
    const std::string id = clients::QueueServiceRequest(r, 'R');
    return id.empty() ? "the reply could not be queued" : "reply queued as " + id;
}

std::string Fields(const ReceivedMessage& m, const std::string& charset) {
    return "sender=" + PercentEncode(m.sender) + "&recipient=" + PercentEncode(m.recipient) +
           "&text=" + PercentEncode(InCharset(m.text, charset)) + "&connection=" + PercentEncode(m.connection) +
           "&time=" + PercentEncode(m.time);
}

// An HTTP call of a Run URL; its answer's body, or "" with `outcome` telling why.
std::string CallUrl(const std::string& url, const ReceivedMessage& m, const ActionSettings& s, std::string& outcome) {
    const bool post = platform::StartsWithNoCase(url, "httppost://") || platform::StartsWithNoCase(url, "httpspost://");
    const bool tls = platform::StartsWithNoCase(url, "https");
    const std::string rest = url.substr(url.find("://") + 3);
    const std::size_t slash = rest.find('/');
    const std::string authority = rest.substr(0, slash);
    std::string target = slash == std::string::npos ? "/" : rest.substr(slash);
    std::string host;
    unsigned port = tls ? 443 : 80;
    config::SplitHostPort(authority, host, port);
    if (host.empty() || authority.find_first_of(" \r\n@") != std::string::npos) {
        outcome = "not a URL: " + url;
        return {};
    }
    HttpCall call;
    call.method = post ? "POST" : "GET";
    if (post) call.body = Fields(m, s.charset);
    else target += (target.find('?') == std::string::npos ? "?" : "&") + Fields(m, s.charset);
    call.target = target;
    const std::string name = "HTTP - " + authority;
    auto ini = std::make_shared<const platform::IniSnapshot>(
        platform::IniSnapshot::FromText("[" + name + "]\r\nUseSSL=" + (tls ? "Yes" : "No") + "\r\n"));
    const ConnectionSettings settings(ini, name);
    HttpAnswer answer;
    std::string error;
    if (SendHttpCall(settings, call, SessionTimings{}, answer, error) != HttpReach::Answered) {
        outcome = url + ": " + error;
        return {};
    }
    outcome = url + ": HTTP " + std::to_string(answer.status);
    return answer.status >= 200 && answer.status < 300 ? answer.body : std::string();
}

std::string RunCommand(const std::string& line, const ReceivedMessage& m, const ActionSettings& s,
                       std::string& outcome) {
    platform::RestrictedRun run;
    run.argv = platform::SplitCommandLine(line);
    const std::string text = InCharset(m.text, s.charset);
    run.env = {"PATH=/usr/local/bin:/usr/bin:/bin", "LANG=C.UTF-8", "HOME=/",
               "SMS_SENDER=" + m.sender, "SMS_RECIPIENT=" + m.recipient, "SMS_TEXT=" + text,
               "SMS_CONNECTION=" + m.connection, "SMS_TIME=" + m.time};
    run.input = text;
    run.timeoutMs = s.commandTimeoutMs;
    run.runAsUser = s.commandUser;
    const platform::RestrictedResult r = platform::RunRestricted(run);
    if (!r.started) outcome = "command not run: " + r.error;
    else if (r.timedOut) outcome = "command stopped after " + std::to_string(s.commandTimeoutMs / 1000) + " s";
    else outcome = "command ended with " + std::to_string(r.exitCode);
    return r.started && !r.timedOut ? r.output : std::string();
}

std::string Mail(const std::string& to, const ReceivedMessage& m, const ActionSettings& s) {
    const std::vector<std::string> recipients = twoway::SplitRecipients(to);
    for (const std::string& r : recipients)
        if (r.find('@') == std::string::npos || twoway::HasControlCharacter(r)) return "not an e-mail address: " + r;
    if (recipients.empty() || !s.gateway) return "no e-mail address";
    const std::string from = s.gateway->alertSender.empty() ? "QuvSMS" : s.gateway->alertSender;
    const std::string body = InCharset(m.text, s.charset) + "\r\n\r\nFrom " + m.sender + " to " + m.recipient +
                             " through " + m.connection + ", " + m.time + "\r\n";
    std::string failure;
    return SendServiceMail(*s.gateway, from, recipients, "SMS from " + m.sender, body, failure)
               ? "mailed to " + to
               : "mail not sent: " + failure;
}

std::string ChangeList(const std::string& list, const std::string& number, bool add, const ActionSettings& s) {
    const std::string dir = s.dataDir + "DLISTS/";
    platform::CreateDirectories(dir);
    const std::string path = dir + acctdb::SafeUserDirectoryName(list) + ".TXT";
    platform::FileLock lock(dir + acctdb::SafeUserDirectoryName(list) + ".LCK", true, true, true);
    if (!lock.Locked()) return "distribution list " + list + " is busy";
    std::string text, kept;
    platform::ReadFile(path, text);
    bool present = false;
    for (std::size_t at = 0; at < text.size();) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(at, end - at);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        at = end + 1;
        if (line.empty()) continue;
        if (line == number) {
            present = true;
            if (!add) continue;
        }
        kept += line + "\r\n";
    }
    if (add && !present) kept += number + "\r\n";
    if ((add && present) || (!add && !present)) return number + (add ? " already in " : " not in ") + list;
    return platform::WriteFileAtomic(path, kept, 0660) ? number + (add ? " added to " : " removed from ") + list
                                                       : "distribution list " + list + " could not be written";
}

}  // namespace

std::string ConfinedReplyFile(const std::string& dataDir, const std::string& name) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path root = fs::weakly_canonical(fs::path(dataDir + "FILES"), ec);
    if (ec || name.empty()) return {};
    const fs::path wanted = fs::path(name).is_absolute() ? fs::path(name) : root / name;
    const fs::path real = fs::weakly_canonical(wanted, ec);
    if (ec) return {};
    const auto rel = real.lexically_relative(root);
    if (rel.empty() || rel.native().rfind("..", 0) == 0) return {};
    return real.string();
}

std::vector<std::string> RunKeywordCommand(const twoway::KeywordCommand& c, const ReceivedMessage& m,
                                           const ActionSettings& s) {
    std::vector<std::string> done;
    if (c.replyText.on) done.push_back("ReplyText: " + Reply(m, c.replyText.value));
    if (c.replyFile.on) {
        const std::string path = ConfinedReplyFile(s.dataDir, c.replyFile.value);
        std::string content;
        if (path.empty()) done.push_back("ReplyFile: " + c.replyFile.value + " is not a file in FILES/");
        else if (!platform::ReadFile(path, content, kMaxReplyFileBytes) || content.find('\0') != std::string::npos)
            done.push_back("ReplyFile: " + c.replyFile.value + " is not a text file that fits a reply");
        else done.push_back("ReplyFile: " + Reply(m, content));
    }
    if (c.run.on) {
        std::string outcome;
        const bool url = platform::StartsWithNoCase(c.run.value, "http://") ||
                         platform::StartsWithNoCase(c.run.value, "https://") ||
                         platform::StartsWithNoCase(c.run.value, "httppost://") ||
                         platform::StartsWithNoCase(c.run.value, "httpspost://");
        const std::string answer = url ? CallUrl(c.run.value, m, s, outcome) : RunCommand(c.run.value, m, s, outcome);
        if (c.runSendResponse && !answer.empty()) outcome += "; " + Reply(m, answer);
        done.push_back("Run: " + outcome);
    }
    if (c.mailTo.on) done.push_back("MailTo: " + Mail(c.mailTo.value, m, s));
    if (c.dlistAdd.on) done.push_back("DListAdd: " + ChangeList(c.dlistAdd.value, m.sender, true, s));
    if (c.dlistRemove.on) done.push_back("DListRemove: " + ChangeList(c.dlistRemove.value, m.sender, false, s));
    return done;
}

}  // namespace gateway::keywords
