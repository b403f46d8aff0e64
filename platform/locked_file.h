// A data file that other programs may replace or delete at any time, locked (flock) for
// one piece of work and replaced or deleted only while it is still the file at its path.
// The outbound queue's requests are handled this way: the console replaces a request by
// renaming a new file over it and deletes it unless it is locked.
#pragma once

#include <cstdint>
#include <string>

#include "platform/unique_fd.h"

namespace platform {

class LockedFile {
public:
    enum class ClaimResult { Claimed, Missing, Busy, NotRegular, TooLarge, Failed };

    LockedFile() = default;
    bool Valid() const { return fd_.Valid(); }
    const std::string& Path() const { return path_; }
    const std::string& Text() const { return text_; }
    std::uint64_t Inode() const { return inode_; }
    std::int64_t ModifiedUnixMillis() const { return modifiedMillis_; }

    // Opens `path` without following a link or waiting on a FIFO, locks it exclusively
    // without waiting, checks that the path still names the locked file and reads it
    // whole (at most `maxBytes`). Anything but Claimed holds nothing.
    ClaimResult Claim(const std::string& path, std::size_t maxBytes);
    // Replaces the file with `text`: a temporary file beside it (mode 0660) is written,
    // synced, locked and given the old last-write time before it is renamed over the path,
    // so the lock never lapses and the file still shows when it was first written. False
    // when the path no longer names the locked file or the write failed (the old file
    // stays locked and unchanged).
    bool Rewrite(const std::string& text);
    // Deletes the file when the path still names the locked one; releases the lock
    // either way. False when another file took its place (it stays) or unlink failed.
    bool Remove();
    // Renames the file while it is still the one at its path, keeping the lock; false
    // when another file took its place or the rename failed.
    bool RenameTo(const std::string& newPath);
    void Release();

private:
    bool StillAtPath() const;
    std::string path_, text_;
    UniqueFd fd_;
    std::uint64_t inode_ = 0, device_ = 0;
    std::int64_t modifiedMillis_ = 0;
};

}  // namespace platform
