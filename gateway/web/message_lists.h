// What the web interface tells about messages: the requests waiting in the outbound queue,
// the messages received, and the state of one request (queued, sent or failed) from the
// queue, the daily SMSOUT logs and the delivery receipts received for it.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace gateway::web {

struct QueuedMessage {
    std::string id, recipient, sender, text, user, route;
    std::string submitted;  // "YYYY-MM-DD hh:mm:ss", gateway time (the file's last write)
    std::string status;     // "Queued" or "Retry - N attempt(s) - <last error>"
};

struct ReceivedMessage {
    std::string file;  // relative to the received folder
    std::string sender, recipient, text, user;
    std::string received;  // as QueuedMessage::submitted
    std::string receiptFor;  // the request a delivery receipt reports on, or ""
};

// Requests of `user` (ignoring case; "" = everyone's) in `queueDir`, oldest first, at most
// `limit` of them.
std::vector<QueuedMessage> ListQueued(const std::string& queueDir, const std::string& user, std::size_t limit);

// Received messages for `user` ("" = all): those routed to the user (RouteToLocalUser)
// and the receipts of requests `ownerOf` names as the user's. Newest first, at most `limit`.
std::vector<ReceivedMessage> ListReceived(const std::string& smsInDir, const std::string& user, std::size_t limit,
                                          const std::function<std::string(const std::string&)>& ownerOf);

struct MessageState {
    std::string state;   // "queued", "sent", "failed" or "unknown"
    std::string detail;  // retry or error text, the SMSC's message id when sent
    std::string receipt; // "delivered", "failed", "in transit" or "" when none came
};

// The state of request `id` for `user` ("" = any user's). A request of another user reads
// as unknown. Looks at the queue, then the SMSOUT logs of the last `days` days.
MessageState FindMessageState(const std::string& queueDir, const std::string& logDir, const std::string& smsInDir,
                              const std::string& id, const std::string& user, int days = 7);

// A request identifier as the queue names files: letters, digits, "_" and "-" only.
bool IsRequestId(const std::string& id);

}  // namespace gateway::web
