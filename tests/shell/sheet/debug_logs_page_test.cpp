// The Debug Logs page through the headless host, on a fake clock.
#include "shell/sheet/debug_logs_page.h"

#include "platform/clock.h"
#include "tests/shell/sheet/page_fixture.h"

namespace pages_test {
namespace {

class DebugLogsPageTest : public PageFixture {
protected:
    void SetUp() override {
        PageFixture::SetUp();
        platform::SetClock(&clock_);
        platform::CreateDirectories(acctdb::GetLogDirectory());
    }
    void TearDown() override {
        platform::SetClock(nullptr);
        PageFixture::TearDown();
    }
    void WithDebugPage(const std::function<void(shell::DebugLogsPage&)>& body) {
        WithPage<shell::DebugLogsPage>(std::make_unique<shell::DebugLogsPage>(), body);
    }
    std::string Debug(std::size_t row) {
        return platform::GetPrivateProfileString(shell::DebugSwitchFile(row),
                                                 shell::kDebugLogRows[row].section, "Debug", "<none>");
    }
    void SetDebug(std::size_t row, const char* value) {
        platform::WritePrivateProfileString(shell::DebugSwitchFile(row),
                                            shell::kDebugLogRows[row].section, "Debug", value);
    }
    platform::FakeClock clock_;
};

TEST_F(DebugLogsPageTest, YesValuesCheckTheirBoxes) {
    SetDebug(0, "1");
    SetDebug(1, "TRUE");
    SetDebug(2, "No");
    WithDebugPage([&](shell::DebugLogsPage& page) {
        EXPECT_TRUE(page.Checked("smsDebug"));
        EXPECT_TRUE(page.Checked("mmscDebug"));
        EXPECT_FALSE(page.Checked("wapDebug"));
    });
}

TEST_F(DebugLogsPageTest, SwitchesLiveInTheirOwnFilesAndSections) {
    EXPECT_EQ(dataDir_ + "ZELLA.INI", shell::DebugSwitchFile(0));
    EXPECT_EQ(config::MmscIniPath(), shell::DebugSwitchFile(1));
    EXPECT_EQ(dataDir_ + "WAPLNK.INI", shell::DebugSwitchFile(2));
}

TEST_F(DebugLogsPageTest, ApplyWritesYesAndDeletesTheKeyOfClearedBoxes) {
    SetDebug(0, "Yes");
    WithDebugPage([&](shell::DebugLogsPage& page) {
        page.UserClick("smsDebug");
        page.UserClick("wapDebug");
        EXPECT_TRUE(page.GetSheet()->Changed());
        EXPECT_TRUE(page.GetSheet()->PressApply());
    });
    EXPECT_EQ("<none>", Debug(0));
    EXPECT_EQ("<none>", Debug(1));
    EXPECT_EQ("Yes", Debug(2));
    std::string ini;
    ASSERT_TRUE(platform::ReadFile(dataDir_ + "ZELLA.INI", ini));
    EXPECT_EQ(std::string::npos, ini.find("Debug")) << ini;
}

// A write that really fails (a directory where WAPLNK.INI should be; a full disk or a
// read-only data directory ends the same way) is reported, and Apply is refused so the
// sheet still holds the change.
TEST_F(DebugLogsPageTest, FailedWriteIsReportedAndApplyRefused) {
    ASSERT_TRUE(platform::CreateDirectories(shell::DebugSwitchFile(2) + "/"));
    WithDebugPage([&](shell::DebugLogsPage& page) {
        page.UserClick("wapDebug");
        EXPECT_FALSE(page.GetSheet()->PressApply());
        EXPECT_TRUE(page.GetSheet()->Changed());
    });
    EXPECT_TRUE(Saw("box: Unable to save the debug log settings to " + shell::DebugSwitchFile(2)))
        << host_.TranscriptText();
    EXPECT_EQ(1, Count("Unable to save"));
}

TEST_F(DebugLogsPageTest, OpeningThePageIsNoChange) {
    SetDebug(1, "Yes");
    WithDebugPage([&](shell::DebugLogsPage& page) { EXPECT_FALSE(page.GetSheet()->Changed()); });
}

TEST_F(DebugLogsPageTest, ViewFollowsTheLogFileWithinFiveSeconds) {
    std::string log = shell::DebugLogPath(1);
    WithDebugPage([&](shell::DebugLogsPage& page) {
        EXPECT_FALSE(page.Enabled("mmscView"));
        ASSERT_TRUE(platform::WriteFileAtomic(log, "trace\n"));
        host_.Wait(4999);
        EXPECT_FALSE(page.Enabled("mmscView"));
        host_.Wait(1);
        EXPECT_TRUE(page.Enabled("mmscView"));
        EXPECT_FALSE(page.Enabled("smsView"));
        ASSERT_TRUE(platform::DeleteFileChecked(log));
        host_.Wait(shell::DebugLogsPage::kViewMs);
        EXPECT_FALSE(page.Enabled("mmscView"));
    });
}

TEST_F(DebugLogsPageTest, ExistingLogIsViewableAtOnceAndOpensInTheShell) {
    std::string log = shell::DebugLogPath(0);
    ASSERT_TRUE(platform::WriteFileAtomic(log, "trace\n"));
    WithDebugPage([&](shell::DebugLogsPage& page) {
        ASSERT_TRUE(page.Enabled("smsView"));
        page.UserClick("smsView");
    });
    EXPECT_NE(std::string::npos, host_.TranscriptText().find("shell: open " + log))
        << host_.TranscriptText();
}

}  // namespace
}  // namespace pages_test
