#include "platform/locked_file.h"

#include <cstdio>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace platform {

namespace {

std::atomic<unsigned> g_temporaryCounter{0};

bool WriteAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t put = ::write(fd, text.data() + done, text.size() - done);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        done += static_cast<std::size_t>(put);
    }
    return true;
}

}  // namespace

LockedFile::ClaimResult LockedFile::Claim(const std::string& path, std::size_t maxBytes) {
    Release();
    UniqueFd fd(::open(path.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!fd) return errno == ENOENT ? ClaimResult::Missing : errno == ELOOP ? ClaimResult::NotRegular : ClaimResult::Failed;
    struct stat info {};
    if (::fstat(fd.Get(), &info) != 0) return ClaimResult::Failed;
    if (!S_ISREG(info.st_mode)) return ClaimResult::NotRegular;
    if (::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) return errno == EWOULDBLOCK ? ClaimResult::Busy : ClaimResult::Failed;
    if (static_cast<std::uint64_t>(info.st_size) > maxBytes) return ClaimResult::TooLarge;
    path_ = path;
    inode_ = static_cast<std::uint64_t>(info.st_ino);
    device_ = static_cast<std::uint64_t>(info.st_dev);
    modifiedMillis_ = static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000 + info.st_mtim.tv_nsec / 1'000'000;
    // The console renames a new request over an old one: the file locked may already be
    // gone from the path.
    if (!StillAtPath()) return ClaimResult::Missing;
    text_.resize(static_cast<std::size_t>(info.st_size));
    std::size_t got = 0;
    while (got < text_.size()) {
        const ssize_t n = ::pread(fd.Get(), text_.data() + got, text_.size() - got, static_cast<off_t>(got));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
    }
    text_.resize(got);
    fd_ = std::move(fd);
    return ClaimResult::Claimed;
}

bool LockedFile::StillAtPath() const {
    struct stat now {};
    return ::lstat(path_.c_str(), &now) == 0 && static_cast<std::uint64_t>(now.st_ino) == inode_ &&
           static_cast<std::uint64_t>(now.st_dev) == device_;
}

bool LockedFile::Rewrite(const std::string& text) {
    if (!fd_ || !StillAtPath()) return false;
    const std::size_t slash = path_.rfind('/');
    const std::string dir = slash == std::string::npos ? "" : path_.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path_ : path_.substr(slash + 1);
    const std::string temporary = dir + "." + name + "." + std::to_string(::getpid()) + "." +
                                  std::to_string(g_temporaryCounter.fetch_add(1)) + ".tmp";
    UniqueFd fd(::open(temporary.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0660));
    if (!fd) return false;
    ::fchmod(fd.Get(), 0660);  // the console must be able to edit and delete it, whatever the umask
    struct stat old {};
    ::fstat(fd_.Get(), &old);
    const struct timespec times[2] = {old.st_atim, old.st_mtim};
    const bool written = ::flock(fd.Get(), LOCK_EX | LOCK_NB) == 0 && WriteAll(fd.Get(), text) &&
                         ::fdatasync(fd.Get()) == 0 && ::futimens(fd.Get(), times) == 0;
    if (!written || !StillAtPath() || ::rename(temporary.c_str(), path_.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    struct stat info {};
    ::fstat(fd.Get(), &info);
    inode_ = static_cast<std::uint64_t>(info.st_ino);
    device_ = static_cast<std::uint64_t>(info.st_dev);
    fd_ = std::move(fd);
    text_ = text;
    return true;
}

bool LockedFile::Remove() {
    const bool removed = fd_ && StillAtPath() && ::unlink(path_.c_str()) == 0;
    Release();
    return removed;
}

bool LockedFile::RenameTo(const std::string& newPath) {
    const bool renamed = fd_ && StillAtPath() && ::rename(path_.c_str(), newPath.c_str()) == 0;
    if (renamed) path_ = newPath;
    return renamed;
}

void LockedFile::Release() {
    fd_.Reset();
    text_.clear();
}

}  // namespace platform
