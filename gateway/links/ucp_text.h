// Message texts as UCP carries them: the submit fields of each part of an outgoing
// message, and an incoming delivery or notification read back into the service's form.
#pragma once

#include <string>
#include <vector>

#include "gateway/links/link.h"
#include "ucplnk/ucp_frame.h"

namespace gateway {

// The 33 fields of operation 51 for each part of `message` from `sender`, or false with
// `error` (the operator's text) when it cannot go: a recipient that is no number, text
// that is not UTF-8, too many parts.
bool BuildUcpSubmits(const OutboundMessage& message, const std::string& sender,
                     unsigned char reference, std::vector<std::vector<std::string>>& submits,
                     std::string& error);

// A delivery (52) or notification (53) frame as an inbound message; false when its
// fields cannot be read.
bool ReadUcpDelivery(const ucp::Frame& frame, InboundMessage& message);

// UTF-8 as ISO 8859-1 bytes, false when a character has no such byte; and back.
bool Utf8ToLatin1(const std::string& utf8, std::string& latin1);
std::string Latin1ToUtf8(const std::string& latin1);

}  // namespace gateway
