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
#include <deque>
#include <list>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace platform::ini {

enum class LineKind { Blank, Comment, Section, Key, Other };

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

bool EqualsIgnoreCase(std::string_view a, std::string_view b);
std::string LowerAscii(std::string_view text);
std::string_view TrimBlanks(std::string_view text);
// One pair of matching surrounding double or single quotes removed.
std::string_view StripQuotes(std::string_view value);

// Hash and equality ignoring ASCII case, usable with string_view lookups (no lower-case
// copy per lookup).
struct CaseInsensitiveHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const;
};
struct CaseInsensitiveEqual {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const { return EqualsIgnoreCase(a, b); }
};
template <typename Value>
using CaseInsensitiveMap =
    std::unordered_map<std::string, Value, CaseInsensitiveHash, CaseInsensitiveEqual>;

// An INI file held as lines, editable without quadratic cost: each section keeps its
// lines in a list with an index of its keys, and the position after its last key line,
// where new keys go. After any edit the structure is the one a fresh parse of Text()
// would give, so a batch of edits and the same edits written one by one produce the
// same bytes.
class Document {
public:
    explicit Document(std::string_view content);

    // Sets the value of the key in the first section of that name, creating the key or
    // the section when missing.
    void Write(std::string_view section, std::string_view key, std::string_view value);
    // Removes every line of the key in the first section of that name.
    void DeleteKey(std::string_view section, std::string_view key);
    // Removes every section of that name with all its lines.
    void DeleteSection(std::string_view section);

    std::string Text() const;
    bool Changed() const { return changed_; }

private:
    struct Line {
        std::string raw;   // text without terminator
        std::string term;  // "\n", "\r\n" or "" (last line without newline)
    };
    using LineList = std::list<Line>;
    // The lines of one key in file order; duplicates are rare, so the first is kept
    // apart and costs no allocation of its own.
    struct KeyLines {
        LineList::iterator first;
        std::vector<LineList::iterator> more;
    };
    struct Section {
        bool deleted = false;
        LineList lines;               // the header first, except for the lines before any
        LineList::iterator lastKey;   // the last key line, or the header
        CaseInsensitiveMap<KeyLines> keys;
    };

    Section* FirstSection(std::string_view name);
    void AddKeyLine(Section& s, std::string_view key, LineList::iterator line);
    Section& AppendSection(std::string_view name);
    void ForgetKeyLine(Section& s, LineList::iterator line);
    std::string NewLineTerm() const { return crlf_ ? "\r\n" : "\n"; }

    std::deque<Section> sections_;
    CaseInsensitiveMap<std::vector<std::size_t>> byName_;
    bool crlf_ = false;
    bool changed_ = false;
    // Batches write run after run into one section: the last lookup is remembered.
    std::string cachedName_;
    Section* cached_ = nullptr;
};

}  // namespace platform::ini
