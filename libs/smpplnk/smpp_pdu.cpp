// The client's PDUs, packed and unpacked through libsmpp34 (smpp_codec.h).
#include "smpplnk/smpp_pdu.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "smpplnk/smpp_codec.h"
#include "smpplnk/smpp_codes.h"

namespace smpplnk {

using namespace codec;

namespace {

template <typename Bind>
int PackBind(const BindRequest& r, std::uint32_t sequence, std::string& pdu) {
    Bind b;
    std::memset(&b, 0, sizeof b);
    b.command_id = r.commandId;
    b.sequence_number = sequence;
    CopyField(b.system_id, r.systemId);
    CopyField(b.password, r.password);
    CopyField(b.system_type, r.systemType);
    // libsmpp34 packs interface version 0x34 only. A 3.3 bind has the same layout, so
    // the version octet is set after packing (SetVersion).
    b.interface_version = 0x34;
    b.addr_ton = r.ton;
    b.addr_npi = r.npi;
    CopyField(b.address_range, r.addressRange);
    return Pack(r.commandId, &b, pdu);
}

// Puts the requested interface version into a packed bind, right after its three
// C-octet strings; refuses a PDU whose octet there is not the one packed.
int SetVersion(const BindRequest& r, std::string& pdu) {
    const std::size_t at =
        kHeaderSize + r.systemId.size() + 1 + r.password.size() + 1 + r.systemType.size() + 1;
    if (at >= pdu.size() || pdu[at] != 0x34) return kErrEncode;
    pdu[at] = static_cast<char>(r.version);
    return 0;
}

}  // namespace

Header DecodeHeader(const unsigned char* p) {
    auto u32 = [p](int at) {
        return (std::uint32_t(p[at]) << 24) | (std::uint32_t(p[at + 1]) << 16) |
               (std::uint32_t(p[at + 2]) << 8) | std::uint32_t(p[at + 3]);
    };
    return Header{u32(0), u32(4), u32(8), u32(12)};
}

bool LengthInBounds(std::uint32_t length) {
    return length >= kHeaderSize && length <= kMaxPduLength;
}

int EncodeBind(const BindRequest& r, std::uint32_t sequence, std::string& pdu) {
    if (!Fits(r.systemId, kSystemIdMax)) return kErrSystemIdLong;
    if (!Fits(r.password, kPasswordMax)) return kErrPasswordLong;
    if (!Fits(r.systemType, kSystemTypeMax)) return kErrSystemTypeLong;
    if (!Fits(r.addressRange, kAddressRangeMax)) return kErrAddressRangeLong;
    if (r.version != 0x33 && r.version != 0x34) return kErrVersion;
    int rc = kErrBindType;
    switch (r.commandId) {
        case kBindReceiver:
            rc = PackBind<bind_receiver_t>(r, sequence, pdu);
            break;
        case kBindTransmitter:
            rc = PackBind<bind_transmitter_t>(r, sequence, pdu);
            break;
        case kBindTransceiver:
            rc = PackBind<bind_transceiver_t>(r, sequence, pdu);
            break;
        default:
            break;
    }
    return rc != 0 ? rc : SetVersion(r, pdu);
}

int EncodeSubmit(const SubmitRequest& r, std::uint32_t sequence, std::string& pdu) {
    MessageRequest m;
    m.source = r.source;
    m.destination = r.destination;
    m.sourceTon = r.sourceTon;
    m.sourceNpi = r.sourceNpi;
    m.destTon = r.destTon;
    m.destNpi = r.destNpi;
    m.dataCoding = r.dataCoding;
    m.shortMessage = r.message;
    return EncodeMessage(m, sequence, pdu);
}

int EncodeHeaderOnly(std::uint32_t id, std::uint32_t status, std::uint32_t sequence,
                     std::string& pdu) {
    generic_nack_t h;  // every header-only PDU shares this layout
    std::memset(&h, 0, sizeof h);
    h.command_id = id;
    h.command_status = status;
    h.sequence_number = sequence;
    return Pack(id, &h, pdu);
}

int EncodeDeliverResponse(std::uint32_t status, std::uint32_t sequence, std::string& pdu) {
    deliver_sm_resp_t d;
    std::memset(&d, 0, sizeof d);
    d.command_id = kDeliverSm | kResponseBit;
    d.command_status = status;
    d.sequence_number = sequence;
    return Pack(d.command_id, &d, pdu);
}

int DecodeBindResponse(const std::string& pdu, std::string* smscId) {
    smscId->clear();
    if (pdu.size() < kHeaderSize) return kErrMalformed;
    const std::uint32_t id = DecodeHeader(reinterpret_cast<const unsigned char*>(pdu.data())).id;
    if (id != (kBindReceiver | kResponseBit) && id != (kBindTransmitter | kResponseBit) &&
        id != (kBindTransceiver | kResponseBit)) {
        return kErrMalformed;
    }
    if (pdu.size() == kHeaderSize) return 0;
    bind_transmitter_resp_t r;  // the three bind responses share this layout
    if (Unpack(id, &r, pdu) != 0) return kErrMalformed;
    *smscId = FieldText(r.system_id, sizeof r.system_id);
    return 0;
}

int DecodeSubmitResponse(const std::string& pdu, std::string* messageId) {
    messageId->clear();
    submit_sm_resp_t r;
    if (Unpack(kSubmitSm | kResponseBit, &r, pdu) != 0) return kErrMalformed;
    *messageId = FieldText(r.message_id, sizeof r.message_id);
    return 0;
}

int DecodeHeaderOnly(const std::string& pdu, std::uint32_t id) {
    if (pdu.size() != kHeaderSize) return kErrMalformed;
    generic_nack_t h;
    return Unpack(id, &h, pdu);
}

const std::string* MessageDelivery::Find(std::uint16_t tag) const {
    for (const Tlv& t : tlvs)
        if (t.tag == tag) return &t.value;
    return nullptr;
}

namespace {

template <typename Pdu>
void FillMessage(Pdu& s, const MessageRequest& r) {
    CopyField(s.service_type, r.serviceType);
    s.source_addr_ton = r.sourceTon;
    s.source_addr_npi = r.sourceNpi;
    CopyField(s.source_addr, r.source);
    s.dest_addr_ton = r.destTon;
    s.dest_addr_npi = r.destNpi;
    CopyField(s.destination_addr, r.destination);
    s.esm_class = r.esmClass;
    s.registered_delivery = r.registeredDelivery;
    s.data_coding = r.dataCoding;
}

// submit_sm and deliver_sm share their layout.
template <typename Pdu>
int PackShortMessage(std::uint32_t id, Pdu& s, const MessageRequest& r, std::uint32_t sequence, tlv_t* tlvs,
                     std::string& pdu) {
    std::memset(&s, 0, sizeof s);
    s.command_id = id;
    s.sequence_number = sequence;
    FillMessage(s, r);
    s.protocol_id = r.protocolId;
    s.priority_flag = r.priority;
    CopyField(s.validity_period, r.validityPeriod);
    s.sm_length = static_cast<std::uint8_t>(r.shortMessage.size());
    std::memcpy(s.short_message, r.shortMessage.data(), r.shortMessage.size());
    s.tlv = tlvs;
    return Pack(id, &s, pdu);
}

}  // namespace

int EncodeMessage(const MessageRequest& r, std::uint32_t sequence, std::string& pdu) {
    if (!Fits(r.source, kAddressMax)) return kErrSourceLong;
    if (!Fits(r.destination, kAddressMax)) return kErrDestinationLong;
    if (!Fits(r.serviceType, 5) || !Fits(r.validityPeriod, 16)) return kErrBadArgument;
    if (r.shortMessage.size() > kShortMessageMax) return kErrMessageLong;
    tlv_t* tlvs = nullptr;
    for (const Tlv& t : r.tlvs) {
        if (const int rc = AddTlv(&tlvs, t); rc != 0) {
            DestroyTlvs(tlvs);
            return rc;
        }
    }
    int rc = 0;
    if (r.commandId == kDataSm) {
        data_sm_t s;
        std::memset(&s, 0, sizeof s);
        s.command_id = kDataSm;
        s.sequence_number = sequence;
        FillMessage(s, r);
        s.tlv = tlvs;
        rc = Pack(kDataSm, &s, pdu);
    } else if (r.commandId == kDeliverSm) {
        deliver_sm_t s;
        rc = PackShortMessage(kDeliverSm, s, r, sequence, tlvs, pdu);
    } else {
        submit_sm_t s;
        rc = PackShortMessage(kSubmitSm, s, r, sequence, tlvs, pdu);
    }
    DestroyTlvs(tlvs);
    return rc;
}

int DecodeDelivery(const std::string& pdu, MessageDelivery& out) {
    out = MessageDelivery();
    if (pdu.size() < kHeaderSize) return kErrMalformed;
    const std::uint32_t id = DecodeHeader(reinterpret_cast<const unsigned char*>(pdu.data())).id;
    out.commandId = id;
    const auto common = [&](const auto& d) { CopyMessageFields(d, out); };
    if (id == kDeliverSm) {
        auto d = std::make_unique<deliver_sm_t>();
        if (Unpack(id, d.get(), pdu, &out.tlvs) != 0) return kErrMalformed;
        common(*d);
        out.protocolId = d->protocol_id;
        const std::size_t length = std::min<std::size_t>(d->sm_length, sizeof d->short_message);
        out.shortMessage.assign(reinterpret_cast<const char*>(d->short_message), length);
        return 0;
    }
    if (id == kDataSm) {
        auto d = std::make_unique<data_sm_t>();
        if (Unpack(id, d.get(), pdu, &out.tlvs) != 0) return kErrMalformed;
        common(*d);
        return 0;
    }
    return kErrMalformed;
}

int EncodeDeliveryResponse(std::uint32_t commandId, std::uint32_t status, std::uint32_t sequence, std::string& pdu) {
    if (commandId == kDataSm) {
        data_sm_resp_t d;
        std::memset(&d, 0, sizeof d);
        d.command_id = kDataSm | kResponseBit;
        d.command_status = status;
        d.sequence_number = sequence;
        return Pack(d.command_id, &d, pdu);
    }
    return EncodeDeliverResponse(status, sequence, pdu);
}

int DecodeMessageResponse(const std::string& pdu, std::string* messageId) {
    messageId->clear();
    if (pdu.size() < kHeaderSize) return kErrMalformed;
    const Header h = DecodeHeader(reinterpret_cast<const unsigned char*>(pdu.data()));
    // A refusal may come as the bare header.
    if (pdu.size() == kHeaderSize) return 0;
    if (h.id == (kDataSm | kResponseBit)) {
        data_sm_resp_t r;
        if (Unpack(h.id, &r, pdu) != 0) return kErrMalformed;
        *messageId = FieldText(r.message_id, sizeof r.message_id);
        return 0;
    }
    return DecodeSubmitResponse(pdu, messageId);
}

std::string CommandName(std::uint32_t id) {
    struct Name {
        std::uint32_t id;
        const char* text;
    };
    static constexpr Name kNames[] = {
        {0x01, "bind_receiver"},
        {0x02, "bind_transmitter"},
        {0x03, "query_sm"},
        {0x04, "submit_sm"},
        {0x05, "deliver_sm"},
        {0x06, "unbind"},
        {0x07, "replace_sm"},
        {0x08, "cancel_sm"},
        {0x09, "bind_transceiver"},
        {0x0B, "outbind"},
        {0x15, "enquire_link"},
        {0x21, "submit_multi"},
        {0x102, "alert_notification"},
        {0x103, "data_sm"},
    };
    if (id == kGenericNack) return "generic_nack";
    for (const Name& n : kNames) {
        if (n.id == (id & ~kResponseBit)) {
            return std::string(n.text) + ((id & kResponseBit) ? "_resp" : "");
        }
    }
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", id);
    return text;
}

}  // namespace smpplnk
