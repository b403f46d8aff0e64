// The supervisor's state folder through a directory descriptor.
#include "platform/service_manager_state.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/files.h"

namespace platform {
namespace {

constexpr std::size_t kMaxStateFile = 64 * 1024;

}  // namespace

int ServiceStateFolder::Open(const std::string& path, bool forChanges) {
    fd_.Reset();
    // Without the trailing slash, so O_NOFOLLOW applies to the folder's own name.
    const std::string folder = WithoutSlash(path);
    if (forChanges && mkdir(folder.c_str(), 0755) != 0 && errno != EEXIST) return errno;
    UniqueFd fd(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd) return errno == ELOOP || errno == ENOTDIR ? EACCES : errno;
    struct stat st {};
    if (fstat(fd.Get(), &st) != 0) return errno;
    const bool ownOwner = st.st_uid == geteuid();
    const bool allowedOwner = ownOwner || (!forChanges && st.st_uid == 0);
    if (!S_ISDIR(st.st_mode) || !allowedOwner || (st.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        return EACCES;
    }
    fd_ = std::move(fd);
    return 0;
}

bool ServiceStateFolder::Read(const std::string& name, std::string& content) const {
    content.clear();
    if (!fd_) return false;
    UniqueFd fd(openat(fd_.Get(), name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat st {};
    if (!fd || fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    char buffer[4096];
    while (content.size() < kMaxStateFile) {
        ssize_t n = read(fd.Get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) break;
        content.append(buffer, static_cast<std::size_t>(n));
    }
    return true;
}

bool ServiceStateFolder::Write(const std::string& name, const std::string& content) const {
    if (!fd_) return false;
    const std::string temp = "." + name + ".tmp" + std::to_string(getpid());
    unlinkat(fd_.Get(), temp.c_str(), 0);
    UniqueFd fd(openat(fd_.Get(), temp.c_str(),
                       O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
    if (!fd) return false;
    std::size_t done = 0;
    while (done < content.size()) {
        ssize_t n = write(fd.Get(), content.data() + done, content.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    bool ok = done == content.size() && fchmod(fd.Get(), 0644) == 0 && fsync(fd.Get()) == 0;
    fd.Reset();
    if (ok && renameat(fd_.Get(), temp.c_str(), fd_.Get(), name.c_str()) == 0) return true;
    int error = errno;
    unlinkat(fd_.Get(), temp.c_str(), 0);
    errno = error;
    return false;
}

bool ServiceStateFolder::Remove(const std::string& name) const {
    return fd_ && (unlinkat(fd_.Get(), name.c_str(), 0) == 0 || errno == ENOENT);
}

bool ServiceStateFolder::HasFile(const std::string& name) const {
    struct stat st {};
    return fd_ && fstatat(fd_.Get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
           S_ISREG(st.st_mode);
}

UniqueFd ServiceStateFolder::Lock(const std::string& name) const {
    if (!fd_) return UniqueFd();
    UniqueFd fd(openat(fd_.Get(), name.c_str(),
                       O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600));
    if (!fd) return fd;
    while (flock(fd.Get(), LOCK_EX) != 0) {
        if (errno != EINTR) return UniqueFd();
    }
    return fd;
}

}  // namespace platform
