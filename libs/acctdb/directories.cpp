// Where the gateway keeps its data, and the group access the two services need to it.
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <mutex>

#include "acctdb/acctdb.h"
#include "acctdb/gateway_group.h"
#include "platform/files.h"
#include "platform/unique_fd.h"

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

constexpr int kMaxTrusteeDepth = 64;

// Applies the group and its access to one opened entry of this process's user.
void GrantOne(int fd, const struct stat& st, gid_t group) {
    if (st.st_uid != geteuid()) return;
    if (st.st_gid != group) (void)fchown(fd, static_cast<uid_t>(-1), group);
    mode_t mode = st.st_mode & 07777;
    if (S_ISDIR(st.st_mode)) {
        // New files then belong to the gateway's group whoever of its users creates them.
        mode |= S_IRGRP | S_IWGRP | S_IXGRP | S_ISGID;
    } else if ((mode & S_IRWXG) != 0) {
        mode |= S_IRGRP | S_IWGRP;
    }
    if (mode != (st.st_mode & 07777)) (void)fchmod(fd, mode);
}

// Walks the directory open as `dirFd` through descriptors only: each entry is opened
// without following a link and checked to be what fstatat saw, so an entry swapped for
// a link between the look and the change is never followed.
void GrantBelow(int dirFd, gid_t group, int depth, bool top) {
    struct stat self {};
    if (fstat(dirFd, &self) != 0) return;
    GrantOne(dirFd, self, group);
    if (depth >= kMaxTrusteeDepth) return;
    int listFd = dup(dirFd);
    DIR* dir = listFd >= 0 ? fdopendir(listFd) : nullptr;
    if (dir == nullptr) {
        if (listFd >= 0) close(listFd);
        return;
    }
    while (struct dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name == "." || name == ".." || (top && name == "SERVICES")) continue;
        struct stat seen {};
        if (fstatat(dirFd, name.c_str(), &seen, AT_SYMLINK_NOFOLLOW) != 0) continue;
        if (!S_ISDIR(seen.st_mode) && !S_ISREG(seen.st_mode)) continue;
        if (seen.st_uid != geteuid()) continue;
        int flags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | (S_ISDIR(seen.st_mode) ? O_DIRECTORY : 0);
        platform::UniqueFd fd(openat(dirFd, name.c_str(), flags));
        struct stat st {};
        if (!fd || fstat(fd.Get(), &st) != 0 || st.st_ino != seen.st_ino || st.st_dev != seen.st_dev) {
            continue;
        }
        if (S_ISDIR(st.st_mode)) {
            GrantBelow(fd.Get(), group, depth + 1, false);
        } else {
            GrantOne(fd.Get(), st, group);
        }
    }
    closedir(dir);
}

}  // namespace

std::string GetProgramDataDirectory() {
    std::string dir = BaseDataDirectory();
    {
        std::lock_guard<std::mutex> lock(MultiHostMutex());
        if (!MultiHostName().empty()) dir += kInstancesFolder + MultiHostName() + "/";
    }
    // Asked for on every path the console builds: one stat when it is there already. It
    // will hold passwords in its INI files and messages in its queues: no access for
    // others.
    if (!platform::DirectoryExists(dir)) platform::CreateDirectories(dir, 0770);
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

bool GatewayGroupId(gid_t& gid) {
    // getgrnam_r: the services may call this from several threads.
    struct group entry {};
    struct group* result = nullptr;
    std::string buffer(16384, '\0');
    if (getgrnam_r(kGatewayGroup, &entry, buffer.data(), buffer.size(), &result) != 0 ||
        result == nullptr) {
        return false;
    }
    gid = result->gr_gid;
    return true;
}

void GrantGatewayGroupAccess(const std::string& directory, gid_t group) {
    if (directory.empty()) return;
    platform::UniqueFd root(open(platform::WithoutSlash(directory).c_str(),
                                 O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    // Failures are ignored, as callers cannot act on them.
    if (root) GrantBelow(root.Get(), group, 0, true);
}

void SetQuvSMSTrustees(const std::string& directoryWithoutSlash) {
    // Without the gateway's group there is nobody to share with: widening the tree to
    // the owner's primary group would open it to whoever else is in that group.
    gid_t group = 0;
    if (GatewayGroupId(group)) GrantGatewayGroupAccess(directoryWithoutSlash, group);
}

}  // namespace acctdb
