// Time for the whole program. Every wait, sleep, time-out and "now" goes through
// Clock() so that tests can install a FakeClock whose Sleep returns at once.
#pragma once

#include <cstdint>
#include <ctime>
#include <memory>
#include <mutex>
#include <string>

namespace platform {

// Calendar time in the Win32 SYSTEMTIME shape, used wherever the console formats dates.
struct SystemTime {
    int year = 0, month = 0, dayOfWeek = 0, day = 0;
    int hour = 0, minute = 0, second = 0, milliseconds = 0;
};

class ClockSource {
public:
    virtual ~ClockSource() = default;
    // Milliseconds from an arbitrary origin, never going backwards.
    virtual std::uint64_t TickCount() = 0;
    // Blocks the calling thread for ms milliseconds (a fake clock advances instead). The
    // real clock returns early when the thread's operation is cancelled (platform/cancel.h).
    virtual void Sleep(std::uint64_t ms) = 0;
    // Current UTC time as Unix milliseconds.
    virtual std::int64_t UnixMillis() = 0;
};

// The clock in use (the real one unless a test installed another).
ClockSource& Clock();

// Installs `clock` for the whole process (nullptr restores the real clock). The caller
// keeps ownership and must outlive its use.
void SetClock(ClockSource* clock);

// A clock that only moves when told to or when somebody sleeps on it.
class FakeClock : public ClockSource {
public:
    explicit FakeClock(std::int64_t unixMillis = 1'767'225'600'000 /* 2026-01-01 */);
    std::uint64_t TickCount() override;
    void Sleep(std::uint64_t ms) override;
    std::int64_t UnixMillis() override;
    void Advance(std::uint64_t ms);
    // Total of every Sleep so far, for tests that check a bounded wait.
    std::uint64_t Slept();

private:
    std::mutex mutex_;
    std::uint64_t ticks_ = 0;
    std::uint64_t slept_ = 0;
    std::int64_t unixMillis_;
};

// Splits Unix milliseconds into UTC or local (TZ / system zone) calendar time.
SystemTime UtcSystemTime(std::int64_t unixMillis);

// "Tue, 2 Jan 2024 05:07:09 GMT": the date of mail and HTTP headers for the UTC time
// `utc`, with English names whatever the locale.
std::string HeaderDateText(const SystemTime& utc);
// The English name of month 1-12 ("January"); a number out of range is taken as the
// nearest month.
const char* EnglishMonthName(int month);
SystemTime LocalSystemTime(std::int64_t unixMillis);

}  // namespace platform
