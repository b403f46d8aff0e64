// The statistics dialog of a connection: its exact lines from real counter files, the
// sent/received choice, and the window driven through the headless host.
#include <gtest/gtest.h>

#include <vector>

#include "config/connection_stats.h"
#include "config/counters.h"
#include "counters_fixture.h"
#include "ui/headless_host.h"

namespace {

using Lines = std::vector<std::string>;

constexpr const char* kConnection = "SMPP - 10.0.0.1:2775";

class ConnectionStatsTest : public CountersTest {
protected:
    std::string SentPath(int year) { return config::ConnectionCounterPath(kConnection, year, false); }
    std::string ReceivedPath(int year) {
        return config::ConnectionCounterPath(kConnection, year, true);
    }
};

TEST_F(ConnectionStatsTest, CounterFilesSitInPrivateDataDirectoryUnderTheFileName) {
    EXPECT_EQ(SentPath(2024), dir_ + "SMPP - 10.0.0.1-2775-2024.CTR");
    EXPECT_EQ(ReceivedPath(2024), dir_ + "SMPP - 10.0.0.1-2775-2024-RECEIVED.CTR");
}

TEST_F(ConnectionStatsTest, LeapYearListsDaysAndMonthTotalsWithTwentyNinthOfFebruary) {
    WriteCounters(SentPath(2024), {{0, 5}, {30, 1}, {59, 2}, {60, 3}, {365, 7}});
    Lines expected = {
        "January 1, 2024\t5 messages",    "January 31, 2024\t1 messages",
        "   TOTAL - January 2024\t6 messages",
        "February 29, 2024\t2 messages",  "   TOTAL - February 2024\t2 messages",
        "March 1, 2024\t3 messages",      "   TOTAL - March 2024\t3 messages",
        "December 31, 2024\t7 messages",  "   TOTAL - December 2024\t7 messages",
    };
    EXPECT_EQ(config::ConnectionStatsLines(kConnection, false, 2024), expected);
}

TEST_F(ConnectionStatsTest, OtherYearsHaveNoTwentyNinthAndNoCounter365) {
    WriteCounters(SentPath(2025), {{58, 1}, {59, 4}, {364, 2}, {365, 999}});
    Lines expected = {
        "February 28, 2025\t1 messages", "   TOTAL - February 2025\t1 messages",
        "March 1, 2025\t4 messages",     "   TOTAL - March 2025\t4 messages",
        "December 31, 2025\t2 messages", "   TOTAL - December 2025\t2 messages",
    };
    EXPECT_EQ(config::ConnectionStatsLines(kConnection, false, 2025), expected);
}

TEST_F(ConnectionStatsTest, YearsRunFromTwoThousandToThisYearWhereFilesExist) {
    WriteCounters(SentPath(1999), {{0, 1}});
    WriteCounters(SentPath(2000), {{0, 1}});
    WriteCounters(SentPath(2010), {{0, 2}});
    WriteCounters(SentPath(2027), {{0, 3}});  // a year still to come
    Lines expected = {
        "January 1, 2000\t1 messages", "   TOTAL - January 2000\t1 messages",
        "January 1, 2010\t2 messages", "   TOTAL - January 2010\t2 messages",
    };
    EXPECT_EQ(config::ConnectionStatsLines(kConnection, false, 2026), expected);
}

TEST_F(ConnectionStatsTest, MonthTotalIsNotCutAtThirtyTwoBits) {
    WriteCounters(SentPath(2025), {{0, 4'000'000'000u}, {1, 1'000'000'000u}});
    Lines lines = config::ConnectionStatsLines(kConnection, false, 2025);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[2], "   TOTAL - January 2025\t5000000000 messages");
}

TEST_F(ConnectionStatsTest, DamagedFilesListWhatTheyHold) {
    WriteRaw(SentPath(2021), "");                 // empty: nothing
    WriteCounters(SentPath(2022), {{0, 9}}, 4);   // 4 bytes: 1 January only
    WriteCounters(SentPath(2023), {{0, 1}, {1, 2}}, 6);  // short: partial counter is zero
    Lines expected = {
        "January 1, 2022\t9 messages", "   TOTAL - January 2022\t9 messages",
        "January 1, 2023\t1 messages", "   TOTAL - January 2023\t1 messages",
    };
    EXPECT_EQ(config::ConnectionStatsLines(kConnection, false, 2023), expected);
}

TEST_F(ConnectionStatsTest, DialogShowsSentFirstThenReceivedWithLastLineSelected) {
    SetToday(2025, 6, 15);
    WriteCounters(SentPath(2025), {{0, 5}, {40, 6}});
    WriteCounters(ReceivedPath(2024), {{100, 8}});

    ui::HeadlessHost host;
    Lines sent, received;
    int sentSelection = -2, receivedSelection = -2;
    bool sentChosen = false, receivedChosen = false;
    host.QueueDialog("DIALOG_STATS", [&](ui::Dialog& d) {
        sent = d.Items("list");
        sentSelection = d.Selection("list");
        sentChosen = d.Checked("sent") && !d.Checked("received");
        d.UserClick("received");
        received = d.Items("list");
        receivedSelection = d.Selection("list");
        receivedChosen = d.Checked("received") && !d.Checked("sent");
        d.UserClick(ui::IDOK);
    });
    config::ShowConnectionStats(host, kConnection);

    EXPECT_EQ(host.Transcript(), (Lines{"open: Statistics", "close: Statistics = OK"}));
    EXPECT_FALSE(host.Failed());
    EXPECT_EQ(host.UnusedAnswers(), 0);
    EXPECT_TRUE(sentChosen);
    EXPECT_EQ(sent, (Lines{"January 1, 2025\t5 messages", "   TOTAL - January 2025\t5 messages",
                           "February 10, 2025\t6 messages",
                           "   TOTAL - February 2025\t6 messages"}));
    EXPECT_EQ(sentSelection, 3);
    EXPECT_TRUE(receivedChosen);
    EXPECT_EQ(received, (Lines{"April 10, 2024\t8 messages", "   TOTAL - April 2024\t8 messages"}));
    EXPECT_EQ(receivedSelection, 1);
}

TEST_F(ConnectionStatsTest, DialogWithoutFilesHasEmptyListAndClosesOnClose) {
    SetToday(2025, 6, 15);
    ui::HeadlessHost host;
    Lines items = {"not read"};
    int selection = -2;
    host.QueueDialog("DIALOG_STATS", [&](ui::Dialog& d) {
        items = d.Items("list");
        selection = d.Selection("list");
        d.UserClose();
    });
    config::ShowConnectionStats(host, kConnection);
    EXPECT_TRUE(items.empty());
    EXPECT_EQ(selection, -1);
    EXPECT_EQ(host.Transcript(), (Lines{"open: Statistics", "close: Statistics = Cancel"}));
}

TEST(ConnectionStatsTemplate, HasTheDialogsLabels) {
    ui::Template t = config::ConnectionStatsTemplate();
    EXPECT_EQ(t.id, "DIALOG_STATS");
    EXPECT_EQ(t.title, "Statistics");
    std::vector<std::string> labels;
    ui::ForEachControl(t.controls, [&](const ui::Control& c) {
        if (c.kind == ui::Kind::Radio || c.kind == ui::Kind::Button) labels.push_back(c.label);
    });
    EXPECT_EQ(labels, (Lines{"&Messages Sent", "Messages &Received", "&Close"}));
}

}  // namespace
