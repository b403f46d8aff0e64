// How a client of the gateway (an SMPP session, the web interface) hands in one message:
// the account's rules applied, the request written into the outbound queue and the
// service woken. Safe to call from any thread.
#pragma once

#include <string>
#include <vector>

#include "acctdb/acctdb.h"
#include "config/sms_request.h"
#include "platform/files.h"

namespace gateway::clients {

struct ClientMessage {
    std::string to;    // one recipient: an optional "+" and digits (blanks and "-" dropped)
    std::string from;  // the sender asked for; the account's forced sender wins
    std::string text;  // UTF-8 text, or the octets when `binary`
    bool binary = false;
    std::string udh;   // header octets, length octet included; may be empty
    int dcs = -1, pid = -1;  // -1: not given
    bool receipt = false;    // a delivery receipt is wanted
    bool priority = false;   // send before the account's other messages
    std::string route;       // a connection name or RouteName; "" routes freely
    std::string validity;    // "" or the client's validity text, passed on as given
    std::string clientAddress;  // the client's IP address, for the account's allowed addresses
    std::string via;            // "SMPP", "HTTP": who took it in (for the request and logs)
};

enum class Refusal {
    None,
    InvalidRecipient,    // no recipient, or not a number
    InvalidSender,       // a sender that cannot be sent (too long, control characters)
    TooLong,             // the text or data does not fit a request
    Invalid,             // anything else the message gets wrong: header, coding, unknown route
    AddressNotAllowed,   // the client's address is not among the account's allowed ones
    Quota,               // the account's daily or monthly message limit is reached
    NoCredit,            // the account's credit does not cover the message
    QueueError,          // the request could not be written
};

struct SubmitResult {
    Refusal refusal = Refusal::None;
    std::string requestId;  // set when accepted: the request's identifier in the queue and logs
    std::string text;       // for a refusal: the operator-readable reason
    unsigned parts = 0;     // the message's parts (what the credit was debited for)
    bool Accepted() const { return refusal == Refusal::None; }
};

// `Submit`: checks the message and the account (an authenticated record from USERS.DB),
// debits its credit ("SMS.CTR", one credit per part, under the file's lock), counts the
// message in its quota file and writes the request into the outbound queue (the account's
// own queue folder when SeparateUserQueues is on). On refusal nothing is written, counted
// or debited.
SubmitResult Submit(const acctdb::UserRecord& user, const ClientMessage& message);

// The same for a client that answers many messages at once: the request is staged in
// `batch` and reaches the queue with CommitSubmissions, which makes everything staged
// durable together; the quota counts it then. Answer the client only after that, and
// commit every batch given here.
SubmitResult Submit(const acctdb::UserRecord& user, const ClientMessage& message, platform::FileBatch& batch);
// Puts the staged requests in place and wakes the queue; the identifiers of those that
// could not be written (their client must be told the message failed; their credit was
// given back).
std::vector<std::string> CommitSubmissions(platform::FileBatch& batch);

// Writes a request the service makes itself (a keyword's reply) into the queue root with
// a new identifier beginning with `prefix`, and wakes the queue; the identifier, or ""
// when it could not be written. Such requests are charged to nobody.
std::string QueueServiceRequest(const config::SmsRequest& request, char prefix);

// The user a request of Submit with a receipt wanted was submitted by, or "" (also after
// a restart, for three days).
std::string RequestOwner(const std::string& requestId);

}  // namespace gateway::clients
