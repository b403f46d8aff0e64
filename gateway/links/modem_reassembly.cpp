#include "gateway/links/modem_reassembly.h"

#include "gateway/links/link.h"

namespace gateway {

namespace {

std::string KeyOf(const pdu::Decoded& d) {
    return d.address + '\n' + std::to_string(d.concat.reference) + '\n' +
           std::to_string(d.concat.total);
}

// The header without its concatenation elements; empty when nothing else was in it.
std::string WithoutConcat(const std::string& udh) {
    std::string kept;
    for (std::size_t at = 1; at + 1 < udh.size();) {
        const auto iei = static_cast<unsigned char>(udh[at]);
        const std::size_t length = static_cast<unsigned char>(udh[at + 1]);
        if (at + 2 + length > udh.size()) break;
        if (iei != 0x00 && iei != 0x08) kept += udh.substr(at, 2 + length);
        at += 2 + length;
    }
    return kept.empty() ? std::string() : std::string(1, static_cast<char>(kept.size())) + kept;
}

}  // namespace

bool Reassembly::Holds(int index) const {
    if (index < 0) return false;
    for (const auto& [key, w] : waiting_)
        for (const auto& [number, part] : w.parts)
            if (part.index == index) return true;
    return false;
}

bool Reassembly::Add(Part part, std::uint64_t nowMs) {
    if (Holds(part.index)) return false;
    const std::string key = KeyOf(part.pdu);
    auto it = waiting_.find(key);
    if (it == waiting_.end()) {
        it = waiting_.emplace(key, Waiting{nowMs, part.pdu.concat.total, {}}).first;
    }
    return it->second.parts.emplace(part.pdu.concat.number, std::move(part)).second;
}

std::vector<Reassembly::Ready> Reassembly::Take(std::uint64_t nowMs) {
    std::vector<Ready> ready;
    for (auto it = waiting_.begin(); it != waiting_.end();) {
        const bool whole = it->second.parts.size() == it->second.total;
        if (!whole && nowMs < it->second.firstMs + kTimeoutMs) {
            ++it;
            continue;
        }
        Ready r;
        r.whole = whole;
        for (auto& [number, part] : it->second.parts) r.parts.push_back(std::move(part));
        ready.push_back(std::move(r));
        it = waiting_.erase(it);
    }
    while (waiting_.size() > kMaxMessages) {
        auto oldest = waiting_.begin();
        for (auto it = waiting_.begin(); it != waiting_.end(); ++it)
            if (it->second.firstMs < oldest->second.firstMs) oldest = it;
        Ready r;
        for (auto& [number, part] : oldest->second.parts) r.parts.push_back(std::move(part));
        ready.push_back(std::move(r));
        waiting_.erase(oldest);
    }
    return ready;
}

InboundMessage JoinParts(const std::vector<Reassembly::Part>& parts, const std::string& recipient) {
    InboundMessage m;
    if (parts.empty()) return m;
    const pdu::Decoded& first = parts.front().pdu;
    m.sender = first.address;
    m.recipient = recipient;
    m.pid = first.pid;
    m.binary = first.coding == Coding::Binary;
    if (m.binary) m.dcs = first.dcs;
    m.udh = parts.size() > 1 ? WithoutConcat(first.udh) : first.udh;
    for (const Reassembly::Part& p : parts) {
        if (m.binary)
            m.octets += p.pdu.octets;
        else
            m.text += p.pdu.text;
    }
    return m;
}

}  // namespace gateway
