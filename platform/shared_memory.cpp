// POSIX shared memory for the services' status blocks.
#include "platform/shared_memory.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <utility>

namespace platform {

std::string SharedMemoryObjectName(const std::string& logicalName) {
    std::string name = "/";
    const char* ns = std::getenv("ZELLA_SHM_NAMESPACE");
    if (ns != nullptr && *ns != '\0') {
        for (const char* p = ns; *p != '\0'; ++p) name += (*p == '/' || *p == '\\') ? '_' : *p;
        name += '.';
    }
    for (char c : logicalName) name += (c == '\\' || c == '/') ? '_' : c;
    return name;
}

SharedMemory::~SharedMemory() { Close(); }

SharedMemory::SharedMemory(SharedMemory&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      fd_(std::exchange(other.fd_, -1)),
      unlinkName_(std::move(other.unlinkName_)) {
    other.unlinkName_.clear();
}

SharedMemory& SharedMemory::operator=(SharedMemory&& other) noexcept {
    if (this != &other) {
        Close();
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
        fd_ = std::exchange(other.fd_, -1);
        unlinkName_ = std::move(other.unlinkName_);
        other.unlinkName_.clear();
    }
    return *this;
}

namespace {

// True when `uid` is the gateway's service user. Only root makes users, so a block of
// that user was made by the service (or by root acting as it).
bool IsGatewayUser(uid_t uid) {
    struct passwd entry {};
    struct passwd* found = nullptr;
    char buffer[16384];
    return getpwnam_r(status_block::kGatewayUser, &entry, buffer, sizeof buffer, &found) == 0 &&
           found != nullptr && found->pw_uid == uid;
}

// A block the console may believe: made by root or the gateway's user (the services), or
// by this user (a service run by the same user), and not writable by everybody.
bool TrustedBlock(int fd) {
    struct stat st {};
    return fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
           (st.st_uid == 0 || st.st_uid == geteuid() || IsGatewayUser(st.st_uid)) &&
           (st.st_mode & S_IWOTH) == 0;
}

// Creates `name` exclusively; a left-over of this user is removed and created afresh.
int CreateExclusive(const std::string& name) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        int fd = shm_open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0640);
        if (fd >= 0 || errno != EEXIST) return fd;
        int old = shm_open(name.c_str(), O_RDONLY | O_CLOEXEC, 0);
        struct stat st {};
        bool ours = old >= 0 && fstat(old, &st) == 0 && st.st_uid == geteuid();
        if (old >= 0) close(old);
        if (!ours) {
            errno = EEXIST;
            return -1;
        }
        shm_unlink(name.c_str());
    }
    errno = EEXIST;
    return -1;
}

void GiveToGatewayGroup(int fd) {
    struct group entry {};
    struct group* found = nullptr;
    char buffer[16384];
    if (getgrnam_r(status_block::kGatewayGroup, &entry, buffer, sizeof buffer, &found) == 0 &&
        found != nullptr) {
        // A service not run by root may not be allowed to; the block then stays its own.
        (void)fchown(fd, static_cast<uid_t>(-1), found->gr_gid);
    }
}

}  // namespace

bool SharedMemory::Open(const std::string& logicalName) {
    Close();
    // No O_CREAT: the console must never bring a block into being that the service
    // would then mistake for its own.
    const std::string name = SharedMemoryObjectName(logicalName);
    int fd = shm_open(name.c_str(), O_RDWR | O_CLOEXEC, 0);
    if (fd < 0 && errno == EACCES) fd = shm_open(name.c_str(), O_RDONLY | O_CLOEXEC, 0);
    if (fd < 0) return false;
    if (!TrustedBlock(fd)) {
        close(fd);
        return false;
    }
    fd_ = fd;
    return true;
}

bool SharedMemory::OpenEither(const std::string& logicalName, const std::string& fallbackName) {
    return Open(logicalName) || Open(fallbackName);
}

