// Packed GSM 7-bit user data (hexadecimal, as the services store it) to UTF-8.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "acctdb/acctdb.h"

namespace acctdb {
namespace {

constexpr std::uint8_t kEscape = 0x1B;
constexpr std::uint8_t kCarriageReturn = 0x0D;

// The default alphabet; the Greek capitals are the ones without a Latin-1 form.
constexpr char16_t kDefaultAlphabet[128] = {
    0x0040, 0x00A3, 0x0024, 0x00A5, 0x00E8, 0x00E9, 0x00F9, 0x00EC,  // 00-07
    0x00F2, 0x00C7, 0x000A, 0x00D8, 0x00F8, 0x000D, 0x00C5, 0x00E5,  // 08-0F
    0x0394, 0x005F, 0x03A6, 0x0393, 0x039B, 0x03A9, 0x03A0, 0x03A8,  // 10-17
    0x03A3, 0x0398, 0x039E, 0x00A0, 0x00C6, 0x00E6, 0x00DF, 0x00C9,  // 18-1F (1B escape)
    0x0020, 0x0021, 0x0022, 0x0023, 0x00A4, 0x0025, 0x0026, 0x0027,  // 20-27
    0x0028, 0x0029, 0x002A, 0x002B, 0x002C, 0x002D, 0x002E, 0x002F,  // 28-2F
    0x0030, 0x0031, 0x0032, 0x0033, 0x0034, 0x0035, 0x0036, 0x0037,  // 30-37
    0x0038, 0x0039, 0x003A, 0x003B, 0x003C, 0x003D, 0x003E, 0x003F,  // 38-3F
    0x00A1, 0x0041, 0x0042, 0x0043, 0x0044, 0x0045, 0x0046, 0x0047,  // 40-47
    0x0048, 0x0049, 0x004A, 0x004B, 0x004C, 0x004D, 0x004E, 0x004F,  // 48-4F
    0x0050, 0x0051, 0x0052, 0x0053, 0x0054, 0x0055, 0x0056, 0x0057,  // 50-57
    0x0058, 0x0059, 0x005A, 0x00C4, 0x00D6, 0x00D1, 0x00DC, 0x00A7,  // 58-5F
    0x00BF, 0x0061, 0x0062, 0x0063, 0x0064, 0x0065, 0x0066, 0x0067,  // 60-67
    0x0068, 0x0069, 0x006A, 0x006B, 0x006C, 0x006D, 0x006E, 0x006F,  // 68-6F
    0x0070, 0x0071, 0x0072, 0x0073, 0x0074, 0x0075, 0x0076, 0x0077,  // 70-77
    0x0078, 0x0079, 0x007A, 0x00E4, 0x00F6, 0x00F1, 0x00FC, 0x00E0,  // 78-7F
};

// The default alphabet's code of each Latin-1 character, -1 where it has none: most
// texts are found here without searching the alphabet.
struct Latin1Codes {
    std::int8_t code[256];
};
constexpr Latin1Codes MakeLatin1Codes() {
    Latin1Codes t{};
    for (int c = 0; c < 256; ++c) t.code[c] = -1;
    for (int code = 127; code >= 0; --code)  // the lowest code wins, as a search would find
        if (code != kEscape && kDefaultAlphabet[code] < 256) t.code[kDefaultAlphabet[code]] = static_cast<std::int8_t>(code);
    return t;
}
constexpr Latin1Codes kLatin1Codes = MakeLatin1Codes();

// Only these extension codes are shown; every other one (the page break included) is
// shown as "-" so the reader sees that something stood there.
char16_t ExtensionCharacter(std::uint8_t code) {
    switch (code) {
        case 0x14: return u'^';
        case 0x28: return u'{';
        case 0x29: return u'}';
        case 0x2F: return u'\\';
        case 0x3C: return u'[';
        case 0x3D: return u'~';
        case 0x3E: return u']';
        case 0x40: return u'|';
        case 0x65: return 0x20AC;
        default: return u'-';
    }
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c >= 0x10000) {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Octets of the text up to the first character that is not a hexadecimal digit; a lone
// final digit is no octet. Damaged spool text thus decodes as far as it is sound.
std::vector<std::uint8_t> HexOctets(const std::string& hex) {
    std::vector<std::uint8_t> octets;
    octets.reserve(hex.size() / 2);
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        const int high = HexDigit(hex[i]);
        const int low = HexDigit(hex[i + 1]);
        if (high < 0 || low < 0) break;
        octets.push_back(static_cast<std::uint8_t>(high * 16 + low));
    }
    return octets;
}

// Header octets including the length octet. Some writers store the header without it;
// a first octet that does not give the length of the rest means it is missing.
std::size_t HeaderLength(const std::string& headerHex) {
    const std::vector<std::uint8_t> header = HexOctets(headerHex);
    if (header.empty()) return 0;
    if (header[0] + 1u == header.size()) return header.size();
    return header.size() + 1;
}

// The first `count` septets after `fill` spare bits, fewer when the octets run out.
template <typename Octets>
std::vector<std::uint8_t> UnpackFirst(const Octets& octets, unsigned fill, std::size_t count) {
    std::vector<std::uint8_t> septets;
    const std::size_t bits = octets.size() * 8;
    if (bits < fill) return septets;
    count = std::min(count, (bits - fill) / 7);
    septets.reserve(count);
    const auto at = [&](std::size_t i) { return static_cast<unsigned>(static_cast<std::uint8_t>(octets[i])); };
    for (std::size_t n = 0; n < count; ++n) {
        const std::size_t bit = fill + n * 7;
        unsigned value = at(bit / 8) >> (bit % 8);
        if (bit % 8 > 1) value |= at(bit / 8 + 1) << (8 - bit % 8);
        septets.push_back(static_cast<std::uint8_t>(value & 0x7F));
    }
    return septets;
}

std::vector<std::uint8_t> UnpackSeptets(const std::vector<std::uint8_t>& octets, unsigned fill) {
    std::vector<std::uint8_t> septets = UnpackFirst(octets, fill, SIZE_MAX);
    const std::size_t bits = octets.size() * 8;
    if (bits < fill) return septets;
    // When the text ends seven bits short of an octet boundary, those seven bits are
    // padding: a carriage return by the rule for that case, or zeros from many senders.
    // Read as a character they would add a stray CR or "@" to the text.
    if (!septets.empty() && (bits - fill) % 7 == 0 &&
        (septets.back() == kCarriageReturn || septets.back() == 0)) {
        septets.pop_back();
    }
    return septets;
}

// Code points of the extension table a sender may use (the page break included).
constexpr struct {
    char32_t character;
    std::uint8_t code;
} kExtensionTable[] = {{0x0C, 0x0A}, {U'^', 0x14}, {U'{', 0x28}, {U'}', 0x29}, {U'\\', 0x2F},
                       {U'[', 0x3C}, {U'~', 0x3D}, {U']', 0x3E}, {U'|', 0x40}, {0x20AC, 0x65}};


// The next code point of `text` from `pos` (advanced), or false on invalid UTF-8.
bool NextCodePoint(const std::string& text, std::size_t& pos, char32_t& c) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char b0 = byte(pos);
    std::size_t length = b0 < 0x80 ? 1 : (b0 >> 5) == 6 ? 2 : (b0 >> 4) == 14 ? 3 : (b0 >> 3) == 30 ? 4 : 0;
    if (length == 0 || pos + length > text.size()) return false;
    c = length == 1 ? b0 : length == 2 ? (b0 & 0x1F) : length == 3 ? (b0 & 0x0F) : (b0 & 0x07);
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(pos + i) & 0xC0) != 0x80) return false;
        c = (c << 6) | (byte(pos + i) & 0x3F);
    }
    static constexpr char32_t kMinimum[] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < kMinimum[length] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
    pos += length;
    return true;
}

}  // namespace

