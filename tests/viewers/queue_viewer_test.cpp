// The queue viewers on the headless host over real spool directories: what the rows
// show, the summary, sorting, refresh, deleting (a held file is left to the retry
// worker), the received-SMS text decoding, stale route folders and the MMS details.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/time.h>
#include <utime.h>

#include <sys/stat.h>

#include <chrono>
#include <thread>

#include "acctdb/acctdb.h"
#include "config/config_store.h"
#include "platform/files.h"
#include "tests/support/temp_dir.h"
#include "tests/support/unprivileged.h"
#include "ui/headless_host.h"
#include "viewers/queue_viewer.h"
#include "viewers/spool_scan.h"

namespace {

class QueueViewerTest : public ::testing::Test {
protected:
    void SetUp() override {
        data_ = std::make_unique<zella_test::ScopedDataDir>("viewers");
        dir_ = data_->Path();
        ASSERT_TRUE(platform::WriteFileAtomic(dir_ + "ZELLA.INI", "[ZELLA]\r\n"));
        config::SetConfigurationPath(dir_ + "ZELLA.INI");
        acctdb::SMSIniSetFilename(dir_ + "ZELLA.INI");
    }
    void TearDown() override { acctdb::SMSIniSetFilename(""); }
    void Put(const std::string& path, const std::string& text) {
        platform::CreateDirectories(path.substr(0, path.rfind('/') + 1));
        ASSERT_TRUE(platform::WriteFileAtomic(path, text));
    }
    std::unique_ptr<zella_test::ScopedDataDir> data_;
    std::string dir_;
    ui::HeadlessHost host_;
};

TEST_F(QueueViewerTest, OutboundQueueListsSortsRefreshesAndDeletes) {
    const std::string q = config::QueueDirectory();
    Put(q + "A1.REQ", "[SMS]\r\nPhoneNumber=+4402\r\nSubmitUser=zoe\r\n");
    Put(q + "COM7-/B2.REQ", "[SMS]\nPhoneNumber=+4401\nSubmitUser=adam\n[ErrorDetail]\nRetryCount=3\nLastErrorInfo=Timeout\n");
    Put(q + "C3.REQ", "[SMS]\r\nData=no recipient\r\n");
    Put(q + "ignored.TXT", "[SMS]\r\nPhoneNumber=+1\r\n");
    EXPECT_EQ("Outbound SMS Message Queue:  Empty", viewers::ViewerSummary(viewers::ViewerKind::Outbound, 0));
    EXPECT_EQ("Received SMS Messages:  1 message", viewers::ViewerSummary(viewers::ViewerKind::ReceivedSms, 1));

    host_.QueueDialog("DIALOG_SMSQ", [&](ui::Dialog& d) {
        EXPECT_EQ("Outbound SMS Queue", d.Title());
        EXPECT_EQ("Outbound SMS Message Queue:  3 messages", d.Text("summary"));
        ASSERT_EQ(2, d.RowCount("rows"));
        std::vector<std::string> rows = {d.Row("rows", 0)[0], d.Row("rows", 1)[0]};
        std::sort(rows.begin(), rows.end());
        EXPECT_EQ((std::vector<std::string>{"A1.REQ", "B2.REQ"}), rows);
        const int b = d.Row("rows", 0)[0] == "B2.REQ" ? 0 : 1;
        EXPECT_EQ((std::vector<std::string>{"B2.REQ", "adam", "+4401", d.Row("rows", b)[3],
                                            "Retry -  3 attempt(s) - Timeout"}),
                  d.Row("rows", b));
        EXPECT_EQ("Queued", d.Row("rows", 1 - b)[4]);
        EXPECT_EQ(19u, d.Row("rows", b)[3].size());  // "YYYY-MM-DD HH:MM:SS"

        // A refresh picks up a new request and keeps the selected row selected.
        d.UserSelectRows("rows", {b});
        Put(q + "D4.REQ", "[SMS]\r\nPhoneNumber=+4400\r\n");
        d.UserTimer(1);
        EXPECT_EQ(3, d.RowCount("rows"));
        ASSERT_EQ(1u, d.SelectedRows("rows").size());
        EXPECT_EQ("B2.REQ", d.Row("rows", d.SelectedRows("rows")[0])[0]);

        // Two rows deleted at once; the one the service holds goes to the retry worker.
        platform::FileLock held(q + "COM7-/B2.REQ", true, false);
        ASSERT_TRUE(held.Locked());
        const int a = d.Row("rows", 0)[0] == "A1.REQ" ? 0 : d.Row("rows", 1)[0] == "A1.REQ" ? 1 : 2;
        d.UserSelectRows("rows", {std::min(a, d.SelectedRows("rows")[0]), std::max(a, d.SelectedRows("rows")[0])});
        d.UserClick("delete");
        EXPECT_EQ(1, d.RowCount("rows"));
        EXPECT_EQ("D4.REQ", d.Row("rows", 0)[0]);
        EXPECT_FALSE(platform::FileExists(q + "A1.REQ"));
        EXPECT_TRUE(platform::FileExists(q + "COM7-/B2.REQ"));
        held = platform::FileLock();
        for (int i = 0; i < 200 && platform::FileExists(q + "COM7-/B2.REQ"); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_FALSE(platform::FileExists(q + "COM7-/B2.REQ"));
        d.UserClick(ui::IDCANCEL);
    });
    host_.QueueAnswer("Delete 2 messages?", ui::kYes);
    viewers::OpenQueueViewer(host_, viewers::ViewerKind::Outbound);
    EXPECT_FALSE(host_.Failed()) << host_.TranscriptText();
    EXPECT_EQ(0, host_.UnusedAnswers());
}

// The operator clicks the Recipient header: ascending, then descending, the selected
// request staying selected; without a selection nothing gets selected.
TEST_F(QueueViewerTest, RecipientHeaderClicksSortBothWaysKeepingTheSelection) {
    const std::string q = config::QueueDirectory();
    Put(q + "R1.REQ", "[SMS]\r\nPhoneNumber=+4403\r\n");
    Put(q + "COM7-/R2.REQ", "[SMS]\r\nPhoneNumber=+4401\r\n");
    Put(q + "R3.REQ", "[SMS]\r\nPhoneNumber=+4402\r\n");
    auto recipients = [](ui::Dialog& d) {
        std::vector<std::string> shown;
        for (int row = 0; row < d.RowCount("rows"); ++row) shown.push_back(d.Row("rows", row)[2]);
        return shown;
    };
    auto selectedId = [](ui::Dialog& d) {
        const std::vector<int> rows = d.SelectedRows("rows");
        return rows.size() == 1 ? d.Row("rows", rows[0])[0] : std::string("(none)");
    };
    host_.QueueDialog("DIALOG_SMSQ", [&](ui::Dialog& d) {
        ASSERT_EQ(3, d.RowCount("rows"));
        EXPECT_EQ(3, d.State("rows").sortColumn);  // opened oldest submit time first
        EXPECT_FALSE(d.State("rows").sortDescending);
        for (int row = 0; row < 3; ++row)
            if (d.Row("rows", row)[0] == "R2.REQ") d.UserSelectRows("rows", {row});

        d.UserColumnClick("rows", 2);
        EXPECT_EQ(2, d.ClickedColumn("rows"));
        EXPECT_EQ((std::vector<std::string>{"+4401", "+4402", "+4403"}), recipients(d));
        EXPECT_EQ("R2.REQ", selectedId(d));
        EXPECT_EQ(2, d.State("rows").sortColumn);
        EXPECT_FALSE(d.State("rows").sortDescending);

        d.UserColumnClick("rows", 2);
        EXPECT_EQ((std::vector<std::string>{"+4403", "+4402", "+4401"}), recipients(d));
        EXPECT_EQ("R2.REQ", selectedId(d));
        EXPECT_TRUE(d.State("rows").sortDescending);

        // The refresh keeps the order the operator chose.
        Put(q + "R4.REQ", "[SMS]\r\nPhoneNumber=+4400\r\n");
        d.UserTimer(1);
        EXPECT_EQ((std::vector<std::string>{"+4403", "+4402", "+4401", "+4400"}), recipients(d));
        EXPECT_EQ("R2.REQ", selectedId(d));

        d.UserSelectRows("rows", {});
        d.UserColumnClick("rows", 1);
        EXPECT_EQ("(none)", selectedId(d));
        d.UserColumnClick("rows", 9);  // no such column: ignored
        EXPECT_EQ(1, d.ClickedColumn("rows"));
        d.UserClick(ui::IDCANCEL);
    });
    viewers::OpenQueueViewer(host_, viewers::ViewerKind::Outbound);
    EXPECT_FALSE(host_.Failed()) << host_.TranscriptText();
}

TEST_F(QueueViewerTest, SortOrderToggles) {
    EXPECT_EQ(-4, viewers::ToggleSortState(4, 3));  // a first click on Submit Time: newest first
    EXPECT_EQ(3, viewers::ToggleSortState(4, 2));
    EXPECT_EQ(-3, viewers::ToggleSortState(3, 2));
    EXPECT_EQ(3, viewers::ToggleSortState(-3, 2));
    viewers::SpoolRowList list;
    for (const char* name : {"b", "C", "a"}) {
        list.rows.push_back(std::make_unique<viewers::SpoolRow>());
        list.rows.back()->fields = {name, name};
    }
    viewers::SortRows(list, 1);
    EXPECT_EQ("a", list.rows[0]->Field(1));
    EXPECT_EQ("C", list.rows[2]->Field(1));
    viewers::SortRows(list, -1);
    EXPECT_EQ("C", list.rows[0]->Field(1));
}

TEST_F(QueueViewerTest, ReceivedSmsDecodesTextAndRemovesStaleRouteFolders) {
    const std::string in = config::InboundSmsDirectory();
    Put(in + "1.SMS", "[SMS-IN]\nSender=+331\nPhoneNumber=+332\nbinary=Yes\ndcs=08\nData=004100420043\n");
    Put(in + "2.IN", "[SMS-IN]\nSender=+333\nbinary=Yes\ndcs=04\nData=004100420043\n");
    Put(in + "3.REC", "[SMS-IN]\nData=Line one\\r\\nLine two\n");
    ASSERT_TRUE(platform::CreateDirectories(in + "old/"));
    ASSERT_TRUE(platform::CreateDirectories(in + "new/"));
    const time_t sixMinutesAgo = time(nullptr) - 360;
    utimbuf times{sixMinutesAgo, sixMinutesAgo};
    ASSERT_EQ(0, utime((in + "old").c_str(), &times));
    viewers::SpoolRowList list;
    viewers::ScanReceivedSms(list);
    ASSERT_EQ(3u, list.rows.size());
    EXPECT_EQ(3u, list.matched);
    viewers::SortRows(list, 1);
    EXPECT_EQ("ABC", list.rows[0]->Field(6));
    EXPECT_EQ("Received", list.rows[0]->Field(5));
    EXPECT_EQ("004100420043", list.rows[1]->Field(6));
    EXPECT_EQ("Queued", list.rows[1]->Field(5));
    EXPECT_EQ("Line one\r\nLine two", list.rows[2]->Field(6));
    EXPECT_FALSE(platform::DirectoryExists(in + "old"));
    EXPECT_TRUE(platform::DirectoryExists(in + "new"));
    EXPECT_TRUE(platform::DirectoryExists(in));
}

TEST_F(QueueViewerTest, ReceivedMmsRowsDetailsAndDelete) {
    const std::string mms = config::InboundMmsDirectory();
    Put(mms + "M1.HDR", "From: +4479/TYPE=PLMN\r\nTo:  +4470/type=plmn\r\nSubject: Hello\r\n"
                        "X-QuvMMS-Content-Location: M1\\image.jpg;image/jpeg\r\n"
                        "X-QuvMMS-Content-Location: M1\\text\r\n");
    Put(mms + "M1/image.jpg", "jpeg");
    host_.QueueDialog("DIALOG_SMSQ", [&](ui::Dialog& d) {
        ASSERT_EQ(1, d.RowCount("rows"));
        EXPECT_EQ((std::vector<std::string>{"M1.HDR", "+4479", "+4470", d.Row("rows", 0)[3], "Hello"}),
                  d.Row("rows", 0));
        d.UserSelectRows("rows", {0});
        host_.QueueDialog("DIALOG_MMSVIEW", [&](ui::Dialog& details) {
            EXPECT_EQ((std::vector<std::string>{"image.jpg (image/jpeg)\tM1\\image.jpg", "text\tM1\\text"}),
                      details.Items("parts"));
            EXPECT_EQ(0, details.Selection("parts"));
            details.UserClick("view");
            details.UserClick(ui::IDOK);
        });
        d.UserClick("view");
        d.UserClick("delete");
        EXPECT_EQ(0, d.RowCount("rows"));
        d.UserClick(ui::IDCANCEL);
    });
    host_.QueueAnswer("Delete Message?", ui::kYes);
    viewers::OpenQueueViewer(host_, viewers::ViewerKind::ReceivedMms);
    EXPECT_FALSE(host_.Failed()) << host_.TranscriptText();
    EXPECT_NE(std::string::npos, host_.TranscriptText().find("shell: open " + mms + "M1/image.jpg"))
        << host_.TranscriptText();
    EXPECT_FALSE(platform::FileExists(mms + "M1.HDR"));
    EXPECT_FALSE(platform::DirectoryExists(mms + "M1"));
}


// Nobody, who may write in a data directory shared too widely, swaps the route folders
// the viewers listed for links to root's own folders before root presses Delete: the
// deletes must land in the folders that were scanned, and root's files stay.
TEST_F(QueueViewerTest, DeleteAfterRouteFolderSwappedForLinkStaysInTheScannedFolder) {
    if (!zella_test::CanActAsNobody()) GTEST_SKIP() << "needs root and setpriv";
    zella_test::TempDir victim("victim");
    Put(victim.File("M1.HDR"), "root's header");
    Put(victim.File("M1/keep.txt"), "root's part");
    Put(victim.File("B2.REQ"), "root's request");
    Put(victim.File("S1.SMS"), "root's message");
    struct Case {
        viewers::ViewerKind kind;
        std::string root, scanned, deleted;
    } cases[] = {
        {viewers::ViewerKind::ReceivedMms, config::InboundMmsDirectory(), "R1/M1.HDR", "R1/M1/a.jpg"},
        {viewers::ViewerKind::Outbound, config::QueueDirectory(), "R1/B2.REQ", ""},
        {viewers::ViewerKind::ReceivedSms, config::InboundSmsDirectory(), "R1/S1.SMS", ""},
    };
    for (const Case& c : cases) {
        Put(c.root + c.scanned, "From: +1\r\nTo: +2\r\n[SMS]\r\nPhoneNumber=+2\r\n");
        if (!c.deleted.empty()) Put(c.root + c.deleted, "part");
    }
    ASSERT_EQ(0, system(("chmod -R a+rwX " + dir_).c_str()));
    for (const Case& c : cases) {
        host_.QueueDialog("DIALOG_SMSQ", [&](ui::Dialog& d) {
            ASSERT_EQ(1, d.RowCount("rows"));
            ASSERT_TRUE(zella_test::RunAsNobody("mv " + c.root + "R1 " + c.root + "R1.old && ln -s " +
                                                victim.Path() + " " + c.root + "R1"));
            d.UserSelectRows("rows", {0});
            d.UserClick("delete");
            d.UserClick(ui::IDCANCEL);
        });
        host_.QueueAnswer("Delete Message?", ui::kYes);
        viewers::OpenQueueViewer(host_, c.kind);
        const std::string name = c.scanned.substr(3);
        EXPECT_FALSE(platform::PathExists(c.root + "R1.old/" + name)) << c.scanned;
        if (!c.deleted.empty()) {
            EXPECT_FALSE(platform::PathExists(c.root + "R1.old/M1")) << c.scanned;
        }
    }
    for (const char* kept : {"M1.HDR", "M1/keep.txt", "B2.REQ", "S1.SMS"})
        EXPECT_TRUE(platform::FileExists(victim.File(kept))) << kept;
    EXPECT_FALSE(host_.Failed()) << host_.TranscriptText();
}

// What cannot be read as a received message is not a row: a FIFO, a link (to a real
// message elsewhere), and a route folder that is a link. The readable one is listed.
TEST_F(QueueViewerTest, ReceivedFilesThatCannotBeReadAreNotListed) {
    zella_test::TempDir elsewhere("elsewhere");
    Put(elsewhere.File("X.SMS"), "[SMS]\r\nSender=+9\r\n");
    Put(elsewhere.File("X.HDR"), "From: +9\r\n");
    for (const std::string& root : {config::InboundSmsDirectory(), config::InboundMmsDirectory()}) {
        const std::string ext = root == config::InboundSmsDirectory() ? ".SMS" : ".HDR";
        Put(root + "OK" + ext, "[SMS]\r\nSender=+1\r\nFrom: +1\r\n");
        ASSERT_EQ(0, mkfifo((root + "FIFO" + ext).c_str(), 0600));
        ASSERT_EQ(0, symlink(elsewhere.File("X" + ext).c_str(), (root + "LINK" + ext).c_str()));
        ASSERT_EQ(0, symlink(elsewhere.Path().c_str(), (root + "ROUTE").c_str()));
    }
    for (viewers::ViewerKind kind : {viewers::ViewerKind::ReceivedSms, viewers::ViewerKind::ReceivedMms}) {
        host_.QueueDialog("DIALOG_SMSQ", [&](ui::Dialog& d) {
            ASSERT_EQ(1, d.RowCount("rows")) << d.Title();
            EXPECT_EQ("+1", d.Row("rows", 0)[1]) << d.Title();
            EXPECT_NE(std::string::npos, d.Text("summary").find(":  1 message")) << d.Text("summary");
            d.UserClick(ui::IDCANCEL);
        });
        viewers::OpenQueueViewer(host_, kind);
    }
    EXPECT_FALSE(host_.Failed()) << host_.TranscriptText();
}
}  // namespace

// The scan converts many file times at once; around a clock change (and a zone whose
// offset is not whole hours) every row must still show what a single conversion shows.
TEST_F(QueueViewerTest, OutboundTimesMatchSingleConversionAcrossAClockChange) {
    const char* old = std::getenv("TZ");
    const std::string saved = old != nullptr ? old : "";
    setenv("TZ", "XST-5:45XDT,M3.5.0/2,M10.5.0/3", 1);
    const std::string q = config::QueueDirectory();
    // From 20:00 UTC on 30 March and 26 October 2024, each two hours holding a change.
    std::vector<std::int64_t> seconds;
    for (std::int64_t base : {1711828800LL, 1729972800LL})
        for (int m = 0; m < 120; m += 7) seconds.push_back(base + m * 60 + m % 60);
    for (std::size_t i = 0; i < seconds.size(); ++i) {
        const std::string path = q + "R/" + std::to_string(i) + ".REQ";
        Put(path, "[SMS]\r\nPhoneNumber=+1\r\n");
        const struct timeval times[2] = {{static_cast<time_t>(seconds[i]), 0}, {static_cast<time_t>(seconds[i]), 0}};
        ASSERT_EQ(0, utimes(path.c_str(), times));
    }
    viewers::SpoolRowList list;
    viewers::ScanOutboundQueue(list);
    ASSERT_EQ(seconds.size(), list.rows.size());
    for (const auto& row : list.rows) {
        const std::size_t i = std::stoul(row->Field(1));
        EXPECT_EQ(viewers::SpoolTimeText(seconds[i] * 1000), row->Field(4)) << row->Field(1);
    }
    if (old != nullptr) setenv("TZ", saved.c_str(), 1);
    else unsetenv("TZ");
}

namespace {

// The keyboard on the queue list: a header click moves the selected request and the list
// scrolls to it; letters jump to a request; Delete asks first, and Enter on that
// question keeps the file; Enter opens the request; Insert means nothing here.
TEST_F(QueueViewerTest, ListKeysViewDeleteAndSearchWithTheSafeAnswerAsDefault) {
    const std::string q = config::QueueDirectory();
    Put(q + "K1.REQ", "[SMS]\r\nPhoneNumber=+4403\r\n");
    Put(q + "K2.REQ", "[SMS]\r\nPhoneNumber=+4401\r\n");
    Put(q + "M3.REQ", "[SMS]\r\nPhoneNumber=+4402\r\n");
    auto selectedId = [](ui::Dialog& d) {
        const std::vector<int> rows = d.SelectedRows("rows");
        return rows.size() == 1 ? d.Row("rows", rows[0])[0] : std::string("(none)");
    };
    host_.QueueDialog("DIALOG_SMSQ", [&](ui::Dialog& d) {
        ASSERT_EQ(3, d.RowCount("rows"));
        EXPECT_TRUE(d.UserTypeAhead("rows", "m"));
        EXPECT_EQ("M3.REQ", selectedId(d));
        EXPECT_EQ(d.SelectedRows("rows")[0], d.State("rows").visibleRow);
        EXPECT_FALSE(d.UserTypeAhead("rows", "mz"));  // no match: the selection stays
        EXPECT_EQ("M3.REQ", selectedId(d));

        d.UserColumnClick("rows", 2);  // by recipient: M3 moves to the middle
        ASSERT_EQ("M3.REQ", selectedId(d));
        EXPECT_EQ(1, d.SelectedRows("rows")[0]);
        EXPECT_EQ(1, d.State("rows").visibleRow);

        EXPECT_TRUE(d.UserKey("rows", ui::Key::Delete));
        EXPECT_TRUE(platform::FileExists(q + "M3.REQ"));
        EXPECT_EQ(3, d.RowCount("rows"));
        EXPECT_FALSE(d.UserKey("rows", ui::Key::Insert));
        EXPECT_TRUE(d.UserKey("rows", ui::Key::Enter));
        d.UserClick(ui::IDCANCEL);
    });
    viewers::OpenQueueViewer(host_, viewers::ViewerKind::Outbound);
    EXPECT_NE(host_.TranscriptText().find("box: Delete Message? [Yes/No] -> No\n"), std::string::npos)
        << host_.TranscriptText();
    EXPECT_NE(host_.TranscriptText().find("shell: open " + q + "M3.REQ"), std::string::npos)
        << host_.TranscriptText();
}

}  // namespace
