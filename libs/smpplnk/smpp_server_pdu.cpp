#include "smpplnk/smpp_server_pdu.h"

#include <memory>

#include "smpplnk/smpp_codec.h"

namespace smpplnk {

using namespace codec;

namespace {

// Account names and passwords of the gateway's users are longer than SMPP's 15 and 8
// octets allow; clients that send them whole are read whole, up to the account fields.
constexpr std::size_t kBindTextMax = 50;

// A C-octet string at `at` of at most `max` octets before its NUL; false when it has none
// within that.
bool ReadCString(const std::string& pdu, std::size_t& at, std::size_t max, std::string& out) {
    const std::size_t nul = pdu.find('\0', at);
    if (nul == std::string::npos || nul - at > max) return false;
    out = pdu.substr(at, nul - at);
    at = nul + 1;
    return true;
}

// The answers to submit_sm and data_sm share their layout.
template <typename Response>
int PackMessageResponse(std::uint32_t id, std::uint32_t status, std::uint32_t sequence, const std::string& messageId,
                        std::string& pdu) {
    Response r;
    std::memset(&r, 0, sizeof r);
    r.command_id = id;
    r.command_status = status;
    r.sequence_number = sequence;
    CopyField(r.message_id, messageId);
    return Pack(id, &r, pdu);
}

}  // namespace

int DecodeBindRequest(const std::string& pdu, BindRequest& out) {
    out = BindRequest();
    if (pdu.size() < kHeaderSize || pdu.size() > kMaxPduLength) return kErrMalformed;
    const Header h = DecodeHeader(reinterpret_cast<const unsigned char*>(pdu.data()));
    if (h.length != pdu.size()) return kErrMalformed;
    if (h.id != kBindReceiver && h.id != kBindTransmitter && h.id != kBindTransceiver) return kErrMalformed;
    out.commandId = h.id;
    std::size_t at = kHeaderSize;
    if (!ReadCString(pdu, at, kBindTextMax, out.systemId) || !ReadCString(pdu, at, kBindTextMax, out.password) ||
        !ReadCString(pdu, at, kSystemTypeMax, out.systemType) || pdu.size() - at < 4)
        return kErrMalformed;
    out.version = static_cast<std::uint8_t>(pdu[at]);
    out.ton = static_cast<std::uint8_t>(pdu[at + 1]);
    out.npi = static_cast<std::uint8_t>(pdu[at + 2]);
    at += 3;
    return ReadCString(pdu, at, kAddressRangeMax, out.addressRange) ? 0 : kErrMalformed;
}

int EncodeBindResponse(std::uint32_t bindId, std::uint32_t status, std::uint32_t sequence,
                       const std::string& systemId, std::string& pdu) {
    if (!Fits(systemId, kSystemIdMax)) return kErrSystemIdLong;
    if (bindId != kBindReceiver && bindId != kBindTransmitter && bindId != kBindTransceiver) return kErrBindType;
    bind_transmitter_resp_t r;  // the three responses share this layout
    std::memset(&r, 0, sizeof r);
    r.command_id = bindId | kResponseBit;
    r.command_status = status;
    r.sequence_number = sequence;
    CopyField(r.system_id, systemId);
    return Pack(r.command_id, &r, pdu);
}

int DecodeMessageRequest(const std::string& pdu, MessageRequest& out) {
    out = MessageRequest();
    if (pdu.size() < kHeaderSize) return kErrMalformed;
    const std::uint32_t id = DecodeHeader(reinterpret_cast<const unsigned char*>(pdu.data())).id;
    out.commandId = id;
    if (id == kSubmitSm) {
        auto s = std::make_unique<submit_sm_t>();
        if (Unpack(id, s.get(), pdu, &out.tlvs) != 0) return kErrMalformed;
        CopyMessageFields(*s, out);
        out.protocolId = s->protocol_id;
        out.priority = s->priority_flag;
        out.validityPeriod = FieldText(s->validity_period, sizeof s->validity_period);
        // sm_length is what the client declared; the octets unpacked never exceed the field.
        if (s->sm_length > sizeof s->short_message) return kErrMalformed;
        out.shortMessage.assign(reinterpret_cast<const char*>(s->short_message), s->sm_length);
        return 0;
    }
    if (id == kDataSm) {
        auto s = std::make_unique<data_sm_t>();
        if (Unpack(id, s.get(), pdu, &out.tlvs) != 0) return kErrMalformed;
        CopyMessageFields(*s, out);
        return 0;
    }
    return kErrMalformed;
}

int EncodeMessageResponse(std::uint32_t commandId, std::uint32_t status, std::uint32_t sequence,
                          const std::string& messageId, std::string& pdu) {
    if (!Fits(messageId, 64)) return kErrBadArgument;
    if (commandId == kDataSm)
        return PackMessageResponse<data_sm_resp_t>(kDataSm | kResponseBit, status, sequence, messageId, pdu);
    if (commandId != kSubmitSm) return kErrBadArgument;
    return PackMessageResponse<submit_sm_resp_t>(kSubmitSm | kResponseBit, status, sequence, messageId, pdu);
}

}  // namespace smpplnk
