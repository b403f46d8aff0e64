// SMS transfer PDUs as a GSM modem takes and gives them in PDU mode (hexadecimal text):
// SMS-SUBMIT built from a message the gateway has cut into parts (message_parts.h), and
// SMS-DELIVER, SMS-STATUS-REPORT and SMS-SUBMIT read back. Every PDU starts with the
// service centre address, "00" meaning the modem's own. A length that points past the
// data, an address over 20 digits or text that is not hexadecimal makes the PDU refused,
// never read beyond its end.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "gateway/message_parts.h"

namespace gateway::pdu {

struct SubmitOptions {
    std::string recipient;   // "+4912345" (international) or digits as dialled
    int pid = -1, dcs = -1;  // -1: 0x00 and the coding's own scheme
    bool statusReport = false;
    int validityMinutes = -1;  // -1: none; else relative, rounded up to what the field holds
};

// One SMS-SUBMIT: the hex text for AT+CMGS and the length AT+CMGS wants (the octets
// after the service centre address).
struct SubmitPdu {
    std::string hex;
    unsigned tpduLength = 0;
};

// An SMS-SUBMIT for each part of `message`; empty when the recipient has no digits or
// more than 20.
std::vector<SubmitPdu> EncodeSubmit(const EncodedMessage& message, const SubmitOptions& options);

enum class Kind { Deliver, Submit, StatusReport };

// Where a part belongs when it carries a concatenation element (8- or 16-bit
// reference); total 0 when it does not.
struct Concat {
    unsigned reference = 0, total = 0, number = 0;
};

struct Decoded {
    Kind kind = Kind::Deliver;
    std::string address;  // originator (deliver), recipient (submit, status report)
    int pid = 0, dcs = 0;
    Coding coding = Coding::Gsm7;
    std::string udh;     // octets including its length octet; empty without one
    std::string text;    // UTF-8 for Gsm7 and Ucs2
    std::string octets;  // the user data after the header, as sent (Binary: the payload)
    Concat concat;
    std::string timestamp;  // service centre time "YYMMDDhhmmss" (deliver, status report)
    // Submit: the message reference the sender set; status report: the one it reports on.
    int messageReference = 0;
    bool statusReportRequested = false;  // submit
    int status = 0;  // status report: 0x00-0x1F done, 0x20-0x3F trying, else failed
};

// Reads a PDU as the modem shows it (service centre address first). False with the
// reason in `error` when it is malformed or of another type.
bool Decode(const std::string& hex, Decoded& out, std::string& error);

// The coding a data coding scheme names; an unknown or compressed scheme is Binary.
Coding CodingOfScheme(int dcs);

// The delivery state of a status report's status octet as receipts name it
// ("DELIVRD", "ENROUTE", "EXPIRED", "UNDELIV", "REJECTD").
std::string ReceiptState(int status);

// For the modem simulator: an SMS-DELIVER of one part from `originator`, and an
// SMS-STATUS-REPORT for message reference `reference`, both with service centre
// time `timestamp` ("YYMMDDhhmmss").
std::string EncodeDeliver(const std::string& originator, const MessagePart& part, Coding coding,
                          const std::string& timestamp);
std::string EncodeStatusReport(int reference, const std::string& recipient, int status,
                               const std::string& timestamp);

}  // namespace gateway::pdu
