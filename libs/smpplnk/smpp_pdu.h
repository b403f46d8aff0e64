// SMPP 3.3/3.4 PDUs the client sends and the replies it accepts. Packing and unpacking
// of bodies is libsmpp34's; the header checks that keep a hostile or broken SMSC from
// steering us (length bounds, command ids) are ours. Pure functions, no I/O.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace smpplnk {

constexpr std::uint32_t kHeaderSize = 16;
// No reply the client reads is near this size; anything longer is refused unread, so a
// garbage length can never make us allocate or wait for gigabytes.
constexpr std::uint32_t kMaxPduLength = 64 * 1024;

constexpr std::uint32_t kGenericNack = 0x80000000u;
constexpr std::uint32_t kBindReceiver = 0x01;
constexpr std::uint32_t kBindTransmitter = 0x02;
constexpr std::uint32_t kSubmitSm = 0x04;
constexpr std::uint32_t kDeliverSm = 0x05;
constexpr std::uint32_t kUnbind = 0x06;
constexpr std::uint32_t kBindTransceiver = 0x09;
constexpr std::uint32_t kEnquireLink = 0x15;
constexpr std::uint32_t kResponseBit = 0x80000000u;
constexpr std::uint32_t kStatusInvalidCommandId = 0x03;
constexpr std::uint32_t kStatusReceiverTemporaryError = 0x64;

struct Header {
    std::uint32_t length = 0;
    std::uint32_t id = 0;
    std::uint32_t status = 0;
    std::uint32_t sequence = 0;
};

// The header at the start of `octets` (at least kHeaderSize of them).
Header DecodeHeader(const unsigned char* octets);

// True when a PDU of `length` octets (its command_length) may be read at all.
bool LengthInBounds(std::uint32_t length);

struct BindRequest {
    std::uint32_t commandId = kBindTransmitter;  // kBindReceiver/Transmitter/Transceiver
    std::string systemId;
    std::string password;
    std::string systemType;
    std::string addressRange;
    std::uint8_t version = 0x34;
    std::uint8_t ton = 0;
    std::uint8_t npi = 0;
};

struct SubmitRequest {
    std::string source;
    std::string destination;
    std::uint8_t sourceTon = 0, sourceNpi = 0, destTon = 0, destNpi = 0;
    std::uint8_t dataCoding = 0;
    std::string message;  // octets, may hold NULs
};

// Each encoder checks every field against its SMPP maximum first and returns the
// local code naming the field (smpp_codes.h) without producing a PDU; else 0 with the
// complete PDU in `pdu`.
int EncodeBind(const BindRequest& request, std::uint32_t sequence, std::string& pdu);
int EncodeSubmit(const SubmitRequest& request, std::uint32_t sequence, std::string& pdu);
// unbind, unbind_resp, enquire_link, enquire_link_resp, generic_nack.
int EncodeHeaderOnly(std::uint32_t id, std::uint32_t status, std::uint32_t sequence,
                     std::string& pdu);
// deliver_sm_resp with an empty message id and `status`.
int EncodeDeliverResponse(std::uint32_t status, std::uint32_t sequence, std::string& pdu);

// Decode a complete reply (header included) whose header was already matched to the
// request: 0 with the SMSC's text field, or kErrMalformed. A successful bind response
// made of the bare header is accepted with an empty SMSC id.
int DecodeBindResponse(const std::string& pdu, std::string* smscId);
int DecodeSubmitResponse(const std::string& pdu, std::string* messageId);
// A header-only PDU of command `id` (unbind_resp, enquire_link_resp, ...).
int DecodeHeaderOnly(const std::string& pdu, std::uint32_t id);

// ---- the gateway's messages ---------------------------------------------------------
constexpr std::uint32_t kDataSm = 0x103;
constexpr std::uint32_t kStatusMessageQueueFull = 0x14;
constexpr std::uint32_t kStatusThrottled = 0x58;

// Optional parameters the gateway sends or reads.
constexpr std::uint16_t kTagReceiptedMessageId = 0x001E;
constexpr std::uint16_t kTagSarMsgRefNum = 0x020C;
constexpr std::uint16_t kTagSarTotalSegments = 0x020E;
constexpr std::uint16_t kTagSarSegmentSeqnum = 0x020F;
constexpr std::uint16_t kTagMessagePayload = 0x0424;
constexpr std::uint16_t kTagMessageState = 0x0427;

struct Tlv {
    std::uint16_t tag = 0;
    std::string value;  // octets as they travel (big-endian for numbers)
};

// submit_sm, deliver_sm with `commandId` kDeliverSm (the server's), or data_sm with
// `commandId` kDataSm (no short message: the text goes in a message_payload parameter).
struct MessageRequest {
    std::uint32_t commandId = kSubmitSm;
    std::string serviceType, source, destination, validityPeriod;
    std::uint8_t sourceTon = 0, sourceNpi = 0, destTon = 0, destNpi = 0;
    std::uint8_t esmClass = 0, protocolId = 0, priority = 0, registeredDelivery = 0, dataCoding = 0;
    std::string shortMessage;  // octets, user data header first when esm_class says so
    std::vector<Tlv> tlvs;
};
int EncodeMessage(const MessageRequest& request, std::uint32_t sequence, std::string& pdu);

// A deliver_sm or data_sm from the SMSC.
struct MessageDelivery {
    std::uint32_t commandId = kDeliverSm;
    std::string serviceType, source, destination;
    std::uint8_t sourceTon = 0, sourceNpi = 0, destTon = 0, destNpi = 0;
    std::uint8_t esmClass = 0, protocolId = 0, dataCoding = 0;
    std::string shortMessage;
    std::vector<Tlv> tlvs;
    // The value of an optional parameter, or null.
    const std::string* Find(std::uint16_t tag) const;
};
// 0 with the delivery decoded, or kErrMalformed.
int DecodeDelivery(const std::string& pdu, MessageDelivery& out);
// deliver_sm_resp or data_sm_resp (with an empty message id) for `commandId`.
int EncodeDeliveryResponse(std::uint32_t commandId, std::uint32_t status, std::uint32_t sequence, std::string& pdu);
// submit_sm_resp / data_sm_resp: its message id.
int DecodeMessageResponse(const std::string& pdu, std::string* messageId);

// The command's name for the trace ("bind_transmitter", "0x00000104").
std::string CommandName(std::uint32_t id);

}  // namespace smpplnk
