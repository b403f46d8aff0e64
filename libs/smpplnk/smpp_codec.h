// What the client's and the server's PDU code share: libsmpp34 packing and unpacking
// under one lock (the library reports errors through process-wide variables, and the
// console's tests and the gateway's sessions run on several threads), with every
// allocation of an unpack released, and the field helpers. Internal to this library.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "smpplnk/smpp_codes.h"
#include "smpplnk/smpp_pdu.h"

extern "C" {
#include <libsmpp34/smpp34.h>
#include <libsmpp34/smpp34_heap.h>
#include <libsmpp34/smpp34_structs.h>
#include <libsmpp34/smpp34_params.h>
#include <stdint.h>
}

namespace smpplnk::codec {

// Octet maxima of the C-octet strings, the terminating NUL excluded.
constexpr std::size_t kSystemIdMax = 15;
constexpr std::size_t kPasswordMax = 8;
constexpr std::size_t kSystemTypeMax = 12;
constexpr std::size_t kAddressRangeMax = 40;
constexpr std::size_t kAddressMax = 20;
// SMPP allows 254; libsmpp34 packs at most 253. A single SMS never comes near either.
constexpr std::size_t kShortMessageMax = 253;

// Copies `text` with its NUL into a fixed field (the caller checked it Fits).
void CopyField(std::uint8_t* field, const std::string& text);
// A C-octet string cannot carry a NUL of its own: it would end the field early and
// shift every field after it.
bool Fits(const std::string& text, std::size_t max);
// The text of a C-octet field unpacked into a fixed array, never past its end.
std::string FieldText(const std::uint8_t* field, std::size_t size);
// Packs the libsmpp34 struct of command `id`; 0 or kErrEncode.
int Pack(std::uint32_t id, void* pdu, std::string& out);
// Appends a parameter to the list libsmpp34 packs: numbers by their own width, the rest
// as octets.
int AddTlv(tlv_t** list, const Tlv& t);
void DestroyTlvs(tlv_t* list);

// smpp34_unpack of `in` into `pdu` with the codec lock held and every allocation it made
// released afterwards; `copy` runs (under the lock) before that when it succeeded.
int UnpackRaw(std::uint32_t id, void* pdu, const std::string& in, void (*copy)(void* pdu, void* context),
              void* context);

// Copies the optional parameters out of an unpacked PDU, as their octets travel.
template <typename Pdu>
void CopyTlvs(const Pdu* pdu, std::vector<Tlv>* out) {
    if constexpr (requires { pdu->tlv; }) {
        int guard = 0;
        for (const tlv_t* t = pdu->tlv; t != nullptr && out != nullptr && guard < 64; t = t->next, ++guard) {
            Tlv copy;
            copy.tag = t->tag;
            const std::size_t length = std::min<std::size_t>(t->length, sizeof t->value.octet);
            if (length == 1) {
                copy.value.assign(1, static_cast<char>(t->value.val08));
            } else if (length == 2 && (t->tag == kTagSarMsgRefNum)) {
                copy.value = {static_cast<char>(t->value.val16 >> 8), static_cast<char>(t->value.val16 & 0xFF)};
            } else if (length == 4 && t->tag != kTagReceiptedMessageId && t->tag != kTagMessagePayload) {
                const std::uint32_t v = t->value.val32;
                copy.value = {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
                              static_cast<char>(v)};
            } else {
                copy.value.assign(reinterpret_cast<const char*>(t->value.octet), length);
            }
            out->push_back(std::move(copy));
        }
    }
}

// The fields submit_sm, deliver_sm and data_sm share, from an unpacked PDU.
template <typename Pdu, typename Out>
void CopyMessageFields(const Pdu& s, Out& out) {
    out.serviceType = FieldText(s.service_type, sizeof s.service_type);
    out.source = FieldText(s.source_addr, sizeof s.source_addr);
    out.destination = FieldText(s.destination_addr, sizeof s.destination_addr);
    out.sourceTon = s.source_addr_ton;
    out.sourceNpi = s.source_addr_npi;
    out.destTon = s.dest_addr_ton;
    out.destNpi = s.dest_addr_npi;
    out.esmClass = s.esm_class;
    out.dataCoding = s.data_coding;
    if constexpr (requires { out.registeredDelivery; }) out.registeredDelivery = s.registered_delivery;
}

// Unpacks a complete PDU (header included) into the struct its command id selects,
// copying its optional parameters to `tlvs` when given; 0 or kErrMalformed.
template <typename Pdu>
int Unpack(std::uint32_t id, Pdu* pdu, const std::string& in, std::vector<Tlv>* tlvs = nullptr) {
    std::memset(pdu, 0, sizeof *pdu);
    const int rc = UnpackRaw(
        id, pdu, in, [](void* p, void* context) { CopyTlvs(static_cast<Pdu*>(p), static_cast<std::vector<Tlv>*>(context)); },
        tlvs);
    if constexpr (requires { pdu->tlv; }) pdu->tlv = nullptr;
    return rc;
}

}  // namespace smpplnk::codec
