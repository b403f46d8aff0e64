// Reading rules of the INI engine, driven by the fixtures in tests/data/ini.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/ini.h"
#include "platform/ini_snapshot.h"
#include "temp_dir.h"

namespace platform {
namespace {

std::string DataDir() {
    const char* dir = std::getenv("ZELLA_TEST_DATA");
    return std::string(dir != nullptr ? dir : "tests/data") + "/ini/";
}

std::vector<std::string> Split(const std::string& text, char sep) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        std::size_t end = text.find(sep, start);
        parts.push_back(text.substr(start, end - start));
        if (end == std::string::npos) return parts;
        start = end + 1;
    }
}

std::vector<std::string> ListField(const std::string& field) {
    if (field.empty()) return {};
    return Split(field, '|');
}

void CheckFixture(const std::string& name) {
    SCOPED_TRACE(name);
    std::string ini = DataDir() + name + ".ini";
    std::string expect;
    ASSERT_TRUE(ReadFile(DataDir() + name + ".expect", expect)) << "missing fixture " << name;
    // The snapshot reader must answer every lookup as the single-key reader does.
    const IniSnapshot snapshot(ini);
    int checks = 0;
    for (const std::string& line : Split(expect, '\n')) {
        if (line.empty() || line[0] == '#') continue;
        std::vector<std::string> f = Split(line, '\t');
        SCOPED_TRACE(line);
        if (f[0] == "value" && f.size() == 4) {
            EXPECT_EQ(f[3], GetPrivateProfileString(ini, f[1], f[2], "<default>"));
            EXPECT_EQ(f[3], snapshot.Get(f[1], f[2], "<default>"));
        } else if (f[0] == "missing" && f.size() == 3) {
            EXPECT_EQ("<default>", GetPrivateProfileString(ini, f[1], f[2], "<default>"));
            EXPECT_EQ("<default>", snapshot.Get(f[1], f[2], "<default>"));
        } else if (f[0] == "section" && f.size() == 3) {
            EXPECT_EQ(ListField(f[2]), GetPrivateProfileSection(ini, f[1]));
        } else if (f[0] == "names" && f.size() == 2) {
            EXPECT_EQ(ListField(f[1]), GetPrivateProfileSectionNames(ini));
        } else {
            ADD_FAILURE() << "bad expectation line";
        }
        ++checks;
    }
    EXPECT_GT(checks, 0);
}

TEST(IniReadFixtures, BasicRulesTrimQuotesAndIgnoreCase) { CheckFixture("basic"); }
TEST(IniReadFixtures, CrlfFileReadsLikeLf) { CheckFixture("crlf"); }
TEST(IniReadFixtures, FirstOfDuplicateSectionsWins) { CheckFixture("duplicate_sections"); }
TEST(IniReadFixtures, FirstOfDuplicateKeysWins) { CheckFixture("duplicate_keys"); }
TEST(IniReadFixtures, LastLineWithoutNewlineIsRead) { CheckFixture("no_final_newline"); }
TEST(IniReadFixtures, BracketWithoutCloseIsNotASection) { CheckFixture("unclosed_bracket"); }
TEST(IniReadFixtures, NulEndsTheLineText) { CheckFixture("nul_bytes"); }
TEST(IniReadFixtures, BinaryBytesAreReadAsText) { CheckFixture("binary"); }
TEST(IniReadFixtures, SemicolonLinesAreComments) { CheckFixture("comments"); }
TEST(IniReadFixtures, KeysBeforeFirstSectionAreUnreachable) { CheckFixture("before_first_section"); }
TEST(IniReadFixtures, EmptyFileGivesDefaults) { CheckFixture("empty"); }

class IniBufferRules : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(WriteFileAtomic(path, "[S]\nKey=abcdef\nA=1\nBB=22\nCCC=333\n[T]\n[U]\n"));
    }
    test::TempDir dir;
    std::string path = dir.File("buf.ini");
};

TEST_F(IniBufferRules, ValueIsCutToBufferSizeMinusOne) {
    EXPECT_EQ("abcdef", GetPrivateProfileString(path, "S", "Key", "", 7));
    EXPECT_EQ("abc", GetPrivateProfileString(path, "S", "Key", "", 4));
    EXPECT_EQ("", GetPrivateProfileString(path, "S", "Key", "", 1));
    EXPECT_EQ("", GetPrivateProfileString(path, "S", "Key", "", 0));
    const IniSnapshot snapshot(path);
    EXPECT_EQ("abc", snapshot.Get("S", "Key", "", 4));
    EXPECT_EQ("", snapshot.Get("S", "Key", "", 0));
}

TEST_F(IniBufferRules, DefaultIsCutLikeAValue) {
    EXPECT_EQ("def", GetPrivateProfileString(path, "S", "Nope", "default", 4));
    EXPECT_EQ("fallback", GetPrivateProfileString(dir.File("absent.ini"), "S", "K", "fallback"));
    const IniSnapshot absent(dir.File("absent.ini"));
    EXPECT_FALSE(absent.Loaded());
    EXPECT_EQ("fal", absent.Get("S", "K", "fallback", 4));
}

TEST_F(IniBufferRules, SectionListStopsWithACutLine) {
    // "Key=abcdef" 10+1, "A=1" 3+1, final terminator 1: 16 fit whole.
    EXPECT_EQ((std::vector<std::string>{"Key=abcdef", "A=1"}),
              GetPrivateProfileSection(path, "S", 16));
    EXPECT_EQ((std::vector<std::string>{"Key=abcdef", "A=1", "BB"}),
              GetPrivateProfileSection(path, "S", 19));
    EXPECT_EQ((std::vector<std::string>{"Key"}), GetPrivateProfileSection(path, "S", 5));
    EXPECT_TRUE(GetPrivateProfileSection(path, "S", 1).empty());
}

TEST_F(IniBufferRules, SectionNamesFollowTheSameRule) {
    EXPECT_EQ((std::vector<std::string>{"S", "T", "U"}), GetPrivateProfileSectionNames(path));
    EXPECT_EQ((std::vector<std::string>{"S", "T"}), GetPrivateProfileSectionNames(path, 5));
    EXPECT_EQ((std::vector<std::string>{"S"}), GetPrivateProfileSectionNames(path, 4));
}

TEST(IniLargeFiles, MegabyteLineIsReadWhole) {
    test::TempDir dir;
    std::string path = dir.File("big.ini");
    std::string big(1 << 20, 'v');
    ASSERT_TRUE(WriteFileAtomic(path, "[S]\nBig=" + big + "\nAfter=ok\n[" + big + "]\nX=1\n"));
    EXPECT_EQ(big, GetPrivateProfileString(path, "S", "Big", "", big.size() + 1));
    EXPECT_EQ(499u, GetPrivateProfileString(path, "S", "Big", "").size());
    EXPECT_EQ("ok", GetPrivateProfileString(path, "S", "After", ""));
    EXPECT_EQ("1", GetPrivateProfileString(path, big, "X", ""));
}

TEST(IniLargeFiles, TenThousandKeysInOneSection) {
    test::TempDir dir;
    std::string path = dir.File("many.ini");
    std::string text = "[Routes]\n";
    for (int i = 0; i < 10000; ++i) text += "Route" + std::to_string(i) + "=r" + std::to_string(i) + "\n";
    ASSERT_TRUE(WriteFileAtomic(path, text));
    EXPECT_EQ("r9999", GetPrivateProfileString(path, "routes", "ROUTE9999", ""));
    EXPECT_EQ(10000u, GetPrivateProfileSection(path, "Routes", 1 << 20).size());
}

}  // namespace
}  // namespace platform
