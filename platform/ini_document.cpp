#include "platform/ini_document.h"

#include <cstring>

namespace platform::ini {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

char LowerChar(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Windows sees the line through C string functions: a NUL ends it.
std::string_view CutAtNul(std::string_view raw) {
    const void* nul = std::memchr(raw.data(), '\0', raw.size());
    if (nul == nullptr) return raw;
    return raw.substr(0, static_cast<const char*>(nul) - raw.data());
}

}  // namespace

std::string_view TrimBlanks(std::string_view text) {
    std::size_t b = 0, e = text.size();
    while (b < e && IsBlank(text[b])) ++b;
    while (e > b && IsBlank(text[e - 1])) --e;
    return text.substr(b, e - b);
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (LowerChar(a[i]) != LowerChar(b[i])) return false;
    }
    return true;
}

std::string LowerAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = LowerChar(c);
    return out;
}

std::string_view StripQuotes(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

std::size_t CaseInsensitiveHash::operator()(std::string_view text) const {
    std::size_t hash = 1469598103934665603ull;  // FNV-1a
    for (char c : text) {
        hash ^= static_cast<unsigned char>(LowerChar(c));
        hash *= 1099511628211ull;
    }
    return hash;
}

LineView ClassifyLine(std::string_view raw) {
    LineView line;
    std::string_view text = TrimBlanks(CutAtNul(raw));
    line.text = text;
    if (text.empty()) return line;
    if (text.front() == ';') {
        line.kind = LineKind::Comment;
        return line;
    }
    if (text.front() == '[') {
        std::size_t close = text.find(']');
        if (close != std::string_view::npos) {
            line.kind = LineKind::Section;
            line.name = TrimBlanks(text.substr(1, close - 1));
            return line;
        }
    }
    std::size_t eq = text.find('=');
    if (eq == std::string_view::npos) {
        line.kind = LineKind::Other;
        return line;
    }
    line.kind = LineKind::Key;
    line.name = TrimBlanks(text.substr(0, eq));
    line.value = TrimBlanks(text.substr(eq + 1));
    return line;
}

Document::Document(std::string_view content) {
    sections_.emplace_back();  // the lines before the first header; no key there is found
    bool first = true;
    ForEachLine(content, [&](std::string_view raw, std::string_view term) {
        if (first) {
            crlf_ = term == "\r\n";
            first = false;
        }
        LineView view = ClassifyLine(raw);
        if (view.kind == LineKind::Section) {
            sections_.emplace_back();
            byName_.try_emplace(std::string(view.name)).first->second.push_back(sections_.size() - 1);
        }
        Section& s = sections_.back();
        s.lines.push_back(Line{std::string(raw), std::string(term)});
        auto line = std::prev(s.lines.end());
        if (view.kind == LineKind::Section) {
            s.lastKey = line;
        } else if (view.kind == LineKind::Key && sections_.size() > 1) {
            s.lastKey = line;
            AddKeyLine(s, view.name, line);
        }
        return true;
    });
}

Document::Section* Document::FirstSection(std::string_view name) {
    if (cached_ != nullptr && EqualsIgnoreCase(name, cachedName_)) return cached_;
    auto it = byName_.find(name);
    if (it == byName_.end()) return nullptr;
    for (std::size_t index : it->second) {
        if (!sections_[index].deleted) {
            cachedName_ = std::string(name);
            cached_ = &sections_[index];
            return cached_;
        }
    }
    return nullptr;
}

void Document::AddKeyLine(Section& s, std::string_view key, LineList::iterator line) {
    auto [entry, inserted] = s.keys.try_emplace(std::string(key), KeyLines{line, {}});
    if (!inserted) entry->second.more.push_back(line);
}

Document::Section& Document::AppendSection(std::string_view name) {
    // The blank line that separates the new section belongs to the one before it, as a
    // parse of the written file will see it.
    for (auto r = sections_.rbegin(); r != sections_.rend(); ++r) {
        if (r->deleted || r->lines.empty()) continue;
        Line& tail = r->lines.back();
        if (tail.term.empty()) tail.term = NewLineTerm();
        if (!TrimBlanks(CutAtNul(tail.raw)).empty()) r->lines.push_back(Line{"", NewLineTerm()});
        break;
    }
    Section& s = sections_.emplace_back();
    std::string header;
    header.reserve(name.size() + 2);
    header.append(1, '[').append(name).append(1, ']');
    s.lines.push_back(Line{std::move(header), NewLineTerm()});
    s.lastKey = s.lines.begin();
    byName_.try_emplace(std::string(name)).first->second.push_back(sections_.size() - 1);
    return s;
}

void Document::Write(std::string_view section, std::string_view key, std::string_view value) {
    Section* s = FirstSection(section);
    if (s == nullptr) s = &AppendSection(section);
    auto found = s->keys.find(key);
    if (found != s->keys.end()) {
        Line& line = *found->second.first;
        std::string raw = std::string(ClassifyLine(line.raw).name) + "=" + std::string(value);
        if (raw != line.raw) {
            line.raw = std::move(raw);
            changed_ = true;
        }
        return;
    }
    std::string raw;
    raw.reserve(key.size() + value.size() + 1);
    raw.append(key).append(1, '=').append(value);
    auto line = s->lines.insert(std::next(s->lastKey), Line{std::move(raw), NewLineTerm()});
    s->lastKey = line;
    AddKeyLine(*s, key, line);
    changed_ = true;
}

void Document::ForgetKeyLine(Section& s, LineList::iterator line) {
    if (line == s.lastKey) {
        // New keys go after the key line before it now, or after the header.
        auto back = line;
        while (back != s.lines.begin()) {
            --back;
            LineKind kind = ClassifyLine(back->raw).kind;
            if (kind == LineKind::Key || kind == LineKind::Section) break;
        }
        s.lastKey = back;
    }
    s.lines.erase(line);
    changed_ = true;
}

void Document::DeleteKey(std::string_view section, std::string_view key) {
    Section* s = FirstSection(section);
    if (s == nullptr) return;
    auto found = s->keys.find(key);
    if (found == s->keys.end()) return;
    KeyLines lines = std::move(found->second);
    s->keys.erase(found);
    ForgetKeyLine(*s, lines.first);
    for (auto line : lines.more) ForgetKeyLine(*s, line);
}

void Document::DeleteSection(std::string_view section) {
    auto it = byName_.find(section);
    if (it == byName_.end()) return;
    for (std::size_t index : it->second) {
        if (!sections_[index].deleted) changed_ = true;
        sections_[index].deleted = true;
    }
    byName_.erase(it);
    cached_ = nullptr;
}

std::string Document::Text() const {
    std::size_t estimate = 16;
    for (const Section& s : sections_) {
        for (const Line& l : s.lines) estimate += l.raw.size() + 2;
    }
    std::string out;
    out.reserve(estimate);
    const std::string nl = NewLineTerm();
    bool lastNoTerm = false;
    for (const Section& s : sections_) {
        if (s.deleted) continue;
        for (const Line& l : s.lines) {
            // Only the file's last line can lack a terminator; anything after it needs one.
            if (lastNoTerm) out += nl;
            out += l.raw;
            out += l.term;
            lastNoTerm = l.term.empty();
        }
    }
    return out;
}

}  // namespace platform::ini
