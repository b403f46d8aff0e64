// GSM 7-bit decoding: vectors under tests/data/gsm7 (NAME.in with "udh=" and "data="
// lines, NAME.out with the exact UTF-8 expected), plus properties over damaged input.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

#include "acctdb/acctdb.h"
#include "platform/files.h"

namespace {

std::string DataDirectory() {
    const char* root = std::getenv("ZELLA_TEST_DATA");
    return std::string(root ? root : ACCTDB_TEST_DATA) + "/gsm7/";
}

std::string ValueOf(const std::string& text, const std::string& key) {
    const auto start = text.find(key + "=");
    if (start == std::string::npos) return std::string();
    const auto from = start + key.size() + 1;
    return text.substr(from, text.find('\n', from) - from);
}

// Well-formed UTF-8 with no overlong forms or surrogates.
bool IsValidUtf8(const std::string& text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const int length = lead < 0x80 ? 1 : (lead >> 5) == 6 ? 2 : (lead >> 4) == 14 ? 3 : 0;
        if (length == 0 || i + length > text.size()) return false;
        unsigned value = length == 1 ? lead : lead & (length == 2 ? 0x1F : 0x0F);
        for (int k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            value = value << 6 | (next & 0x3F);
        }
        if ((length == 2 && value < 0x80) || (length == 3 && value < 0x800)) return false;
        if (value >= 0xD800 && value <= 0xDFFF) return false;
        i += length;
    }
    return true;
}

}  // namespace

TEST(Gsm7Decoding, DataFileVectorsDecodeExactly) {
    const auto inputs = platform::ListDirectory(DataDirectory(), "*.in");
    ASSERT_GE(inputs.size(), 15u) << "vectors missing in " << DataDirectory();
    for (const platform::DirEntry& entry : inputs) {
        const std::string base = DataDirectory() + entry.name.substr(0, entry.name.size() - 3);
        std::string input, expected;
        ASSERT_TRUE(platform::ReadFile(base + ".in", input)) << base;
        ASSERT_TRUE(platform::ReadFile(base + ".out", expected)) << base;
        EXPECT_EQ(acctdb::GSM7ToUTF8String(ValueOf(input, "udh"), ValueOf(input, "data")),
                  expected)
            << entry.name;
    }
}

TEST(Gsm7Decoding, TextbookHelloHelloVector) {
    EXPECT_EQ(acctdb::GSM7ToUTF8String("", "E8329BFD4697D9EC37"), "hellohello");
}

TEST(Gsm7Decoding, OnlyTheSevenPaddingBitsAreDropped) {
    // "AB" and five "@" fill 49 bits of seven octets; the last seven zero bits are padding,
    // while the "@" before them is text and stays.
    EXPECT_EQ(acctdb::GSM7ToUTF8String("", "41210000000000"), "AB@@@@@");
    // Nine octets hold ten septets and two spare bits: a final "@" there is text.
    EXPECT_EQ(acctdb::GSM7ToUTF8String("", "E8329BFD4697D96C00"), "hellohell@");
}

TEST(Gsm7Decoding, DamagedHexNeverYieldsInvalidUtf8) {
    std::mt19937 random(20240229);
    const std::string alphabet = "0123456789abcdefABCDEFxz ;";
    for (int round = 0; round < 2000; ++round) {
        std::string header, data;
        const int headerLength = static_cast<int>(random() % 16);
        const int dataLength = static_cast<int>(random() % 300);
        for (int i = 0; i < headerLength; ++i) header += alphabet[random() % 16];
        for (int i = 0; i < dataLength; ++i) {
            // Mostly valid digits, now and then a character that ends the hexadecimal run.
            data += alphabet[random() % (round % 4 == 0 ? alphabet.size() : 22)];
        }
        const std::string text = acctdb::GSM7ToUTF8String(header, data);
        ASSERT_TRUE(IsValidUtf8(text)) << header << " / " << data;
        ASSERT_LE(text.size(), data.size() / 2 * 8 / 7 * 3) << header << " / " << data;
    }
}
