// INI engine with the rules of the Windows private-profile functions.
//
// Sections and keys compare ignoring ASCII case; the first match wins; blanks around
// keys and values are trimmed; one pair of surrounding double or single quotes is
// stripped from a value on read. Lines the engine does not touch are kept byte for byte
// (CRLF or LF, comments, junk). Every write replaces the file atomically (temporary
// file in the same directory, fsync, rename) while holding an advisory lock on a
// side-car lock file, so concurrent writers in several processes never lose keys and a
// writer killed mid-write leaves the old or the new file, never a torn one.
//
// Malformed files read the way Windows reads them: a NUL byte ends its line's text (the
// rest of that line is ignored but kept on rewrite), "[" without "]" is an ordinary line,
// a line without "=" is no key, ";" starts a comment, lines before the first section
// belong to none, and bytes of any value pass through unchanged.
// The lock file is "<path>.lock" beside the file; it is never removed.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Reads one value. The result is cut to size-1 characters, as a caller's buffer of
// `size` characters would hold it (size 0 gives ""). Missing file, section or key give
// `def` (also cut). A null section or key is not supported here: use the section and
// section-name readers instead.
std::string GetPrivateProfileString(const std::string& path, std::string_view section,
                                    std::string_view key, std::string_view def,
                                    std::size_t size = 500);

// Writes one value. A null value deletes the key; a null key deletes the whole section
// (every section of that name). Creates the file when missing. Returns false when the
// file cannot be written, or when the text would change the file's structure (CR, LF or
// NUL anywhere, "]" in the section, a key that is blank, holds "=" or starts with "[" or
// ";"); the file is then unchanged. A new key goes after the last key line of the first
// section of that name, a new section at the end of the file, in the file's line-ending
// style. Deleting a key removes every copy of it in that section.
bool WritePrivateProfileString(const std::string& path, std::string_view section,
                               std::optional<std::string_view> key,
                               std::optional<std::string_view> value);

// The "key=value" lines of the first section of that name (lines without "=" are
// returned as they stand, comments skipped), as GetPrivateProfileSection returns them.
// The total, counting one terminator per line plus the final one, is cut to `size`
// characters; a line that does not fit whole is cut and ends the list.
std::vector<std::string> GetPrivateProfileSection(const std::string& path,
                                                  std::string_view section,
                                                  std::size_t size = 32767);

// The names of every section in file order (duplicates kept), with the same size rule.
std::vector<std::string> GetPrivateProfileSectionNames(const std::string& path,
                                                       std::size_t size = 32767);

// Many writes applied with one rewrite of the file: collect with Write/DeleteKey/
// DeleteSection, then Commit. The changes are applied, in order, to the file as it is at
// Commit time (under the lock), so keys other processes wrote meanwhile are kept.
class IniBatch {
public:
    explicit IniBatch(std::string path);
    // As above, with the advisory lock taken on `lockPath` instead of "<path>.lock", for a
    // file whose folder must hold nothing its readers do not expect. Every writer of the
    // file must name the same lock file.
    IniBatch(std::string path, std::string lockPath);
    void Write(std::string_view section, std::string_view key, std::string_view value);
    void DeleteKey(std::string_view section, std::string_view key);
    void DeleteSection(std::string_view section);
    // Makes Commit a compare-and-swap: the changes are applied only while `key` of
    // `section` still reads `expected` (a missing key reads as ""), checked under the lock
    // against the file as it is at that moment. Otherwise Commit writes nothing and
    // returns false with ConditionFailed() true. Several conditions must all hold.
    void Require(std::string_view section, std::string_view key, std::string_view expected);
    bool ConditionFailed() const { return conditionFailed_; }
    // Applies every collected change; false when the file cannot be written or one change
    // is refused as WritePrivateProfileString would refuse it (file unchanged, changes
    // kept). After success the batch is empty and can collect again. The result equals
    // the same changes written one by one.
    bool Commit();
    std::size_t Size() const { return changes_.size(); }

private:
    // One change: its section is sections_[section]; its key (trimmed) and value lie back
    // to back in text_ from `at`. One string for all the text spares a batch of ten
    // thousand changes as many small allocations.
    struct Change {
        enum class Kind { Write, DeleteKey, DeleteSection } kind;
        std::size_t section, at, keySize, valueSize;
    };
    void Add(Change::Kind kind, std::string_view section, std::string_view key, std::string_view value);
    std::string path_;
    std::string lockPath_;  // "" for "<real path>.lock"
    std::vector<std::string> sections_;  // as given; a run of changes to one section shares one
    std::vector<Change> changes_;
    std::string text_;
    bool refused_ = false;  // some change would be refused: Commit writes nothing
    struct Condition {
        std::string section, key, expected;
    };
    std::vector<Condition> conditions_;
    bool conditionFailed_ = false;
};

}  // namespace platform
