#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/clock.h"

namespace platform {
namespace {

TEST(FakeClockTest, SleepAdvancesInsteadOfBlocking) {
    FakeClock fake(1000);
    SetClock(&fake);
    Clock().Sleep(60'000);
    Clock().Sleep(500);
    EXPECT_EQ(60'500u, Clock().TickCount());
    EXPECT_EQ(61'500, Clock().UnixMillis());
    EXPECT_EQ(60'500u, fake.Slept());
    fake.Advance(100);
    EXPECT_EQ(60'600u, fake.TickCount());
    EXPECT_EQ(60'500u, fake.Slept()) << "advancing is not sleeping";
    SetClock(nullptr);
    EXPECT_NE(&fake, &Clock());
}

TEST(RealClockTest, TicksNeverGoBackAndSleepWaits) {
    SetClock(nullptr);
    std::uint64_t before = Clock().TickCount();
    Clock().Sleep(20);
    std::uint64_t after = Clock().TickCount();
    EXPECT_GE(after - before, 20u);
    EXPECT_GT(Clock().UnixMillis(), 1'700'000'000'000);
}

TEST(SystemTimeTest, UtcSplitsMillisAndWeekday) {
    // 2026-01-01 00:00:00.250 UTC, a Thursday.
    SystemTime t = UtcSystemTime(1'767'225'600'250);
    EXPECT_EQ(2026, t.year);
    EXPECT_EQ(1, t.month);
    EXPECT_EQ(1, t.day);
    EXPECT_EQ(4, t.dayOfWeek);
    EXPECT_EQ(0, t.hour);
    EXPECT_EQ(250, t.milliseconds);
}

TEST(SystemTimeTest, BeforeEpochKeepsPositiveMilliseconds) {
    SystemTime t = UtcSystemTime(-1);
    EXPECT_EQ(1969, t.year);
    EXPECT_EQ(12, t.month);
    EXPECT_EQ(31, t.day);
    EXPECT_EQ(23, t.hour);
    EXPECT_EQ(59, t.second);
    EXPECT_EQ(999, t.milliseconds);
}

TEST(SystemTimeTest, LocalTimeFollowsAChangedTz) {
    const char* old = std::getenv("TZ");
    std::string saved = old != nullptr ? old : "";
    setenv("TZ", "UTC0", 1);
    EXPECT_EQ(0, LocalSystemTime(1'767'225'600'000).hour);
    setenv("TZ", "EST5", 1);
    SystemTime t = LocalSystemTime(1'767'225'600'000);
    EXPECT_EQ(19, t.hour);
    EXPECT_EQ(31, t.day);
    EXPECT_EQ(2025, t.year);
    setenv("TZ", "JST-9", 1);
    EXPECT_EQ(9, LocalSystemTime(1'767'225'600'000).hour);
    if (old != nullptr) {
        setenv("TZ", saved.c_str(), 1);
    } else {
        unsetenv("TZ");
    }
}

}  // namespace
}  // namespace platform
