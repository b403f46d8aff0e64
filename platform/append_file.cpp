#include "platform/append_file.h"

#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/unique_fd.h"

namespace platform {

namespace {

// The file under `path` opened for appending; closed when it is no regular file.
UniqueFd OpenForAppend(const std::string& path, unsigned newFileMode) {
    UniqueFd fd(::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC,
                       static_cast<mode_t>(newFileMode)));
    if (!fd) return fd;
    struct stat info {};
    if (::fstat(fd.Get(), &info) != 0 || !S_ISREG(info.st_mode)) return UniqueFd();
    return fd;
}

bool AppendWhole(int fd, const std::string& text) {
    ssize_t written;
    do {
        written = ::write(fd, text.data(), text.size());
    } while (written < 0 && errno == EINTR);
    if (written > 0 && static_cast<std::size_t>(written) < text.size()) {
        // Part of the line went in before the disk filled up: cut it off again, so no
        // reader ever takes half a line for a whole one. Only one process appends to a
        // log, so the end is ours.
        const off_t end = ::lseek(fd, 0, SEEK_CUR);
        if (end >= written) {
            const int ignored = ::ftruncate(fd, end - written);
            (void)ignored;
        }
        errno = ENOSPC;
        return false;
    }
    return written == static_cast<ssize_t>(text.size());
}

}  // namespace

bool AppendToFile(const std::string& path, const std::string& text, unsigned newFileMode) {
    UniqueFd fd = OpenForAppend(path, newFileMode);
    return fd && AppendWhole(fd.Get(), text);
}

AppendingFile::AppendingFile() = default;
AppendingFile::~AppendingFile() { Close(); }
AppendingFile::AppendingFile(AppendingFile&& other) noexcept
    : path_(std::move(other.path_)), fd_(std::exchange(other.fd_, -1)) {}
AppendingFile& AppendingFile::operator=(AppendingFile&& other) noexcept {
    if (this != &other) {
        Close();
        path_ = std::move(other.path_);
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

void AppendingFile::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

bool AppendingFile::Append(const std::string& path, const std::string& text, unsigned newFileMode) {
    if (fd_ < 0 || path != path_) {
        Close();
        fd_ = OpenForAppend(path, newFileMode).Release();
        path_ = path;
        if (fd_ < 0) return false;
    }
    if (AppendWhole(fd_, text)) return true;
    const int error = errno;
    Close();  // opened afresh next time, in case the file is what failed
    errno = error;
    return false;
}

void AppendingFile::Recheck() {
    if (fd_ < 0) return;
    struct stat open {}, named {};
    if (::fstat(fd_, &open) != 0 || ::lstat(path_.c_str(), &named) != 0 || open.st_ino != named.st_ino ||
        open.st_dev != named.st_dev)
        Close();
}

}  // namespace platform
