// The keyword list operations and the one-time upgrade of the old keyword format, on a
// real ZELLA.INI.
#include "twoway/keyword_store.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "config/config_store.h"
#include "platform/files.h"
#include "platform/ini.h"
#include "tests/support/temp_dir.h"

namespace {

class KeywordStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(dir_.Path().empty());
        ini_ = dir_.File("ZELLA.INI");
        config::SetConfigurationPath(ini_);
    }
    void TearDown() override {
        config::SetConfigurationPath("");
    }
    std::string Get(const std::string& section, const std::string& key) {
        return platform::GetPrivateProfileString(ini_, section, key, "<absent>", 32767);
    }
    void Put(const std::string& section, const std::string& key, const std::string& value) {
        ASSERT_TRUE(platform::WritePrivateProfileString(ini_, section, key, value));
    }
    void Load(const std::string& content) { ASSERT_TRUE(platform::WriteFileAtomic(ini_, content)); }
    std::vector<std::string> List() { return twoway::ListKeywords(); }

    zella_test::TempDir dir_{"twoway"};
    std::string ini_;
};

TEST_F(KeywordStoreTest, AppendWritesAtTheFirstEmptyEntryAndAllowsDuplicates) {
    ASSERT_TRUE(twoway::AppendKeyword("HELP"));
    ASSERT_TRUE(twoway::AppendKeyword("INFO##4477"));
    ASSERT_TRUE(twoway::AppendKeyword("help"));
    EXPECT_EQ(List(), (std::vector<std::string>{"HELP", "INFO##4477", "help"}));
    EXPECT_EQ(Get("2Way-Keywords", "Keyword3"), "help");
}

TEST_F(KeywordStoreTest, RenameReplacesFirstMatchIgnoringCaseOnly) {
    Load("[2Way-Keywords]\nKeyword1=A\nKeyword2=b\nKeyword3=B\n");
    EXPECT_TRUE(twoway::RenameKeyword("B", "C"));
    EXPECT_EQ(List(), (std::vector<std::string>{"A", "C", "B"}));
}

TEST_F(KeywordStoreTest, RenameIgnoresEntriesBeyondTheFirstGap) {
    Load("[2Way-Keywords]\nKeyword1=A\nKeyword3=Z\n");
    EXPECT_FALSE(twoway::RenameKeyword("Z", "Y"));
    EXPECT_EQ(Get("2Way-Keywords", "Keyword3"), "Z");
}

TEST_F(KeywordStoreTest, RemoveMiddleOfThreeShiftsTheLastDown) {
    Load(
        "[2Way-Keywords]\nNewFormat=Yes\nKeyword1=A\nKeyword2=B\nKeyword3=C\n"
        "[2Way-Keyword-B]\nReplyText=x\n");
    EXPECT_TRUE(twoway::RemoveKeyword("b"));
    EXPECT_EQ(List(), (std::vector<std::string>{"A", "C"}));
    EXPECT_EQ(Get("2Way-Keywords", "Keyword3"), "<absent>");
    EXPECT_EQ(Get("2Way-Keywords", "NewFormat"), "Yes");
    // The command section is the caller's to delete.
    EXPECT_EQ(Get("2Way-Keyword-B", "ReplyText"), "x");
}

TEST_F(KeywordStoreTest, RemoveOfUnknownKeyChangesNothing) {
    Load("[2Way-Keywords]\nKeyword1=A\n");
    EXPECT_FALSE(twoway::RemoveKeyword("Q"));
    EXPECT_EQ(List(), std::vector<std::string>{"A"});
    EXPECT_TRUE(twoway::RemoveKeyword("A"));
    EXPECT_TRUE(List().empty());
}

