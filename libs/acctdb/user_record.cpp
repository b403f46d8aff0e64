// The packed account record shared with the services, and safe directory names for it.
#include <algorithm>
#include <cstring>

#include "acctdb/acctdb.h"

namespace acctdb {
namespace {

constexpr std::size_t kUserNameOffset = 0, kUserNameSize = 51;
constexpr std::size_t kPasswordOffset = 51, kPasswordSize = 51;
constexpr std::size_t kFullNameOffset = 102, kFullNameSize = 101;
constexpr std::size_t kDailyLimitOffset = 206, kMonthlyLimitOffset = 210;
constexpr std::size_t kAllowedIpsOffset = 225, kAllowedIpsSize = 50;
constexpr std::size_t kForcedSenderOffset = 276, kForcedSenderSize = 51;
constexpr std::size_t kSpeedLimitOffset = 409, kSpeedLimitSize = 10;
constexpr std::size_t kWebMenuOffset = 419;
constexpr unsigned char kWebMenuBase = 0xB0;
constexpr int kWebMenuOptions = 5;
// Names longer than this cannot be one directory entry on any common file system.
constexpr std::size_t kMaxNameBytes = 255;

std::string ReadText(const unsigned char* bytes, std::size_t offset, std::size_t size) {
    const char* start = reinterpret_cast<const char*>(bytes + offset);
    return std::string(start, strnlen(start, size));
}

// Clears the whole slot first: leftovers of a longer earlier value would otherwise reach
// the services behind the terminator.
void WriteText(unsigned char* bytes, std::size_t offset, std::size_t size, const std::string& s) {
    std::memset(bytes + offset, 0, size);
    std::memcpy(bytes + offset, s.data(), std::min(s.size(), size - 1));
}

std::int32_t ReadInt32(const unsigned char* bytes, std::size_t offset) {
    const std::uint32_t value = static_cast<std::uint32_t>(bytes[offset]) |
                                static_cast<std::uint32_t>(bytes[offset + 1]) << 8 |
                                static_cast<std::uint32_t>(bytes[offset + 2]) << 16 |
                                static_cast<std::uint32_t>(bytes[offset + 3]) << 24;
    return static_cast<std::int32_t>(value);
}

void WriteInt32(unsigned char* bytes, std::size_t offset, std::int32_t v) {
    const auto value = static_cast<std::uint32_t>(v);
    for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<unsigned char>(value >> (8 * i));
}

}  // namespace

std::string UserRecord::UserName() const { return ReadText(bytes, kUserNameOffset, kUserNameSize); }
void UserRecord::SetUserName(const std::string& s) {
    WriteText(bytes, kUserNameOffset, kUserNameSize, s);
}
std::string UserRecord::Password() const { return ReadText(bytes, kPasswordOffset, kPasswordSize); }
void UserRecord::SetPassword(const std::string& s) {
    WriteText(bytes, kPasswordOffset, kPasswordSize, s);
}
std::string UserRecord::FullName() const { return ReadText(bytes, kFullNameOffset, kFullNameSize); }
void UserRecord::SetFullName(const std::string& s) {
    WriteText(bytes, kFullNameOffset, kFullNameSize, s);
}
std::int32_t UserRecord::DailyLimit() const { return ReadInt32(bytes, kDailyLimitOffset); }
void UserRecord::SetDailyLimit(std::int32_t v) { WriteInt32(bytes, kDailyLimitOffset, v); }
std::int32_t UserRecord::MonthlyLimit() const { return ReadInt32(bytes, kMonthlyLimitOffset); }
void UserRecord::SetMonthlyLimit(std::int32_t v) { WriteInt32(bytes, kMonthlyLimitOffset, v); }
std::string UserRecord::AllowedIps() const {
    return ReadText(bytes, kAllowedIpsOffset, kAllowedIpsSize);
}
void UserRecord::SetAllowedIps(const std::string& s) {
    WriteText(bytes, kAllowedIpsOffset, kAllowedIpsSize, s);
}
std::string UserRecord::ForcedSender() const {
    return ReadText(bytes, kForcedSenderOffset, kForcedSenderSize);
}
void UserRecord::SetForcedSender(const std::string& s) {
    WriteText(bytes, kForcedSenderOffset, kForcedSenderSize, s);
}
std::string UserRecord::ReceiveSpeedLimit() const {
    return ReadText(bytes, kSpeedLimitOffset, kSpeedLimitSize);
}
void UserRecord::SetReceiveSpeedLimit(const std::string& s) {
    WriteText(bytes, kSpeedLimitOffset, kSpeedLimitSize, s);
}

int UserRecord::WebMenu() const {
    const int index = static_cast<int>(bytes[kWebMenuOffset]) - kWebMenuBase;
    return index >= 0 && index < kWebMenuOptions ? index : 0;
}

void UserRecord::SetWebMenu(int index) {
    if (index < 0 || index >= kWebMenuOptions) index = 0;
    bytes[kWebMenuOffset] = static_cast<unsigned char>(kWebMenuBase + index);
}

std::string SafeUserDirectoryName(const std::string& userName) {
    std::string name = userName.substr(0, kMaxNameBytes);
    for (char& c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '/' || c == '\\' || byte < 0x20 || byte == 0x7F) c = '_';
    }
    // An empty name or one of dots only would name the users folder itself or its parent,
    // and deleting "that user's" folder would then delete every user's.
    if (name.find_first_not_of('.') == std::string::npos) return "_";
    return name;
}

}  // namespace acctdb
