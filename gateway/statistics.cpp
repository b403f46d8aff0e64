#include "gateway/statistics.h"

#include "acctdb/acctdb.h"
#include "config/counters.h"
#include "gateway/logs.h"
#include "platform/files.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

namespace gateway {

namespace {

int DayIndexToday(platform::SystemTime& now) {
    now = LocalNow();
    return config::CounterDayIndex(now.year, now.month, now.day);
}

}  // namespace

config::CounterFileWriter* Statistics::Writer(const std::string& path) {
    auto it = open_.find(path);
    if (it != open_.end() && it->second.IsOpen()) return &it->second;
    // A new year opens new files; the old ones are closed rather than kept for ever.
    if (open_.size() > 4096) {
        Flush();
        open_.clear();
        byName_.clear();
    }
    const std::size_t slash = path.rfind('/');
    platform::CreateDirectories(path.substr(0, slash + 1));
    config::CounterFileWriter writer;
    if (!writer.Open(path)) return nullptr;
    config::CounterFileWriter& slot = open_[path];
    slot = std::move(writer);
    return &slot;
}

bool Statistics::Failed() {
    ++failures_;
    reason_ = std::strerror(errno);
    return false;
}

unsigned Statistics::PendingFailures(std::string& reason) const {
    reason = reason_;
    return failures_;
}

config::CounterFileWriter* Statistics::WriterFor(const std::string& name, int year, int kind) {
    const std::string key = std::to_string(year) + char('0' + kind) + name;
    auto it = byName_.find(key);
    if (it != byName_.end() && it->second->IsOpen()) return it->second;
    config::CounterFileWriter* w = Writer(kind == 0 ? config::StatCounterPath(name, year)
                                                    : config::ConnectionCounterPath(name, year, kind == 2));
    if (byName_.size() > 4096 || open_.empty()) byName_.clear();
    if (w) byName_[key] = w;
    return w;
}

bool Statistics::Count(const std::string& name, std::uint32_t amount) {
    platform::SystemTime now;
    const int day = DayIndexToday(now);
    config::CounterFileWriter* w = WriterFor(name, now.year, 0);
    if (w == nullptr) return Failed();
    pending_[{w, static_cast<std::size_t>(day)}] += amount;
    return true;
}

bool Statistics::CountConnection(const std::string& connectionName, bool received, std::uint32_t amount) {
    platform::SystemTime now;
    const int day = DayIndexToday(now);
    config::CounterFileWriter* w = WriterFor(connectionName, now.year, received ? 2 : 1);
    if (w == nullptr) return Failed();
    pending_[{w, static_cast<std::size_t>(day)}] += amount;
    return true;
}

void Statistics::Flush() {
    for (const auto& [at, amount] : pending_) {
        const auto clamped = static_cast<std::uint32_t>(std::min<std::uint64_t>(amount, UINT32_MAX));
        if (!at.first->Add(at.second, clamped)) Failed();
    }
    pending_.clear();
}

bool Statistics::SetQueueSize(std::uint32_t size) {
    config::CounterFileWriter* w = Writer(config::CurrentValueCounterPath("SMSQSIZE"));
    return (w != nullptr && w->Set(0, size)) || Failed();
}

std::uint32_t Statistics::SentToday(const std::string& connectionName) {
    Flush();
    platform::SystemTime now;
    const int day = DayIndexToday(now);
    config::CounterFileWriter* w = Writer(config::ConnectionCounterPath(connectionName, now.year, false));
    return w != nullptr ? w->Get(static_cast<std::size_t>(day)) : 0;
}

std::uint32_t Statistics::SentSinceReset(const std::string& connectionName, int resetDay) {
    Flush();
    platform::SystemTime now;
    const int today = DayIndexToday(now);
    int year = now.year, month = now.month;
    if (now.day < resetDay && --month == 0) {
        month = 12;
        --year;
    }
    const int daysInMonth[] = {31, config::IsCounterLeapYear(year) ? 29 : 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const int startDay = std::min(resetDay, daysInMonth[month - 1]);
    std::uint32_t sum = 0;
    const auto add = [&](int y, int from, int to) {
        config::CounterFileWriter* w = Writer(config::ConnectionCounterPath(connectionName, y, false));
        for (int d = from; w != nullptr && d <= to; ++d) sum += w->Get(static_cast<std::size_t>(d));
    };
    const int start = config::CounterDayIndex(year, month, startDay);
    if (year == now.year) {
        add(year, start, today);
    } else {
        add(year, start, config::CounterDaysInYear(year) - 1);
        add(now.year, 0, today);
    }
    return sum;
}

}  // namespace gateway
