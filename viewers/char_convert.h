// Message text as the service stores it, turned into text for display.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace viewers {

// Data coding schemes whose text is the GSM 7-bit default alphabet.
bool IsGsm7Dcs(std::uint8_t dcs);
// Data coding schemes whose text is UCS-2.
bool IsUcs2Dcs(std::uint8_t dcs);

// Hexadecimal UCS-2 (four digits a code unit, read up to the first non-hexadecimal
// character; a short last group is taken as it stands) as UTF-8. A high and low
// surrogate in a row make one character; a lone surrogate half becomes U+FFFD, so the
// result is always valid UTF-8.
std::string HexUcs2ToUtf8(const std::string& hex);

// `Utf8ToAnsi`: UTF-8 text in the locale's code set (nl_langinfo(CODESET)), at most
// `capacity` - 1 bytes, cut at a character boundary. See Utf8ToCodeSet.
std::string Utf8ToAnsi(const std::string& text, std::size_t capacity);

// UTF-8 text in the code set named `codeSet` (an iconv name). The text is decoded
// leniently (a stray continuation byte stands for itself, a sequence cut short by the end
// gives "-", at most 8192 UTF-16 units are taken); a character the code set cannot hold
// becomes "?". On a UTF-8 code set valid text comes back unchanged.
std::string Utf8ToCodeSet(const std::string& text, std::size_t capacity, const std::string& codeSet);

}  // namespace viewers
