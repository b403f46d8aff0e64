#include "accounts/scramble.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct Case {
    const char* key;
    std::string text;     // plain text
    std::string letters;  // its scrambled form
};

// Expected letters were worked out by hand from the byte rule (xor with the key byte,
// minus the nibble-swapped key byte two places on, two letters per byte).
const Case kRoundTrips[] = {
    {"pelmora", "s3cret", "DXIKBTPSPOPZ"},
    {"pelmora", "admin", "EVCVAVNXOV"},
    {"k", "A", "HO"},
    {"ab", "\xC3\xA9 x", "IWKPCVPO"},
};

TEST(ScrambleText, KnownPairsBothWays) {
    for (const Case& c : kRoundTrips) {
        EXPECT_EQ(accounts::ScrambleText(c.key, c.text), c.letters) << c.text;
        EXPECT_EQ(accounts::UnscrambleText(c.key, c.letters), c.text) << c.letters;
    }
}

TEST(ScrambleText, EveryByteRoundTripsAsTwoLettersInTheirRanges) {
    std::string text;
    for (int b = 1; b < 256; ++b) text.push_back(static_cast<char>(b));
    for (const char* key : {"pelmora", "x", "a much longer key than the text needs"}) {
        const std::string chunk = text.substr(0, 200);
        const std::string letters = accounts::ScrambleText(key, chunk);
        ASSERT_EQ(letters.size(), 2 * chunk.size());
        for (std::size_t i = 0; i < letters.size(); i += 2) {
            EXPECT_TRUE(letters[i] >= 'A' && letters[i] <= 'P') << i;
            EXPECT_TRUE(letters[i + 1] >= 'K' && letters[i + 1] <= 'Z') << i;
        }
        EXPECT_EQ(accounts::UnscrambleText(key, letters), chunk);
        EXPECT_EQ(accounts::UnscrambleText(key, accounts::ScrambleText(key, text.substr(200))),
                  text.substr(200));
    }
}

TEST(UnscrambleText, OddAndDamagedInput) {
    struct Odd {
        const char* key;
        std::string letters;
        std::string text;
    };
    const Odd cases[] = {
        {"pelmora", "DXI", "s3"},               // trailing letter: upper bits only, then ends
        {"pelmora", "DXZZ", "s\x80"},           // first letter out of range counts as 0
        {"pelmora", "DXaK", "s\xB3"},           // lower case is out of range too
        {"pelmora", "DXIZIKBTPSPOPZ", "s"},     // a zero byte ends the text
        {"", "DXIKBTPSPOPZ", ""},
        {"pelmora", "", ""},
    };
    for (const Odd& c : cases) EXPECT_EQ(accounts::UnscrambleText(c.key, c.letters), c.text) << c.letters;
    EXPECT_EQ(accounts::ScrambleText("", "text"), "");
    EXPECT_EQ(accounts::ScrambleText("pelmora", ""), "");
}

TEST(UnscrambleText, ResultNeverPassesItsLimit) {
    const std::string text(499, 'q');
    const std::string letters = accounts::ScrambleText("pelmora", text + "overflow");
    EXPECT_EQ(letters.size(), 998u);  // longer texts are cut to the limit
    // 1996 letters would make 998 bytes; the result stops at its 499-byte limit.
    EXPECT_EQ(accounts::UnscrambleText("pelmora", letters + letters), text);
}

}  // namespace
