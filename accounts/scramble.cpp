#include "accounts/scramble.h"

#include <cstdint>

namespace accounts {
namespace {

std::uint8_t SwapNibbles(unsigned char c) {
    return static_cast<std::uint8_t>(((c & 0x0F) << 4) | (c >> 4));
}

std::string_view Cut(std::string_view s) { return s.substr(0, kScrambleMaxText); }

}  // namespace

std::string ScrambleText(std::string_view key, std::string_view text) {
    key = Cut(key);
    text = Cut(text);
    std::string out;
    if (key.empty() || text.empty()) return out;
    out.reserve(text.size() * 2);
    const std::size_t n = key.size();
    for (std::size_t i = 0; i < text.size(); ++i) {
        auto b = static_cast<std::uint8_t>(static_cast<unsigned char>(text[i]) ^
                                           static_cast<unsigned char>(key[i % n]));
        b = static_cast<std::uint8_t>(b - SwapNibbles(static_cast<unsigned char>(key[(i + 2) % n])));
        out.push_back(static_cast<char>('A' + (b >> 4)));
        out.push_back(static_cast<char>('K' + (b & 0x0F)));
    }
    return out;
}

std::string UnscrambleText(std::string_view key, std::string_view letters) {
    key = Cut(key);
    std::string out;
    if (key.empty() || letters.empty()) return out;
    const std::size_t n = key.size();
    for (std::size_t pos = 0, i = 0; pos < letters.size() && out.size() < kScrambleMaxText; pos += 2, ++i) {
        const char hi = letters[pos];
        const bool single = pos + 1 >= letters.size();
        std::uint8_t b = (hi >= 'A' && hi <= 'P') ? static_cast<std::uint8_t>((hi - 'A') << 4) : 0;
        if (!single) {
            const char lo = letters[pos + 1];
            if (lo >= 'K' && lo <= 'Z') b = static_cast<std::uint8_t>(b | (lo - 'K'));
        }
        b = static_cast<std::uint8_t>(b + SwapNibbles(static_cast<unsigned char>(key[(i + 2) % n])));
        b = static_cast<std::uint8_t>(b ^ static_cast<unsigned char>(key[i % n]));
        if (b == 0) break;
        out.push_back(static_cast<char>(b));
        if (single) break;
    }
    return out;
}

}  // namespace accounts
