#include "smpplnk/smpp_codec.h"

#include <cstdlib>

namespace smpplnk::codec {

namespace {

std::mutex gCodecLock;

// smpp34_unpack allocates the TLV list of a reply and, when a TLV is cut short, leaks
// the node it was filling. So every allocation made during
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

}  // namespace

void CopyField(std::uint8_t* field, const std::string& text) {
    std::memcpy(field, text.data(), text.size());
    field[text.size()] = 0;
}

bool Fits(const std::string& text, std::size_t max) {
    return text.size() <= max && text.find('\0') == std::string::npos;
}

int Pack(std::uint32_t id, void* pdu, std::string& out) {
    std::uint8_t buffer[kHeaderSize + 2048];
    int length = 0;
    std::lock_guard<std::mutex> lock(gCodecLock);
    if (smpp34_pack(id, buffer, sizeof buffer, &length, pdu) != 0 || length < 16) return kErrEncode;
    out.assign(reinterpret_cast<const char*>(buffer), static_cast<std::size_t>(length));
    return 0;
}

std::string FieldText(const std::uint8_t* field, std::size_t size) {
    const auto* text = reinterpret_cast<const char*>(field);
    return std::string(text, strnlen(text, size));
}

int AddTlv(tlv_t** list, const Tlv& t) {
    tlv_t node;
    std::memset(&node, 0, sizeof node);
    node.tag = t.tag;
    node.length = static_cast<std::uint16_t>(t.value.size());
    if (t.value.size() > sizeof node.value.octet) return kErrMessageLong;
    const auto* v = reinterpret_cast<const unsigned char*>(t.value.data());
    if (t.tag == kTagSarMsgRefNum && t.value.size() == 2) {
        node.value.val16 = static_cast<std::uint16_t>(v[0] << 8 | v[1]);
    } else if (t.value.size() == 1 && t.tag != kTagMessagePayload) {
        node.value.val08 = v[0];
    } else {
        std::memcpy(node.value.octet, t.value.data(), t.value.size());
    }
    std::lock_guard<std::mutex> lock(gCodecLock);
    return build_tlv(list, &node) == 0 ? 0 : kErrEncode;
}

void DestroyTlvs(tlv_t* list) {
    std::lock_guard<std::mutex> lock(gCodecLock);
    destroy_tlv(list);
}

int UnpackRaw(std::uint32_t id, void* pdu, const std::string& in, void (*copy)(void* pdu, void* context),
              void* context) {
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
    std::lock_guard<std::mutex> lock(gCodecLock);
    std::vector<void*> allocations;
    gUnpackAllocations = &allocations;
    const int rc = smpp34_unpack(id, pdu, reinterpret_cast<const std::uint8_t*>(in.data()),
                                 static_cast<int>(in.size()));
    gUnpackAllocations = nullptr;
    if (rc == 0 && copy) copy(pdu, context);
    for (void* p : allocations) std::free(p);
    return rc == 0 ? 0 : kErrMalformed;
}

}  // namespace smpplnk::codec
