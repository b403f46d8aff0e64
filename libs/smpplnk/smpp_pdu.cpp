// PDU packing and unpacking through libsmpp34. That library reports errors through
// process-wide variables (smpp34_errno, smpp34_strerror), so every call into it holds
// one lock; the console's tests and the gateway's sessions may run on several threads.
#include "smpplnk/smpp_pdu.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

#include "smpplnk/smpp_codes.h"

extern "C" {
#include <libsmpp34/smpp34.h>
#include <libsmpp34/smpp34_heap.h>
#include <libsmpp34/smpp34_structs.h>
#include <stdint.h>
}

namespace smpplnk {
namespace {

std::mutex gCodecLock;

// Octet maxima of the C-octet strings, the terminating NUL excluded.
constexpr std::size_t kSystemIdMax = 15;
constexpr std::size_t kPasswordMax = 8;
constexpr std::size_t kSystemTypeMax = 12;
constexpr std::size_t kAddressRangeMax = 40;
constexpr std::size_t kAddressMax = 20;
// SMPP allows 254; libsmpp34 packs at most 253. A single SMS never comes near either.
constexpr std::size_t kShortMessageMax = 253;

void CopyField(std::uint8_t* field, const std::string& text) {
    std::memcpy(field, text.data(), text.size());
    field[text.size()] = 0;
}

// A C-octet string cannot carry a NUL of its own: it would end the field early and
// shift every field after it.
bool Fits(const std::string& text, std::size_t max) {
    return text.size() <= max && text.find('\0') == std::string::npos;
}

int Pack(std::uint32_t id, void* pdu, std::string& out) {
    std::uint8_t buffer[kHeaderSize + 512];
    int length = 0;
    std::lock_guard<std::mutex> lock(gCodecLock);
    if (smpp34_pack(id, buffer, sizeof buffer, &length, pdu) != 0 || length < 16) return kErrEncode;
    out.assign(reinterpret_cast<const char*>(buffer), static_cast<std::size_t>(length));
    return 0;
}

// smpp34_unpack allocates the TLV list of a reply and, when a TLV is cut short, leaks
// the node it was filling. The client never uses TLVs, so every allocation made during
// an unpack is recorded and released right after it, whatever the outcome.
std::vector<void*>* gUnpackAllocations = nullptr;  // set only while gCodecLock is held

void* TrackedMalloc(std::size_t size) {
    void* p = std::malloc(size);
    if (p && gUnpackAllocations) gUnpackAllocations->push_back(p);
    return p;
}

void TrackedFree(void* p) {
    if (p && gUnpackAllocations) {
        auto& v = *gUnpackAllocations;
        v.erase(std::remove(v.begin(), v.end(), p), v.end());
    }
    std::free(p);
}

void* TrackedRealloc(void* p, std::size_t size) {
    void* q = std::realloc(p, size);
    if (q && gUnpackAllocations) {
        auto& v = *gUnpackAllocations;
        v.erase(std::remove(v.begin(), v.end(), p), v.end());
        v.push_back(q);
    }
    return q;
}

template <typename Pdu>
int Unpack(std::uint32_t id, Pdu* pdu, const std::string& in) {
    if (in.size() < kHeaderSize || in.size() > kMaxPduLength) return kErrMalformed;
    // The struct must be the one the PDU's own command id selects: libsmpp34 reads
    // the body by `id`, and a body of another layout overruns the struct.
    const Header h = DecodeHeader(reinterpret_cast<const unsigned char*>(in.data()));
    if (h.id != id || h.length != in.size()) return kErrMalformed;
    static std::once_flag allocator;
    std::call_once(allocator, [] {
        static const smpp34_memory_functions functions{TrackedMalloc, TrackedRealloc, TrackedFree};
        smpp34_set_memory_functions(&functions);
    });
    std::memset(pdu, 0, sizeof *pdu);
    std::lock_guard<std::mutex> lock(gCodecLock);
    std::vector<void*> allocations;
    gUnpackAllocations = &allocations;
    const int rc = smpp34_unpack(id, pdu, reinterpret_cast<const std::uint8_t*>(in.data()),
                                 static_cast<int>(in.size()));
    gUnpackAllocations = nullptr;
    for (void* p : allocations) std::free(p);
    if constexpr (requires { pdu->tlv; }) pdu->tlv = nullptr;
    return rc == 0 ? 0 : kErrMalformed;
}

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

// The text of a C-octet field unpacked into a fixed array, never past its end.
std::string FieldText(const std::uint8_t* field, std::size_t size) {
    const auto* text = reinterpret_cast<const char*>(field);
    return std::string(text, strnlen(text, size));
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
    if (!Fits(r.source, kAddressMax)) return kErrSourceLong;
    if (!Fits(r.destination, kAddressMax)) return kErrDestinationLong;
    if (r.message.size() > kShortMessageMax) return kErrMessageLong;
    submit_sm_t s;
    std::memset(&s, 0, sizeof s);
    s.command_id = kSubmitSm;
    s.sequence_number = sequence;
    s.source_addr_ton = r.sourceTon;
    s.source_addr_npi = r.sourceNpi;
    CopyField(s.source_addr, r.source);
    s.dest_addr_ton = r.destTon;
    s.dest_addr_npi = r.destNpi;
    CopyField(s.destination_addr, r.destination);
    s.data_coding = r.dataCoding;
    s.sm_length = static_cast<std::uint8_t>(r.message.size());
    std::memcpy(s.short_message, r.message.data(), r.message.size());
    return Pack(kSubmitSm, &s, pdu);
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
