// What reaches the Gateway service from outside: a deliver_sm or data_sm from an SMSC,
// a request file from the spool, and text to be cut into message parts. Besides not
// crashing, each must keep its promises: a rewritten request reads back as written, and
// no part exceeds what one message can carry.
#include <cstddef>
#include <cstdint>
#include <string>

#include "gateway/links/smpp_parts.h"
#include "gateway/message_parts.h"
#include "gateway/request.h"
#include "smpplnk/smpp_pdu.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);

    smpplnk::MessageDelivery delivery;
    if (smpplnk::DecodeDelivery(input, delivery) == 0) {
        const gateway::InboundMessage m = gateway::ReadSmppDelivery(delivery, gateway::SmppOptions());
        if (m.udh.size() > delivery.shortMessage.size() + 1024) __builtin_trap();
    }

    gateway::OutboundRequest request;
    std::string error;
    if (gateway::ParseRequest(input, request, error)) {
        const std::string rewritten = gateway::WithErrorDetail(input, request.retryCount + 1, "20260101000000",
                                                               "20260101000100", input.substr(0, 300));
        gateway::OutboundRequest again;
        if (!gateway::ParseRequest(rewritten, again, error)) __builtin_trap();
        if (again.retryCount != request.retryCount + 1 || again.phoneNumber != request.phoneNumber) __builtin_trap();
        if (again.lastErrorInfo.find_first_of("\r\n,") != std::string::npos) __builtin_trap();
    }

    gateway::EncodedMessage encoded;
    if (gateway::EncodeMessage(input, input, "", false, true, 7, encoded)) {
        for (const gateway::MessagePart& p : encoded.parts) {
            const std::size_t octets = encoded.coding == gateway::Coding::Gsm7
                                           ? (p.septets * 7 + gateway::FillBits(p.udh.size()) + 7) / 8
                                           : p.payload.size();
            if (octets + p.udh.size() > 140) __builtin_trap();
        }
    }
    return 0;
}
