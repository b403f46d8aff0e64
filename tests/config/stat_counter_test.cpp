// Reading the statistics counters: the day index, the 7- and 30-day windows reaching back
// into the previous year's file, the current-value form, and damaged counter files.
#include <gtest/gtest.h>

#include <limits>

#include "config/counter_file.h"
#include "config/counters.h"
#include "counters_fixture.h"

namespace {

using config::CounterDayIndex;
using config::ReadStatCounter;
using config::StatCounterPath;

class StatCounterTest : public CountersTest {};

TEST(CounterDayIndex, FirstOfMarchIsSixtyOnlyInYearsDivisibleByFour) {
    EXPECT_EQ(CounterDayIndex(2024, 3, 1), 60);
    EXPECT_EQ(CounterDayIndex(2023, 3, 1), 59);
    // The services lay out their files by the four-year rule alone, century years too.
    EXPECT_EQ(CounterDayIndex(2100, 3, 1), 60);
    EXPECT_EQ(CounterDayIndex(2000, 3, 1), 60);
}

TEST(CounterDayIndex, CountsFromZeroForFirstOfJanuaryToTheLastCounter) {
    EXPECT_EQ(CounterDayIndex(2025, 1, 1), 0);
    EXPECT_EQ(CounterDayIndex(2025, 2, 28), 58);
    EXPECT_EQ(CounterDayIndex(2024, 2, 29), 59);
    EXPECT_EQ(CounterDayIndex(2025, 12, 31), 364);
    EXPECT_EQ(CounterDayIndex(2024, 12, 31), 365);
}

TEST(CounterDayIndex, BadCalendarTimeStaysInsideTheFile) {
    EXPECT_EQ(CounterDayIndex(2024, 13, 40), 365);
    EXPECT_EQ(CounterDayIndex(2024, 0, 0), 0);
}

TEST_F(StatCounterTest, ThirdOfJanuaryTakesLastFourDaysOfPreviousYear) {
    SetToday(2026, 1, 3);
    WriteCounters(StatCounterPath("SMSSENT", 2026), {{0, 1}, {1, 2}, {2, 4}, {3, 9999}});
    // 2025 has 365 days: its last counter is 364; counter 365 is never a day of it.
    WriteCounters(StatCounterPath("SMSSENT", 2025),
                  {{365, 50000}, {364, 10}, {363, 20}, {362, 40}, {361, 80}, {360, 1000},
                   {338, 300}, {337, 7000}});
    config::StatCounts counts = ReadStatCounter("SMSSENT");
    EXPECT_EQ(counts.today, 4u);
    EXPECT_EQ(counts.last7, 7u + 150u);
    // 3 days of 2026 and 27 of 2025: counters 364 down to 338.
    EXPECT_EQ(counts.last30, 7u + 150u + 1000u + 300u);
}

TEST_F(StatCounterTest, ThirdOfJanuaryAfterLeapYearStartsAtCounter365) {
    SetToday(2025, 1, 3);
    WriteCounters(StatCounterPath("SMSRECEIVED", 2025), {{2, 1}});
    WriteCounters(StatCounterPath("SMSRECEIVED", 2024),
                  {{365, 10}, {364, 20}, {363, 40}, {362, 80}, {361, 1000}});
    config::StatCounts counts = ReadStatCounter("SMSRECEIVED");
    EXPECT_EQ(counts.today, 1u);
    EXPECT_EQ(counts.last7, 151u);
    EXPECT_EQ(counts.last30, 1151u);
}

TEST_F(StatCounterTest, FirstOfMarchInLeapYearReadsCounterSixty) {
    SetToday(2028, 3, 1);
    WriteCounters(StatCounterPath("SMSFAILED", 2028), {{59, 5}, {60, 7}, {61, 100}});
    config::StatCounts counts = ReadStatCounter("SMSFAILED");
    EXPECT_EQ(counts.today, 7u);
    EXPECT_EQ(counts.last7, 12u);
}

TEST_F(StatCounterTest, FirstOfMarchInOtherYearReadsCounterFiftyNine) {
    SetToday(2027, 3, 1);
    WriteCounters(StatCounterPath("SMSFAILED", 2027), {{59, 5}, {60, 7}});
    EXPECT_EQ(ReadStatCounter("SMSFAILED").today, 5u);
}

TEST_F(StatCounterTest, WindowsStopAtTheirLengthWithinTheYear) {
    SetToday(2026, 6, 15);  // index 165
    std::map<int, std::uint32_t> days;
    for (int i = 120; i <= 170; ++i) days[i] = 1;
    WriteCounters(StatCounterPath("MMSIN-USER", 2026), days);
    WriteCounters(StatCounterPath("MMSIN-USER", 2025), {{364, 1000}});
    config::StatCounts counts = ReadStatCounter("MMSIN-USER");
    EXPECT_EQ(counts.today, 1u);
    EXPECT_EQ(counts.last7, 7u);
    EXPECT_EQ(counts.last30, 30u);
}

TEST_F(StatCounterTest, ThirtiethOfJanuaryNeedsNoPreviousYear) {
    SetToday(2026, 1, 30);
    WriteCounters(StatCounterPath("SMSRETRY", 2026), {{0, 1}, {29, 2}});
    WriteCounters(StatCounterPath("SMSRETRY", 2025), {{364, 1000}});
    EXPECT_EQ(ReadStatCounter("SMSRETRY").last30, 3u);
}

TEST_F(StatCounterTest, CurrentValueFormGivesCounterZeroThreeTimes) {
    SetToday(2026, 1, 2);
    WriteCounters(config::CurrentValueCounterPath("SMSQSIZE"), {{0, 12}, {1, 99}});
    WriteCounters(StatCounterPath("SMSQSIZE", 2026), {{1, 500}});
    WriteCounters(StatCounterPath("SMSQSIZE", 2025), {{364, 500}});
    config::StatCounts counts = ReadStatCounter("SMSQSIZE");
    EXPECT_EQ(counts.today, 12u);
    EXPECT_EQ(counts.last7, 12u);
    EXPECT_EQ(counts.last30, 12u);
}

TEST_F(StatCounterTest, MissingFilesReadAsZero) {
    SetToday(2026, 1, 1);
    config::StatCounts counts = ReadStatCounter("MMSRETRIEVED");
    EXPECT_EQ(counts.today, 0u);
    EXPECT_EQ(counts.last7, 0u);
    EXPECT_EQ(counts.last30, 0u);
    EXPECT_EQ(ReadStatCounter("SMSQSIZE").today, 0u);
}

TEST_F(StatCounterTest, EmptyCounterFileReadsAsZero) {
    SetToday(2026, 1, 5);
    WriteRaw(StatCounterPath("SMSSENT", 2026), "");
    EXPECT_EQ(ReadStatCounter("SMSSENT").last30, 0u);
}

TEST_F(StatCounterTest, ShortCounterFileReadsZeroBeyondItsEndAndForAPartialCounter) {
    SetToday(2026, 1, 3);
    // Two whole counters and two bytes of the third.
    WriteCounters(StatCounterPath("SMSSENT", 2026), {{0, 3}, {1, 4}, {2, 0x0101}}, 10);
    config::StatCounts counts = ReadStatCounter("SMSSENT");
    EXPECT_EQ(counts.today, 0u);
    EXPECT_EQ(counts.last7, 7u);
}

TEST_F(StatCounterTest, FourByteCounterFileHoldsOnlyFirstOfJanuary) {
    SetToday(2026, 1, 2);
    WriteCounters(StatCounterPath("SMSSENT", 2026), {{0, 21}}, 4);
    config::StatCounts counts = ReadStatCounter("SMSSENT");
    EXPECT_EQ(counts.today, 0u);
    EXPECT_EQ(counts.last7, 21u);
}

TEST_F(StatCounterTest, OversizedCounterFileIgnoresBytesPastTheYear) {
    SetToday(2024, 12, 31);
    std::map<int, std::uint32_t> days = {{365, 8}, {366, 1000}, {367, 1000}};
    WriteCounters(StatCounterPath("SMSSENT", 2024), days, 2000);
    config::StatCounts counts = ReadStatCounter("SMSSENT");
    EXPECT_EQ(counts.today, 8u);
    EXPECT_EQ(counts.last30, 8u);
}

TEST_F(StatCounterTest, SumsSaturateInsteadOfWrapping) {
    SetToday(2026, 1, 2);
    const std::uint32_t big = std::numeric_limits<std::uint32_t>::max() - 1;
    WriteCounters(StatCounterPath("SMSSUBMIT", 2026), {{0, big}, {1, big}});
    WriteCounters(StatCounterPath("SMSSUBMIT", 2025), {{364, big}});
    config::StatCounts counts = ReadStatCounter("SMSSUBMIT");
    EXPECT_EQ(counts.today, big);
    EXPECT_EQ(counts.last7, std::numeric_limits<std::uint32_t>::max());
    EXPECT_EQ(counts.last30, std::numeric_limits<std::uint32_t>::max());
}

TEST_F(StatCounterTest, ReadingManyAtOnceGivesEachCounterInOrder) {
    SetToday(2026, 1, 2);
    WriteCounters(StatCounterPath("SMSSENT", 2026), {{0, 1}, {1, 2}});
    WriteCounters(StatCounterPath("SMSSENT", 2025), {{364, 4}});
    WriteCounters(StatCounterPath("MMSOUT-SMTP", 2026), {{1, 7}});
    WriteCounters(config::CurrentValueCounterPath("SMSQSIZE"), {{0, 12}});
    const std::vector<std::string> names = {"MMSOUT-SMTP", "SMSSENT", "SMSQSIZE", "MMSIN-VASP"};
    std::vector<config::StatCounts> all = config::ReadStatCounters(names);
    ASSERT_EQ(all.size(), names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
        config::StatCounts one = ReadStatCounter(names[i]);
        EXPECT_EQ(all[i].today, one.today) << names[i];
        EXPECT_EQ(all[i].last7, one.last7) << names[i];
        EXPECT_EQ(all[i].last30, one.last30) << names[i];
    }
    EXPECT_EQ(all[1].last7, 7u);
    EXPECT_EQ(all[2].last30, 12u);
}

}  // namespace
