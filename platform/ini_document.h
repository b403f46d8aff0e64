// Internal to the INI engine: line classification shared by the fast readers and the
// editable document used by every write.
//
// Line rules, as the Windows private-profile functions apply them:
// - a line ends at "\n"; a "\r" before it belongs to the terminator (CRLF or LF read);
// - a NUL byte ends the line's text, as C string handling on Windows would see it; the
//   bytes after it are kept on rewrite but never read as a key or value;
// - blanks (space, tab, CR, VT, FF) around keys, values and section names are ignored;
// - ";" at the start (after blanks) makes a comment;
// - "[name]" starts a section (text after the first "]" is ignored); a "[" without "]"
//   is junk, not a section;
// - "key=value" splits at the first "="; a line without "=" is not a key, but the
//   section readers return it as it stands.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/ini_name_index.h"
#include "platform/ini_text.h"

namespace platform::ini {

enum class LineKind : std::uint8_t { Blank, Comment, Section, Key, Other };

struct LineView {
    LineKind kind = LineKind::Blank;
    std::string_view name;   // section name or key, trimmed
    std::string_view value;  // value, trimmed, quotes kept
    std::string_view text;   // the whole line's text, trimmed (for Other)
};

// Classifies one line given without its terminator.
LineView ClassifyLine(std::string_view raw);

// Splits `content` into lines; `visit(raw, terminator)` for each, stopping when it
// returns false. The last line may have an empty terminator.
template <typename Visit>
void ForEachLine(std::string_view content, Visit&& visit) {
    std::size_t pos = 0;
    while (pos < content.size()) {
        std::size_t nl = content.find('\n', pos);
        std::size_t end = nl == std::string_view::npos ? content.size() : nl;
        std::size_t textEnd = end;
        if (nl != std::string_view::npos && textEnd > pos && content[textEnd - 1] == '\r') {
            --textEnd;
        }
        std::string_view raw = content.substr(pos, textEnd - pos);
        std::string_view term = content.substr(textEnd, (nl == std::string_view::npos ? end : end + 1) - textEnd);
        if (!visit(raw, term)) return;
        pos = nl == std::string_view::npos ? content.size() : nl + 1;
    }
}

std::string LowerAscii(std::string_view text);
// One pair of matching surrounding double or single quotes removed.
std::string_view StripQuotes(std::string_view value);

// Hash and equality ignoring ASCII case, usable with string_view lookups (no lower-case
// copy per lookup).
struct CaseInsensitiveHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const { return HashIgnoreCase(text); }
};
struct CaseInsensitiveEqual {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const { return EqualsIgnoreCase(a, b); }
};
template <typename Value>
using CaseInsensitiveMap =
    std::unordered_map<std::string, Value, CaseInsensitiveHash, CaseInsensitiveEqual>;

// An INI file held as views into its own text, editable without quadratic cost. Lines
// are linked by index in one array (no allocation per line); new and changed lines view
// the caller's kept bytes or an append-only arena. A section's keys are indexed only
// when a second edit reaches that section, so a single write stays one linear pass.
// After any edit the structure is the one a fresh parse of Text() would give, so a batch
// of edits and the same edits written one by one produce the same bytes.
class Document {
public:
    // `expectedChanges` only sizes the storage for the edits to come.
    explicit Document(std::string content, std::size_t expectedChanges = 0);
    Document(const Document&) = delete;
    Document& operator=(const Document&) = delete;

    // Sets the value of the key in the first section of that name, creating the key or
    // the section when missing.
    void Write(std::string_view section, std::string_view key, std::string_view value);
    // Write with the line already built: `line` is the key, "=", the value, then "\n".
    // The document keeps views of `line` and `section`: their bytes must stay unchanged
    // for the document's lifetime.
    void WriteLine(std::string_view section, std::string_view line, std::size_t keySize);
    // Removes every line of the key in the first section of that name.
    void DeleteKey(std::string_view section, std::string_view key);
    // Removes every section of that name with all its lines.
    void DeleteSection(std::string_view section);

    // The file's bytes, built in one buffer.
    std::string Text() const;
    bool Changed() const { return changed_; }

private:
    enum class Term : std::uint8_t { None, Lf, CrLf };  // the value is the length
    // 40 bytes: a batch adds one per key, and fresh memory costs a page fault per page.
    struct Line {
        std::string_view raw;  // text without terminator
        // The key or section name, trimmed, always lies within raw.
        std::uint32_t nameAt = 0, nameSize = 0;
        std::int32_t prev = -1, next = -1;
        std::int32_t sameKey = -1;  // the next line of the same key in its section
        LineKind kind = LineKind::Blank;
        Term term = Term::None;
        bool termFollows = false;  // the terminator's bytes follow raw in memory
        std::string_view Name() const { return raw.substr(nameAt, nameSize); }
        void SetName(std::string_view name) {
            nameAt = name.empty() ? 0 : static_cast<std::uint32_t>(name.data() - raw.data());
            nameSize = static_cast<std::uint32_t>(name.size());
        }
    };
    struct Section {
        std::string_view name;
        std::int32_t head = -1, tail = -1;  // the header first, except for section 0
        std::int32_t lastKey = -1;          // the last key line, or the header
        std::int32_t sameName = -1;         // the next section of the same name
        std::int32_t behind = -1;           // where to look for a live section before it
        bool deleted = false;
        bool indexed = false;
        std::uint32_t lookups = 0;
        NameIndex keys;
    };

    void ParseLine(std::string_view raw, std::string_view term);
    std::int32_t AddLine(std::string_view raw, std::string_view name, LineKind kind, Term term);
    void LinkAfter(Section& s, std::int32_t after, std::int32_t line);
    void Unlink(Section& s, std::int32_t line);
    void SetKey(std::int32_t section, std::string_view key, std::string_view value,
                std::string_view line);
    std::int32_t AddKeyLine(std::int32_t section, std::string_view key, std::string_view value,
                            std::string_view line);
    std::int32_t FirstSection(std::string_view name);
    std::int32_t ScanSections(std::string_view name) const;
    void AddSectionName(std::int32_t index);
    void IndexSectionNames();
    void IndexKeys(Section& s);
    std::int32_t ScanKey(Section& s, std::string_view key);
    void RemoveKeyLine(Section& s, std::int32_t line);
    std::int32_t AppendSection(std::string_view name);
    std::int32_t LastLiveSection();
    std::string_view Store(std::initializer_list<std::string_view> parts);
    Term NewLineTerm() const { return crlf_ ? Term::CrLf : Term::Lf; }
    auto LineName() const {
        return [this](std::int32_t line) { return lines_[line].Name(); };
    }
    auto SectionName() const {
        return [this](std::int32_t section) { return sections_[section].name; };
    }

    std::string text_;               // the file as read; lines view into it
    std::deque<std::string> arena_;  // text of new and changed lines; never reallocated
    std::vector<Line> lines_;
    std::vector<Section> sections_;  // section 0 holds the lines before the first header
    std::size_t expectedChanges_ = 0;
    NameIndex sectionNames_;         // built on the second lookup that misses the cache
    bool namesIndexed_ = false;
    std::uint32_t nameLookups_ = 0;
    bool crlf_ = false;
    bool changed_ = false;
    std::int32_t cached_ = -1;  // batches write run after run into one section
    std::string_view keptSection_;  // the last section view WriteLine resolved
    std::int32_t keptIndex_ = -1;
};

}  // namespace platform::ini
