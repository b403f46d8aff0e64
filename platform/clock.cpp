#include "platform/clock.h"

#include <algorithm>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include "platform/cancel.h"

namespace platform {

namespace {

class RealClock : public ClockSource {
public:
    std::uint64_t TickCount() override {
        auto now = std::chrono::steady_clock::now().time_since_epoch();
        return static_cast<std::uint64_t>(
            std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
    }
    // Sleeps in slices so a cancelled operation wakes within kCancelSliceMs.
    void Sleep(std::uint64_t ms) override {
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (!CancelRequested()) {
            auto left = end - std::chrono::steady_clock::now();
            if (left <= std::chrono::steady_clock::duration::zero()) return;
            std::this_thread::sleep_for(
                std::min<std::chrono::steady_clock::duration>(left, std::chrono::milliseconds(kCancelSliceMs)));
        }
    }
    std::int64_t UnixMillis() override {
        auto now = std::chrono::system_clock::now().time_since_epoch();
        return std::chrono::duration_cast<std::chrono::milliseconds>(now).count();
    }
};

RealClock& RealInstance() {
    static RealClock clock;
    return clock;
}

std::atomic<ClockSource*> installed{nullptr};

SystemTime FromTm(const std::tm& tm, int milliseconds) {
    SystemTime t;
    t.year = tm.tm_year + 1900;
    t.month = tm.tm_mon + 1;
    t.dayOfWeek = tm.tm_wday;  // 0 = Sunday, as SYSTEMTIME counts
    t.day = tm.tm_mday;
    t.hour = tm.tm_hour;
    t.minute = tm.tm_min;
    t.second = tm.tm_sec;
    t.milliseconds = milliseconds;
    return t;
}

// Floor division, so times before 1970 keep a non-negative millisecond part.
void Split(std::int64_t unixMillis, std::time_t& seconds, int& millis) {
    std::int64_t s = unixMillis / 1000;
    std::int64_t ms = unixMillis % 1000;
    if (ms < 0) {
        ms += 1000;
        --s;
    }
    seconds = static_cast<std::time_t>(s);
    millis = static_cast<int>(ms);
}

}  // namespace

ClockSource& Clock() {
    ClockSource* clock = installed.load(std::memory_order_acquire);
    return clock != nullptr ? *clock : RealInstance();
}

void SetClock(ClockSource* clock) { installed.store(clock, std::memory_order_release); }

FakeClock::FakeClock(std::int64_t unixMillis) : unixMillis_(unixMillis) {}

std::uint64_t FakeClock::TickCount() {
    std::lock_guard<std::mutex> lock(mutex_);
    return ticks_;
}

void FakeClock::Sleep(std::uint64_t ms) {
    std::lock_guard<std::mutex> lock(mutex_);
    ticks_ += ms;
    slept_ += ms;
    unixMillis_ += static_cast<std::int64_t>(ms);
}

std::int64_t FakeClock::UnixMillis() {
    std::lock_guard<std::mutex> lock(mutex_);
    return unixMillis_;
}

void FakeClock::Advance(std::uint64_t ms) {
    std::lock_guard<std::mutex> lock(mutex_);
    ticks_ += ms;
    unixMillis_ += static_cast<std::int64_t>(ms);
}

std::uint64_t FakeClock::Slept() {
    std::lock_guard<std::mutex> lock(mutex_);
    return slept_;
}

SystemTime UtcSystemTime(std::int64_t unixMillis) {
    std::time_t seconds;
    int millis;
    Split(unixMillis, seconds, millis);
    std::tm tm{};
    if (gmtime_r(&seconds, &tm) == nullptr) return {};
    return FromTm(tm, millis);
}

SystemTime LocalSystemTime(std::int64_t unixMillis) {
    std::time_t seconds;
    int millis;
    Split(unixMillis, seconds, millis);
    // localtime_r need not look at TZ again; tzset makes a changed TZ take effect.
    tzset();
    std::tm tm{};
    if (localtime_r(&seconds, &tm) == nullptr) return {};
    return FromTm(tm, millis);
}

namespace {

const char* const kShortDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const kShortMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                    "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
const char* const kMonthNames[] = {"January", "February", "March",     "April",   "May",      "June",
                                   "July",    "August",   "September", "October", "November", "December"};

}  // namespace

std::string HeaderDateText(const SystemTime& utc) {
    char text[64];
    std::snprintf(text, sizeof text, "%s, %d %s %04d %02d:%02d:%02d GMT",
                  kShortDays[std::clamp(utc.dayOfWeek, 0, 6)], utc.day,
                  kShortMonths[std::clamp(utc.month, 1, 12) - 1], utc.year, utc.hour, utc.minute,
                  utc.second);
    return text;
}

const char* EnglishMonthName(int month) { return kMonthNames[std::clamp(month, 1, 12) - 1]; }

}  // namespace platform
