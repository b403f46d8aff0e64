// Files and directories. Paths use "/", and directory paths handed around the program
// end in "/". Patterns such as "*.REQ" match ignoring ASCII case ("*" and "?").
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace platform {

bool FileExists(const std::string& path);       // a plain file (or anything not a dir)
bool DirectoryExists(const std::string& path);
bool PathExists(const std::string& path);

// Creates the directory and every missing parent; true when it exists afterwards.
bool CreateDirectories(const std::string& path);
// As CreateDirectories, giving each directory it creates `mode` less the umask.
bool CreateDirectories(const std::string& path, unsigned mode);

// Appends "/" unless the text is empty or already ends in "/".
std::string WithSlash(std::string path);
// Removes every trailing "/" (but keeps a lone "/").
std::string WithoutSlash(std::string path);

struct DirEntry {
    std::string name;  // without directory
    bool isDirectory = false;
    std::uint64_t size = 0;
    std::int64_t modifiedUnixMillis = 0;
    // Set by WalkDirectoryNames only (0 elsewhere): the entry's own inode as the directory
    // lists it (a link is not followed) and the device of the directory walked (on an
    // overlay a file's own st_dev may name a lower layer; the directory's names the mount).
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
};

// Entries of one directory whose names match `pattern` ignoring case, "." and ".."
// included when they match (as FindFirstFile lists them). Empty when unreadable.
std::vector<DirEntry> ListDirectory(const std::string& dir, const std::string& pattern = "*");

// Calls `visit` for each entry; stops early when it returns false. Does not build a
// vector, for walks over very large spools.
void WalkDirectory(const std::string& dir, const std::string& pattern,
                   const std::function<bool(const DirEntry&)>& visit);

// As WalkDirectory, but each entry carries only its name and whether it is a directory
// (sizes and times stay 0): the directory's own type information is used, and an entry
// is looked up only when the file system does not say (or for a symbolic link, which
// counts as what it points to). Each entry also carries its inode and the directory's
// device. For counting large spools.
void WalkDirectoryNames(const std::string& dir, const std::string& pattern,
                        const std::function<bool(const DirEntry&)>& visit);

// As WalkDirectoryNames; `visit` also receives the walked directory's open descriptor,
// valid during the call, so that an entry can be opened relative to it.
void WalkDirectoryNamesAt(const std::string& dir, const std::string& pattern,
                          const std::function<bool(int dirFd, const DirEntry&)>& visit);

// The last-write time of `name` inside the open directory `dirFd` as a listing shows it
// (a link's target, else the link itself); false when there is no such entry.
bool ModifiedTimeAt(int dirFd, const char* name, std::int64_t& unixMillis);

// True when `name` matches `pattern` ignoring ASCII case ("*" any run, "?" one char).
bool MatchesPattern(const std::string& name, const std::string& pattern);

// Deletes a plain file. Refuses (returns false, file left in place) when another holder
// keeps an advisory lock on it, as a Windows service's open file cannot be deleted.
bool DeleteFileChecked(const std::string& path);

// Removes an empty directory.
bool RemoveDirectory(const std::string& path);

// `DeleteDirectoryTree`: nothing for an empty path; otherwise deletes every plain file,
// recurses into sub-directories whose names do not begin with ".", and removes the
// directory. Failures are ignored. Symbolic links are removed, never followed, and a
// `path` that is itself a link deletes nothing.
void DeleteDirectoryTree(const std::string& path);

// Largest data file ReadFile takes whole by default: far above any INI file or spool
// record the gateway writes, far below what would exhaust memory.
inline constexpr std::size_t kMaxDataFileBytes = 64u << 20;
// How long a waiting FileLock waits for the holder before it fails.
inline constexpr std::uint64_t kLockWaitMs = 10'000;

// Whole-file helpers. Every file is opened without following a final symbolic link and
// without waiting on a FIFO, and only a regular file is read: anything else reads as
// missing. ReadFile gives false for a missing or unreadable file and for one longer than
// `limit` bytes (content then empty).
bool ReadFile(const std::string& path, std::string& content);
bool ReadFile(const std::string& path, std::string& content, std::size_t limit);
// Reads at most the first `maxBytes` bytes of the file (a longer file is cut, not
// refused); false only when it cannot be opened or read.
bool ReadFileHead(const std::string& path, std::size_t maxBytes, std::string& content);
// As ReadFileHead for `name` inside the open directory `dirFd` (no path lookup from the
// root); `modifiedUnixMillis`, when given, receives the file's last-write time. `content`
// keeps its capacity, so a caller reading many files can reuse one buffer.
bool ReadFileHeadAt(int dirFd, const char* name, std::size_t maxBytes, std::string& content,
                    std::int64_t* modifiedUnixMillis = nullptr);
// Atomic replace (temporary file created beside it, fsync, rename); parent directories
// are not created. The name itself is replaced: when it is a symbolic link, a FIFO, a
// device or a directory the write is refused (false, errno ELOOP or EINVAL) and nothing
// changes. A replaced file keeps its permission bits (set-id bits dropped) and, when we
// may give them, its owner and group. A new file gets 0666 less the umask, or exactly
// `newFileMode` (not masked by the umask) when given, so callers can ask for group access.
bool WriteFileAtomic(const std::string& path, const std::string& content);
bool WriteFileAtomic(const std::string& path, const std::string& content, unsigned newFileMode);
// Whether WriteFileAtomic (and so every INI write) flushes the data and the directory
// to disk before and after the rename; on by default. Only fuzzers and benchmarks of
// throw-away files turn it off: the replacement stays atomic, it is just not durable.
void SetDurableWrites(bool durable);
// Creates the file empty when the name is free (never through a link) and keeps a regular
// file already there; true when a regular file is there afterwards (a link, even to a
// file, a FIFO or a device is not). New files get 0666 less the umask, or exactly `mode`.
bool CreateFileIfMissing(const std::string& path);
bool CreateFileIfMissing(const std::string& path, unsigned mode);
// As WriteFileAtomic and CreateFileIfMissing, but a new file gets 0660 less the umask:
// others never have access, for files that hold secrets or may come to (INI files).
bool WritePrivateFileAtomic(const std::string& path, const std::string& content);
bool CreatePrivateFileIfMissing(const std::string& path);

// New files made durable together: Stage writes each under a temporary name beside its
// path (not yet synced); Commit syncs the file system once, renames every staged file
// into place and syncs once more, so that many files cost two syncs instead of two each,
// and a file appears at its path only with all its data. For spools whose writers answer
// their clients only after the commit.
class FileBatch {
public:
    FileBatch() = default;
    ~FileBatch();  // staged files not committed are removed
    FileBatch(const FileBatch&) = delete;
    FileBatch& operator=(const FileBatch&) = delete;
    // False when the temporary file could not be written (nothing is staged then).
    bool Stage(const std::string& path, const std::string& content, unsigned newFileMode);
    bool Empty() const { return staged_.empty(); }
    // The paths that could not be put in place; the batch is empty afterwards.
    std::vector<std::string> Commit();

private:
    std::vector<std::pair<std::string, std::string>> staged_;  // temporary name, path
};

// Advisory lock on a file held for the object's lifetime (flock, exclusive or shared).
// Used by holders of spool files and by tests that play the service. The lock file is
// opened for writing (a reader must not be able to hold off writers) and only when it is
// a regular file, not a link.
class FileLock {
public:
    FileLock() = default;
    // Opens (creating when `create`) and locks; Locked() tells whether it worked. With
    // `wait`, a held lock is retried on platform::Clock() for up to `waitLimitMs`, less
    // when the thread's operation is cancelled, and then not taken.
    FileLock(const std::string& path, bool exclusive, bool wait, bool create = false,
             std::uint64_t waitLimitMs = kLockWaitMs);
    ~FileLock();
    FileLock(FileLock&& other) noexcept;
    FileLock& operator=(FileLock&& other) noexcept;
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    bool Locked() const { return fd_ >= 0; }
    int Descriptor() const { return fd_; }

private:
    int fd_ = -1;
};

// True when some process holds an advisory lock on the file.
bool IsFileLocked(const std::string& path);

// The directory of the running executable, ending in "/".
std::string ExecutableDirectory();
// Full path of the running executable.
std::string ExecutablePath();

// The user's home directory ($HOME, else the password database), without final "/".
std::string HomeDirectory();

}  // namespace platform
