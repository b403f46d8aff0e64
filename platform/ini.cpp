#include "platform/ini.h"

#include <signal.h>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <climits>
#include <cstdlib>
#include <functional>
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
// Batches check every key and value, so the scan tests many bytes at a time.
bool SafeText(std::string_view text) {
    const char* p = text.data();
    std::size_t i = 0;
#if defined(__SSE2__)
    const __m128i lf = _mm_set1_epi8('\n'), cr = _mm_set1_epi8('\r'), nul = _mm_setzero_si128();
    for (; i + 16 <= text.size(); i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        const __m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, lf), _mm_cmpeq_epi8(v, cr)),
                                         _mm_cmpeq_epi8(v, nul));
        if (_mm_movemask_epi8(hit) != 0) return false;
    }
#endif
    constexpr std::uint64_t kOnes = 0x0101010101010101ull, kHighs = 0x8080808080808080ull;
    const auto hasZeroByte = [](std::uint64_t v) { return ((v - kOnes) & ~v & kHighs) != 0; };
    for (; i + 8 <= text.size(); i += 8) {
        std::uint64_t word;
        std::memcpy(&word, p + i, 8);
        if (hasZeroByte(word) || hasZeroByte(word ^ (kOnes * '\n')) ||
            hasZeroByte(word ^ (kOnes * '\r'))) {
            return false;
        }
    }
    for (; i < text.size(); ++i) {
        if (p[i] == '\r' || p[i] == '\n' || p[i] == '\0') return false;
    }
    return true;
}

bool ValidSection(std::string_view section) {
    return SafeText(section) && section.find(']') == std::string_view::npos;
}

// Bytes a key may not hold: 1 for a line break or NUL anywhere, 2 for "=" (the key ends
// there). One table lookup per byte checks a batch's short keys in one pass.
constexpr auto kKeyFlags = [] {
    std::array<std::uint8_t, 256> flags{};
    flags['\r'] = flags['\n'] = flags['\0'] = 1;
    flags['='] = 2;
    return flags;
}();

// `key` as given and `trimmed`, the part of it that is stored.
bool SafeKey(std::string_view key, std::string_view trimmed) {
    if (trimmed.empty() || trimmed.front() == '[' || trimmed.front() == ';') return false;
    unsigned bad = 0;
    for (char c : key) bad |= kKeyFlags[static_cast<unsigned char>(c)];
    return bad == 0;
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
bool EditUnderLock(const std::string& path, std::size_t changes,
                   const std::function<void(ini::Document&)>& edit) {
    const std::string real = RealPath(path);
    FileLock lock(real + ".lock", true, true, true);
    if (!lock.Locked()) return false;
    RemoveStaleTemporaries(real);
    std::string content;
    if (!ReadFile(path, content) && PathExists(path)) return false;
    ini::Document doc(std::move(content), changes);
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

namespace {
// Below the allocator's mmap threshold, so chunks come from (and return to) its heap.
constexpr std::size_t kChunkSize = 64 * 1024;
}  // namespace

char* IniBatch::Room(std::size_t size) {
    if (chunks_.empty() || chunks_.back().capacity - chunks_.back().size < size) {
        Chunk& chunk = chunks_.emplace_back();
        chunk.capacity = std::max(kChunkSize, size + section_.size() + 3);
        chunk.bytes = std::make_unique_for_overwrite<char[]>(chunk.capacity);
        if (hasSection_) {
            char* at = chunk.bytes.get();
            std::memcpy(at, "\0S", 2);
            std::memcpy(at + 2, section_.data(), section_.size());
            at[2 + section_.size()] = '\n';
            chunk.size = section_.size() + 3;
        }
    }
    Chunk& chunk = chunks_.back();
    char* at = chunk.bytes.get() + chunk.size;
    chunk.size += size;
    return at;
}

// Records the section as given (it is trimmed at Commit) unless it is the current one.
void IniBatch::SelectSection(std::string_view section) {
    if (hasSection_ && std::string_view(section_) == section) return;
    if (!ValidSection(section)) refused_ = true;
    hasSection_ = false;  // a new chunk needs no restatement of the old section
    section_.assign(section);
    char* at = Room(section.size() + 3);
    std::memcpy(at, "\0S", 2);
    if (!section.empty()) std::memcpy(at + 2, section.data(), section.size());
    at[2 + section.size()] = '\n';
    hasSection_ = true;
}

void IniBatch::Write(std::string_view section, std::string_view key, std::string_view value) {
    SelectSection(section);
    const std::string_view trimmed = ini::TrimBlanks(key);
    // The sources are checked, not the copy: reading freshly stored bytes back stalls.
    if (!SafeKey(key, trimmed) || !SafeText(value)) refused_ = true;
    char* at = Room(trimmed.size() + value.size() + 2);
    std::memcpy(at, trimmed.data(), trimmed.size());
    at += trimmed.size();
    *at++ = '=';
    if (!value.empty()) std::memcpy(at, value.data(), value.size());
    at[value.size()] = '\n';
    ++count_;
}

void IniBatch::DeleteKey(std::string_view section, std::string_view key) {
    SelectSection(section);
    const std::string_view trimmed = ini::TrimBlanks(key);
    if (!SafeKey(key, trimmed)) refused_ = true;
    char* at = Room(trimmed.size() + 3);
    std::memcpy(at, "\0D", 2);
    if (!trimmed.empty()) std::memcpy(at + 2, trimmed.data(), trimmed.size());
    at[2 + trimmed.size()] = '\n';
    ++count_;
}

void IniBatch::DeleteSection(std::string_view section) {
    SelectSection(section);
    std::memcpy(Room(3), "\0X\n", 3);
    ++count_;
}

bool IniBatch::Commit() {
    if (refused_) return false;
    const std::vector<Chunk>& chunks = chunks_;
    bool ok = EditUnderLock(path_, count_, [&chunks](ini::Document& doc) {
        std::string_view section;
        for (const Chunk& chunk : chunks) {
            const std::string_view text(chunk.bytes.get(), chunk.size);
            for (std::size_t at = 0; at < text.size();) {
                const std::size_t end = text.find('\n', at);
                if (text[at] != '\0') {
                    const std::size_t eq = text.find('=', at);
                    doc.WriteLine(section, text.substr(at, end + 1 - at), eq - at);
                } else if (text[at + 1] == 'S') {
                    section = ini::TrimBlanks(text.substr(at + 2, end - at - 2));
                } else if (text[at + 1] == 'D') {
                    doc.DeleteKey(section, text.substr(at + 2, end - at - 2));
                } else {
                    doc.DeleteSection(section);
                }
                at = end + 1;
            }
        }
    });
    if (ok) {
        // The first chunk is kept for the next changes.
        if (chunks_.size() > 1) chunks_.resize(1);
        if (!chunks_.empty()) chunks_.front().size = 0;
        count_ = 0;
        hasSection_ = false;
    }
    return ok;
}

}  // namespace platform