bool UTF8ToGSM7Septets(const std::string& utf8, std::string& septets) {
    septets.clear();
    septets.reserve(utf8.size());
    for (std::size_t pos = 0; pos < utf8.size();) {
        char32_t c = 0;
        if (!NextCodePoint(utf8, pos, c)) return false;
        int found = c < 256 ? kLatin1Codes.code[c] : -1;
        for (int code = 0; c >= 256 && code < 128 && found < 0; ++code)
            if (code != kEscape && kDefaultAlphabet[code] == c) found = code;
        if (found >= 0) {
            septets += static_cast<char>(found);
            continue;
        }
        bool extended = false;
        for (const auto& entry : kExtensionTable) {
            if (entry.character != c) continue;
            septets += static_cast<char>(kEscape);
            septets += static_cast<char>(entry.code);
            extended = true;
            break;
        }
        if (!extended) return false;
    }
    return true;
}

std::string GSM7SeptetsToUTF8(const std::string& septets) {
    std::string text;
    for (std::size_t i = 0; i < septets.size(); ++i) {
        const auto septet = static_cast<std::uint8_t>(septets[i] & 0x7F);
        if (septet != kEscape) {
            AppendUtf8(text, kDefaultAlphabet[septet]);
        } else if (i + 1 < septets.size()) {
            const auto code = static_cast<std::uint8_t>(septets[++i] & 0x7F);
            AppendUtf8(text, code == 0x0A ? char16_t{0x0C} : ExtensionCharacter(code));
        }
    }
    return text;
}

