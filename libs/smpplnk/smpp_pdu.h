// SMPP 3.3/3.4 PDUs the client sends and the replies it accepts. Packing and unpacking
// of bodies is libsmpp34's; the header checks that keep a hostile or broken SMSC from
// steering us (length bounds, command ids) are ours. Pure functions, no I/O.
#pragma once

#include <cstdint>
#include <string>

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

// The command's name for the trace ("bind_transmitter", "0x00000104").
std::string CommandName(std::uint32_t id);

}  // namespace smpplnk
