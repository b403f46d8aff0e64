#include "platform/ini.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <functional>

#include "platform/files.h"
#include "platform/ini_document.h"

namespace platform {

namespace {

using ini::ClassifyLine;
using ini::EqualsIgnoreCase;
using ini::ForEachLine;
using ini::LineKind;
using ini::LineView;

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

// A section, key or value that would change the file's structure when written as is:
// a line break would inject lines, and a key must stay recognisable as that key.
bool SafeText(std::string_view text) {
    for (char c : text) {
        if (c == '\r' || c == '\n' || c == '\0') return false;
    }
    return true;
}

bool ValidSection(std::string_view section) {
    return SafeText(section) && section.find(']') == std::string_view::npos;
}

bool ValidKey(std::string_view key) {
    std::string_view trimmed = ini::TrimBlanks(key);
    return SafeText(key) && !trimmed.empty() && trimmed.find('=') == std::string_view::npos &&
           trimmed.front() != '[' && trimmed.front() != ';';
}

// Writers that reach one file through different links must share one lock, and the
// temporary files live beside the real file.
std::string RealPath(const std::string& path) {
    char resolved[PATH_MAX];
    if (realpath(path.c_str(), resolved) != nullptr) return resolved;
    return path;
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

// Reads, edits and atomically replaces the file while holding the side-car lock. The lock
// file is never deleted: a writer waiting on a removed lock file would lock nothing.
bool EditUnderLock(const std::string& path, const std::function<void(ini::Document&)>& edit) {
    const std::string real = RealPath(path);
    FileLock lock(real + ".lock", true, true, true);
    if (!lock.Locked()) return false;
    RemoveStaleTemporaries(real);
    std::string content;
    if (!ReadFile(path, content) && PathExists(path)) return false;
    ini::Document doc(content);
    edit(doc);
    if (!doc.Changed()) return true;
    return WriteFileAtomic(path, doc.Text());
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
    std::string_view found;
    bool hit = false;
    ForEachLine(content, [&](std::string_view raw, std::string_view) {
        LineView line = ClassifyLine(raw);
        if (line.kind == LineKind::Section) {
            if (seenSection) return false;  // the first section of that name wins
            inSection = EqualsIgnoreCase(line.name, section);
            seenSection = inSection;
        } else if (inSection && line.kind == LineKind::Key && EqualsIgnoreCase(line.name, key)) {
            found = ini::StripQuotes(line.value);
            hit = true;
            return false;
        }
        return true;
    });
    return CutToBuffer(hit ? found : def, size);
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
    std::string item;
    ForEachLine(content, [&](std::string_view raw, std::string_view) {
        LineView line = ClassifyLine(raw);
        if (line.kind == LineKind::Section) {
            if (seenSection) return false;
            inSection = EqualsIgnoreCase(line.name, section);
            seenSection = inSection;
            return true;
        }
        if (!inSection || line.kind == LineKind::Blank || line.kind == LineKind::Comment) {
            return true;
        }
        if (line.kind == LineKind::Key) {
            item.assign(line.name);
            item += '=';
            item += line.value;
            return AppendSized(out, used, item, size);
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
        if (line.kind != LineKind::Section) return true;
        return AppendSized(out, used, line.name, size);
    });
    return out;
}

IniBatch::IniBatch(std::string path) : path_(std::move(path)) {}

void IniBatch::Write(std::string_view section, std::string_view key, std::string_view value) {
    ops_.push_back(Op{std::string(section), std::string(key), std::string(value)});
}

void IniBatch::DeleteKey(std::string_view section, std::string_view key) {
    ops_.push_back(Op{std::string(section), std::string(key), std::nullopt});
}

void IniBatch::DeleteSection(std::string_view section) {
    ops_.push_back(Op{std::string(section), std::nullopt, std::nullopt});
}

bool IniBatch::Commit() {
    for (const Op& op : ops_) {
        if (!ValidSection(op.section)) return false;
        if (op.key && !ValidKey(*op.key)) return false;
        if (op.value && !SafeText(*op.value)) return false;
    }
    bool ok = EditUnderLock(path_, [this](ini::Document& doc) {
        for (const Op& op : ops_) {
            std::string_view section = ini::TrimBlanks(op.section);
            if (!op.key) {
                doc.DeleteSection(section);
            } else if (!op.value) {
                doc.DeleteKey(section, ini::TrimBlanks(*op.key));
            } else {
                doc.Write(section, ini::TrimBlanks(*op.key), *op.value);
            }
        }
    });
    if (ok) ops_.clear();
    return ok;
}

}  // namespace platform
