// Paths, directory listings and pattern matching.
#include "platform/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <memory>

#include "platform/opened_directory.h"
#include "platform/regular_file.h"
#include "platform/unique_fd.h"

namespace platform {

namespace {

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

struct DirCloser {
    void operator()(DIR* d) const { closedir(d); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

DirEntry MakeEntry(const std::string& dir, const char* name) {
    DirEntry e;
    e.name = name;
    struct stat st {};
    if (stat((dir + name).c_str(), &st) == 0 || lstat((dir + name).c_str(), &st) == 0) {
        e.isDirectory = S_ISDIR(st.st_mode);
        e.size = S_ISREG(st.st_mode) ? static_cast<std::uint64_t>(st.st_size) : 0;
        e.modifiedUnixMillis = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000 +
                               st.st_mtim.tv_nsec / 1'000'000;
    }
    return e;
}

}  // namespace

bool FileExists(const std::string& path) {
    struct stat st {};
    return !path.empty() && stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
    struct stat st {};
    return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool PathExists(const std::string& path) {
    struct stat st {};
    return !path.empty() && lstat(path.c_str(), &st) == 0;
}

bool CreateDirectories(const std::string& path) { return CreateDirectories(path, 0777); }

bool CreateDirectories(const std::string& path, unsigned mode) {
    if (path.empty()) return false;
    std::string p = WithoutSlash(path);
    for (std::size_t pos = 1; pos <= p.size(); ++pos) {
        if (pos != p.size() && p[pos] != '/') continue;
        std::string prefix = p.substr(0, pos);
        if (mkdir(prefix.c_str(), static_cast<mode_t>(mode & 07777)) != 0 && errno != EEXIST) return false;
    }
    return DirectoryExists(p);
}

std::string WithSlash(std::string path) {
    if (!path.empty() && path.back() != '/') path += '/';
    return path;
}

std::string WithoutSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

bool MatchesPattern(const std::string& name, const std::string& pattern) {
    // "*.*" means every name on Windows, also names without a dot.
    if (pattern == "*.*") return true;
    std::size_t n = 0, p = 0, starP = std::string::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || Lower(pattern[p]) == Lower(name[n]))) {
            ++n;
            ++p;
        } else if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (starP != std::string::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

void WalkDirectory(const std::string& dir, const std::string& pattern,
                   const std::function<bool(const DirEntry&)>& visit) {
    std::string base = WithSlash(dir);
    DirHandle handle(opendir(base.c_str()));
    if (!handle) return;
    while (dirent* d = readdir(handle.get())) {
        if (!MatchesPattern(d->d_name, pattern)) continue;
        if (!visit(MakeEntry(base, d->d_name))) return;
    }
}

void WalkDirectoryNames(const std::string& dir, const std::string& pattern,
                        const std::function<bool(const DirEntry&)>& visit) {
    WalkDirectoryNamesAt(dir, pattern, [&](int, const DirEntry& e) { return visit(e); });
}

// The entries of an open directory stream `dir` (descriptor `dirFd`) matching `pattern`,
// each handed to `visit` with `visitFd`; stops when `visit` returns false.
static void ReadEntries(DIR* dir, int dirFd, int visitFd, const std::string& pattern,
                        const std::function<bool(int dirFd, const DirEntry&)>& visit) {
    DirEntry entry;
    struct stat dirStat {};
    if (fstat(dirFd, &dirStat) == 0) entry.device = static_cast<std::uint64_t>(dirStat.st_dev);
    while (dirent* d = readdir(dir)) {
        if (!MatchesPattern(d->d_name, pattern)) continue;
        entry.name = d->d_name;
        entry.inode = static_cast<std::uint64_t>(d->d_ino);
        if (d->d_type == DT_DIR || d->d_type == DT_REG) {
            entry.isDirectory = d->d_type == DT_DIR;
        } else {
            struct stat st {};
            entry.isDirectory = fstatat(dirFd, d->d_name, &st, 0) == 0 && S_ISDIR(st.st_mode);
        }
        if (!visit(visitFd, entry)) return;
    }
}

void WalkDirectoryNamesAt(const std::string& dir, const std::string& pattern,
                          const std::function<bool(int dirFd, const DirEntry&)>& visit) {
    std::string base = WithSlash(dir);
    DirHandle handle(opendir(base.c_str()));
    if (!handle) return;
    const int dirFd = dirfd(handle.get());
    ReadEntries(handle.get(), dirFd, dirFd, pattern, visit);
}

bool ModifiedTimeAt(int dirFd, const char* name, std::int64_t& unixMillis) {
    struct stat st {};
    if (fstatat(dirFd, name, &st, 0) != 0 && fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
        return false;
    unixMillis = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1'000'000;
    return true;
}

std::vector<DirEntry> ListDirectory(const std::string& dir, const std::string& pattern) {
    std::vector<DirEntry> entries;
    WalkDirectory(dir, pattern, [&](const DirEntry& e) {
        entries.push_back(e);
        return true;
    });
    // Readdir order is arbitrary; a stable order keeps lists and tests reproducible.
    std::sort(entries.begin(), entries.end(),
              [](const DirEntry& a, const DirEntry& b) { return a.name < b.name; });
    return entries;
}

bool RemoveDirectory(const std::string& path) {
    return !path.empty() && rmdir(WithoutSlash(path).c_str()) == 0;
}

namespace {

// Deletes a plain file of the directory `dirFd` unless another holder keeps an advisory
// lock on it (the rule of DeleteFileChecked), without following a link on the way.
void DeleteFileAt(int dirFd, const char* name) {
    const int fd = openat(dirFd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        unlinkat(dirFd, name, 0);
        return;
    }
    UniqueFd file(fd);
    // Holding the exclusive lock while unlinking closes the window in which the holder
    // could take its lock between our check and the unlink.
    if (TryLockDescriptor(file.Get(), true) == LockResult::Locked) unlinkat(dirFd, name, 0);
}

// Empties the directory open as `dirFd` (taken over), as DeleteDirectoryTree describes.
// Every step is relative to an open directory, so a directory swapped for a symbolic
// link while the walk runs is never followed out of the tree.
void DeleteEntriesAt(int dirFd) {
    DirHandle handle(fdopendir(dirFd));
    if (!handle) {
        close(dirFd);
        return;
    }
    const int at = dirfd(handle.get());
    while (dirent* d = readdir(handle.get())) {
        const std::string name = d->d_name;
        if (name == "." || name == "..") continue;
        struct stat st {};
        if (fstatat(at, d->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
        if (S_ISDIR(st.st_mode)) {
            if (name[0] == '.') continue;
            const int sub = openat(at, d->d_name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (sub < 0) continue;
            DeleteEntriesAt(sub);
            unlinkat(at, d->d_name, AT_REMOVEDIR);
        } else if (S_ISREG(st.st_mode)) {
            DeleteFileAt(at, d->d_name);
        } else {
            unlinkat(at, d->d_name, 0);
        }
    }
}

}  // namespace

void DeleteDirectoryTree(const std::string& path) {
    if (path.empty()) return;
    const std::string dir = WithoutSlash(path);
    // A symbolic link given as the tree is not followed: nothing outside is emptied.
    const int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return;
    DeleteEntriesAt(fd);
    rmdir(dir.c_str());
}

OpenedDirectory OpenedDirectory::Open(const std::string& path) {
    const std::string dir = WithSlash(path);
    return OpenedDirectory(open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

OpenedDirectory OpenedDirectory::Sub(const std::string& name) const {
    if (!Valid() || name.empty() || name.find('/') != std::string::npos) return {};
    return OpenedDirectory(
        openat(fd_.Get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

void OpenedDirectory::Walk(const std::string& pattern,
                           const std::function<bool(int dirFd, const DirEntry&)>& visit) const {
    if (!Valid()) return;
    // A walk of its own: readdir's position belongs to the open file, not to this handle.
    const int fd = openat(fd_.Get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    DirHandle handle(fdopendir(fd));
    if (!handle) {
        close(fd);
        return;
    }
    ReadEntries(handle.get(), fd, fd_.Get(), pattern, visit);
}

bool OpenedDirectory::Has(const std::string& name) const {
    struct stat st {};
    return Valid() && fstatat(fd_.Get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
}

bool OpenedDirectory::DeleteFile(const std::string& name) const {
    if (!Valid() || name.empty() || name.find('/') != std::string::npos) return false;
    struct stat st {};
    if (fstatat(fd_.Get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return true;
    if (S_ISDIR(st.st_mode)) return false;
    DeleteFileAt(fd_.Get(), name.c_str());
    return !Has(name);
}

void OpenedDirectory::DeleteTree(const std::string& name) const {
    if (!Valid() || name.empty() || name.find('/') != std::string::npos || name == "." ||
        name == "..")
        return;
    const int sub = openat(fd_.Get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (sub < 0) return;
    DeleteEntriesAt(sub);
    unlinkat(fd_.Get(), name.c_str(), AT_REMOVEDIR);
}

std::string ExecutablePath() {
    std::string buffer(4096, '\0');
    ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n <= 0) return {};
    buffer.resize(static_cast<std::size_t>(n));
    return buffer;
}

std::string ExecutableDirectory() {
    std::string exe = ExecutablePath();
    std::size_t slash = exe.rfind('/');
    if (slash == std::string::npos) return "./";
    return exe.substr(0, slash + 1);
}

std::string HomeDirectory() {
    const char* home = std::getenv("HOME");
    if (home != nullptr && *home != '\0') return WithoutSlash(home);
    struct passwd pw {};
    struct passwd* result = nullptr;
    std::string buffer(16384, '\0');
    if (getpwuid_r(getuid(), &pw, buffer.data(), buffer.size(), &result) == 0 && result &&
        result->pw_dir) {
        return WithoutSlash(result->pw_dir);
    }
    return {};
}

}  // namespace platform
