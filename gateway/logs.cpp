#include "gateway/logs.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "acctdb/acctdb.h"
#include "gateway/request.h"
#include "platform/append_file.h"
#include "platform/files.h"

namespace gateway {

platform::SystemTime LocalNow() {
    thread_local std::int64_t second = -1;
    thread_local platform::SystemTime cached;
    const std::int64_t now = platform::Clock().UnixMillis() / 1000;
    if (now != second) {
        cached = acctdb::TZGetLocalTime();
        second = now;
    }
    return cached;
}

std::string Now14() {
    const platform::SystemTime t = LocalNow();
    thread_local platform::SystemTime last{};
    thread_local std::string text;
    if (text.empty() || t.second != last.second || t.minute != last.minute || t.hour != last.hour ||
        t.day != last.day || t.month != last.month || t.year != last.year) {
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "%04d%02d%02d%02d%02d%02d", t.year, t.month, t.day, t.hour, t.minute,
                      t.second);
        text = buffer;
        last = t;
    }
    return text;
}

std::string Field(const std::string& text) { return OneLineField(text, 4000); }

void Logs::Configure(const std::string& logDir, bool debug) {
    dir_ = logDir;
    debug_ = debug;
    platform::CreateDirectories(dir_);
}

bool Logs::Daily(const char* prefix, const std::string& line) {
    const std::string path = dir_ + prefix + "-" + Now14().substr(0, 8) + ".LOG";
    const std::string text = line + "\r\n";
    std::lock_guard<std::mutex> lock(dailyMutex_);
    platform::AppendingFile& file = daily_[prefix];
    if (file.Append(path, text)) return true;
    platform::CreateDirectories(dir_);
    if (file.Append(path, text)) return true;
    ++lost_;
    lostReason_ = std::strerror(errno);
    return false;
}

void Logs::Recheck() {
    std::lock_guard<std::mutex> lock(dailyMutex_);
    for (auto& [prefix, file] : daily_) file.Recheck();
}

bool Logs::ReportLosses() {
    if (lost_ == 0) return false;
    const std::string text = std::to_string(lost_) + " line(s) could not be written to the logs in " + dir_ + " (" +
                             lostReason_ + ")";
    if (!platform::WriteServiceEvent(dir_ + "EVENTS.LOG", "QuvSMS", platform::EventLevel::Error, text)) return false;
    lost_ = 0;
    return true;
}

bool Logs::Event(platform::EventLevel level, const std::string& text) {
    Debug("SMSDEBUG.LOG", std::string(platform::EventLevelName(level)) + ": " + text);
    return platform::WriteServiceEvent(dir_ + "EVENTS.LOG", "QuvSMS", level, text);
}

void Logs::Debug(const char* name, const std::string& text) {
    if (!debug_) return;
    platform::AppendToFile(dir_ + name, Now14() + " " + text + "\r\n");
}

Logs& ServiceLogs() {
    static Logs logs;
    return logs;
}

}  // namespace gateway
