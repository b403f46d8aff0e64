// Data files opened as a program must open anything in a directory other users can write:
// a final symbolic link is never followed, a FIFO or device is never waited on or read,
// and only a regular file is accepted. Everything the console opens in its data
// directory goes through here (directly or through ReadFile, WriteFileAtomic, FileLock).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/unique_fd.h"

namespace platform {

enum class FileAccess { Read, Write, ReadWrite };

// How an existing or new file is opened by OpenRegularFile.
struct OpenOptions {
    FileAccess access = FileAccess::Read;
    bool create = false;       // create the file when the name is free
    unsigned mode = 0666;      // for a created file, less the umask
    bool append = false;       // every write goes to the end of the file
};

// Opens `path` when it is a regular file (created first with `options.create`), never
// following a final symbolic link and never blocking on a FIFO; invalid otherwise, with
// errno telling why (ELOOP for a link, EINVAL for anything but a regular file). `size`,
// when given, receives the file's size at opening.
UniqueFd OpenRegularFile(const std::string& path, const OpenOptions& options,
                         std::uint64_t* size = nullptr);

// As OpenRegularFile, without creating, for `name` inside the open directory `dirFd`
// (no path lookup from the root; `name` must not contain "/" to stay in that directory).
// `modifiedUnixMillis`, when given, receives the file's last-write time at opening.
UniqueFd OpenRegularFileAt(int dirFd, const char* name, FileAccess access,
                           std::uint64_t* size = nullptr, std::int64_t* modifiedUnixMillis = nullptr);

enum class LockResult { Locked, Busy, Failed };

// Takes an advisory lock (flock) on an open descriptor without waiting.
LockResult TryLockDescriptor(int fd, bool exclusive);

// An open regular data file with positioned reads and writes, for small binary records
// (credit balances) that are rewritten in place under a lock.
class RegularFile {
public:
    RegularFile() = default;
    explicit RegularFile(UniqueFd fd) : fd_(std::move(fd)) {}
    // Opens `path` as OpenRegularFile does, without creating it.
    static RegularFile Open(const std::string& path, FileAccess access);

    bool Valid() const { return fd_.Valid(); }
    // Current size in bytes, or -1 when it cannot be told.
    std::int64_t Size() const;
    // Reads up to `size` bytes at `offset`; the count read (short at end of file or on error).
    std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t size) const;
    // Writes all `size` bytes at `offset`; false on any failure.
    bool WriteAt(std::uint64_t offset, const void* data, std::size_t size);
    // Cuts or extends the file to `size` bytes.
    bool Truncate(std::uint64_t size);
    // Locks the file (flock) for as long as it stays open, without waiting.
    LockResult TryLock(bool exclusive) { return TryLockDescriptor(fd_.Get(), exclusive); }

private:
    UniqueFd fd_;
};

}  // namespace platform
