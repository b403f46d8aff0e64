// Parts of long messages a modem received, held until the last one arrives. A message
// whose parts are still missing after ten minutes is given up as the parts it has. The
// parts stay in the modem's storage meanwhile (their storage index is kept), so nothing
// is lost when the service stops before the message is whole. Memory is bounded: at most
// kMaxMessages messages wait; one more gives up the oldest.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "gateway/links/link.h"
#include "gateway/sms_pdu.h"

namespace gateway {

class Reassembly {
public:
    static constexpr std::size_t kMaxMessages = 32;
    static constexpr std::uint64_t kTimeoutMs = 10 * 60'000;

    struct Part {
        int index = -1;  // storage index in the modem, -1 when it came directly
        pdu::Decoded pdu;
    };
    // A message ready to be stored: all its parts in order (`whole`), or the parts that
    // came of one given up.
    struct Ready {
        std::vector<Part> parts;
        bool whole = false;
    };

    // Holds a part of a concatenated message; false when that storage index or that
    // part number is held already (a sweep sees stored parts again).
    bool Add(Part part, std::uint64_t nowMs);
    // Messages now whole, and those given up at `nowMs`.
    std::vector<Ready> Take(std::uint64_t nowMs);
    bool Holds(int index) const;

private:
    struct Waiting {
        std::uint64_t firstMs = 0;
        unsigned total = 0;
        std::map<unsigned, Part> parts;  // by part number
    };
    std::map<std::string, Waiting> waiting_;
};

// One received message made of `parts` (decoded deliveries): the texts or data joined in
// order, the concatenation element left out of the header.
InboundMessage JoinParts(const std::vector<Reassembly::Part>& parts, const std::string& recipient);

}  // namespace gateway
