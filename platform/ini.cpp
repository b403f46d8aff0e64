#include "platform/ini.h"

#include "platform/ini_snapshot.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <utility>

#include "platform/files.h"
#include "platform/ini_document.h"

namespace platform {

namespace {

using ini::ClassifyLine;
using ini::EqualsIgnoreCase;
using ini::ForEachLine;
using ini::LineKind;
using ini::LineView;

// Line offsets are 32-bit; an INI file is a few hundred kilobytes.
constexpr std::size_t kMaxEditedFile = std::size_t{1} << 30;

std::string CutToBuffer(std::string_view text, std::size_t size) {
    if (size == 0) return {};
    return std::string(text.substr(0, size - 1));
}

// Appends `item` under the GetPrivateProfileSection size rule; false once the list is full.
bool AppendSized(std::vector<std::string>& out, std::size_t& used, std::string_view item,
                 std::size_t size) {
    // Each item costs its terminator, and the list keeps room for the final one.
    if (used + item.size() + 2 <= size) {
        out.emplace_back(item);
        used += item.size() + 1;
        return true;
    }
    if (size >= used + 3) out.emplace_back(item.substr(0, size - used - 2));
    used = size;
    return false;
}

// Text that would change the file's structure when written as is: a line break or NUL
// would inject lines or hide the rest of one.
bool SafeText(std::string_view text) {
    for (char c : text) {
        if (c == '\r' || c == '\n' || c == '\0') return false;
    }
    return true;
}

bool ValidSection(std::string_view section) {
    return SafeText(section) && section.find(']') == std::string_view::npos;
}

// A key must stay recognisable as that key when the file is read back.
bool ValidKey(std::string_view key) {
    const std::string_view trimmed = ini::TrimBlanks(key);
    return SafeText(key) && !trimmed.empty() && trimmed.front() != '[' && trimmed.front() != ';' &&
           key.find('=') == std::string_view::npos;
}

// Writers that reach one file through linked directories must share one lock, so the
// directory is resolved; the file's own name never is: a final symbolic link is refused
// by the write, and following it would create the lock wherever the link points.
std::string RealPath(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : path.substr(0, slash == 0 ? 1 : slash);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    char resolved[PATH_MAX];
    if (realpath(dir.c_str(), resolved) == nullptr) return path;
    const std::string real = resolved;
    return real.ends_with('/') ? real + name : real + "/" + name;
}

// A writer killed between creating its temporary file and renaming it leaves the file
// behind; under the lock, temporaries of writers that no longer run are garbage.
void RemoveStaleTemporaries(const std::string& path) {
    std::size_t slash = path.rfind('/');
    std::string dir = slash == std::string::npos ? "./" : path.substr(0, slash + 1);
    std::string base = path.substr(slash == std::string::npos ? 0 : slash + 1);
    std::vector<std::string> stale;
    WalkDirectory(dir, "." + base + ".*.tmp", [&](const DirEntry& e) {
        std::size_t pidStart = base.size() + 2;
        long pid = std::strtol(e.name.c_str() + pidStart, nullptr, 10);
        if (pid > 0 && kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) {
            stale.push_back(dir + e.name);
        }
        return true;
    });
    for (const std::string& file : stale) unlink(file.c_str());
}

}  // namespace

std::string GetPrivateProfileString(const std::string& path, std::string_view section,
                                    std::string_view key, std::string_view def,
                                    std::size_t size) {
    std::string content;
    if (!ReadFile(path, content)) return CutToBuffer(def, size);
    section = ini::TrimBlanks(section);
    key = ini::TrimBlanks(key);
    bool inSection = false, seenSection = false;
    std::string_view found = def;
    ForEachLine(content, [&](std::string_view raw, std::string_view) {
        LineView line = ClassifyLine(raw);
        if (line.kind == LineKind::Section) {
            if (seenSection) return false;  // the first section of that name wins
            inSection = seenSection = EqualsIgnoreCase(line.name, section);
        } else if (inSection && line.kind == LineKind::Key && EqualsIgnoreCase(line.name, key)) {
            found = ini::StripQuotes(line.value);
            return false;
        }
        return true;
    });
    return CutToBuffer(found, size);
}

bool WritePrivateProfileString(const std::string& path, std::string_view section,
                               std::optional<std::string_view> key,
                               std::optional<std::string_view> value) {
    IniBatch batch(path);
    if (!key) {
        batch.DeleteSection(section);
    } else if (!value) {
        batch.DeleteKey(section, *key);
    } else {
        batch.Write(section, *key, *value);
    }
    return batch.Commit();
}

std::vector<std::string> GetPrivateProfileSection(const std::string& path,
                                                  std::string_view section, std::size_t size) {
    std::vector<std::string> out;
    std::string content;
    if (size < 2 || !ReadFile(path, content)) return out;
    section = ini::TrimBlanks(section);
    bool inSection = false, seenSection = false;
    std::size_t used = 0;
    ForEachLine(content, [&](std::string_view raw, std::string_view) {
        LineView line = ClassifyLine(raw);
        if (line.kind == LineKind::Section) {
            if (seenSection) return false;
            inSection = seenSection = EqualsIgnoreCase(line.name, section);
            return true;
        }
        if (!inSection || line.kind == LineKind::Blank || line.kind == LineKind::Comment) {
            return true;
        }
        if (line.kind == LineKind::Key) {
            return AppendSized(out, used, std::string(line.name) + "=" + std::string(line.value), size);
        }
        return AppendSized(out, used, line.text, size);
    });
    return out;
}

std::vector<std::string> GetPrivateProfileSectionNames(const std::string& path,
                                                       std::size_t size) {
    std::vector<std::string> out;
    std::string content;
    if (size < 2 || !ReadFile(path, content)) return out;
    std::size_t used = 0;
    ForEachLine(content, [&](std::string_view raw, std::string_view) {
        LineView line = ClassifyLine(raw);
        return line.kind != LineKind::Section || AppendSized(out, used, line.name, size);
    });
    return out;
}

IniBatch::IniBatch(std::string path) : path_(std::move(path)) {}

IniBatch::IniBatch(std::string path, std::string lockPath)
    : path_(std::move(path)), lockPath_(std::move(lockPath)) {}

void IniBatch::Add(Change::Kind kind, std::string_view section, std::string_view key,
                   std::string_view value) {
    if (sections_.empty() || sections_.back() != section) {
        if (!ValidSection(section)) refused_ = true;
        sections_.emplace_back(section);
    }
    key = ini::TrimBlanks(key);
    changes_.push_back(Change{kind, sections_.size() - 1, text_.size(), key.size(), value.size()});
    text_.append(key).append(value);
}

void IniBatch::Write(std::string_view section, std::string_view key, std::string_view value) {
    if (!ValidKey(key) || !SafeText(value)) refused_ = true;
    Add(Change::Kind::Write, section, key, value);
}

void IniBatch::DeleteKey(std::string_view section, std::string_view key) {
    if (!ValidKey(key)) refused_ = true;
    Add(Change::Kind::DeleteKey, section, key, {});
}

void IniBatch::DeleteSection(std::string_view section) { Add(Change::Kind::DeleteSection, section, {}, {}); }

// Reads, edits and atomically replaces the file while holding the side-car lock. The lock
// file is never deleted: a writer waiting on a removed lock file would lock nothing.
void IniBatch::Require(std::string_view section, std::string_view key, std::string_view expected) {
    conditions_.push_back({std::string(section), std::string(key), std::string(expected)});
}

bool IniBatch::Commit() {
    conditionFailed_ = false;
    if (refused_) return false;
    const std::string real = RealPath(path_);
    FileLock lock(lockPath_.empty() ? real + ".lock" : lockPath_, true, true, true);
    if (!lock.Locked()) return false;
    RemoveStaleTemporaries(real);
    std::string content;
    if (!ReadFile(path_, content) && PathExists(path_)) return false;
    if (content.size() > kMaxEditedFile) return false;
    if (!conditions_.empty()) {
        const IniSnapshot now = IniSnapshot::FromText(content);
        for (const Condition& c : conditions_) {
            if (now.Get(c.section, c.key, "", kMaxEditedFile) != c.expected) {
                conditionFailed_ = true;
                return false;
            }
        }
    }
    ini::Document doc(std::move(content), changes_.size());
    for (const Change& change : changes_) {
        const std::string_view section = ini::TrimBlanks(sections_[change.section]);
        const std::string_view key = std::string_view(text_).substr(change.at, change.keySize);
        const std::string_view value = std::string_view(text_).substr(change.at + change.keySize, change.valueSize);
        switch (change.kind) {
            case Change::Kind::Write: doc.Write(section, key, value); break;
            case Change::Kind::DeleteKey: doc.DeleteKey(section, key); break;
            case Change::Kind::DeleteSection: doc.DeleteSection(section); break;
        }
    }
    // INI files hold passwords (SMTP, SMSC logins, VASP accounts), so one made here is
    // never readable by others.
    if (doc.Changed() && !WritePrivateFileAtomic(path_, doc.Text())) return false;
    changes_.clear();
    sections_.clear();
    text_.clear();
    conditions_.clear();
    return true;
}

}  // namespace platform