TEST_F(KeywordStoreTest, UpgradeConvertsReplyTextWithSendResponse) {
    Put("ZELLA", "ReceiveSMSCommand1", "HELP\treplytext:Send STOP to end\tYes");
    twoway::UpgradeResult result = twoway::UpgradeKeywordFormat();
    EXPECT_TRUE(result.ran);
    EXPECT_TRUE(result.written);
    EXPECT_EQ(result.converted, 1u);
    EXPECT_EQ(Get("2Way-Keywords", "Keyword1"), "HELP");
    EXPECT_EQ(Get("2Way-Keyword-HELP", "ReplyText"), "Send STOP to end");
    EXPECT_EQ(Get("2Way-Keyword-HELP", "RunSendResponse"), "Yes");
    EXPECT_EQ(Get("2Way-Keywords", "NewFormat"), "Yes");
    EXPECT_EQ(Get("ZELLA", "ReceiveSMSCommand1"), "HELP\treplytext:Send STOP to end\tYes");
}

TEST_F(KeywordStoreTest, UpgradeAddsPhoneNumbersToTheKeywordKey) {
    Put("ZELLA", "ReceiveSMSCommand1", "INFO\tc:\\bin\\info.exe\tNo\t4477");
    twoway::UpgradeKeywordFormat();
    EXPECT_EQ(Get("2Way-Keywords", "Keyword1"), "INFO##4477");
    EXPECT_EQ(Get("2Way-Keyword-INFO##4477", "Run"), "c:\\bin\\info.exe");
    EXPECT_EQ(Get("2Way-Keyword-INFO##4477", "RunSendResponse"), "<absent>");
}

TEST_F(KeywordStoreTest, UpgradeClassifiesEveryPrefixIgnoringCase) {
    Put("ZELLA", "ReceiveSMSCommand1", "K1\tReplyFile:logo.png\tNo");
    Put("ZELLA", "ReceiveSMSCommand2", "K2\tMAILTO:ops@example.com\t1");
    Put("ZELLA", "ReceiveSMSCommand3", "K3\tdlistadd:news\tn");
    Put("ZELLA", "ReceiveSMSCommand4", "K4\tDListRemove:news\tTRUE");
    Put("ZELLA", "ReceiveSMSCommand5", "K5\thttp://x/y?a=b\tNo\t");
    twoway::UpgradeResult result = twoway::UpgradeKeywordFormat();
    EXPECT_EQ(result.converted, 5u);
    EXPECT_EQ(Get("2Way-Keyword-K1", "ReplyFile"), "logo.png");
    EXPECT_EQ(Get("2Way-Keyword-K2", "MailTo"), "ops@example.com");
    EXPECT_EQ(Get("2Way-Keyword-K2", "RunSendResponse"), "Yes");
    EXPECT_EQ(Get("2Way-Keyword-K3", "DListAdd"), "news");
    EXPECT_EQ(Get("2Way-Keyword-K4", "DListRemove"), "news");
    EXPECT_EQ(Get("2Way-Keyword-K4", "RunSendResponse"), "Yes");
    EXPECT_EQ(Get("2Way-Keyword-K5", "Run"), "http://x/y?a=b");
    EXPECT_EQ(Get("2Way-Keywords", "Keyword5"), "K5");  // empty phone numbers: no "##"
}

TEST_F(KeywordStoreTest, UpgradeKeepsAValueWithoutTabAsKeywordWithoutAction) {
    Put("ZELLA", "ReceiveSMSCommand1", "LONELY");
    Put("ZELLA", "ReceiveSMSCommand2", "NEXT\treplytext:hi\tNo");
    twoway::UpgradeResult result = twoway::UpgradeKeywordFormat();
    EXPECT_TRUE(result.written);
    EXPECT_EQ(List(), (std::vector<std::string>{"LONELY", "NEXT"}));
    EXPECT_EQ(Get("2Way-Keyword-LONELY", "Run"), "<absent>");
    EXPECT_EQ(Get("2Way-Keyword-NEXT", "ReplyText"), "hi");
}

