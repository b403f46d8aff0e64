// Where the gateway keeps its data, and the group access the two services need to it.
#include <ftw.h>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <mutex>

#include "acctdb/acctdb.h"
#include "platform/files.h"

namespace acctdb {
namespace {

constexpr const char* kSystemDataDirectory = "/var/lib/quvsms/";
constexpr const char* kGatewayGroup = "quvsms";
// Kept apart from the default instance's own folders (Q/, LOGS/, USERS/, ...), so an
// instance named like one of them never lands in its spool or logs.
constexpr const char* kInstancesFolder = "instances/";

std::mutex& MultiHostMutex() {
    static std::mutex mutex;
    return mutex;
}

std::string& MultiHostName() {
    static std::string name;
    return name;
}

std::string EnvironmentText(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

// A console run from its build tree (CMakeCache.txt beside it or one level up) is a
// developer's copy even when the tree happens to lie below /opt; it must never touch
// the system-wide data of an installed gateway.
bool IsInstalledProgram(const std::string& programDirectory) {
    if (!StartsWith(programDirectory, "/usr/") && !StartsWith(programDirectory, "/opt/")) {
        return false;
    }
    const std::string dir = platform::WithSlash(programDirectory);
    if (platform::FileExists(dir + "CMakeCache.txt")) return false;
    const std::string withoutSlash = platform::WithoutSlash(dir);
    const auto cut = withoutSlash.find_last_of('/');
    const std::string parent = withoutSlash.substr(0, cut == std::string::npos ? 0 : cut + 1);
    return parent.empty() || !platform::FileExists(parent + "CMakeCache.txt");
}

std::string BaseDataDirectory() {
    const std::string fromEnvironment = EnvironmentText("ZELLA_DATA_DIR");
    if (!fromEnvironment.empty()) return platform::WithSlash(fromEnvironment);
    if (IsInstalledProgram(platform::ExecutableDirectory())) return kSystemDataDirectory;
    // Relative XDG paths are invalid and must be ignored, as the base-directory rules say.
    const std::string xdg = EnvironmentText("XDG_DATA_HOME");
    if (!xdg.empty() && xdg[0] == '/') return platform::WithSlash(xdg) + "quvsms/";
    return platform::WithSlash(platform::HomeDirectory()) + ".local/share/quvsms/";
}

gid_t GatewayGroupId(bool* found) {
    // getgrnam_r: the services may call this from several threads.
    struct group entry {};
    struct group* result = nullptr;
    std::string buffer(16384, '\0');
    *found = getgrnam_r(kGatewayGroup, &entry, buffer.data(), buffer.size(), &result) == 0 &&
             result != nullptr;
    return *found ? result->gr_gid : static_cast<gid_t>(-1);
}

// nftw gives its callback no user pointer; the walk is short and serialised by this mutex.
std::mutex& TrusteeWalkMutex() {
    static std::mutex mutex;
    return mutex;
}
bool gTrusteeGroupFound = false;
gid_t gTrusteeGroup = static_cast<gid_t>(-1);

int GrantGroupAccess(const char* path, const struct stat* info, int type, struct FTW*) {
    // Symbolic links are skipped: chmod would follow them out of the tree.
    if (type == FTW_SL || type == FTW_SLN || type == FTW_NS) return 0;
    if (gTrusteeGroupFound && info->st_gid != gTrusteeGroup) {
        (void)lchown(path, static_cast<uid_t>(-1), gTrusteeGroup);
    }
    mode_t mode = info->st_mode & 07777;
    mode |= S_IRGRP | S_IWGRP;
    if (type == FTW_D || type == FTW_DNR) {
        mode |= S_IXGRP;
        // New files then belong to the gateway's group whoever of its users creates them.
        if (gTrusteeGroupFound) mode |= S_ISGID;
    }
    if (mode != (info->st_mode & 07777)) (void)chmod(path, mode);
    return 0;
}

}  // namespace

std::string GetProgramDataDirectory() {
    std::string dir = BaseDataDirectory();
    {
        std::lock_guard<std::mutex> lock(MultiHostMutex());
        if (!MultiHostName().empty()) dir += kInstancesFolder + MultiHostName() + "/";
    }
    // Asked for on every path the console builds: one stat when it is there already.
    if (!platform::DirectoryExists(dir)) platform::CreateDirectories(dir);
    return dir;
}

std::string GetInstancesDirectory() { return BaseDataDirectory() + kInstancesFolder; }

std::string GetPrivateDataDirectory() { return GetProgramDataDirectory(); }

std::string GetRealProgramDirectory() { return platform::WithSlash(platform::ExecutableDirectory()); }

std::string GetLogDirectory() {
    const std::string dir = GetProgramDataDirectory() + "LOGS/";
    platform::CreateDirectories(dir);
    return dir;
}

std::string GetDebugLogDirectory() { return GetLogDirectory(); }
std::string GetMMSCDebugLogDirectory() { return GetLogDirectory(); }

void SetMultiHost(const std::string& instance) {
    std::string mended = instance.empty() ? std::string() : SafeUserDirectoryName(instance);
    std::lock_guard<std::mutex> lock(MultiHostMutex());
    MultiHostName() = std::move(mended);
}

const std::string& MultiHost() {
    std::lock_guard<std::mutex> lock(MultiHostMutex());
    return MultiHostName();
}

void SetQuvSMSTrustees(const std::string& directoryWithoutSlash) {
    if (directoryWithoutSlash.empty()) return;
    const std::string root = platform::WithoutSlash(directoryWithoutSlash);
    std::lock_guard<std::mutex> lock(TrusteeWalkMutex());
    gTrusteeGroup = GatewayGroupId(&gTrusteeGroupFound);
    // FTW_PHYS: never follow links; failures are ignored, as callers cannot act on them.
    (void)nftw(root.c_str(), GrantGroupAccess, 16, FTW_PHYS);
}

}  // namespace acctdb
