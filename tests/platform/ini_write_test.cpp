// Writing rules of the INI engine: minimal edits, placement, deletion, batches.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <random>
#include <string>

#include "platform/ini.h"
#include "temp_dir.h"

namespace platform {
namespace {

using test::ReadAll;

class IniWrite : public ::testing::Test {
protected:
    void Given(const std::string& text) { ASSERT_TRUE(WriteFileAtomic(path, text)); }
    test::TempDir dir;
    std::string path = dir.File("ZELLA.INI");
};

TEST_F(IniWrite, ConditionalBatchWritesOnlyWhileTheValuesStillReadAsExpected) {
    Given("[ModemAllocate]\r\nRequestId=7\r\n");
    IniBatch answer(path);
    answer.Require("ModemAllocate", "RequestId", "7");
    answer.Require("ModemAllocate", "Status", "");
    answer.Write("ModemAllocate", "Status", "Granted");
    // Another writer replaces the request between the read and the answer.
    ASSERT_TRUE(WritePrivateProfileString(path, "ModemAllocate", "RequestId", "8"));
    EXPECT_FALSE(answer.Commit());
    EXPECT_TRUE(answer.ConditionFailed());
    EXPECT_EQ("", GetPrivateProfileString(path, "ModemAllocate", "Status", ""));
    IniBatch again(path);
    again.Require("modemallocate", "requestid", "8");
    again.Require("ModemAllocate", "Status", "");
    again.Write("ModemAllocate", "Status", "Granted");
    EXPECT_TRUE(again.Commit());
    EXPECT_FALSE(again.ConditionFailed());
    EXPECT_EQ("Granted", GetPrivateProfileString(path, "ModemAllocate", "Status", ""));
}

TEST_F(IniWrite, MissingFileIsCreatedWithTheSection) {
    EXPECT_TRUE(WritePrivateProfileString(path, "ZELLA", "WebPort", "8800"));
    EXPECT_EQ("[ZELLA]\nWebPort=8800\n", ReadAll(path));
}

TEST_F(IniWrite, ChangedValueTouchesOnlyItsLine) {
    Given("; keep me  \r\n[ZELLA]\r\n  webport = 80 \r\njunk line\r\n\r\n[X]\r\nY=1");
    EXPECT_TRUE(WritePrivateProfileString(path, "zella", "WEBPORT", "8800"));
    EXPECT_EQ("; keep me  \r\n[ZELLA]\r\nwebport=8800\r\njunk line\r\n\r\n[X]\r\nY=1", ReadAll(path));
}

TEST_F(IniWrite, NewKeyFollowsLastKeyBeforeTrailingBlankLines) {
    Given("[A]\nK1=1\nK2=2\n\n\n; about B\n[B]\nZ=9\n");
    EXPECT_TRUE(WritePrivateProfileString(path, "A", "K3", "3"));
    EXPECT_EQ("[A]\nK1=1\nK2=2\nK3=3\n\n\n; about B\n[B]\nZ=9\n", ReadAll(path));
}

TEST_F(IniWrite, NewKeyInEmptySectionFollowsHeader) {
    Given("[A]\n\n[B]\n");
    EXPECT_TRUE(WritePrivateProfileString(path, "A", "K", "v"));
    EXPECT_EQ("[A]\nK=v\n\n[B]\n", ReadAll(path));
}

TEST_F(IniWrite, NewSectionIsAppendedAfterABlankLine) {
    Given("[A]\nK=1\n");
    EXPECT_TRUE(WritePrivateProfileString(path, "B", "K", "2"));
    EXPECT_EQ("[A]\nK=1\n\n[B]\nK=2\n", ReadAll(path));
}

TEST_F(IniWrite, MissingFinalNewlineIsRepairedBeforeAppending) {
    Given("[A]\nK=1");
    EXPECT_TRUE(WritePrivateProfileString(path, "A", "L", "2"));
    EXPECT_EQ("[A]\nK=1\nL=2\n", ReadAll(path));
    Given("[A]\nK=1");
    EXPECT_TRUE(WritePrivateProfileString(path, "B", "M", "3"));
    EXPECT_EQ("[A]\nK=1\n\n[B]\nM=3\n", ReadAll(path));
}

TEST_F(IniWrite, CrlfFileGetsCrlfLines) {
    Given("[A]\r\nK=1\r\n");
    EXPECT_TRUE(WritePrivateProfileString(path, "A", "L", "2"));
    EXPECT_TRUE(WritePrivateProfileString(path, "B", "M", "3"));
    EXPECT_EQ("[A]\r\nK=1\r\nL=2\r\n\r\n[B]\r\nM=3\r\n", ReadAll(path));
}

TEST_F(IniWrite, NullValueDeletesEveryCopyOfTheKeyInTheFirstSection) {
    Given("[A]\nK=1\nOther=x\nk=2\n[a]\nK=3\n");
    EXPECT_TRUE(WritePrivateProfileString(path, "A", "K", std::nullopt));
    EXPECT_EQ("[A]\nOther=x\n[a]\nK=3\n", ReadAll(path));
    EXPECT_EQ("gone", GetPrivateProfileString(path, "A", "K", "gone"));
}

TEST_F(IniWrite, NullKeyDeletesEverySectionOfThatName) {
    Given("[A]\nK=1\n\n[B]\nL=2\n[a]\nK=3\n");
    EXPECT_TRUE(WritePrivateProfileString(path, "A", std::nullopt, std::nullopt));
    EXPECT_EQ("[B]\nL=2\n", ReadAll(path));
    EXPECT_EQ((std::vector<std::string>{"B"}), GetPrivateProfileSectionNames(path));
}

TEST_F(IniWrite, DeletingAbsentThingsLeavesFileAlone) {
    EXPECT_TRUE(WritePrivateProfileString(path, "A", "K", std::nullopt));
    EXPECT_FALSE(PathExists(path));
    Given("[A]\nK=1\n");
    EXPECT_TRUE(WritePrivateProfileString(path, "Z", std::nullopt, std::nullopt));
    EXPECT_EQ("[A]\nK=1\n", ReadAll(path));
}

TEST_F(IniWrite, WritesGoToTheFirstDuplicateSection) {
    Given("[Dup]\nA=1\n[dup]\nB=2\n");
    EXPECT_TRUE(WritePrivateProfileString(path, "DUP", "B", "new"));
    EXPECT_EQ("[Dup]\nA=1\nB=new\n[dup]\nB=2\n", ReadAll(path));
    EXPECT_EQ("new", GetPrivateProfileString(path, "dup", "b", ""));
}

TEST_F(IniWrite, WrittenValueReadsBackUnquotedAndTrimmed) {
    EXPECT_TRUE(WritePrivateProfileString(path, "S", "Path", "\"/var/lib/x y/\""));
    EXPECT_EQ("/var/lib/x y/", GetPrivateProfileString(path, "S", "Path", ""));
}

TEST_F(IniWrite, LineBreaksAndStructureCharactersAreRefused) {
    Given("[A]\nK=1\n");
    EXPECT_FALSE(WritePrivateProfileString(path, "A", "K", "1\n[Injected]\nX=1"));
    EXPECT_FALSE(WritePrivateProfileString(path, "A", "K", std::string_view("a\0b", 3)));
    EXPECT_FALSE(WritePrivateProfileString(path, "A]", "K", "v"));
    EXPECT_FALSE(WritePrivateProfileString(path, "A", "K=J", "v"));
    EXPECT_FALSE(WritePrivateProfileString(path, "A", "[K]", "v"));
    EXPECT_FALSE(WritePrivateProfileString(path, "A", " ", "v"));
    EXPECT_EQ("[A]\nK=1\n", ReadAll(path));
}

TEST_F(IniWrite, PermissionBitsSurviveTheRewrite) {
    Given("[A]\nK=1\n");
    ASSERT_EQ(0, chmod(path.c_str(), 0640));
    EXPECT_TRUE(WritePrivateProfileString(path, "A", "K", "2"));
    struct stat st {};
    ASSERT_EQ(0, stat(path.c_str(), &st));
    EXPECT_EQ(0640u, st.st_mode & 07777);
}

// A final symbolic link is never followed: what it points at may belong to anybody.
TEST_F(IniWrite, SymbolicLinkIsRefusedAndItsTargetLeftAlone) {
    Given("[A]\nK=1\n");
    std::string link = dir.File("link.ini");
    ASSERT_EQ(0, symlink(path.c_str(), link.c_str()));
    EXPECT_FALSE(WritePrivateProfileString(link, "A", "K", "2"));
    struct stat st {};
    ASSERT_EQ(0, lstat(link.c_str(), &st));
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ("[A]\nK=1\n", ReadAll(path));
}

TEST_F(IniWrite, MissingDirectoryFailsWithoutCreatingAnything) {
    std::string nowhere = dir.File("no/such/dir/X.INI");
    EXPECT_FALSE(WritePrivateProfileString(nowhere, "A", "K", "v"));
    EXPECT_FALSE(DirectoryExists(dir.File("no")));
}

TEST_F(IniWrite, NoTemporaryFilesAreLeftBehind) {
    for (int i = 0; i < 20; ++i) {
        ASSERT_TRUE(WritePrivateProfileString(path, "A", "K" + std::to_string(i), "v"));
    }
    std::vector<std::string> names;
    for (const DirEntry& e : ListDirectory(dir.Path())) names.push_back(e.name);
    EXPECT_EQ((std::vector<std::string>{".", "..", "ZELLA.INI", "ZELLA.INI.lock"}), names);
}

// The same random edits applied key by key and as one batch give the same bytes.
TEST_F(IniWrite, BatchEqualsKeyByKeyWrites) {
    const std::string start = "; head\r\n[S0]\r\nk1=a\r\n\r\n[S1]\r\nk2 = b\r\n[s0]\r\nk3=c\r\n";
    std::string single = dir.File("single.ini"), batched = dir.File("batched.ini");
    ASSERT_TRUE(WriteFileAtomic(single, start));
    ASSERT_TRUE(WriteFileAtomic(batched, start));
    IniBatch batch(batched);
    std::mt19937 rng(1234);
    for (int i = 0; i < 300; ++i) {
        std::string section = "S" + std::to_string(rng() % 4);
        std::string key = "K" + std::to_string(rng() % 12);
        std::string value = "v" + std::to_string(i);
        unsigned op = rng() % 20;
        if (op == 0) {
            ASSERT_TRUE(WritePrivateProfileString(single, section, std::nullopt, std::nullopt));
            batch.DeleteSection(section);
        } else if (op < 5) {
            ASSERT_TRUE(WritePrivateProfileString(single, section, key, std::nullopt));
            batch.DeleteKey(section, key);
        } else {
            ASSERT_TRUE(WritePrivateProfileString(single, section, key, value));
            batch.Write(section, key, value);
        }
    }
    EXPECT_EQ(300u, batch.Size());
    ASSERT_TRUE(batch.Commit());
    EXPECT_EQ(ReadAll(single), ReadAll(batched));
}

// A batch larger than one storage chunk, switching sections across chunk boundaries,
// still applies every change to its own section; and a committed batch reused for a
// second batch gives the same bytes as the same writes one by one.
TEST_F(IniWrite, LargeBatchSpanningChunksEqualsKeyByKeyWrites) {
    const std::string start = "[S0]\nk1=a\n\n[S1]\nk2=b\n";
    std::string single = dir.File("single.ini"), batched = dir.File("batched.ini");
    ASSERT_TRUE(WriteFileAtomic(single, start));
    ASSERT_TRUE(WriteFileAtomic(batched, start));
    IniBatch batch(batched);
    std::mt19937 rng(99);
    for (int round = 0; round < 2; ++round) {
        for (int i = 0; i < 120; ++i) {
            std::string section = "S" + std::to_string(rng() % 3);
            std::string key = "K" + std::to_string(rng() % 40);
            std::string value(1000 + rng() % 3000, static_cast<char>('a' + i % 26));
            if (rng() % 8 == 0) {
                ASSERT_TRUE(WritePrivateProfileString(single, section, key, std::nullopt));
                batch.DeleteKey(section, key);
            } else {
                ASSERT_TRUE(WritePrivateProfileString(single, section, key, value));
                batch.Write(section, key, value);
            }
        }
        ASSERT_TRUE(batch.Commit());
        ASSERT_EQ(ReadAll(single), ReadAll(batched)) << "round " << round;
    }
}

TEST_F(IniWrite, BatchAppliesToTheFileAsItIsAtCommit) {
    Given("[A]\nK=1\n");
    IniBatch batch(path);
    batch.Write("A", "Mine", "m");
    EXPECT_TRUE(WritePrivateProfileString(path, "A", "Theirs", "t"));
    ASSERT_TRUE(batch.Commit());
    EXPECT_EQ("[A]\nK=1\nTheirs=t\nMine=m\n", ReadAll(path));
    EXPECT_EQ(0u, batch.Size()) << "a committed batch starts over";
}

// A key added after an unterminated last line and deleted again leaves the newline the
// one-by-one writes leave.
TEST_F(IniWrite, BatchEqualsKeyByKeyOnFileWithoutFinalNewline) {
    std::string single = dir.File("single.ini"), batched = dir.File("batched.ini");
    ASSERT_TRUE(WriteFileAtomic(single, "[A]\nK=1"));
    ASSERT_TRUE(WriteFileAtomic(batched, "[A]\nK=1"));
    ASSERT_TRUE(WritePrivateProfileString(single, "A", "L", "2"));
    ASSERT_TRUE(WritePrivateProfileString(single, "A", "L", std::nullopt));
    IniBatch batch(batched);
    batch.Write("A", "L", "2");
    batch.DeleteKey("A", "L");
    ASSERT_TRUE(batch.Commit());
    EXPECT_EQ("[A]\nK=1\n", ReadAll(single));
    EXPECT_EQ(ReadAll(single), ReadAll(batched));
}

// Each write takes the line-break style of the file as the write before left it; a batch
// follows the style its earlier changes leave, as the same writes one by one do.
TEST_F(IniWrite, BatchFollowsTheStyleItsEarlierChangesLeave) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"[A]\r\nK=1\r\n[B]\nX=1\n", "[B]\nX=1\nY=2\n\n[C]\nZ=3\n"},   // the CRLF section goes
        {"junk\r", "junk\r\n\n[A]\nY=2\n\r\n[C]\r\nZ=3\r\n"},  // a last line ending in CR
    };
    for (const auto& [start, expected] : cases) {
        std::string single = dir.File("single.ini"), batched = dir.File("batched.ini");
        ASSERT_TRUE(WriteFileAtomic(single, start));
        ASSERT_TRUE(WriteFileAtomic(batched, start));
        IniBatch batch(batched);
        const std::string first = start.front() == '[' ? "B" : "A";
        if (first == "B") {
            ASSERT_TRUE(WritePrivateProfileString(single, "A", std::nullopt, std::nullopt));
            batch.DeleteSection("A");
        }
        ASSERT_TRUE(WritePrivateProfileString(single, first, "Y", "2"));
        ASSERT_TRUE(WritePrivateProfileString(single, "C", "Z", "3"));
        batch.Write(first, "Y", "2");
        batch.Write("C", "Z", "3");
        ASSERT_TRUE(batch.Commit());
        EXPECT_EQ(expected, ReadAll(single));
        EXPECT_EQ(expected, ReadAll(batched));
    }
}

