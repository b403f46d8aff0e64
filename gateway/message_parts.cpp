#include "gateway/message_parts.h"

#include <algorithm>
#include <functional>

#include "acctdb/acctdb.h"

namespace gateway {

namespace {

constexpr std::size_t kRoomOctets = 140;

// A concatenation header for part `number` of `total`, with the request's own header
// elements (`own`: its octets including its length octet) after it.
std::string ConcatHeader(std::uint8_t reference, std::size_t total, std::size_t number, const std::string& own) {
    std::string elements = {'\x00', '\x03', static_cast<char>(reference), static_cast<char>(total),
                            static_cast<char>(number)};
    if (!own.empty()) elements += own.substr(1);
    return std::string(1, static_cast<char>(elements.size())) + elements;
}

// Cuts `units` into chunks of at most `room` units; `keepTogether(units, at)` says a cut
// before position `at` would split something.
template <typename KeepTogether>
std::vector<std::string> Chunks(const std::string& units, std::size_t unitSize, std::size_t room,
                                KeepTogether keepTogether) {
    std::vector<std::string> chunks;
    std::size_t at = 0;
    const std::size_t count = units.size() / unitSize;
    while (at < count) {
        std::size_t end = std::min(count, at + room);
        if (end < count && end > at + 1 && keepTogether(units, end)) --end;
        chunks.push_back(units.substr(at * unitSize, (end - at) * unitSize));
        at = end;
    }
    return chunks;
}

}  // namespace

unsigned FillBits(std::size_t udhOctets) { return static_cast<unsigned>((7 - (udhOctets * 8) % 7) % 7); }

bool EncodeMessage(const std::string& text, const std::string& octets, const std::string& udh, bool binary,
                   bool split, std::uint8_t reference, EncodedMessage& out) {
    out = EncodedMessage();
    std::string payload;
    std::size_t unitSize = 1, singleRoom = 0, partRoom = 0;
    const std::size_t own = udh.size();
    std::function<bool(const std::string&, std::size_t)> keep = [](const std::string&, std::size_t) { return false; };
    if (binary) {
        out.coding = Coding::Binary;
        payload = octets;
        singleRoom = kRoomOctets - std::min(own, kRoomOctets);
        partRoom = kRoomOctets - 6 - (own > 0 ? own - 1 : 0);
    } else if (acctdb::UTF8ToGSM7Septets(text, payload)) {
        out.coding = Coding::Gsm7;
        const auto septetsFor = [](std::size_t headerOctets) {
            return (kRoomOctets * 8 - headerOctets * 8) / 7;
        };
        singleRoom = own ? septetsFor(own) : 160;
        partRoom = septetsFor(6 + (own > 0 ? own - 1 : 0));
        // An escape and its code stay in one part.
        keep = [](const std::string& s, std::size_t at) { return s[at - 1] == '\x1B'; };
    } else if (acctdb::UTF8ToUCS2(text, payload)) {
        out.coding = Coding::Ucs2;
        unitSize = 2;
        singleRoom = (kRoomOctets - std::min(own, kRoomOctets)) / 2;
        partRoom = (kRoomOctets - 6 - (own > 0 ? own - 1 : 0)) / 2;
        keep = [](const std::string& s, std::size_t at) {
            const auto high = static_cast<unsigned char>(s[(at - 1) * 2]);
            return high >= 0xD8 && high < 0xDC;
        };
    } else {
        return false;
    }
    const std::size_t units = payload.size() / unitSize;
    if (!split || units <= singleRoom || partRoom == 0) {
        MessagePart part{payload, udh, out.coding == Coding::Gsm7 ? static_cast<unsigned>(units) : 0};
        out.parts.push_back(std::move(part));
        return true;
    }
    const std::vector<std::string> chunks = Chunks(payload, unitSize, partRoom, keep);
    if (chunks.size() > 255) return false;
    for (std::size_t i = 0; i < chunks.size(); ++i) {
        MessagePart part;
        part.payload = chunks[i];
        part.udh = ConcatHeader(reference, chunks.size(), i + 1, udh);
        part.septets = out.coding == Coding::Gsm7 ? static_cast<unsigned>(chunks[i].size()) : 0;
        out.parts.push_back(std::move(part));
    }
    return true;
}

unsigned CountMessageParts(const std::string& text, const std::string& octets, const std::string& udh, bool binary) {
    EncodedMessage encoded;
    if (!EncodeMessage(text, octets, udh, binary, true, 0, encoded)) return 1;
    return static_cast<unsigned>(std::max<std::size_t>(1, encoded.parts.size()));
}

}  // namespace gateway
