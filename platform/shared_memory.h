// The services' status blocks as POSIX shared memory. The services create them; the
// console only opens existing ones, reads a few bytes and sets the stop request.
//
// A block's logical name ("QUV_ZELLA_ShMem", "Global\QUV_ZELLA_ShMem") becomes the
// object "/QUV_ZELLA_ShMem" ("\" turns into "_", as POSIX names allow no inner
// separator). When $ZELLA_SHM_NAMESPACE is set, its value and "." go in front of the
// name ("/test42.QUV_ZELLA_ShMem"), so that several instances or test runs on one
// machine never see each other's blocks; services and console must agree on it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

// ---- the layout, shared by the console and the services -------------------------------
namespace status_block {
inline constexpr const char* kGatewayName = "QUV_ZELLA_ShMem";
inline constexpr const char* kGatewayGlobalName = "Global\\QUV_ZELLA_ShMem";
inline constexpr const char* kMmscName = "QUV_MMSC_ShMem";
inline constexpr const char* kMmscGlobalName = "Global\\QUV_MMSC_ShMem";

// Gateway block.
inline constexpr std::size_t kStopRequest = 0;         // console sets 1 to ask for a stop
inline constexpr std::size_t kWebPortInUse = 2;        // service: web port taken
inline constexpr std::size_t kSmppServerRunning = 3;   // service: SMPP server listening
inline constexpr std::size_t kSmppPortInUse = 4;       // service: SMPP server port taken
// MMSC block.
inline constexpr std::size_t kMmscHttpPortInUse = 2;   // service: MMSC HTTP port taken
inline constexpr std::size_t kMmscSmtpPortInUse = 6;   // service: MMSC SMTP port taken

// The size the services create their blocks with; the console reads whatever size the
// object has and reads bytes beyond its end as 0.
inline constexpr std::size_t kBlockSize = 4096;

// The gateway's group: its members (the operators) may read the blocks.
inline constexpr const char* kGatewayGroup = "quvsms";
// The user the installed services run as under systemd.
inline constexpr const char* kGatewayUser = "quvsms";
}  // namespace status_block

// The POSIX object name for a logical block name, namespace included.
std::string SharedMemoryObjectName(const std::string& logicalName);

// A shared-memory object. A creator (a service) maps it; an opener (the console) keeps
// only a descriptor and reads and writes single bytes with pread/pwrite, so a block
// that shrinks under it can never fault. Unmapped, closed and, for a creator, unlinked
// on destruction.
class SharedMemory {
public:
    SharedMemory() = default;
    ~SharedMemory();
    SharedMemory(SharedMemory&& other) noexcept;
    SharedMemory& operator=(SharedMemory&& other) noexcept;
    SharedMemory(const SharedMemory&) = delete;
    SharedMemory& operator=(const SharedMemory&) = delete;

    // Opens an existing object, read/write when allowed, else read-only; never creates
    // one. False when it does not exist, cannot be opened, or belongs to anybody but
    // root, the gateway's user or this process's user, or is writable by others (then
    // anybody could have made it and feed false status).
    bool Open(const std::string& logicalName);
    // Opens `logicalName`, else `fallbackName` (the "Global\" form).
    bool OpenEither(const std::string& logicalName, const std::string& fallbackName);
    // For services: creates the object exclusively with `size` zero bytes, mode 0640 and
    // the gateway's group when it exists, and removes the name again on destruction. A
    // left-over object of this process's user (a service that died) is replaced; one of
    // another user is refused. False on failure.
    bool Create(const std::string& logicalName, std::size_t size);

    bool IsOpen() const { return data_ != nullptr || fd_ >= 0; }
    // The object's current size.
    std::size_t Size() const;
    // The byte at `offset`; 0 when not open or beyond the object's end.
    std::uint8_t Byte(std::size_t offset) const;
    // Copies the first `length` bytes into `buffer` (one pread for an opener), zeros
    // beyond the object's end; the number of bytes the object supplied.
    std::size_t CopyStart(unsigned char* buffer, std::size_t length) const;
    // Sets the byte; false when not open, opened read-only, or beyond the end.
    bool SetByte(std::size_t offset, std::uint8_t value);
    void Close();

private:
    unsigned char* data_ = nullptr;  // a creator's mapping
    std::size_t size_ = 0;           // of the mapping
    int fd_ = -1;                    // an opener's descriptor
    std::string unlinkName_;  // set for a creator
};

// What the console reads from the Gateway block in one opening: the first bytes copied
// with one pread into a buffer; a block shorter than them reads as zeros.
struct GatewayStatusBytes {
    bool opened = false;
    bool webPortInUse = false;
    bool smppServerRunning = false;
    bool smppPortInUse = false;
};
GatewayStatusBytes ReadGatewayStatus();

// What the console reads from the MMSC block in one opening.
struct MmscStatusBytes {
    bool opened = false;
    bool httpPortInUse = false;
    bool smtpPortInUse = false;
};
MmscStatusBytes ReadMmscStatus();

// Sets the stop request byte of a block (gateway or MMSC names, "Global\" form tried
// second) when the block can be opened; true when it was set.
bool RequestStopThroughBlock(const std::string& logicalName, const std::string& globalName);

}  // namespace platform
