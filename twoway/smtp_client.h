// The SMTP client of the console's test alert and of the Gateway service's alerts: one conversation with the configured server, with
// STARTTLS or implicit TLS through the TLS link library and AUTH LOGIN, every reply read
// under a time-out counted from the last data received.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/tcp_socket.h"
#include "shell/core/link_libraries.h"

namespace twoway {

// One SMTP connection: the socket and, once TLS runs, its session and the library table.
struct SmtpLink {
    platform::TcpSocket* socket = nullptr;
    void* session = nullptr;
    const shell::TlsLinkTable* tls = nullptr;
};

// Sends `text` followed by CR LF in one write, through the TLS session when there is
// one, else on the plain socket. True when the whole line was sent.
bool SmtpSendLine(const SmtpLink& link, std::string_view text);

// Reads one SMTP reply (continuation lines "NNN-" up to the final "NNN "), giving up
// when `timeoutMs` passes without data or after 1 MiB. True when the first final line's
// code begins with 2, 3 or 0. `reply`, when given, receives everything read.
bool SmtpReadReply(const SmtpLink& link, std::uint64_t timeoutMs, std::string* reply = nullptr);

// Base64 of RFC 4648 with "=" padding.
std::string Base64Encode(std::string_view data);

// The entries of a comma list, blanks around each entry removed; empty entries dropped.
std::vector<std::string> SplitRecipients(std::string_view list);

// True when `text` holds a control character (CR, LF, NUL, ...): such a value would end
// a command or header early and smuggle in another one.
bool HasControlCharacter(std::string_view text);

// The body lines as sent by SMTP: each line beginning with "." gets another "." in
// front, so no line of the message ends the DATA phase early.
std::string DotStuffed(std::string_view message);

struct SmtpTestSettings {
    std::vector<std::string> recipients;
    std::string sender;
    std::string server;
    unsigned port = 25;
    bool useTls = false;
    std::string user;
    std::string password;
    std::string hostName;     // sent with HELO/EHLO
    std::string message;      // the whole message, headers and body, lines ending CR LF
    std::uint64_t secondMs = 1000;  // length of a "second" of the reply time-outs
    // SHA-256 fingerprint ("AB:CD:...") of a server certificate the operator chose to
    // trust although it does not verify; empty for none.
    std::string trustedCertificate;
    // The TLS library's functions (the console's loaded table, or the service's); null
    // when TLS is not available, which fails a TLS conversation before anything is sent.
    const shell::TlsLinkTable* tls = nullptr;
};

// What the conversation ended with: `submitted` true when the server took the message,
// else `failure` holds the operator's message.
struct SmtpTestOutcome {
    bool submitted = false;
    std::string failure;
    // Set when the conversation stopped because the server's certificate did not verify:
    // its fingerprint, which the operator may choose to trust.
    std::string untrustedCertificate;
};

// Connects, speaks SMTP and submits `settings.message` to every recipient. Uses the
// TLS link library while it is available; a TLS test without it fails before any
// credential is sent, and so does one whose server certificate does not verify for the
// server's name against the system's trust store, unless it is the trusted one. Runs on
// the calling thread; every wait is cancellable.
SmtpTestOutcome SendSmtpTestMessage(const SmtpTestSettings& settings);

}  // namespace twoway
