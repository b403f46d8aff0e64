#include "gateway/logs.h"

#include <algorithm>

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
    char text[32];
    std::snprintf(text, sizeof text, "%04d%02d%02d%02d%02d%02d", t.year, t.month, t.day, t.hour, t.minute,
                  t.second);
    return text;
}

std::string Field(const std::string& text) { return OneLineField(text, 4000); }

void Logs::Configure(const std::string& logDir, bool debug) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        dir_ = logDir;
    }
    debug_ = debug;
    platform::CreateDirectories(logDir);
}

std::string Logs::Directory() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return dir_;
}

bool Logs::Daily(const char* prefix, const std::string& line) {
    const std::string dir = Directory();
    const std::string path = dir + prefix + "-" + Now14().substr(0, 8) + ".LOG";
    if (platform::AppendToFile(path, line + "\r\n")) return true;
    platform::CreateDirectories(dir);
    if (platform::AppendToFile(path, line + "\r\n")) return true;
    const int error = errno;
    std::lock_guard<std::mutex> lock(mutex_);
    ++lost_;
    lostReason_ = std::strerror(error);
    return false;
}

bool Logs::ReportLosses() {
    const std::string dir = Directory();
    unsigned lost = 0;
    std::string reason;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        lost = lost_;
        reason = lostReason_;
    }
    if (lost == 0) return false;
    const std::string text = std::to_string(lost) + " line(s) could not be written to the logs in " + dir + " (" +
                             reason + ")";
    if (!platform::WriteServiceEvent(dir + "EVENTS.LOG", "QuvSMS", platform::EventLevel::Error, text)) return false;
    std::lock_guard<std::mutex> lock(mutex_);
    lost_ -= std::min(lost_, lost);
    return true;
}

bool Logs::Event(platform::EventLevel level, const std::string& text) {
    Debug("SMSDEBUG.LOG", std::string(platform::EventLevelName(level)) + ": " + text);
    return platform::WriteServiceEvent(Directory() + "EVENTS.LOG", "QuvSMS", level, text);
}

void Logs::Debug(const char* name, const std::string& text) {
    if (!debug_) return;
    platform::AppendToFile(Directory() + name, Now14() + " " + text + "\r\n");
}

Logs& ServiceLogs() {
    static Logs logs;
    return logs;
}

}  // namespace gateway