TEST_F(IniWrite, BatchRefusesWhatSingleWritesRefuse) {
    Given("[A]\nK=1\n");
    const auto refused = [this](auto add) {
        IniBatch batch(path);
        batch.Write("A", "K", "2");
        add(batch);
        return !batch.Commit() && ReadAll(path) == "[A]\nK=1\n" && batch.Size() == 2;
    };
    EXPECT_TRUE(refused([](IniBatch& b) { b.Write("A", "K\r", "v"); })) << "CR among trimmed blanks";
    EXPECT_TRUE(refused([](IniBatch& b) { b.Write("A", " =", "v"); }));
    EXPECT_TRUE(refused([](IniBatch& b) { b.Write("A", ";K", "v"); }));
    EXPECT_TRUE(refused([](IniBatch& b) { b.Write("A", "K", "long value then\r"); }));
    EXPECT_TRUE(refused([](IniBatch& b) { b.Write("A", "K", std::string_view("sixteen bytes..\0", 16)); }));
    EXPECT_TRUE(refused([](IniBatch& b) { b.DeleteKey("A", "K\n"); }));
    EXPECT_TRUE(refused([](IniBatch& b) { b.DeleteKey("A", ""); }));
    EXPECT_TRUE(refused([](IniBatch& b) { b.DeleteSection("A]"); }));
    EXPECT_TRUE(refused([](IniBatch& b) { b.DeleteSection("A\r\n[B"); }));
    EXPECT_TRUE(refused([](IniBatch& b) { b.Write("A\r", "L", "v"); })) << "same name once trimmed";
}

TEST_F(IniWrite, BatchKeepsSectionRunsApartAndTrimsNames) {
    Given("[A]\nK=1\n");
    IniBatch batch(path);
    batch.Write(" A ", " K ", "2");
    batch.Write("B", "X", "1");
    batch.Write("A", "L", "3");
    batch.DeleteSection("B");
    batch.Write("b", "Y", "2");
    ASSERT_TRUE(batch.Commit());
    EXPECT_EQ("[A]\nK=2\nL=3\n\n[b]\nY=2\n", ReadAll(path));
}

TEST_F(IniWrite, BatchWithOneBadChangeWritesNothing) {
    Given("[A]\nK=1\n");
    IniBatch batch(path);
    batch.Write("A", "K", "2");
    batch.Write("A", "L", "x\ny");
    EXPECT_FALSE(batch.Commit());
    EXPECT_EQ("[A]\nK=1\n", ReadAll(path));
}

}  // namespace
}  // namespace platform
