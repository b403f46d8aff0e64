// Whole-file I/O, atomic replacement and advisory locks.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string>
#include <utility>

#include "platform/files.h"

namespace platform {

namespace {

std::atomic<bool> durableWrites{true};

class UniqueFd {
public:
    explicit UniqueFd(int fd = -1) : fd_(fd) {}
    ~UniqueFd() { Reset(); }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    int Get() const { return fd_; }
    int Release() { return std::exchange(fd_, -1); }
    void Assign(int fd) {
        Reset();
        fd_ = fd;
    }
    bool Reset() {
        int fd = std::exchange(fd_, -1);
        return fd < 0 || close(fd) == 0;
    }

private:
    int fd_;
};

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

int FlockRetry(int fd, int operation) {
    int rc;
    do {
        rc = flock(fd, operation);
    } while (rc != 0 && errno == EINTR);
    return rc;
}

// Writes through a symbolic link replace its target, as an in-place write would.
std::string ResolveTarget(const std::string& path) {
    struct stat st {};
    if (lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        char resolved[PATH_MAX];
        if (realpath(path.c_str(), resolved) != nullptr) return resolved;
    }
    return path;
}

std::string DirectoryOf(const std::string& path) {
    std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

void SyncDirectory(const std::string& dir) {
    UniqueFd fd(open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.Get() >= 0) fsync(fd.Get());
}

}  // namespace

bool ReadFile(const std::string& path, std::string& content) {
    content.clear();
    UniqueFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.Get() < 0) return false;
    struct stat st {};
    if (fstat(fd.Get(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
    if (S_ISREG(st.st_mode)) content.reserve(static_cast<std::size_t>(st.st_size));
    char buffer[65536];
    for (;;) {
        ssize_t n = read(fd.Get(), buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            content.clear();
            return false;
        }
        if (n == 0) return true;
        content.append(buffer, static_cast<std::size_t>(n));
    }
}

bool WriteFileAtomic(const std::string& path, const std::string& content) {
    static std::atomic<unsigned> counter{0};
    std::string target = ResolveTarget(path);
    std::string dir = DirectoryOf(target);
    std::string base = target.substr(target.rfind('/') == std::string::npos ? 0 : target.rfind('/') + 1);
    std::string temp = (dir == "/" ? "" : dir) + "/." + base + "." + std::to_string(getpid()) +
                       "." + std::to_string(counter++) + ".tmp";
    struct stat original {};
    bool had = stat(target.c_str(), &original) == 0;
    if (had && S_ISDIR(original.st_mode)) return false;
    UniqueFd fd(open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, had ? 0600 : 0666));
    if (fd.Get() < 0) return false;
    bool ok = true;
    if (had) {
        // Keep the owner when we may (root editing a service's file); the mode always.
        if (fchown(fd.Get(), original.st_uid, original.st_gid) != 0) { /* not ours to give */ }
        ok = fchmod(fd.Get(), original.st_mode & 07777) == 0;
    }
    const bool durable = durableWrites.load(std::memory_order_relaxed);
    ok = ok && WriteAll(fd.Get(), content.data(), content.size()) &&
         (!durable || fsync(fd.Get()) == 0);
    ok = fd.Reset() && ok;
    ok = ok && rename(temp.c_str(), target.c_str()) == 0;
    if (!ok) {
        unlink(temp.c_str());
        return false;
    }
    if (durable) SyncDirectory(dir);
    return true;
}

void SetDurableWrites(bool durable) { durableWrites.store(durable, std::memory_order_relaxed); }

bool CreateFileIfMissing(const std::string& path) {
    UniqueFd fd(open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666));
    if (fd.Get() < 0) return FileExists(path);
    return true;
}

bool DeleteFileChecked(const std::string& path) {
    struct stat st {};
    if (path.empty() || lstat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
    if (S_ISLNK(st.st_mode)) return unlink(path.c_str()) == 0;
    UniqueFd fd(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (fd.Get() < 0) fd.Assign(open(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    // Holding the exclusive lock while unlinking closes the window in which the holder
    // could take its lock between our check and the unlink.
    if (fd.Get() >= 0 && FlockRetry(fd.Get(), LOCK_EX | LOCK_NB) != 0) return false;
    return unlink(path.c_str()) == 0;
}

FileLock::FileLock(const std::string& path, bool exclusive, bool wait, bool create) {
    int flags = O_RDWR | O_CLOEXEC | O_NOCTTY | (create ? O_CREAT : 0);
    UniqueFd fd(open(path.c_str(), flags, 0666));
    // flock needs no write access; a read-only file can be locked too.
    if (fd.Get() < 0 && (errno == EACCES || errno == EROFS || errno == EISDIR)) {
        fd.Assign(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
    }
    if (fd.Get() < 0) return;
    int op = (exclusive ? LOCK_EX : LOCK_SH) | (wait ? 0 : LOCK_NB);
    if (FlockRetry(fd.Get(), op) != 0) return;
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
    UniqueFd fd(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (fd.Get() < 0) return false;
    return FlockRetry(fd.Get(), LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
}

}  // namespace platform
