// The gateway's data directories, configured in ZELLA.INI or MMSC.INI or defaulting to
// folders below the program data directory.
#include <string>

#include "acctdb/acctdb.h"
#include "config/config_store.h"
#include "platform/files.h"
#include "platform/ini.h"

namespace config {

namespace {

// The configured directory when the key has a value, else the default; always with "/".
std::string ConfiguredOr(std::string configured, const std::string& fallback) {
    if (configured.empty()) return platform::WithSlash(fallback);
    return platform::WithSlash(std::move(configured));
}

std::string ZellaDirectory(std::string_view key, const char* defaultName) {
    return ConfiguredOr(ReadZellaKey(key, "", kPathSize),
                        acctdb::GetProgramDataDirectory() + defaultName);
}

std::string MmscDirectory(std::string_view key, const std::string& fallback) {
    return ConfiguredOr(
        platform::GetPrivateProfileString(MmscIniPath(), "MMSC", key, "", kPathSize), fallback);
}

bool OnlyDots(const std::string& name) { return name.find_first_not_of('.') == std::string::npos; }

// A single directory level that stays below its parent, whatever the name held.
bool IsSafeLevel(const std::string& name) {
    return !name.empty() && !OnlyDots(name) && name.find('/') == std::string::npos &&
           name.find('\\') == std::string::npos && name.find('\0') == std::string::npos;
}

}  // namespace

std::string QueueDirectory(const std::string& route) {
    std::string base = ZellaDirectory("QDir", "Q");
    platform::CreateDirectories(base);
    if (route.empty()) return base;
    std::string level = ConnectionFileName(route);
    // ":" "/" "\" are already gone; a NUL would cut the path short at the system call.
    for (char& c : level) {
        if (c == '\0') c = '-';
    }
    if (!IsSafeLevel(level)) return base;
    std::string sub = base + level + "/";
    for (int attempt = 0; attempt < 2 && !platform::DirectoryExists(sub); ++attempt) {
        platform::CreateDirectories(sub);
    }
    return platform::DirectoryExists(sub) ? sub : base;
}

std::string InboundSmsDirectory() { return ZellaDirectory("SmsInDir", "SMS-IN"); }

std::string InboundMmsDirectory() {
    std::string dir = ZellaDirectory("MMSDir", "MMS-IN");
    platform::CreateDirectories(dir);
    return dir;
}

std::string VaspQueueDirectory() {
    std::string dir = MmscDirectory("VASPQDir", acctdb::GetProgramDataDirectory() + "VASPQ");
    platform::CreateDirectories(dir);
    return dir;
}

std::string VaspConfigDirectory() {
    return MmscDirectory("VASPConfigDir", acctdb::GetProgramDataDirectory());
}

std::string UserDirectory(const std::string& user) {
    std::string base = ZellaDirectory("UsersDir", "USERS");
    platform::CreateDirectories(base);
    if (user.empty()) return base;
    std::string level = acctdb::SafeUserDirectoryName(user);
    // The store's mending is the contract; this check keeps a fault there from ever
    // turning into a path outside the users directory.
    if (!IsSafeLevel(level)) level = "_";
    std::string dir = base + level + "/";
    platform::CreateDirectories(dir);
    return dir;
}

std::string PhpDirectory() { return ZellaDirectory("PHPDir", "PHP"); }

}  // namespace config
