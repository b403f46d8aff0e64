#include "smpplnk/smpp_server_pdu.h"

#include <memory>

#include "smpplnk/smpp_codec.h"

namespace smpplnk {

using namespace codec;

namespace {

// Where the interface version octet of a bind body sits: after three C-octet strings.
std::size_t VersionOffset(const std::string& pdu) {
    std::size_t at = kHeaderSize;
    for (int field = 0; field < 3; ++field) {
        const std::size_t nul = pdu.find('\0', at);
        if (nul == std::string::npos) return std::string::npos;
        at = nul + 1;
    }
    return at < pdu.size() ? at : std::string::npos;
}

template <typename Pdu>
void CopyMessage(const Pdu& s, MessageRequest& out) {
    out.serviceType = FieldText(s.service_type, sizeof s.service_type);
    out.source = FieldText(s.source_addr, sizeof s.source_addr);
    out.destination = FieldText(s.destination_addr, sizeof s.destination_addr);
    out.sourceTon = s.source_addr_ton;
    out.sourceNpi = s.source_addr_npi;
    out.destTon = s.dest_addr_ton;
    out.destNpi = s.dest_addr_npi;
    out.esmClass = s.esm_class;
    out.registeredDelivery = s.registered_delivery;
    out.dataCoding = s.data_coding;
}

}  // namespace

int DecodeBindRequest(const std::string& pdu, BindRequest& out) {
    out = BindRequest();
    if (pdu.size() < kHeaderSize) return kErrMalformed;
    const std::uint32_t id = DecodeHeader(reinterpret_cast<const unsigned char*>(pdu.data())).id;
    if (id != kBindReceiver && id != kBindTransmitter && id != kBindTransceiver) return kErrMalformed;
    const std::size_t versionAt = VersionOffset(pdu);
    if (versionAt == std::string::npos) return kErrMalformed;
    bind_transmitter_t b;  // the three binds share this layout
    if (Unpack(id, &b, pdu) != 0) return kErrMalformed;
    out.commandId = id;
    out.systemId = FieldText(b.system_id, sizeof b.system_id);
    out.password = FieldText(b.password, sizeof b.password);
    out.systemType = FieldText(b.system_type, sizeof b.system_type);
    out.addressRange = FieldText(b.address_range, sizeof b.address_range);
    out.version = static_cast<std::uint8_t>(pdu[versionAt]);
    out.ton = b.addr_ton;
    out.npi = b.addr_npi;
    return 0;
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
        CopyMessage(*s, out);
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
        CopyMessage(*s, out);
        return 0;
    }
    return kErrMalformed;
}

int EncodeMessageResponse(std::uint32_t commandId, std::uint32_t status, std::uint32_t sequence,
                          const std::string& messageId, std::string& pdu) {
    if (!Fits(messageId, 64)) return kErrBadArgument;
    if (commandId == kDataSm) {
        data_sm_resp_t r;
        std::memset(&r, 0, sizeof r);
        r.command_id = kDataSm | kResponseBit;
        r.command_status = status;
        r.sequence_number = sequence;
        CopyField(r.message_id, messageId);
        return Pack(r.command_id, &r, pdu);
    }
    if (commandId != kSubmitSm) return kErrBadArgument;
    submit_sm_resp_t r;
    std::memset(&r, 0, sizeof r);
    r.command_id = kSubmitSm | kResponseBit;
    r.command_status = status;
    r.sequence_number = sequence;
    CopyField(r.message_id, messageId);
    return Pack(r.command_id, &r, pdu);
}

}  // namespace smpplnk