TEST_F(KeywordStoreTest, UpgradeSkipsEmptyKeywordsSoLaterOnesStayListed) {
    // Quoted, because the reader trims a bare leading tab away.
    Load(
        "[ZELLA]\nReceiveSMSCommand1=\"\treplytext:orphan\tYes\"\n"
        "ReceiveSMSCommand2=LATER\treplytext:kept\tNo\n");
    twoway::UpgradeResult result = twoway::UpgradeKeywordFormat();
    EXPECT_EQ(result.converted, 1u);
    EXPECT_EQ(result.skipped, 1u);
    EXPECT_EQ(List(), std::vector<std::string>{"LATER"});
    EXPECT_EQ(Get("2Way-Keyword-", "ReplyText"), "<absent>");
}

TEST_F(KeywordStoreTest, UpgradeStopsAtTheFirstEmptyOldKey) {
    Put("ZELLA", "ReceiveSMSCommand1", "A\treplytext:1\tNo");
    Put("ZELLA", "ReceiveSMSCommand3", "C\treplytext:3\tNo");
    EXPECT_EQ(twoway::UpgradeKeywordFormat().converted, 1u);
    EXPECT_EQ(List(), std::vector<std::string>{"A"});
}

TEST_F(KeywordStoreTest, UpgradeRunsOnlyOnce) {
    Put("ZELLA", "ReceiveSMSCommand1", "A\treplytext:1\tNo");
    EXPECT_TRUE(twoway::UpgradeKeywordFormat().ran);
    ASSERT_TRUE(twoway::RemoveKeyword("A"));
    EXPECT_FALSE(twoway::UpgradeKeywordFormat().ran);
    EXPECT_TRUE(List().empty());
}

TEST_F(KeywordStoreTest, UpgradeDoesNothingWithoutOldCommands) {
    Load("[ZELLA]\nReceiveSMSCommand2=B\treplytext:x\tNo\n");
    EXPECT_FALSE(twoway::UpgradeKeywordFormat().ran);
    EXPECT_EQ(Get("2Way-Keywords", "NewFormat"), "<absent>");
}

TEST_F(KeywordStoreTest, FailedUpgradeLeavesNewFormatUnsetForTheNextStart) {
    Put("ZELLA", "ReceiveSMSCommand1", "A\treplytext:1\tNo");
    // A directory in the place of the writer's side-car lock file makes every write fail,
    // even for root.
    ASSERT_TRUE(platform::DeleteFileChecked(ini_ + ".lock"));
    ASSERT_TRUE(platform::CreateDirectories(ini_ + ".lock/"));
    if (platform::WritePrivateProfileString(ini_, "Probe", "Key", std::string_view("x"))) {
        GTEST_SKIP() << "the INI writer no longer uses that lock file";
    }
    twoway::UpgradeResult result = twoway::UpgradeKeywordFormat();
    ASSERT_TRUE(platform::RemoveDirectory(ini_ + ".lock"));
    EXPECT_TRUE(result.ran);
    EXPECT_FALSE(result.written);
    EXPECT_EQ(Get("2Way-Keywords", "NewFormat"), "<absent>");
    EXPECT_TRUE(twoway::UpgradeKeywordFormat().written);
    EXPECT_EQ(Get("2Way-Keywords", "NewFormat"), "Yes");
}

TEST_F(KeywordStoreTest, UpgradeOfTheFixtureFile) {
    const char* root = std::getenv("ZELLA_TEST_DATA");
    std::string fixture;
    ASSERT_TRUE(platform::ReadFile(
        std::string(root ? root : "tests/data") + "/config/old_keywords.ini", fixture));
    Load(fixture);
    twoway::UpgradeResult result = twoway::UpgradeKeywordFormat();
    EXPECT_EQ(result.converted, 3u);
    EXPECT_EQ(List(), (std::vector<std::string>{"HELP", "INFO##4477", "JOIN##+4470 +4471"}));
    EXPECT_EQ(Get("2Way-Keyword-JOIN##+4470 +4471", "DListAdd"), "members");
    // Lines the upgrade does not own are kept as they were.
    std::string after;
    ASSERT_TRUE(platform::ReadFile(ini_, after));
    EXPECT_NE(after.find("; operator's note, kept"), std::string::npos);
}

}  // namespace
