// The conversation of the test alert. Each step that fails ends it with the operator's
// message; the session and the socket are closed before the message is shown.
#include <utility>

#include "acctdb/acctdb.h"
#include "platform/io_wait.h"
#include "platform/text.h"
#include "twoway/smtp_client.h"

namespace twoway {
namespace {

constexpr int kTlsTextSize = 1024;

SmtpTestOutcome Failure(std::string text) {
    SmtpTestOutcome outcome;
    outcome.failure = std::move(text);
    return outcome;
}

SmtpTestOutcome Submitted() {
    SmtpTestOutcome outcome;
    outcome.submitted = true;
    return outcome;
}

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
    bool CertificateTrusted(std::string& failure);
    std::string SenderRefused() const {
        return "SMTP Server rejected sender address:  " + s_.sender;
    }

    const SmtpTestSettings& s_;
    std::string where_;
    SmtpLink link_;
    std::string untrusted_;  // fingerprint of the certificate that stopped the conversation
};

bool Conversation::StartTls(bool& startTlsUsed, std::string& failure) {
    link_.tls = s_.tls;
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
    return CertificateTrusted(failure);
}

// The login and the alerts must go to the server the operator named, not to whoever
// answers on the path: a certificate that does not verify stops the test before
// anything is sent, unless it is the one the operator chose to trust.
bool Conversation::CertificateTrusted(std::string& failure) {
    char result[kTlsTextSize] = {};
    char fingerprint[kTlsTextSize] = {};
    const bool verified = link_.tls->sslPeerVerified != nullptr &&
                          link_.tls->sslPeerVerified(link_.session, result, sizeof result) == 1;
    if (verified) return true;
    if (link_.tls->sslPeerFingerprint != nullptr)
        link_.tls->sslPeerFingerprint(link_.session, fingerprint, sizeof fingerprint);
    if (fingerprint[0] != '\0' && platform::EqualsNoCase(fingerprint, s_.trustedCertificate)) return true;
    untrusted_ = fingerprint;
    const std::string why = result[0] != '\0' ? result : "the TLS library cannot verify it";
    failure = "The certificate of SMTP server " + where_ + " could not be verified (" + why +
              ").  No login details or message were sent.";
    return false;
}

SmtpTestOutcome Conversation::Run() {
    bool startTlsUsed = false;
    std::string failure;
    if (s_.useTls && !StartTls(startTlsUsed, failure)) {
        SmtpTestOutcome stopped = Failure(failure);
        stopped.untrustedCertificate = untrusted_;
        return stopped;
    }
    // A refused greeting or HELO ends the conversation before any credential is sent.
    if (!startTlsUsed && !Hear(15)) return Failure(SenderRefused());
    const std::string hello = (link_.session ? "EHLO " : "HELO ") + s_.hostName;
    if (!Say(hello, 15) && !startTlsUsed) return Failure(SenderRefused());
    if (!s_.user.empty()) {
        if (!Say("AUTH LOGIN", 15) || !Say(Base64Encode(s_.user), 15) ||
            !Say(Base64Encode(s_.password), 15))
            return Failure("SMTP Authentication failed.  User name and/or password incorrect.");
    }
    if (!Say("MAIL FROM:<" + s_.sender + ">", 15)) return Failure(SenderRefused());
    // Every recipient is offered, so the server's log tells about each; the first one
    // refused is the one reported, and nothing is submitted then.
    std::string refused;
    for (const std::string& to : s_.recipients) {
        if (!Say("RCPT TO:<" + to + ">", 15) && refused.empty()) refused = to;
    }
    if (!refused.empty()) {
        Say("QUIT", 10);
        return Failure("SMTP Server rejected recipient address:  " + refused);
    }
    if (!Say("DATA", 15)) return Failure("SMTP Server rejected message submission");
    std::string body = DotStuffed(s_.message);
    if (body.size() < 2 || body.compare(body.size() - 2, 2, "\r\n") != 0) body += "\r\n";
    if (!Say(body + ".", 15)) return Failure("SMTP Server rejected message");
    Say("QUIT", 10);
    return Submitted();
}

}  // namespace

SmtpTestOutcome SendSmtpTestMessage(const SmtpTestSettings& settings) {
    const std::string where = settings.server + ":" + std::to_string(settings.port);
    const std::string unreachable = "Unable to connect to SMTP server " + where;
    const int fd = acctdb::IPV6OpenSocket(0, 0, 0);
    if (fd < 0) return Failure(unreachable);
    platform::UniqueFd owned(fd);
    if (acctdb::IPV6ConnectToINetServer(fd, settings.server, settings.port) != 0)
        return Failure(unreachable);
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
