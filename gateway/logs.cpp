#include "gateway/logs.h"

#include <cstdio>

#include "acctdb/acctdb.h"
#include "gateway/request.h"
#include "platform/append_file.h"
#include "platform/files.h"

namespace gateway {

std::string Now14() {
    const platform::SystemTime t = acctdb::TZGetLocalTime();
    char text[32];
    std::snprintf(text, sizeof text, "%04d%02d%02d%02d%02d%02d", t.year, t.month, t.day, t.hour, t.minute,
                  t.second);
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
    if (platform::AppendToFile(path, line + "\r\n")) return true;
    platform::CreateDirectories(dir_);
    return platform::AppendToFile(path, line + "\r\n");
}

void Logs::Event(platform::EventLevel level, const std::string& text) {
    platform::WriteServiceEvent(dir_ + "EVENTS.LOG", "QuvSMS", level, text);
    Debug("SMSDEBUG.LOG", std::string(platform::EventLevelName(level)) + ": " + text);
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