bool SharedMemory::Create(const std::string& logicalName, std::size_t size) {
    Close();
    if (size == 0) return false;
    std::string name = SharedMemoryObjectName(logicalName);
    int fd = CreateExclusive(name);
    if (fd < 0) return false;
    GiveToGatewayGroup(fd);
    bool ok = fchmod(fd, 0640) == 0 && ftruncate(fd, static_cast<off_t>(size)) == 0;
    void* p = ok ? mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0) : MAP_FAILED;
    close(fd);
    if (p == MAP_FAILED) {
        shm_unlink(name.c_str());
        return false;
    }
    data_ = static_cast<unsigned char*>(p);
    size_ = size;
    unlinkName_ = name;
    return true;
}

std::size_t SharedMemory::Size() const {
    if (data_ != nullptr) return size_;
    struct stat st {};
    if (fd_ < 0 || fstat(fd_, &st) != 0 || st.st_size < 0) return 0;
    return static_cast<std::size_t>(st.st_size);
}

std::uint8_t SharedMemory::Byte(std::size_t offset) const {
    if (data_ != nullptr) return offset < size_ ? __atomic_load_n(data_ + offset, __ATOMIC_ACQUIRE) : 0;
    unsigned char value = 0;
    if (fd_ < 0 || pread(fd_, &value, 1, static_cast<off_t>(offset)) != 1) return 0;
    return value;
}

std::size_t SharedMemory::CopyStart(unsigned char* buffer, std::size_t length) const {
    std::fill(buffer, buffer + length, 0);
    if (data_ != nullptr) {
        std::size_t n = std::min(length, size_);
        for (std::size_t i = 0; i < n; ++i) buffer[i] = __atomic_load_n(data_ + i, __ATOMIC_ACQUIRE);
        return n;
    }
    if (fd_ < 0) return 0;
    ssize_t n = -1;
    while ((n = pread(fd_, buffer, length, 0)) < 0 && errno == EINTR) {
    }
    return n < 0 ? 0 : static_cast<std::size_t>(n);
}

bool SharedMemory::SetByte(std::size_t offset, std::uint8_t value) {
    if (data_ != nullptr) {
        if (offset >= size_) return false;
        __atomic_store_n(data_ + offset, value, __ATOMIC_RELEASE);
        return true;
    }
    // Never past the end: writing there would grow the block.
    if (fd_ < 0 || offset >= Size()) return false;
    return pwrite(fd_, &value, 1, static_cast<off_t>(offset)) == 1;
}

void SharedMemory::Close() {
    if (data_ != nullptr) munmap(data_, size_);
    data_ = nullptr;
    size_ = 0;
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
    if (!unlinkName_.empty()) shm_unlink(unlinkName_.c_str());
    unlinkName_.clear();
}

namespace {

// The first bytes of a block, copied in one read; false when no trusted block opens.
bool ReadBlockStart(const char* name, const char* globalName, unsigned char (&bytes)[16]) {
    SharedMemory block;
    if (!block.OpenEither(name, globalName)) return false;
    block.CopyStart(bytes, sizeof bytes);
    return true;
}

}  // namespace

GatewayStatusBytes ReadGatewayStatus() {
    namespace sb = status_block;
    GatewayStatusBytes status;
    unsigned char bytes[16] = {};
    if (!ReadBlockStart(sb::kGatewayName, sb::kGatewayGlobalName, bytes)) return status;
    status.opened = true;
    status.webPortInUse = bytes[sb::kWebPortInUse] != 0;
    status.smppServerRunning = bytes[sb::kSmppServerRunning] != 0;
    status.smppPortInUse = bytes[sb::kSmppPortInUse] != 0;
    return status;
}

MmscStatusBytes ReadMmscStatus() {
    namespace sb = status_block;
    MmscStatusBytes status;
    unsigned char bytes[16] = {};
    if (!ReadBlockStart(sb::kMmscName, sb::kMmscGlobalName, bytes)) return status;
    status.opened = true;
    status.httpPortInUse = bytes[sb::kMmscHttpPortInUse] != 0;
    status.smtpPortInUse = bytes[sb::kMmscSmtpPortInUse] != 0;
    return status;
}

bool RequestStopThroughBlock(const std::string& logicalName, const std::string& globalName) {
    SharedMemory block;
    return block.OpenEither(logicalName, globalName) &&
           block.SetByte(status_block::kStopRequest, 1);
}

}  // namespace platform
