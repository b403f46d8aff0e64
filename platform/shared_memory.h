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

// The size the services create their blocks with; the console maps whatever size the
// object has and reads bytes beyond its end as 0.
inline constexpr std::size_t kBlockSize = 4096;
}  // namespace status_block

// The POSIX object name for a logical block name, namespace included.
std::string SharedMemoryObjectName(const std::string& logicalName);

// A mapped shared-memory object; unmapped (and, for a creator, unlinked) on destruction.
class SharedMemory {
public:
    SharedMemory() = default;
    ~SharedMemory();
    SharedMemory(SharedMemory&& other) noexcept;
    SharedMemory& operator=(SharedMemory&& other) noexcept;
    SharedMemory(const SharedMemory&) = delete;
    SharedMemory& operator=(const SharedMemory&) = delete;

    // Opens an existing object read/write and maps all of it; never creates one. False
    // when it does not exist, cannot be opened, or is empty.
    bool Open(const std::string& logicalName);
    // Opens `logicalName`, else `fallbackName` (the "Global\" form).
    bool OpenEither(const std::string& logicalName, const std::string& fallbackName);
    // For services: creates (or takes over) the object with `size` zero bytes, mode
    // 0660, and removes the name again on destruction. False on failure.
    bool Create(const std::string& logicalName, std::size_t size);

    bool IsOpen() const { return data_ != nullptr; }
    std::size_t Size() const { return size_; }
    // The byte at `offset`; 0 when not open or beyond the object's end.
    std::uint8_t Byte(std::size_t offset) const;
    // Sets the byte; false when not open or beyond the end.
    bool SetByte(std::size_t offset, std::uint8_t value);
    void Close();

private:
    unsigned char* data_ = nullptr;
    std::size_t size_ = 0;
    std::string unlinkName_;  // set for a creator
};

// What the console reads from the Gateway block in one opening.
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
