// Internal to the INI engine: ASCII case rules and the one line classifier every reader
// and writer goes through.
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
#include <string>
#include <string_view>
#include <unordered_map>

namespace platform::ini {

// Blanks as the Windows profile functions trim them.
inline bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

inline char LowerChar(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// The text without the blanks around it.
std::string_view TrimBlanks(std::string_view text);

// True when both texts are equal once ASCII letters are lower-cased.
bool EqualsIgnoreCase(std::string_view a, std::string_view b);

// Hash and equality ignoring ASCII case; transparent, so a map of std::string is looked
// up with a string_view.
struct CaseInsensitiveHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const;
};
struct CaseInsensitiveEqual {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const { return EqualsIgnoreCase(a, b); }
};
template <typename Key, typename Value>
using CaseInsensitiveMap = std::unordered_map<Key, Value, CaseInsensitiveHash, CaseInsensitiveEqual>;

enum class LineKind : std::uint8_t { Blank, Comment, Section, Key, Other };

struct LineView {
    LineKind kind = LineKind::Blank;
    std::string_view name;   // section name or key, trimmed
    std::string_view value;  // value, trimmed, quotes kept
    std::string_view text;   // the line's text up to any NUL, trimmed (for Other)
};

// Classifies one line given without its terminator.
LineView ClassifyLine(std::string_view raw);

// The value with one pair of matching surrounding double or single quotes removed.
std::string_view StripQuotes(std::string_view value);

// Splits `content` into lines; `visit(raw, terminator)` for each, stopping when it
// returns false. The terminator is "\n", "\r\n" or, for a last line, empty.
template <typename Visit>
void ForEachLine(std::string_view content, Visit&& visit) {
    for (std::size_t pos = 0; pos < content.size();) {
        const std::size_t nl = content.find('\n', pos);
        if (nl == std::string_view::npos) {
            visit(content.substr(pos), std::string_view());
            return;
        }
        const std::size_t end = (nl > pos && content[nl - 1] == '\r') ? nl - 1 : nl;
        if (!visit(content.substr(pos, end - pos), content.substr(end, nl + 1 - end))) return;
        pos = nl + 1;
    }
}

}  // namespace platform::ini
