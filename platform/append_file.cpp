#include "platform/append_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/unique_fd.h"

namespace platform {

bool AppendToFile(const std::string& path, const std::string& text, unsigned newFileMode) {
    UniqueFd fd(::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC,
                       static_cast<mode_t>(newFileMode)));
    if (!fd) return false;
    struct stat info {};
    if (::fstat(fd.Get(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
    ssize_t written;
    do {
        written = ::write(fd.Get(), text.data(), text.size());
    } while (written < 0 && errno == EINTR);
    if (written > 0 && static_cast<std::size_t>(written) < text.size()) {
        // Part of the line went in before the disk filled up: cut it off again, so no
        // reader ever takes half a line for a whole one. Only one process appends to a
        // log, so the end is ours.
        const off_t end = ::lseek(fd.Get(), 0, SEEK_CUR);
        if (end >= written) {
            const int ignored = ::ftruncate(fd.Get(), end - written);
            (void)ignored;
        }
        errno = ENOSPC;
        return false;
    }
    return written == static_cast<ssize_t>(text.size());
}

}  // namespace platform
