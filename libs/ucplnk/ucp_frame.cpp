#include "ucplnk/ucp_frame.h"

#include <cstdio>
#include <utility>

#include "ucplnk/link_support.h"

namespace ucp {
namespace {

// Header "TRN/LEN/O/OT/" is 14 characters, the checksum 2.
constexpr std::size_t kHeaderSize = 14;
constexpr std::size_t kMaxInner = 99999;

bool IsDigits(std::string_view s) {
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return !s.empty();
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

int Number(std::string_view digits) {
    int n = 0;
    for (char c : digits) n = n * 10 + (c - '0');
    return n;
}

bool Carriable(std::string_view field) {
    for (unsigned char c : field)
        if (c < 0x20 || c > 0x7E || c == '/') return false;
    return true;
}

}  // namespace

std::string Checksum(std::string_view covered) { return smsc_link::ByteSumChecksum(covered); }

std::string BuildFrame(const Frame& frame) {
    if (frame.trn < 0 || frame.trn > 99 || frame.ot < 0 || frame.ot > 99) return {};
    if (frame.kind != 'O' && frame.kind != 'R') return {};
    std::string data;
    for (const std::string& f : frame.fields) {
        if (!Carriable(f)) return {};
        data += f;
        data += '/';
    }
    const std::size_t inner = kHeaderSize + data.size() + 2;
    if (inner > kMaxInner) return {};
    char header[kHeaderSize + 1];
    std::snprintf(header, sizeof header, "%02d/%05zu/%c/%02d/", frame.trn, inner, frame.kind,
                  frame.ot);
    std::string covered = header + data;
    return std::string(1, kStx) + covered + Checksum(covered) + kEtx;
}

ParseError ParseFrame(std::string_view text, Frame* out) {
    if (text.size() < 2 || text.front() != kStx || text.back() != kEtx)
        return ParseError::NotFramed;
    const std::string_view inner = text.substr(1, text.size() - 2);
    if (inner.find(kStx) != std::string_view::npos || inner.find(kEtx) != std::string_view::npos)
        return ParseError::NotFramed;
    if (inner.size() < kHeaderSize + 2) return ParseError::Syntax;
    if (inner[2] != '/' || inner[8] != '/' || inner[10] != '/' || inner[13] != '/')
        return ParseError::Syntax;
    const std::string_view trn = inner.substr(0, 2), len = inner.substr(3, 5),
                           ot = inner.substr(11, 2);
    const char kind = inner[9];
    if (!IsDigits(trn) || !IsDigits(len) || !IsDigits(ot) || (kind != 'O' && kind != 'R'))
        return ParseError::Syntax;
    if (static_cast<std::size_t>(Number(len)) != inner.size()) return ParseError::LengthMismatch;
    const std::string_view covered = inner.substr(0, inner.size() - 2);
    const std::string_view cs = inner.substr(inner.size() - 2);
    if (covered.back() != '/') return ParseError::Syntax;
    const int hi = HexValue(cs[0]), lo = HexValue(cs[1]);
    if (hi < 0 || lo < 0) return ParseError::Syntax;
    unsigned sum = 0;
    for (unsigned char c : covered) sum += c;
    if ((sum & 0xFFu) != static_cast<unsigned>(hi * 16 + lo)) return ParseError::BadChecksum;
    Frame f;
    f.trn = Number(trn);
    f.kind = kind;
    f.ot = Number(ot);
    std::string_view data = covered.substr(kHeaderSize);
    while (!data.empty()) {
        const std::size_t slash = data.find('/');
        f.fields.emplace_back(data.substr(0, slash));
        data.remove_prefix(slash + 1);
    }
    if (out) *out = std::move(f);
    return ParseError::None;
}

std::string IraHex(std::string_view text) {
    static const char digits[] = "0123456789ABCDEF";
    std::string hex;
    hex.reserve(text.size() * 2);
    for (unsigned char c : text) {
        hex += digits[c >> 4];
        hex += digits[c & 0xF];
    }
    return hex;
}

bool FromIraHex(std::string_view hex, std::string* out) {
    if (hex.size() % 2 != 0) return false;
    std::string bytes;
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        const int hi = HexValue(hex[i]), lo = HexValue(hex[i + 1]);
        if (hi < 0 || lo < 0) return false;
        bytes += static_cast<char>(hi * 16 + lo);
    }
    if (out) *out = std::move(bytes);
    return true;
}

LoginInputError CheckLoginInput(std::string_view user, std::string_view password) {
    if (user.empty()) return LoginInputError::UserEmpty;
    if (user.size() > kMaxUserLength) return LoginInputError::UserTooLong;
    if (!Carriable(user)) return LoginInputError::UserBadCharacter;
    if (password.size() > kMaxPasswordLength) return LoginInputError::PasswordTooLong;
    for (unsigned char c : password)
        if (c < 0x20 || c > 0x7E) return LoginInputError::PasswordBadCharacter;
    return LoginInputError::None;
}

std::string BuildLoginFrame(int trn, std::string_view user, std::string_view password) {
    if (CheckLoginInput(user, password) != LoginInputError::None) return {};
    // OTON 6 (abbreviated) and ONPI 5 (private) name an account, STYP 1 opens a session;
    // VERS 0100 is the only version of the operation.
    Frame login{
        trn,
        'O',
        60,
        {std::string(user), "6", "5", "1", IraHex(password), "", "0100", "", "", "", "", ""}};
    return BuildFrame(login);
}


std::string EncodeAlphanumericAddress(std::string_view septets) {
    if (septets.empty()) return {};
    if (septets.size() > 11) septets = septets.substr(0, 11);
    std::string packed;
    unsigned bits = 0, carry = 0;
    for (unsigned char c : septets) {
        if (c > 0x7F) return {};
        carry |= static_cast<unsigned>(c) << bits;
        bits += 7;
        while (bits >= 8) {
            packed += static_cast<char>(carry & 0xFF);
            carry >>= 8;
            bits -= 8;
        }
    }
    if (bits > 0) packed += static_cast<char>(carry & 0xFF);
    // The count is of semi-octets that carry septet bits, rounded up.
    const std::size_t semiOctets = (septets.size() * 7 + 3) / 4;
    return IraHex(std::string(1, static_cast<char>(semiOctets))) + IraHex(packed);
}

bool DecodeAlphanumericAddress(std::string_view field, std::string* septets) {
    std::string bytes;
    if (field.size() < 4 || !FromIraHex(field, &bytes)) return false;
    const std::size_t semiOctets = static_cast<unsigned char>(bytes[0]);
    const std::string_view packed = std::string_view(bytes).substr(1);
    if (semiOctets == 0 || (semiOctets + 1) / 2 > packed.size()) return false;
    const std::size_t count = semiOctets * 4 / 7;
    std::string out;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t bit = i * 7, at = bit / 8, shift = bit % 8;
        unsigned value = static_cast<unsigned char>(packed[at]) >> shift;
        if (shift > 1 && at + 1 < packed.size())
            value |= static_cast<unsigned>(static_cast<unsigned char>(packed[at + 1])) << (8 - shift);
        out += static_cast<char>(value & 0x7F);
    }
    if (septets) *septets = std::move(out);
    return true;
}

std::string BuildXSer(const std::vector<XSerItem>& items) {
    std::string octets;
    for (const XSerItem& item : items) {
        const std::string value = item.value.substr(0, 255);
        octets += static_cast<char>(item.type & 0xFF);
        octets += static_cast<char>(value.size());
        octets += value;
    }
    return IraHex(octets);
}

bool ParseXSer(std::string_view hex, std::vector<XSerItem>* items) {
    std::string octets;
    if (!FromIraHex(hex, &octets)) return false;
    std::vector<XSerItem> out;
    std::size_t at = 0;
    while (at < octets.size()) {
        if (at + 2 > octets.size()) return false;
        const std::size_t length = static_cast<unsigned char>(octets[at + 1]);
        if (at + 2 + length > octets.size()) return false;
        out.push_back({static_cast<unsigned char>(octets[at]), octets.substr(at + 2, length)});
        at += 2 + length;
    }
    if (items) *items = std::move(out);
    return true;
}

std::string BuildAlertFrame(int trn, std::string_view address) {
    return BuildFrame({trn, 'O', 31, {std::string(address), "0539"}});
}

}  // namespace ucp