std::string PackGSM7Septets(const std::string& septets, unsigned fillBits) {
    std::string octets((fillBits + septets.size() * 7 + 7) / 8, '\0');
    for (std::size_t n = 0; n < septets.size(); ++n) {
        const std::size_t bit = fillBits + n * 7;
        const unsigned value = static_cast<unsigned>(septets[n] & 0x7F) << (bit % 8);
        octets[bit / 8] = static_cast<char>(static_cast<unsigned char>(octets[bit / 8]) | (value & 0xFF));
        if (bit % 8 > 1)
            octets[bit / 8 + 1] = static_cast<char>(static_cast<unsigned char>(octets[bit / 8 + 1]) | (value >> 8));
    }
    return octets;
}

std::string UnpackGSM7Septets(const std::string& octets, unsigned fillBits, std::size_t count) {
    const std::vector<std::uint8_t> septets = UnpackFirst(octets, fillBits % 7, count);
    return std::string(septets.begin(), septets.end());
}

bool UTF8ToUCS2(const std::string& utf8, std::string& ucs2) {
    ucs2.clear();
    ucs2.reserve(utf8.size() * 2);
    const auto unit = [&](char32_t u) {
        ucs2 += static_cast<char>(u >> 8);
        ucs2 += static_cast<char>(u & 0xFF);
    };
    for (std::size_t pos = 0; pos < utf8.size();) {
        char32_t c = 0;
        if (!NextCodePoint(utf8, pos, c)) return false;
        if (c < 0x10000) {
            unit(c);
        } else {
            c -= 0x10000;
            unit(0xD800 + (c >> 10));
            unit(0xDC00 + (c & 0x3FF));
        }
    }
    return true;
}

std::string UCS2ToUTF8(const std::string& ucs2) {
    std::string text;
    const auto unit = [&](std::size_t i) {
        return static_cast<char32_t>(static_cast<unsigned char>(ucs2[i]) << 8 | static_cast<unsigned char>(ucs2[i + 1]));
    };
    for (std::size_t i = 0; i + 1 < ucs2.size(); i += 2) {
        char32_t c = unit(i);
        if (c >= 0xD800 && c < 0xDC00 && i + 3 < ucs2.size() && unit(i + 2) >= 0xDC00 && unit(i + 2) < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (unit(i + 2) - 0xDC00);
            i += 2;
        } else if (c >= 0xD800 && c < 0xE000) {
            c = 0xFFFD;
        }
        AppendUtf8(text, c);
    }
    return text;
}

std::string GSM7ToUTF8String(const std::string& headerHex, const std::string& dataHex) {
    const std::size_t headerBits = HeaderLength(headerHex) * 8;
    const unsigned fill = static_cast<unsigned>((7 - headerBits % 7) % 7);
    const std::vector<std::uint8_t> septets = UnpackSeptets(HexOctets(dataHex), fill);
    std::string text;
    text.reserve(septets.size());
    for (std::size_t i = 0; i < septets.size(); ++i) {
        if (septets[i] != kEscape) {
            AppendUtf8(text, kDefaultAlphabet[septets[i]]);
        } else if (i + 1 < septets.size()) {
            AppendUtf8(text, ExtensionCharacter(septets[++i]));
        }
        // An escape with nothing after it was cut off with its character; nothing shows.
    }
    return text;
}

}  // namespace acctdb
