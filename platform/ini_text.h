// Internal to the INI engine: the byte-level helpers every line goes through, inline
// because a batch calls them tens of thousands of times per rewrite.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace platform::ini {

// Blanks as the Windows profile functions trim them.
inline bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

inline char LowerChar(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

inline std::uint64_t LoadWord(const char* at) {
    std::uint64_t word;
    std::memcpy(&word, at, sizeof word);
    return word;
}

// LowerChar on eight bytes at once: 0x20 is added to exactly the bytes 'A'..'Z'.
inline std::uint64_t LowerWord(std::uint64_t word) {
    constexpr std::uint64_t kOnes = 0x0101010101010101ull, kHighs = 0x8080808080808080ull;
    const std::uint64_t low7 = word & ~kHighs;
    const std::uint64_t atLeastA = low7 + kOnes * (0x80 - 'A');
    const std::uint64_t aboveZ = low7 + kOnes * (0x80 - 'Z' - 1);
    const std::uint64_t upper = atLeastA & ~aboveZ & ~word & kHighs;
    return word | (upper >> 2);
}

inline std::string_view TrimBlanks(std::string_view text) {
    std::size_t b = 0, e = text.size();
    while (b < e && IsBlank(text[b])) ++b;
    while (e > b && IsBlank(text[e - 1])) --e;
    return text.substr(b, e - b);
}

inline bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    std::size_t i = 0;
    for (; i + 8 <= a.size(); i += 8) {
        if (LowerWord(LoadWord(a.data() + i)) != LowerWord(LoadWord(b.data() + i))) return false;
    }
    for (; i < a.size(); ++i) {
        if (LowerChar(a[i]) != LowerChar(b[i])) return false;
    }
    return true;
}

inline std::uint64_t MixWords(std::uint64_t a, std::uint64_t b) {
    const unsigned __int128 product = static_cast<unsigned __int128>(a) * b;
    return static_cast<std::uint64_t>(product) ^ static_cast<std::uint64_t>(product >> 64);
}

// A hash of the lower-cased bytes: whole words, the tail read as an overlapping word.
// Equal under EqualsIgnoreCase implies equal hashes; the low bits are well mixed.
inline std::size_t HashIgnoreCase(std::string_view text) {
    constexpr std::uint64_t kSeed = 0xa0761d6478bd642full, kOdd = 0xe7037ed1a0b428dbull;
    const char* p = text.data();
    const std::size_t n = text.size();
    std::uint64_t seed = kSeed ^ n, a = 0, b = 0;
    if (n >= 8) {
        std::size_t i = 0;
        for (; i + 16 < n; i += 8) seed = MixWords(seed ^ LowerWord(LoadWord(p + i)), kOdd);
        a = LoadWord(p + i);
        b = LoadWord(p + n - 8);
    } else if (n >= 4) {
        std::uint32_t lo, hi;
        std::memcpy(&lo, p, 4);
        std::memcpy(&hi, p + n - 4, 4);
        a = lo;
        b = hi;
    } else if (n > 0) {
        a = (static_cast<std::uint64_t>(static_cast<unsigned char>(p[0])) << 16) |
            (static_cast<std::uint64_t>(static_cast<unsigned char>(p[n / 2])) << 8) |
            static_cast<unsigned char>(p[n - 1]);
    }
    return static_cast<std::size_t>(MixWords(LowerWord(a) ^ kOdd, LowerWord(b) ^ seed));
}

}  // namespace platform::ini
