#include "platform/ini_document.h"

#include <utility>

namespace platform::ini {

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (LowerChar(a[i]) != LowerChar(b[i])) return false;
    }
    return true;
}

std::size_t CaseInsensitiveHash::operator()(std::string_view text) const {
    std::uint64_t hash = 14695981039346656037ull;  // FNV-1a
    for (char c : text) hash = (hash ^ static_cast<unsigned char>(LowerChar(c))) * 1099511628211ull;
    return static_cast<std::size_t>(hash);
}

std::string_view StripQuotes(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

LineView ClassifyLine(std::string_view raw) {
    LineView line;
    line.text = TrimBlanks(raw.substr(0, raw.find('\0')));
    const std::string_view text = line.text;
    if (text.empty()) return line;
    if (text.front() == ';') {
        line.kind = LineKind::Comment;
    } else if (const std::size_t close = text.find(']'); text.front() == '[' && close != text.npos) {
        line.kind = LineKind::Section;
        line.name = TrimBlanks(text.substr(1, close - 1));
    } else if (const std::size_t eq = text.find('='); eq != text.npos) {
        line.kind = LineKind::Key;
        line.name = TrimBlanks(text.substr(0, eq));
        line.value = TrimBlanks(text.substr(eq + 1));
    } else {
        line.kind = LineKind::Other;
    }
    return line;
}

Document::Document(std::string content, std::size_t expectedKeys)
    : content_(std::move(content)), expectedKeys_(expectedKeys) {
    sections_.emplace_back();  // the lines before the first header: no key there is found
    ForEachLine(content_, [this](std::string_view raw, std::string_view term) {
        const LineView view = ClassifyLine(raw);
        if (view.kind == LineKind::Section) {
            firstSection_.try_emplace(std::string(view.name), sections_.size());
            sections_.emplace_back();
        }
        Line line;
        line.at = static_cast<std::uint32_t>(raw.data() - content_.data());
        line.size = static_cast<std::uint32_t>(raw.size());
        line.nameAt = static_cast<std::uint32_t>(view.name.empty() ? 0 : view.name.data() - raw.data());
        line.nameSize = static_cast<std::uint32_t>(view.name.size());
        line.kind = view.kind;
        line.term = static_cast<Term>(term.size());
        Section& s = sections_.back();
        if (view.kind == LineKind::Key) s.lastKey = s.lines.size();
        s.lines.push_back(line);
        return true;
    });
}

std::string_view Document::TextOf(const Line& line) const {
    return std::string_view(line.added ? added_ : content_).substr(line.at, line.size);
}

Document::Line Document::NewLine(std::initializer_list<std::string_view> parts, std::size_t nameAt,
                                 std::size_t nameSize, LineKind kind) {
    Line line;
    line.at = static_cast<std::uint32_t>(added_.size());
    for (std::string_view part : parts) added_ += part;
    line.size = static_cast<std::uint32_t>(added_.size() - line.at);
    line.nameAt = static_cast<std::uint32_t>(nameAt);
    line.nameSize = static_cast<std::uint32_t>(nameSize);
    line.kind = kind;
    line.term = newline_;
    line.added = true;
    return line;
}

// New lines take the style of the file's first line break, as the text stands before
// each edit: the edits written one by one would each see the file the one before wrote,
// where deleting the first section or ending a last line that ends in CR can change it.
void Document::TakeNewlineStyle() {
    for (const Section& s : sections_) {
        if (s.deleted) continue;
        for (const Line& line : s.lines) {
            if (line.deleted) continue;
            const std::string_view text = TextOf(line);
            const bool cr = line.term == Term::CrLf || (line.term == Term::Lf && !text.empty() && text.back() == '\r');
            newline_ = cr ? Term::CrLf : Term::Lf;
            return;
        }
    }
    newline_ = Term::Lf;
}

// Only the file's last line lacks a terminator; once a line follows it, it keeps one,
// as a fresh parse of the written file sees it.
void Document::Terminate(Line& line) const {
    if (line.term == Term::None) line.term = newline_;
}

Document::Section& Document::Indexed(std::size_t index) {
    Section& s = sections_[index];
    if (s.indexed) return s;
    const std::size_t expected = std::exchange(expectedKeys_, 0);
    s.keys.reserve(s.lines.size() + expected);
    s.lines.reserve(s.lines.size() + expected);
    for (std::size_t i = 0; i < s.lines.size(); ++i) {
        if (s.lines[i].kind != LineKind::Key || s.lines[i].deleted) continue;
        auto [entry, added] = s.keys.try_emplace(std::string(NameOf(s.lines[i])), KeyEntry{static_cast<std::uint32_t>(i), false});
        if (!added) entry->second.copies = true;
    }
    s.indexed = true;
    return s;
}

// The first live section of that name, appended (after a blank line) when there is none.
std::size_t Document::SectionFor(std::string_view name) {
    // Batches write run after run into one section, spelt the same way each time.
    if (cached_ > 0 && !sections_[cached_].deleted && cachedName_ == name) return cached_;
    if (auto found = firstSection_.find(name); found != firstSection_.end()) {
        cachedName_ = name;
        return cached_ = found->second;
    }
    std::size_t before = sections_.size();
    while (before > 0 && (sections_[before - 1].deleted || sections_[before - 1].lines.empty())) --before;
    if (before > 0) {
        std::vector<Line>& lines = sections_[before - 1].lines;
        std::size_t last = lines.size() - 1;
        while (lines[last].deleted) --last;  // a section's header is never deleted alone
        Terminate(lines[last]);
        if (lines[last].kind != LineKind::Blank) lines.push_back(NewLine({}, 0, 0, LineKind::Blank));
    }
    Section& s = sections_.emplace_back();
    s.lines.push_back(NewLine({"[", name, "]"}, 1, name.size(), LineKind::Section));
    s.keys.reserve(expectedKeys_);
    s.lines.reserve(std::exchange(expectedKeys_, 0) + 1);
    s.indexed = true;
    firstSection_.emplace(std::string(name), sections_.size() - 1);
    changed_ = true;
    return sections_.size() - 1;
}

void Document::Write(std::string_view section, std::string_view key, std::string_view value) {
    TakeNewlineStyle();
    Section& s = Indexed(SectionFor(section));
    const auto [found, added] = s.keys.try_emplace(std::string(key), KeyEntry{static_cast<std::uint32_t>(s.lastKey + 1), false});
    if (added) {
        Terminate(s.lines[s.lastKey]);
        s.lines.insert(s.lines.begin() + static_cast<std::ptrdiff_t>(++s.lastKey),
                       NewLine({key, "=", value}, 0, key.size(), LineKind::Key));
        changed_ = true;
        return;
    }
    Line& line = s.lines[found->second.line];
    const std::string_view text = TextOf(line);
    // The key keeps its spelling; a copy, as the line's text may lie in added_.
    const std::string name(NameOf(line));
    if (line.nameAt == 0 && text.size() == name.size() + 1 + value.size() && text[name.size()] == '=' &&
        text.substr(name.size() + 1) == value) {
        return;
    }
    const Line replaced = NewLine({name, "=", value}, 0, name.size(), LineKind::Key);
    line.at = replaced.at;
    line.size = replaced.size;
    line.nameAt = 0;
    line.added = true;
    changed_ = true;
}

void Document::DeleteKey(std::string_view section, std::string_view key) {
    TakeNewlineStyle();
    const auto index = firstSection_.find(section);
    if (index == firstSection_.end()) return;
    Section& s = Indexed(index->second);
    const auto found = s.keys.find(key);
    if (found == s.keys.end()) return;
    const KeyEntry entry = found->second;
    s.keys.erase(found);
    for (std::size_t i = entry.line; i < s.lines.size() && (i == entry.line || entry.copies); ++i) {
        Line& line = s.lines[i];
        if (line.kind == LineKind::Key && !line.deleted && EqualsIgnoreCase(NameOf(line), key)) {
            line.deleted = true;
        }
    }
    // New keys now go after the last key line still there, or after the header.
    while (s.lastKey > 0 && (s.lines[s.lastKey].deleted || s.lines[s.lastKey].kind != LineKind::Key)) {
        --s.lastKey;
    }
    changed_ = true;
}

void Document::DeleteSection(std::string_view section) {
    TakeNewlineStyle();
    const auto found = firstSection_.find(section);
    if (found == firstSection_.end()) return;
    for (std::size_t i = found->second; i < sections_.size(); ++i) {
        Section& s = sections_[i];
        if (!s.deleted && EqualsIgnoreCase(NameOf(s.lines.front()), section)) s.deleted = true;
    }
    firstSection_.erase(found);
    changed_ = true;
}

std::string Document::Text() const {
    static constexpr std::string_view kTerms[] = {"", "\n", "\r\n"};
    std::size_t size = 0;
    for (const Section& s : sections_) {
        for (const Line& line : s.lines) size += line.size + 2;
    }
    std::string out;
    out.reserve(size);
    bool unterminated = false;
    for (const Section& s : sections_) {
        if (s.deleted) continue;
        for (const Line& line : s.lines) {
            if (line.deleted) continue;
            if (unterminated) out += kTerms[static_cast<int>(newline_)];
            out += TextOf(line);
            out += kTerms[static_cast<int>(line.term)];
            unterminated = line.term == Term::None;
        }
    }
    return out;
}

}  // namespace platform::ini
