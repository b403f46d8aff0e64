// The conversation of the test alert. Each step that fails ends it with the operator's
// message; the session and the socket are closed before the message is shown.
#include <utility>

#include "acctdb/acctdb.h"
#include "platform/io_wait.h"
#include "twoway/smtp_client.h"

namespace twoway {
namespace {

constexpr int kTlsTextSize = 1024;

class Conversation {
public:
    Conversation(const SmtpTestSettings& s, platform::TcpSocket& socket)
        : s_(s), where_(s.server + ":" + std::to_string(s.port)) {
        link_.socket = &socket;
    }
    ~Conversation() {
        if (link_.session != nullptr) link_.tls->sslFreeSession(link_.session);
    }
    Conversation(const Conversation&) = delete;
    Conversation& operator=(const Conversation&) = delete;

    SmtpTestOutcome Run();

private:
    bool Say(std::string_view line, unsigned seconds) {
        return SmtpSendLine(link_, line) && SmtpReadReply(link_, seconds * s_.secondMs);
    }
    bool Hear(unsigned seconds) { return SmtpReadReply(link_, seconds * s_.secondMs); }
    // STARTTLS when the server offers it, then TLS on the socket either way, which also
    // serves servers that expect TLS from the first byte. False with `failure` set.
    bool StartTls(bool& startTlsUsed, std::string& failure);
    std::string SenderRefused() const {
        return "SMTP Server rejected sender address:  " + s_.sender;
    }

    const SmtpTestSettings& s_;
    std::string where_;
    SmtpLink link_;
};

bool Conversation::StartTls(bool& startTlsUsed, std::string& failure) {
    link_.tls = shell::TlsAvailable() ? shell::TlsLink() : nullptr;
    if (link_.tls == nullptr) {
        // Going on in the clear would hand the password to anyone on the path.
        failure = "SSL Connection failed for SMTP server " + where_ + " (TLS is not available)";
        return false;
    }
    if (Hear(5) && Say("EHLO " + s_.hostName, 5) && Say("STARTTLS", 5)) startTlsUsed = true;
    char buffer[kTlsTextSize] = {};
    s_.server.copy(buffer, sizeof buffer - 1);
    link_.session = link_.tls->sslInitSession(link_.socket->Descriptor(), buffer, sizeof buffer);
    if (link_.session == nullptr) {
        buffer[sizeof buffer - 1] = '\0';
        failure = "SSL Connection failed for SMTP server " + where_ + " (" + buffer + ")";
        return false;
    }
    return true;
}

SmtpTestOutcome Conversation::Run() {
    bool startTlsUsed = false;
    std::string failure;
    if (s_.useTls && !StartTls(startTlsUsed, failure)) return {false, failure};
    // A refused greeting or HELO ends the conversation before any credential is sent.
    if (!startTlsUsed && !Hear(15)) return {false, SenderRefused()};
    const std::string hello = (link_.session ? "EHLO " : "HELO ") + s_.hostName;
    if (!Say(hello, 15) && !startTlsUsed) return {false, SenderRefused()};
    if (!s_.user.empty()) {
        if (!Say("AUTH LOGIN", 15) || !Say(Base64Encode(s_.user), 15) ||
            !Say(Base64Encode(s_.password), 15))
            return {false, "SMTP Authentication failed.  User name and/or password incorrect."};
    }
    if (!Say("MAIL FROM:<" + s_.sender + ">", 15)) return {false, SenderRefused()};
    // Every recipient is offered, so the server's log tells about each; the first one
    // refused is the one reported, and nothing is submitted then.
    std::string refused;
    for (const std::string& to : s_.recipients) {
        if (!Say("RCPT TO:<" + to + ">", 15) && refused.empty()) refused = to;
    }
    if (!refused.empty()) {
        Say("QUIT", 10);
        return {false, "SMTP Server rejected recipient address:  " + refused};
    }
    if (!Say("DATA", 15)) return {false, "SMTP Server rejected message submission"};
    std::string body = DotStuffed(s_.message);
    if (body.size() < 2 || body.compare(body.size() - 2, 2, "\r\n") != 0) body += "\r\n";
    if (!Say(body + ".", 15)) return {false, "SMTP Server rejected message"};
    Say("QUIT", 10);
    return {true, {}};
}

}  // namespace

SmtpTestOutcome SendSmtpTestMessage(const SmtpTestSettings& settings) {
    const std::string where = settings.server + ":" + std::to_string(settings.port);
    const std::string unreachable = "Unable to connect to SMTP server " + where;
    const int fd = acctdb::IPV6OpenSocket(0, 0, 0);
    if (fd < 0) return {false, unreachable};
    platform::UniqueFd owned(fd);
    if (acctdb::IPV6ConnectToINetServer(fd, settings.server, settings.port) != 0)
        return {false, unreachable};
    // Adopted only now: the connect leaves the socket blocking, the adoption does not.
    platform::TcpSocket socket{std::move(owned)};
    platform::ShutdownOnCancel watch(fd);
    SmtpTestOutcome outcome;
    {
        Conversation conversation(settings, socket);
        outcome = conversation.Run();
    }
    socket.Close();
    return outcome;
}

}  // namespace twoway
