// How the SMPP link puts a message into submit_sm (or data_sm) PDUs and reads received
// ones back: the connection's character set, packing, long-message method and address
// numbering, from its keys.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "gateway/links/link.h"
#include "smpplnk/smpp_pdu.h"

namespace gateway {

struct SmppOptions {
    std::uint8_t version = 0x34;
    std::string systemId, password, systemType, addressRange;
    int bindTon = -1, bindNpi = -1, sourceTon = -1, sourceNpi = -1, destTon = -1, destNpi = -1;  // -1: default
    std::string senderAddress;
    bool senderOverride = true;
    std::string charset;  // "" (SMSC default alphabet), "ia5", "iso-8859-1", "iso-8859-15", "roman8"
    bool charsetAsDefault = false;  // the charset travels with data_coding 0
    bool gsmPack = false, useTlv = false, useDataSm = false, useSsl = false;
    unsigned keepAliveSeconds = 58;
    unsigned window = 1;  // outstanding submits per session
    unsigned transmitters = 1, receivers = 1;
    bool transceiver = false, receive = true;
    unsigned localPort = 0, receiverLocalPort = 0, receiverPort = 0;
};

SmppOptions ReadSmppOptions(const ConnectionSettings& settings);

// The PDUs of one message: one per part (several only for a long message), or one data_sm.
// False with `error` when the message cannot be put into PDUs at all (a permanent failure).
bool BuildSmppParts(const OutboundMessage& message, const SmppOptions& options, std::uint8_t reference,
                    std::vector<smpplnk::MessageRequest>& parts, std::string& error);

// A received deliver_sm or data_sm as the service stores it.
InboundMessage ReadSmppDelivery(const smpplnk::MessageDelivery& delivery, const SmppOptions& options);

}  // namespace gateway
