#include "platform/regular_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace platform {

namespace {

int AccessFlags(FileAccess access) {
    return access == FileAccess::Read ? O_RDONLY : access == FileAccess::Write ? O_WRONLY : O_RDWR;
}

// Keeps `fd` only when it is a regular file and makes its reads blocking again.
UniqueFd AcceptRegular(UniqueFd fd, std::uint64_t* size, std::int64_t* modifiedUnixMillis) {
    if (!fd) return fd;
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0) return UniqueFd();
    if (!S_ISREG(st.st_mode)) {
        errno = EINVAL;
        return UniqueFd();
    }
    if (size != nullptr) *size = static_cast<std::uint64_t>(st.st_size);
    if (modifiedUnixMillis != nullptr)
        *modifiedUnixMillis =
            static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1'000'000;
    // Non-blocking only served to open a FIFO without waiting; reads of a regular file
    // are not affected, but a lease or mandatory lock would turn them into EAGAIN.
    // (Of the flags F_SETFL changes, only O_NONBLOCK was asked for.)
    if (::fcntl(fd.Get(), F_SETFL, ::fcntl(fd.Get(), F_GETFL) & O_APPEND) != 0) return UniqueFd();
    return fd;
}

constexpr int kSafeOpenFlags = O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY;

}  // namespace

UniqueFd OpenRegularFile(const std::string& path, const OpenOptions& options,
                         std::uint64_t* size) {
    const int flags = kSafeOpenFlags | (options.create ? O_CREAT : 0) | (options.append ? O_APPEND : 0) |
                      AccessFlags(options.access);
    UniqueFd fd(::open(path.c_str(), flags, static_cast<mode_t>(options.mode)));
    return AcceptRegular(std::move(fd), size, nullptr);
}

UniqueFd OpenRegularFileAt(int dirFd, const char* name, FileAccess access, std::uint64_t* size,
                           std::int64_t* modifiedUnixMillis) {
    if (std::strchr(name, '/') != nullptr) {
        errno = EINVAL;
        return UniqueFd();
    }
    UniqueFd fd(::openat(dirFd, name, kSafeOpenFlags | AccessFlags(access)));
    return AcceptRegular(std::move(fd), size, modifiedUnixMillis);
}

LockResult TryLockDescriptor(int fd, bool exclusive) {
    if (fd < 0) return LockResult::Failed;
    int rc;
    do {
        rc = ::flock(fd, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc == 0) return LockResult::Locked;
    return errno == EWOULDBLOCK ? LockResult::Busy : LockResult::Failed;
}

RegularFile RegularFile::Open(const std::string& path, FileAccess access) {
    OpenOptions options;
    options.access = access;
    return RegularFile(OpenRegularFile(path, options));
}

std::int64_t RegularFile::Size() const {
    struct stat st {};
    if (!fd_ || ::fstat(fd_.Get(), &st) != 0) return -1;
    return static_cast<std::int64_t>(st.st_size);
}

std::size_t RegularFile::ReadAt(std::uint64_t offset, void* buffer, std::size_t size) const {
    auto* bytes = static_cast<unsigned char*>(buffer);
    std::size_t total = 0;
    while (fd_ && total < size) {
        ssize_t got = ::pread(fd_.Get(), bytes + total, size - total,
                              static_cast<off_t>(offset + total));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        total += static_cast<std::size_t>(got);
    }
    return total;
}

bool RegularFile::WriteAt(std::uint64_t offset, const void* data, std::size_t size) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    std::size_t total = 0;
    while (fd_ && total < size) {
        ssize_t put = ::pwrite(fd_.Get(), bytes + total, size - total,
                               static_cast<off_t>(offset + total));
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        total += static_cast<std::size_t>(put);
    }
    return total == size;
}

bool RegularFile::Truncate(std::uint64_t size) {
    return fd_ && ::ftruncate(fd_.Get(), static_cast<off_t>(size)) == 0;
}

}  // namespace platform
