#include "viewers/char_convert.h"

#include <iconv.h>
#include <langinfo.h>

#include <vector>

#include "platform/text.h"

namespace viewers {

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

void AppendUtf8(std::string& out, std::uint32_t cp) {
    if (cp >= 0xD800 && cp <= 0xDFFF) cp = 0xFFFD;
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// The lenient decoding: a byte below 0xC0 stands for itself; a lead byte takes the
// following bytes without checking them; a sequence cut short by the end gives 0, and
// every 0 becomes "-". Code points above U+10FFFF (5- and 6-byte forms) become U+FFFD.
std::vector<std::uint32_t> DecodeLenient(const std::string& text) {
    std::vector<std::uint32_t> points;
    std::size_t units = 0, i = 0;
    while (i < text.size() && units < 8192) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t extra = 0;
        std::uint32_t cp = lead;
        if (lead >= 0xFC) extra = 5, cp = lead & 0x01;
        else if (lead >= 0xF8) extra = 4, cp = lead & 0x03;
        else if (lead >= 0xF0) extra = 3, cp = lead & 0x07;
        else if (lead >= 0xE0) extra = 2, cp = lead & 0x0F;
        else if (lead >= 0xC0) extra = 1, cp = lead & 0x1F;
        ++i;
        if (i + extra > text.size()) {
            cp = 0;
            i = text.size();
        } else {
            for (std::size_t k = 0; k < extra; ++k)
                cp = (cp << 6) | (static_cast<unsigned char>(text[i++]) & 0x3F);
        }
        if (cp > 0x10FFFF) cp = 0xFFFD;
        if (cp == 0) cp = '-';
        units += cp > 0xFFFF ? 2 : 1;
        points.push_back(cp);
    }
    return points;
}

bool IsUtf8Name(const std::string& codeSet) {
    return platform::EqualsNoCase(codeSet, "UTF-8") || platform::EqualsNoCase(codeSet, "UTF8");
}

// One character in the code set, or "" when it cannot hold it.
std::string ConvertOne(iconv_t cd, std::uint32_t cp) {
    std::string in;
    AppendUtf8(in, cp);
    char out[16];
    char* inPtr = in.data();
    std::size_t inLeft = in.size();
    char* outPtr = out;
    std::size_t outLeft = sizeof out;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1)) return {};
    char* flushPtr = outPtr;
    iconv(cd, nullptr, nullptr, &flushPtr, &outLeft);
    return std::string(out, flushPtr - out);
}

}  // namespace

bool IsGsm7Dcs(std::uint8_t dcs) {
    if ((dcs & 0xC0) == 0x00 && (dcs & 0x0C) == 0x00) return true;
    if ((dcs & 0xF0) == 0xF0 && (dcs & 0x04) == 0) return true;
    return (dcs & 0xF0) == 0xD0 || (dcs & 0xF0) == 0xC0;
}

bool IsUcs2Dcs(std::uint8_t dcs) {
    return ((dcs & 0xC0) == 0x00 && (dcs & 0x08) != 0) || (dcs & 0xF0) == 0xE0;
}

std::string HexUcs2ToUtf8(const std::string& hex) {
    std::vector<std::uint32_t> units;
    std::size_t i = 0;
    while (i < hex.size() && HexDigit(hex[i]) >= 0) {
        std::uint32_t unit = 0;
        for (int n = 0; n < 4 && i < hex.size() && HexDigit(hex[i]) >= 0; ++n, ++i)
            unit = unit * 16 + static_cast<std::uint32_t>(HexDigit(hex[i]));
        units.push_back(unit);
    }
    std::string out;
    for (std::size_t k = 0; k < units.size(); ++k) {
        std::uint32_t cp = units[k];
        const bool high = cp >= 0xD800 && cp <= 0xDBFF;
        if (high && k + 1 < units.size() && units[k + 1] >= 0xDC00 && units[k + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (units[k + 1] - 0xDC00);
            ++k;
        }
        AppendUtf8(out, cp);
    }
    return out;
}

std::string Utf8ToCodeSet(const std::string& text, std::size_t capacity, const std::string& codeSet) {
    if (capacity == 0) return {};
    const std::vector<std::uint32_t> points = DecodeLenient(text);
    iconv_t cd = IsUtf8Name(codeSet) ? reinterpret_cast<iconv_t>(-1)
                                     : iconv_open(codeSet.c_str(), "UTF-8");
    // A code set the converter does not know keeps the text as UTF-8.
    const bool utf8 = cd == reinterpret_cast<iconv_t>(-1);
    std::string out;
    for (std::uint32_t cp : points) {
        std::string one;
        if (utf8) AppendUtf8(one, cp);
        else if (cd != reinterpret_cast<iconv_t>(-1)) one = ConvertOne(cd, cp);
        if (one.empty()) one = "?";
        if (out.size() + one.size() > capacity - 1) break;
        out += one;
    }
    if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
    return out;
}

std::string Utf8ToAnsi(const std::string& text, std::size_t capacity) {
    const char* codeSet = nl_langinfo(CODESET);
    return Utf8ToCodeSet(text, capacity, codeSet != nullptr ? codeSet : "UTF-8");
}

}  // namespace viewers
