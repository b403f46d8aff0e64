// What a modem hands the service as a received PDU: any text, read as the PDU codec
// reads it. Promises checked: no read past the input, a concatenation element that was
// accepted names a part within its count, and the text stays within what 160 septets
// or 140 octets can carry.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "gateway/request.h"
#include "gateway/sms_pdu.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    gateway::pdu::Decoded d;
    std::string error;
    // Raw bytes as hex reach every field; the input as text also tries malformed hex.
    for (const std::string& hex : {gateway::OctetsToHex(input), input}) {
        if (!gateway::pdu::Decode(hex, d, error)) continue;
        if (d.concat.total > 0 && (d.concat.number == 0 || d.concat.number > d.concat.total))
            std::abort();
        if (d.octets.size() > 140 || d.udh.size() > 140 || d.text.size() > 160 * 3) std::abort();
    }
    return 0;
}
