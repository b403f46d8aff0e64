#include "cimdlnk/cimd_frame.h"

#include <cstdio>

#include "ucplnk/link_support.h"

namespace cimd {
namespace {

bool IsDigits(std::string_view s, std::size_t count) {
    if (s.size() != count) return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

int Number(std::string_view digits) {
    int n = 0;
    for (char c : digits) n = n * 10 + (c - '0');
    return n;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool Carriable(std::string_view value) {
    for (unsigned char c : value)
        if (c < 0x20 || c == 0x7F) return false;
    return true;
}

bool Printable(std::string_view value) {
    for (unsigned char c : value)
        if (c < 0x20 || c > 0x7E) return false;
    return true;
}

}  // namespace

std::string Checksum(std::string_view covered) { return smsc_link::ByteSumChecksum(covered); }

std::string BuildPacket(const Packet& packet) {
    if (packet.operation < 0 || packet.operation > 99 || packet.number < 0 || packet.number > 999)
        return {};
    char header[16];
    std::snprintf(header, sizeof header, "%c%02d:%03d%c", kStx, packet.operation, packet.number,
                  kTab);
    std::string text = header;
    for (const auto& [code, value] : packet.parameters) {
        if (code < 0 || code > 999 || !Carriable(value)) return {};
        char p[8];
        std::snprintf(p, sizeof p, "%03d:", code);
        text += p + value + kTab;
    }
    if (packet.checksum) text += Checksum(text);
    return text + kEtx;
}

ParseError ParseFrame(std::string_view text, Packet* out) {
    if (text.size() < 2 || text.front() != kStx || text.back() != kEtx)
        return ParseError::NotFramed;
    std::string_view inner = text.substr(1, text.size() - 2);
    if (inner.find(kStx) != std::string_view::npos || inner.find(kEtx) != std::string_view::npos)
        return ParseError::NotFramed;
    const std::size_t lastTab = inner.rfind(kTab);
    if (lastTab == std::string_view::npos) return ParseError::Syntax;
    const std::string_view tail = inner.substr(lastTab + 1);
    Packet p;
    p.checksum = !tail.empty();
    if (p.checksum) {
        if (tail.size() != 2 || HexValue(tail[0]) < 0 || HexValue(tail[1]) < 0)
            return ParseError::Syntax;
        const std::string_view covered = text.substr(0, lastTab + 2);  // STX .. last TAB
        unsigned sum = 0;
        for (unsigned char c : covered) sum += c;
        if ((sum & 0xFFu) != static_cast<unsigned>(HexValue(tail[0]) * 16 + HexValue(tail[1])))
            return ParseError::BadChecksum;
    }
    inner = inner.substr(0, lastTab + 1);
    const std::size_t headerEnd = inner.find(kTab);
    const std::string_view header = inner.substr(0, headerEnd);
    if (header.size() != 6 || header[2] != ':' || !IsDigits(header.substr(0, 2), 2) ||
        !IsDigits(header.substr(3), 3))
        return ParseError::Syntax;
    p.operation = Number(header.substr(0, 2));
    p.number = Number(header.substr(3));
    inner.remove_prefix(headerEnd + 1);
    while (!inner.empty()) {
        const std::size_t tab = inner.find(kTab);
        const std::string_view field = inner.substr(0, tab);
        if (field.size() < 4 || field[3] != ':' || !IsDigits(field.substr(0, 3), 3))
            return ParseError::Syntax;
        p.parameters.emplace_back(Number(field.substr(0, 3)), std::string(field.substr(4)));
        inner.remove_prefix(tab + 1);
    }
    if (out) *out = std::move(p);
    return ParseError::None;
}

const std::string* FindParameter(const Packet& packet, int code) {
    for (const auto& [c, value] : packet.parameters)
        if (c == code) return &value;
    return nullptr;
}

LoginInputError CheckLoginInput(std::string_view user, std::string_view password) {
    if (user.empty()) return LoginInputError::UserEmpty;
    if (user.size() > kMaxUserLength) return LoginInputError::UserTooLong;
    if (!Printable(user)) return LoginInputError::UserBadCharacter;
    if (password.size() > kMaxPasswordLength) return LoginInputError::PasswordTooLong;
    if (!Printable(password)) return LoginInputError::PasswordBadCharacter;
    return LoginInputError::None;
}

std::string BuildLoginPacket(int number, std::string_view user, std::string_view password) {
    if (CheckLoginInput(user, password) != LoginInputError::None) return {};
    return BuildPacket(
        {kLogin, number, {{kUserIdentity, std::string(user)}, {kPassword, std::string(password)}}});
}

std::string BuildLogoutPacket(int number) { return BuildPacket({kLogout, number, {}}); }


namespace {

// The "_" combinations of the GSM default alphabet's characters outside printable ASCII
// (and of the three ASCII characters the protocol reserves).
constexpr std::pair<const char*, const char*> kCombinations[] = {
    {"@", "Oa"},    {"\xC2\xA3", "L-"}, {"\xC2\xA5", "Y-"}, {"\xC3\xA8", "e`"}, {"\xC3\xA9", "e'"},
    {"\xC3\xB9", "u`"}, {"\xC3\xAC", "i`"}, {"\xC3\xB2", "o`"}, {"\xC3\x87", "C,"}, {"\xC3\x98", "O/"},
    {"\xC3\xB8", "o/"}, {"\xC3\x85", "A*"}, {"\xC3\xA5", "a*"}, {"\xCE\x94", "gd"}, {"_", "--"},
    {"\xCE\xA6", "gf"}, {"\xCE\x93", "gg"}, {"\xCE\x9B", "gl"}, {"\xCE\xA9", "go"}, {"\xCE\xA0", "gp"},
    {"\xCE\xA8", "gi"}, {"\xCE\xA3", "gs"}, {"\xCE\x98", "gt"}, {"\xCE\x9E", "gx"}, {"\xC3\x86", "AE"},
    {"\xC3\xA6", "ae"}, {"\xC3\x9F", "ss"}, {"\xC3\x89", "E'"}, {"\"", "qq"},       {"\xC2\xA4", "ox"},
    {"\xC2\xA1", "!!"}, {"\xC3\x84", "A\""}, {"\xC3\x96", "O\""}, {"\xC3\x91", "N~"}, {"\xC3\x9C", "U\""},
    {"\xC2\xA7", "so"}, {"\xC2\xBF", "??"}, {"\xC3\xA4", "a\""}, {"\xC3\xB6", "o\""}, {"\xC3\xB1", "n~"},
    {"\xC3\xBC", "u\""}, {"\xC3\xA0", "a`"},
};

// Printable ASCII that is a GSM default-alphabet character of its own.
bool PlainCharacter(unsigned char c) {
    if (c < 0x20 || c > 0x7E) return false;
    return std::string_view("@_\"[]{}\\^~|`").find(static_cast<char>(c)) == std::string_view::npos;
}

}  // namespace

bool EncodeUserDataText(std::string_view utf8, std::string* text) {
    std::string out;
    while (!utf8.empty()) {
        if (PlainCharacter(static_cast<unsigned char>(utf8[0]))) {
            out += utf8[0];
            utf8.remove_prefix(1);
            continue;
        }
        bool found = false;
        for (const auto& [character, combination] : kCombinations) {
            const std::string_view c(character);
            if (utf8.substr(0, c.size()) == c) {
                out += '_';
                out += combination;
                utf8.remove_prefix(c.size());
                found = true;
                break;
            }
        }
        if (!found) return false;
    }
    if (text) *text = std::move(out);
    return true;
}

std::string DecodeUserDataText(std::string_view text) {
    std::string out;
    while (!text.empty()) {
        bool found = false;
        if (text[0] == '_' && text.size() >= 3) {
            for (const auto& [character, combination] : kCombinations) {
                if (text.substr(1, 2) == combination) {
                    out += character;
                    text.remove_prefix(3);
                    found = true;
                    break;
                }
            }
        }
        if (!found) {
            out += text[0];
            text.remove_prefix(1);
        }
    }
    return out;
}

}  // namespace cimd
