// The kernel's table of advisory locks, read in one pass, so a caller that must know which
// of many files are locked need not open and lock-test each of them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <unordered_set>

namespace platform {

// A file named by its file system's device number (as stat's st_dev gives it) and inode.
struct FileId {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    bool operator==(const FileId&) const = default;
};

struct FileIdHash {
    std::size_t operator()(const FileId& id) const noexcept {
        return static_cast<std::size_t>(id.inode * 0x9E3779B97F4A7C15ull ^ id.device);
    }
};

using FileIdSet = std::unordered_set<FileId, FileIdHash>;

// Every file on which some process holds (not merely waits for) a flock lock, shared or
// exclusive, at the moment of the call; nothing when the table cannot be read. A file
// absent from the set may have been locked just after: the set answers "locked", never
// "safe to delete".
std::optional<FileIdSet> LockedFiles();

// The flock entries of a lock table in the kernel's text form ("1: FLOCK  ADVISORY  WRITE
// 42 fe:00:1234 0 EOF", device numbers in hex, inode in decimal); unreadable lines are
// skipped. LockedFiles parses what it reads with this.
FileIdSet ParseLockTable(std::string_view table);

}  // namespace platform
