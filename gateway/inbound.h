// Messages received from SMSCs, as files of the received-SMS folder: an "[SMS-IN]"
// section with the sender, our number, the text (line breaks escaped) or the binary data
// and header as hex, and for a delivery receipt the identifier of the request it reports
// on and its state flags. One sub-directory per receiving connection; files are written
// whole under a temporary name and renamed, so the console never reads half of one.
#pragma once

#include <string>

#include "gateway/links/link.h"

namespace gateway {

// The file text for a received message; `receiptRequestId` is the request a receipt
// reports on ("" when unknown or not a receipt).
std::string InboundFileText(const InboundMessage& message, const std::string& connection,
                            const std::string& receiptRequestId);

// The file text with RouteToLocalUser added: a message for a local account.
std::string WithLocalUser(const std::string& text, const std::string& user);

// Writes the file below `smsInDir` in the connection's sub-directory (created when
// missing, also when the console removed it meanwhile) with `extension`: ".SMS" stored,
// ".IN" waiting for keyword processing, ".REC" waiting for a local account. Safe from
// any thread. Returns the file's path relative to `smsInDir`, or "" when it could not be
// written.
std::string WriteInboundFile(const std::string& smsInDir, const std::string& connectionFileName,
                             const std::string& text, const char* extension = ".SMS");

// "DELIVRD" and friends from a receipt's text ("id:... stat:DELIVRD ...").
std::string ReceiptField(const std::string& text, const std::string& field);

}  // namespace gateway
