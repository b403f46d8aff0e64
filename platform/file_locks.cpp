// Reading the lock table from /proc/locks.
#include "platform/file_locks.h"

#include <fcntl.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <string>

#include "platform/unique_fd.h"

namespace platform {

namespace {

// The next blank-separated word of `line` from `pos`, moving `pos` past it.
std::string_view NextWord(std::string_view line, std::size_t& pos) {
    while (pos < line.size() && line[pos] == ' ') ++pos;
    const std::size_t start = pos;
    while (pos < line.size() && line[pos] != ' ') ++pos;
    return line.substr(start, pos - start);
}

template <typename Number>
bool ParseNumber(std::string_view text, int base, Number& value) {
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value, base);
    return ec == std::errc() && ptr == end && !text.empty();
}

// "MAJOR:MINOR:INODE", the device numbers in hex as the kernel prints them.
std::optional<FileId> ParseFileField(std::string_view field) {
    const std::size_t first = field.find(':');
    const std::size_t second = first == std::string_view::npos ? first : field.find(':', first + 1);
    if (second == std::string_view::npos) return std::nullopt;
    unsigned major = 0, minor = 0;
    std::uint64_t inode = 0;
    if (!ParseNumber(field.substr(0, first), 16, major) ||
        !ParseNumber(field.substr(first + 1, second - first - 1), 16, minor) ||
        !ParseNumber(field.substr(second + 1), 10, inode))
        return std::nullopt;
    return FileId{static_cast<std::uint64_t>(makedev(major, minor)), inode};
}

// The file of one table line when the line is a held flock lock.
std::optional<FileId> ParseLine(std::string_view line) {
    std::size_t pos = 0;
    if (!NextWord(line, pos).ends_with(':')) return std::nullopt;  // "12:"
    // Waiters are listed after the lock they wait for, marked "->": they hold nothing.
    if (NextWord(line, pos) != "FLOCK") return std::nullopt;
    NextWord(line, pos);  // ADVISORY
    const std::string_view access = NextWord(line, pos);
    if (access != "READ" && access != "WRITE") return std::nullopt;
    NextWord(line, pos);  // the holder's process id
    return ParseFileField(NextWord(line, pos));
}

}  // namespace

FileIdSet ParseLockTable(std::string_view table) {
    FileIdSet locked;
    while (!table.empty()) {
        const std::size_t end = table.find('\n');
        const std::string_view line = table.substr(0, end);
        if (auto id = ParseLine(line)) locked.insert(*id);
        if (end == std::string_view::npos) break;
        table.remove_prefix(end + 1);
    }
    return locked;
}

std::optional<FileIdSet> LockedFiles() {
    UniqueFd fd(open("/proc/locks", O_RDONLY | O_CLOEXEC));
    if (!fd) return std::nullopt;
    std::string table;
    std::size_t used = 0;
    for (;;) {
        if (table.size() - used < 16384) table.resize(used + 65536);
        const ssize_t n = read(fd.Get(), table.data() + used, table.size() - used);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return std::nullopt;
        if (n == 0) break;
        used += static_cast<std::size_t>(n);
    }
    table.resize(used);
    return ParseLockTable(table);
}

}  // namespace platform
