#include "tools/standin/spool_sender.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "acctdb/acctdb.h"
#include "platform/clock.h"
#include "platform/ini.h"

namespace standin {

namespace {

std::string DataDir() { return acctdb::GetProgramDataDirectory(); }

std::string QueueDir() {
    std::string dir = platform::GetPrivateProfileString(DataDir() + "ZELLA.INI", "ZELLA", "QDir", "");
    return dir.empty() ? DataDir() + "Q/" : platform::WithSlash(dir);
}

std::string VaspQueueDir() {
    std::string dir = platform::GetPrivateProfileString(DataDir() + "MMSC.INI", "MMSC", "VASPQDir", "");
    return dir.empty() ? DataDir() + "VASPQ/" : platform::WithSlash(dir);
}

std::string FileSafe(std::string name) {
    for (char& c : name)
        if (c == ':' || c == '/' || c == '\\') c = '-';
    return name;
}

std::string Now14() {
    const platform::SystemTime t = acctdb::TZGetLocalTime();
    char text[32];
    std::snprintf(text, sizeof text, "%04d%02d%02d%02d%02d%02d", t.year, t.month, t.day, t.hour,
                  t.minute, t.second);
    return text;
}

void AppendLog(const char* prefix, const std::string& line) {
    const std::string now = Now14();
    const std::string path = acctdb::GetLogDirectory() + prefix + "-" + now.substr(0, 8) + ".LOG";
    platform::CreateDirectories(acctdb::GetLogDirectory());
    std::string content;
    platform::ReadFile(path, content);
    platform::WriteFileAtomic(path, content + line + "\r\n");
}

std::string FlagText(const char* name, bool& present) {
    std::string text;
    present = platform::ReadFileHead(DataDir() + name, 250, text);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
}

std::string BaseName(const std::string& path) {
    std::string name = path.substr(path.find_last_of('/') + 1);
    return name.substr(0, name.find_last_of('.'));
}

}  // namespace

SpoolSender::SpoolSender() {
    if (const char* ms = std::getenv("ZELLA_STANDIN_SEND_MS")) sendMs_ = std::strtoull(ms, nullptr, 10);
    smsWake_ = ReadWake("SMSOut");
    mmsWake_ = ReadWake("VASPOut");
}

std::string SpoolSender::ReadWake(const char* name) const {
    struct stat info {};
    if (lstat(acctdb::WakeFilePath(name).c_str(), &info) != 0) return {};
    return std::to_string(info.st_mtim.tv_sec) + "." + std::to_string(info.st_mtim.tv_nsec);
}

void SpoolSender::Tick() {
    const std::uint64_t now = platform::Clock().TickCount();
    const std::string sms = ReadWake("SMSOut"), mms = ReadWake("VASPOut");
    const bool periodic = now >= nextScan_;
    if (periodic) nextScan_ = now + 10000;
    if (periodic || sms != smsWake_) Scan(false);
    if (periodic || mms != mmsWake_) Scan(true);
    smsWake_ = sms;
    mmsWake_ = mms;
    std::vector<std::string> done;
    for (auto& [path, s] : sending_)
        if (now >= s.doneAt) done.push_back(path);
    for (const std::string& path : done) {
        const bool isMms = sending_[path].mms;
        sending_.erase(path);  // releases the lock
        Finish(path, isMms);
    }
}

void SpoolSender::Scan(bool mms) {
    const std::string dir = mms ? VaspQueueDir() : QueueDir();
    const std::uint64_t now = platform::Clock().TickCount();
    for (const platform::DirEntry& e : platform::ListDirectory(dir, mms ? "TEST*.INI" : "TEST*.REQ")) {
        const std::string path = dir + e.name;
        if (e.isDirectory || sending_.count(path) != 0) continue;
        if (auto it = retryAt_.find(path); it != retryAt_.end() && now < it->second) continue;
        Sending s;
        s.lock = platform::FileLock(path, true, false);
        if (!s.lock.Locked()) continue;
        s.doneAt = now + sendMs_;
        s.mms = mms;
        sending_.emplace(path, std::move(s));
    }
}

void SpoolSender::Finish(const std::string& path, bool mms) {
    const std::string id = BaseName(path);
    const std::string section = mms ? "RetryInfo" : "ErrorDetail";
    bool fail = false, offline = false;
    const std::string error = FlagText("STANDIN-FAIL", fail);
    const std::string offlineError = FlagText("STANDIN-OFFLINE", offline);
    const std::string route =
        mms ? std::string() : platform::GetPrivateProfileString(path, "SMS", "SMSCRoute", "");
    if (fail) {
        const long count =
            std::strtol(platform::GetPrivateProfileString(path, section, "RetryCount", "0").c_str(), nullptr, 10);
        const std::string now = Now14();
        if (count == 0) platform::WritePrivateProfileString(path, section, "FirstAttemptTime", now);
        platform::WritePrivateProfileString(path, section, "RetryCount", std::to_string(count + 1));
        platform::WritePrivateProfileString(path, section, "LastRetryTime", now);
        platform::WritePrivateProfileString(path, section, "LastErrorInfo", error);
        if (offline && !route.empty())
            platform::WriteFileAtomic(acctdb::GetPrivateDataDirectory() + FileSafe(route) + ".ERR", offlineError);
        retryAt_[path] = platform::Clock().TickCount() + 60000;
        LogServiceEvent(platform::EventLevel::Error, (mms ? "MMS " + id : route) + ": " + error);
        return;
    }
    const std::string time = Now14();
    if (mms) {
        const std::string recipient = platform::GetPrivateProfileString(path, "Recipients", "Recip1", "");
        AppendLog("MMSC", time + ",VASPOut,MM7," + recipient + ",1,OK," + id);
        platform::DeleteFileChecked(path.substr(0, path.size() - 4) + ".MMS");
    } else {
        const std::string phone = platform::GetPrivateProfileString(path, "SMS", "PhoneNumber", "");
        AppendLog("SMSOUT", time + "," + id + "," + route + "," + phone + ",OK");
    }
    platform::DeleteFileChecked(path);
    retryAt_.erase(path);
}

void LogServiceEvent(platform::EventLevel level, const std::string& text) {
    platform::CreateDirectories(acctdb::GetLogDirectory());
    platform::AppendEventLine(acctdb::GetLogDirectory() + "EVENTS.LOG", platform::Clock().UnixMillis() * 1000,
                              level, "QuvSMS", text);
}

}  // namespace standin
