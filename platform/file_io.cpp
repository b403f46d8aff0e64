// Whole-file I/O, atomic replacement and advisory locks. Every open here refuses a final
// symbolic link and anything but a regular file: the data directory is writable by other
// users than the one running the console, which may be root.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <string>
#include <utility>

#include "platform/cancel.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/regular_file.h"
#include "platform/unique_fd.h"

namespace platform {

namespace {

std::atomic<bool> durableWrites{true};

// Marks "no mode asked for": a new file gets 0666 less the umask.
constexpr unsigned kUmaskMode = ~0u;
// Marks "a private file": a new file gets 0660 less the umask.
constexpr unsigned kPrivateMode = ~1u;

// The mode a new file is created with before any exact mode is set: open() takes the
// umask off it.
mode_t CreationMode(bool exactMode, unsigned mode) {
    if (exactMode) return 0600;
    return mode == kPrivateMode ? 0660 : 0666;
}
constexpr int kTemporaryAttempts = 16;
constexpr std::uint64_t kLockRetryMaxMs = 20;

bool WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        ssize_t n = write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// Reads until end of file, or until `limit` bytes and, with `probe`, one byte more to
// tell whether the file goes on (`more`). `expectedSize` (the size at opening, 0 when
// unknown, as for /proc files) sizes the buffer and ends the read once reached.
bool ReadBounded(int fd, std::uint64_t expectedSize, std::size_t limit, bool probe,
                 std::string& content, bool& more) {
    const std::size_t expected =
        static_cast<std::size_t>(std::min<std::uint64_t>(expectedSize, SIZE_MAX));
    if (probe && expected > limit) {  // known too long: nothing to read
        content.clear();
        more = true;
        return true;
    }
    const std::size_t cap = probe && limit < SIZE_MAX ? limit + 1 : limit;
    std::size_t size = 0;
    content.resize(std::min(cap, std::max<std::size_t>(expected, 4096)));
    while (!(expected > 0 && size == expected)) {
        if (size == content.size()) {
            if (size >= cap) break;
            content.resize(size > cap / 2 ? cap : size * 2);
        }
        ssize_t n = read(fd, content.data() + size, content.size() - size);
        if (n < 0) {
            if (errno == EINTR) continue;
            content.clear();
            return false;
        }
        if (n == 0) break;
        size += static_cast<std::size_t>(n);
    }
    more = size > limit;
    content.resize(std::min(size, limit));
    return true;
}

std::string DirectoryOf(const std::string& path) {
    std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string BaseNameOf(const std::string& path) {
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

void SyncDirectory(const std::string& dir) {
    UniqueFd fd(open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd) fsync(fd.Get());
}

// Creates a fresh temporary file beside `path` (never through an existing name), named
// ".<base>.<pid>.<n>.tmp" so that writers can tell a dead writer's leftovers.
UniqueFd CreateTemporary(const std::string& path, unsigned mode, std::string& temp) {
    static std::atomic<unsigned> counter{0};
    const std::string dir = DirectoryOf(path);
    const std::string prefix = (dir == "/" ? "" : dir) + "/." + BaseNameOf(path) + "." +
                               std::to_string(getpid()) + ".";
    for (int attempt = 0; attempt < kTemporaryAttempts; ++attempt) {
        temp = prefix + std::to_string(counter++) + ".tmp";
        UniqueFd fd(open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                         static_cast<mode_t>(mode)));
        if (fd || errno != EEXIST) return fd;
    }
    return UniqueFd();
}

// Gives the new file the replaced file's owner (when we may) or at least its group, and
// its permission bits without set-id bits; all on the descriptor.
bool TakeOver(int fd, const struct stat& original) {
    if (fchown(fd, original.st_uid, original.st_gid) != 0 &&
        fchown(fd, static_cast<uid_t>(-1), original.st_gid) != 0) {
        // Neither the owner nor the group is ours to give; the mode still is.
    }
    return fchmod(fd, original.st_mode & 0777) == 0;
}

bool ReplaceFile(const std::string& path, const std::string& content, unsigned newFileMode) {
    struct stat original {};
    const bool had = lstat(path.c_str(), &original) == 0;
    if (!had && errno != ENOENT) return false;
    // The name itself is replaced, never what a planted link points at; a link, FIFO,
    // device or directory under the name is not ours to replace.
    if (had && !S_ISREG(original.st_mode)) {
        errno = S_ISLNK(original.st_mode) ? ELOOP : EINVAL;
        return false;
    }
    const bool exactMode = !had && newFileMode != kUmaskMode && newFileMode != kPrivateMode;
    std::string temp;
    UniqueFd fd = CreateTemporary(path, had ? 0600 : CreationMode(exactMode, newFileMode), temp);
    if (!fd) return false;
    bool ok = true;
    if (had) ok = TakeOver(fd.Get(), original);
    if (exactMode) ok = fchmod(fd.Get(), static_cast<mode_t>(newFileMode & 07777)) == 0;
    const bool durable = durableWrites.load(std::memory_order_relaxed);
    ok = ok && WriteAll(fd.Get(), content.data(), content.size()) &&
         (!durable || fsync(fd.Get()) == 0);
    ok = close(fd.Release()) == 0 && ok;
    ok = ok && rename(temp.c_str(), path.c_str()) == 0;
    if (!ok) {
        const int saved = errno;
        unlink(temp.c_str());
        errno = saved;
        return false;
    }
    if (durable) SyncDirectory(DirectoryOf(path));
    return true;
}

bool CreateIfMissing(const std::string& path, unsigned mode) {
    const bool exactMode = mode != kUmaskMode && mode != kPrivateMode;
    UniqueFd fd(open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY,
                     CreationMode(exactMode, mode)));
    if (fd) return !exactMode || fchmod(fd.Get(), static_cast<mode_t>(mode & 07777)) == 0;
    if (errno != EEXIST) return false;
    // Only a regular file counts as there; a link (even to a file) or a FIFO does not.
    struct stat st {};
    return lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

bool ReadFile(const std::string& path, std::string& content, std::size_t limit) {
    content.clear();
    std::uint64_t size = 0;
    UniqueFd fd = OpenRegularFile(path, OpenOptions{}, &size);
    bool more = false;
    if (!fd || !ReadBounded(fd.Get(), size, limit, true, content, more)) return false;
    if (more) {
        content.clear();
        errno = EFBIG;
        return false;
    }
    return true;
}

bool ReadFile(const std::string& path, std::string& content) {
    return ReadFile(path, content, kMaxDataFileBytes);
}

bool ReadFileHead(const std::string& path, std::size_t maxBytes, std::string& content) {
    content.clear();
    std::uint64_t size = 0;
    UniqueFd fd = OpenRegularFile(path, OpenOptions{}, &size);
    bool more = false;
    return fd && ReadBounded(fd.Get(), size, maxBytes, false, content, more);
}

bool ReadFileHeadAt(int dirFd, const char* name, std::size_t maxBytes, std::string& content,
                    std::int64_t* modifiedUnixMillis) {
    std::uint64_t size = 0;
    UniqueFd fd = OpenRegularFileAt(dirFd, name, FileAccess::Read, &size, modifiedUnixMillis);
    bool more = false;
    if (fd && ReadBounded(fd.Get(), size, maxBytes, false, content, more)) return true;
    content.clear();
    return false;
}

FileBatch::~FileBatch() {
    for (const auto& [temp, path] : staged_) unlink(temp.c_str());
}

bool FileBatch::Stage(const std::string& path, const std::string& content, unsigned newFileMode) {
    const bool exactMode = newFileMode != kUmaskMode && newFileMode != kPrivateMode;
    std::string temp;
    UniqueFd fd = CreateTemporary(path, CreationMode(exactMode, newFileMode), temp);
    if (!fd) return false;
    bool ok = !exactMode || fchmod(fd.Get(), static_cast<mode_t>(newFileMode & 07777)) == 0;
    ok = WriteAll(fd.Get(), content.data(), content.size()) && ok;
    ok = close(fd.Release()) == 0 && ok;
    if (!ok) {
        unlink(temp.c_str());
        return false;
    }
    staged_.emplace_back(temp, path);
    return true;
}

std::vector<std::string> FileBatch::Commit() {
    std::vector<std::string> failed;
    if (staged_.empty()) return failed;
    const bool durable = durableWrites.load(std::memory_order_relaxed);
    UniqueFd dir(open(DirectoryOf(staged_.front().second).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    // One sync of the file system writes every staged file's data at once.
    const bool synced = !durable || (dir && syncfs(dir.Get()) == 0);
    for (const auto& [temp, path] : staged_) {
        if (!synced || rename(temp.c_str(), path.c_str()) != 0) {
            unlink(temp.c_str());
            failed.push_back(path);
        }
    }
    if (durable && dir) syncfs(dir.Get());
    staged_.clear();
    return failed;
}

bool WriteFileAtomic(const std::string& path, const std::string& content) {
    return ReplaceFile(path, content, kUmaskMode);
}

bool WriteFileAtomic(const std::string& path, const std::string& content, unsigned newFileMode) {
    return ReplaceFile(path, content, newFileMode);
}

void SetDurableWrites(bool durable) { durableWrites.store(durable, std::memory_order_relaxed); }

bool CreateFileIfMissing(const std::string& path) { return CreateIfMissing(path, kUmaskMode); }

bool WritePrivateFileAtomic(const std::string& path, const std::string& content) {
    return ReplaceFile(path, content, kPrivateMode);
}

bool CreatePrivateFileIfMissing(const std::string& path) { return CreateIfMissing(path, kPrivateMode); }

bool CreateFileIfMissing(const std::string& path, unsigned mode) {
    return CreateIfMissing(path, mode);
}

bool DeleteFileChecked(const std::string& path) {
    struct stat st {};
    if (path.empty() || lstat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
    if (!S_ISREG(st.st_mode)) return unlink(path.c_str()) == 0;
    UniqueFd fd = OpenRegularFile(path, OpenOptions{FileAccess::Read});
    if (!fd) fd = OpenRegularFile(path, OpenOptions{FileAccess::Write});
    // Holding the exclusive lock while unlinking closes the window in which the holder
    // could take its lock between our check and the unlink.
    if (fd && TryLockDescriptor(fd.Get(), true) != LockResult::Locked) return false;
    return unlink(path.c_str()) == 0;
}

FileLock::FileLock(const std::string& path, bool exclusive, bool wait, bool create,
                   std::uint64_t waitLimitMs) {
    const std::uint64_t waitMs = wait ? waitLimitMs : 0;
    // Opened for writing or not at all: a lock anybody who can read the file could take
    // would let any reader hold off every writer.
    OpenOptions options;
    options.access = FileAccess::Write;
    options.create = create;
    UniqueFd fd = OpenRegularFile(path, options);
    if (!fd) return;
    ClockSource& clock = Clock();
    const std::uint64_t start = clock.TickCount();
    std::uint64_t pause = 1;
    for (;;) {
        LockResult result = TryLockDescriptor(fd.Get(), exclusive);
        if (result == LockResult::Locked) break;
        if (result == LockResult::Failed || CancelRequested()) return;
        const std::uint64_t waited = clock.TickCount() - start;
        if (waited >= waitMs) return;
        clock.Sleep(std::min({pause, waitMs - waited, kLockRetryMaxMs}));
        pause = std::min(pause * 2, kLockRetryMaxMs);
    }
    fd_ = fd.Release();
}

FileLock::~FileLock() {
    if (fd_ >= 0) close(fd_);
}

FileLock::FileLock(FileLock&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

FileLock& FileLock::operator=(FileLock&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) close(fd_);
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

bool IsFileLocked(const std::string& path) {
    UniqueFd fd = OpenRegularFile(path, OpenOptions{});
    return fd && TryLockDescriptor(fd.Get(), true) == LockResult::Busy;
}

}  // namespace platform
