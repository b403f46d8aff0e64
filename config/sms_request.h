// Outbound request files as every writer of the queue drops them: the console's test
// message, and the Gateway service's clients (SMPP server, web pages). INI text, CRLF,
// one "[SMS]" section, written whole under a temporary name and renamed into place so the
// service never picks up half a request, readable and removable by the gateway's group.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace config {

struct SmsRequest {
    std::string phoneNumber;  // one recipient
    std::string sender;       // "" leaves the choice to the connection
    std::string data;         // UTF-8 text, or the octets when `binary`
    bool binary = false;
    std::string udh;          // header octets, length octet included; may be empty
    int pid = -1, dcs = -1;   // -1: not given
    bool receiptRequested = false;
    std::string smscRoute;    // a connection name or RouteName; "" routes freely
    std::string submittedBy, submitUser, serviceType, validity;
    // Further keys written after these, in order.
    std::vector<std::pair<std::string, std::string>> extra;
};

// Line breaks escaped the way request readers unescape them: CR "\r", LF "\n", a
// backslash "\\"; any other control character becomes a blank, so a value stays one line.
std::string EscapeLineBreaks(const std::string& text);

// The file text: "[SMS]", then PhoneNumber, Sender (when set), Data (escaped, or hex with
// "binary=Yes"), udh, pid, dcs, ReceiptRequested, SMSCRoute, SubmittedBy, SubmitUser,
// ServiceType, Validity (each when set) and the extra keys. Values that are not Data are
// made one line; each is cut to its field size (PhoneNumber and Sender 149, Data 8191).
std::string SmsRequestText(const SmsRequest& request);

// Writes `text` as the request file `path` (mode 0660, durable before it returns);
// false when it could not be written.
bool WriteRequestFile(const std::string& path, const std::string& text);

// Tells the Gateway service that the outbound queue has new requests.
void WakeOutboundQueue(const std::string& route);

}  // namespace config
