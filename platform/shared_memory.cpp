// POSIX shared memory for the services' status blocks.
#include "platform/shared_memory.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

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
      unlinkName_(std::move(other.unlinkName_)) {
    other.unlinkName_.clear();
}

SharedMemory& SharedMemory::operator=(SharedMemory&& other) noexcept {
    if (this != &other) {
        Close();
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
        unlinkName_ = std::move(other.unlinkName_);
        other.unlinkName_.clear();
    }
    return *this;
}

namespace {

// Maps the whole of an open descriptor; the mapping outlives the descriptor.
unsigned char* MapAll(int fd, std::size_t& size) {
    struct stat st {};
    if (fstat(fd, &st) != 0 || st.st_size <= 0) return nullptr;
    void* p = mmap(nullptr, static_cast<std::size_t>(st.st_size), PROT_READ | PROT_WRITE,
                   MAP_SHARED, fd, 0);
    if (p == MAP_FAILED) return nullptr;
    size = static_cast<std::size_t>(st.st_size);
    return static_cast<unsigned char*>(p);
}

}  // namespace

bool SharedMemory::Open(const std::string& logicalName) {
    Close();
    // No O_CREAT: the console must never bring a block into being that the service
    // would then mistake for its own.
    int fd = shm_open(SharedMemoryObjectName(logicalName).c_str(), O_RDWR | O_CLOEXEC, 0);
    if (fd < 0) return false;
    data_ = MapAll(fd, size_);
    close(fd);
    return data_ != nullptr;
}

bool SharedMemory::OpenEither(const std::string& logicalName, const std::string& fallbackName) {
    return Open(logicalName) || Open(fallbackName);
}

bool SharedMemory::Create(const std::string& logicalName, std::size_t size) {
    Close();
    if (size == 0) return false;
    std::string name = SharedMemoryObjectName(logicalName);
    int fd = shm_open(name.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0660);
    if (fd < 0) return false;
    // A block left by a service that died is taken over, with its bytes cleared.
    bool ok = fchmod(fd, 0660) == 0 && ftruncate(fd, 0) == 0 &&
              ftruncate(fd, static_cast<off_t>(size)) == 0;
    if (ok) data_ = MapAll(fd, size_);
    close(fd);
    if (data_ == nullptr) {
        shm_unlink(name.c_str());
        return false;
    }
    unlinkName_ = name;
    return true;
}

std::uint8_t SharedMemory::Byte(std::size_t offset) const {
    if (data_ == nullptr || offset >= size_) return 0;
    return __atomic_load_n(data_ + offset, __ATOMIC_ACQUIRE);
}

bool SharedMemory::SetByte(std::size_t offset, std::uint8_t value) {
    if (data_ == nullptr || offset >= size_) return false;
    __atomic_store_n(data_ + offset, value, __ATOMIC_RELEASE);
    return true;
}

void SharedMemory::Close() {
    if (data_ != nullptr) munmap(data_, size_);
    data_ = nullptr;
    size_ = 0;
    if (!unlinkName_.empty()) shm_unlink(unlinkName_.c_str());
    unlinkName_.clear();
}

GatewayStatusBytes ReadGatewayStatus() {
    namespace sb = status_block;
    GatewayStatusBytes status;
    SharedMemory block;
    if (!block.OpenEither(sb::kGatewayName, sb::kGatewayGlobalName)) return status;
    status.opened = true;
    status.webPortInUse = block.Byte(sb::kWebPortInUse) != 0;
    status.smppServerRunning = block.Byte(sb::kSmppServerRunning) != 0;
    status.smppPortInUse = block.Byte(sb::kSmppPortInUse) != 0;
    return status;
}

MmscStatusBytes ReadMmscStatus() {
    namespace sb = status_block;
    MmscStatusBytes status;
    SharedMemory block;
    if (!block.OpenEither(sb::kMmscName, sb::kMmscGlobalName)) return status;
    status.opened = true;
    status.httpPortInUse = block.Byte(sb::kMmscHttpPortInUse) != 0;
    status.smtpPortInUse = block.Byte(sb::kMmscSmtpPortInUse) != 0;
    return status;
}

bool RequestStopThroughBlock(const std::string& logicalName, const std::string& globalName) {
    SharedMemory block;
    return block.OpenEither(logicalName, globalName) &&
           block.SetByte(status_block::kStopRequest, 1);
}

}  // namespace platform
