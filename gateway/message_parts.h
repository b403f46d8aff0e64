// A message as the SMSC links send it: its coding chosen (GSM 7-bit when every character
// has a GSM form, else UCS-2; binary as given) and, when it is too long for one message,
// cut into parts that carry a concatenation header.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace gateway {

enum class Coding { Gsm7, Ucs2, Binary };

struct MessagePart {
    std::string payload;  // unpacked septets (Gsm7), UTF-16BE octets (Ucs2) or octets
    std::string udh;      // the user data header octets, length octet included; may be empty
    unsigned septets = 0;  // Gsm7: septets in payload
};

struct EncodedMessage {
    Coding coding = Coding::Gsm7;
    std::vector<MessagePart> parts;
};

// Encodes `text` (UTF-8) or the binary `octets` with the request's own header `udh`.
// With `split`, a message over one part's room (160 septets, 70 UCS-2 characters, 140
// octets, less its own header) becomes parts of 153 septets, 67 characters or 134 octets
// (less the request's header), each with an 8-bit-reference concatenation element
// (reference `reference`, part count, part number) in front of the request's elements;
// an escape sequence or a surrogate pair is never cut. Without `split` it stays one part.
// False for invalid UTF-8 or more than 255 parts.
bool EncodeMessage(const std::string& text, const std::string& octets, const std::string& udh, bool binary,
                   bool split, std::uint8_t reference, EncodedMessage& out);

// The parts EncodeMessage with `split` makes of the message, at least 1 (also for text
// it cannot encode, which then goes as one part or not at all): what limits and credit count.
unsigned CountMessageParts(const std::string& text, const std::string& octets, const std::string& udh, bool binary);

// The number of fill bits before septets that follow a header of `udhOctets` octets.
unsigned FillBits(std::size_t udhOctets);

}  // namespace gateway
