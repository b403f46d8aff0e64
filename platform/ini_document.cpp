#include "platform/ini_document.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>

namespace platform::ini {

namespace {

// Windows sees the line through C string functions: a NUL ends it.
std::string_view CutAtNul(std::string_view raw) {
    const void* nul = std::memchr(raw.data(), '\0', raw.size());
    if (nul == nullptr) return raw;
    return raw.substr(0, static_cast<const char*>(nul) - raw.data());
}

}  // namespace

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

namespace {

std::string_view TermText(std::uint8_t term) {
    static constexpr std::string_view kTexts[] = {"", "\n", "\r\n"};
    return kTexts[term];
}

}  // namespace

Document::Document(std::string content, std::size_t expectedChanges)
    : text_(std::move(content)), expectedChanges_(expectedChanges) {
    // Each change adds at most one line, or two with a new section and its blank line.
    lines_.reserve(static_cast<std::size_t>(std::count(text_.begin(), text_.end(), '\n')) + 1 +
                   expectedChanges + 8);
    sections_.emplace_back();  // the lines before the first header; no key there is found
    ForEachLine(text_, [this](std::string_view raw, std::string_view term) {
        ParseLine(raw, term);
        return true;
    });
}

void Document::ParseLine(std::string_view raw, std::string_view term) {
    if (lines_.empty()) crlf_ = term == "\r\n";
    LineView view = ClassifyLine(raw);
    if (view.kind == LineKind::Section) {
        Section& added = sections_.emplace_back();
        added.name = view.name;
        added.behind = static_cast<std::int32_t>(sections_.size()) - 2;
    }
    const std::int32_t line = AddLine(raw, view.name, view.kind, static_cast<Term>(term.size()));
    lines_[line].termFollows = true;
    Section& s = sections_.back();
    if (s.head < 0) {
        s.head = line;
    } else {
        lines_[s.tail].next = line;
        lines_[line].prev = s.tail;
    }
    s.tail = line;
    if (view.kind == LineKind::Section || (view.kind == LineKind::Key && sections_.size() > 1)) {
        s.lastKey = line;
    }
}

std::int32_t Document::AddLine(std::string_view raw, std::string_view name, LineKind kind,
                               Term term) {
    Line& line = lines_.emplace_back();
    line.raw = raw;
    line.SetName(name);
    line.kind = kind;
    line.term = term;
    return static_cast<std::int32_t>(lines_.size()) - 1;
}

void Document::LinkAfter(Section& s, std::int32_t after, std::int32_t line) {
    // A file's unterminated last line gains its terminator for good once a line follows,
    // as a fresh parse of the written file sees it.
    if (lines_[after].term == Term::None) {
        lines_[after].term = NewLineTerm();
        lines_[after].termFollows = false;
    }
    const std::int32_t next = lines_[after].next;
    lines_[line].prev = after;
    lines_[line].next = next;
    lines_[after].next = line;
    if (next >= 0) {
        lines_[next].prev = line;
    } else {
        s.tail = line;
    }
}

void Document::Unlink(Section& s, std::int32_t line) {
    const std::int32_t prev = lines_[line].prev, next = lines_[line].next;
    if (prev >= 0) {
        lines_[prev].next = next;
    } else {
        s.head = next;
    }
    if (next >= 0) {
        lines_[next].prev = prev;
    } else {
        s.tail = prev;
    }
}

std::string_view Document::Store(std::initializer_list<std::string_view> parts) {
    std::size_t size = 0;
    for (std::string_view part : parts) size += part.size();
    if (arena_.empty() || arena_.back().capacity() - arena_.back().size() < size) {
        arena_.emplace_back().reserve(std::max<std::size_t>(size, 64 * 1024));
    }
    // Appending within the reserved capacity never moves the bytes other lines view.
    std::string& chunk = arena_.back();
    const std::size_t start = chunk.size();
    for (std::string_view part : parts) chunk.append(part);
    return std::string_view(chunk).substr(start, size);
}

std::int32_t Document::FirstSection(std::string_view name) {
    if (cached_ > 0 && !sections_[cached_].deleted &&
        EqualsIgnoreCase(sections_[cached_].name, name)) {
        return cached_;
    }
    // One lookup is cheaper as a scan; a second one pays for the index.
    if (!namesIndexed_ && nameLookups_++ > 0) IndexSectionNames();
    std::int32_t found = -1;
    if (namesIndexed_) {
        NameIndex::Entry* entry = sectionNames_.Find(name, CaseInsensitiveHash{}(name), SectionName());
        if (entry != nullptr) found = entry->first;
    } else {
        found = ScanSections(name);
    }
    if (found > 0) cached_ = found;
    return found;
}

std::int32_t Document::ScanSections(std::string_view name) const {
    for (std::size_t i = 1; i < sections_.size(); ++i) {
        if (!sections_[i].deleted && EqualsIgnoreCase(sections_[i].name, name)) {
            return static_cast<std::int32_t>(i);
        }
    }
    return -1;
}

void Document::AddSectionName(std::int32_t index) {
    Section& s = sections_[index];
    s.sameName = -1;
    auto [entry, added] = sectionNames_.Insert(s.name, index, CaseInsensitiveHash{}(s.name), SectionName());
    if (!added) {
        sections_[entry->last].sameName = index;
        entry->last = index;
    }
}

void Document::IndexSectionNames() {
    sectionNames_.Reserve(sections_.size());
    for (std::size_t i = 1; i < sections_.size(); ++i) {
        if (!sections_[i].deleted) AddSectionName(static_cast<std::int32_t>(i));
    }
    namesIndexed_ = true;
}

void Document::IndexKeys(Section& s) {
    std::size_t count = 0;
    for (std::int32_t l = s.head; l >= 0; l = lines_[l].next) count += lines_[l].kind == LineKind::Key;
    // The size hint goes to the first section indexed: batches mostly fill one section.
    s.keys.Reserve(count + std::exchange(expectedChanges_, 0));
    for (std::int32_t l = s.head; l >= 0; l = lines_[l].next) {
        if (lines_[l].kind != LineKind::Key) continue;
        lines_[l].sameKey = -1;
        const std::string_view name = lines_[l].Name();
        auto [entry, added] = s.keys.Insert(name, l, CaseInsensitiveHash{}(name), LineName());
        if (!added) {
            lines_[entry->last].sameKey = l;
            entry->last = l;
        }
    }
    s.indexed = true;
}

// Without an index: the first line of the key, its other lines chained through sameKey.
std::int32_t Document::ScanKey(Section& s, std::string_view key) {
    std::int32_t first = -1, previous = -1;
    for (std::int32_t l = s.head; l >= 0; l = lines_[l].next) {
        if (lines_[l].kind != LineKind::Key || !EqualsIgnoreCase(lines_[l].Name(), key)) continue;
        lines_[l].sameKey = -1;
        if (previous < 0) {
            first = l;
        } else {
            lines_[previous].sameKey = l;
        }
        previous = l;
    }
    return first;
}

// The last section that still has lines, skipping deleted ones; the links it follows are
// shortened as it goes, so deleting and adding sections in turn stays linear.
std::int32_t Document::LastLiveSection() {
    const auto live = [this](std::int32_t i) { return !sections_[i].deleted && sections_[i].head >= 0; };
    std::int32_t found = static_cast<std::int32_t>(sections_.size()) - 1;
    while (found >= 0 && !live(found)) found = sections_[found].behind;
    for (std::int32_t i = static_cast<std::int32_t>(sections_.size()) - 1; i != found;) {
        const std::int32_t next = sections_[i].behind;
        sections_[i].behind = found;
        i = next;
    }
    return found;
}

std::int32_t Document::AppendSection(std::string_view name) {
    // The blank line that separates the new section belongs to the one before it, as a
    // parse of the written file will see it.
    const std::int32_t before = LastLiveSection();
    if (before >= 0) {
        Line& tail = lines_[sections_[before].tail];
        if (tail.term == Term::None) {
            tail.term = NewLineTerm();
            tail.termFollows = false;
        }
        if (tail.kind != LineKind::Blank) {
            const std::int32_t blank = AddLine({}, {}, LineKind::Blank, NewLineTerm());
            LinkAfter(sections_[before], sections_[before].tail, blank);
        }
    }
    const std::string_view header = Store({"[", name, "]"});
    const std::int32_t line = AddLine(header, header.substr(1, name.size()), LineKind::Section, NewLineTerm());
    Section& s = sections_.emplace_back();
    const auto index = static_cast<std::int32_t>(sections_.size()) - 1;
    s.name = lines_[line].Name();
    s.head = s.tail = s.lastKey = line;
    s.behind = index - 1;
    if (namesIndexed_) AddSectionName(index);
    return index;
}

void Document::Write(std::string_view section, std::string_view key, std::string_view value) {
    std::int32_t index = FirstSection(section);
    if (index < 0) index = AppendSection(section);
    SetKey(index, key, value, {});
}

void Document::WriteLine(std::string_view section, std::string_view line, std::size_t keySize) {
    // The caller keeps `section` unchanged too, so the same view is the same section.
    std::int32_t index = keptIndex_;
    if (section.data() != keptSection_.data() || section.size() != keptSection_.size() ||
        index < 0 || sections_[index].deleted) {
        index = FirstSection(section);
        if (index < 0) index = AppendSection(section);
        keptSection_ = section;
        keptIndex_ = index;
    }
    line.remove_suffix(1);  // the "\n"
    SetKey(index, line.substr(0, keySize), line.substr(keySize + 1), line);
}

// A new key line after the section's last key; `line` is "key=value" when the caller
// keeps it, else empty.
std::int32_t Document::AddKeyLine(std::int32_t section, std::string_view key,
                                  std::string_view value, std::string_view line) {
    // A kept line is followed by "\n" in the caller's buffer.
    const bool kept = !line.empty();
    if (!kept) line = Store({key, "=", value});
    const std::int32_t added = AddLine(line, line.substr(0, key.size()), LineKind::Key, NewLineTerm());
    lines_[added].termFollows = kept && NewLineTerm() == Term::Lf;
    Section& s = sections_[section];
    LinkAfter(s, s.lastKey, added);
    s.lastKey = added;
    changed_ = true;
    return added;
}

void Document::SetKey(std::int32_t index, std::string_view key, std::string_view value,
                      std::string_view line) {
    Section& s = sections_[index];
    if (!s.indexed && s.lookups++ > 0) IndexKeys(s);
    std::int32_t found = -1;
    if (s.indexed) {
        // One probe finds the key or reserves its entry for the line about to be added.
        const auto next = static_cast<std::int32_t>(lines_.size());
        auto [entry, added] = s.keys.Insert(key, next, CaseInsensitiveHash{}(key), LineName());
        if (added) {
            AddKeyLine(index, key, value, line);
            return;
        }
        found = entry->first;
    } else {
        found = ScanKey(s, key);
        if (found < 0) {
            AddKeyLine(index, key, value, line);
            return;
        }
    }
    // The key keeps its spelling; only the text after "=" changes.
    Line& old = lines_[found];
    const std::string_view name = old.Name();
    const std::size_t n = name.size();
    if (old.raw.size() == n + 1 + value.size() && old.nameAt == 0 && old.raw[n] == '=' &&
        old.raw.substr(n + 1) == value) {
        return;
    }
    const bool kept = !line.empty() && key == name;
    old.raw = kept ? line : Store({name, "=", value});
    old.nameAt = 0;
    old.termFollows = kept && old.term == Term::Lf;
    changed_ = true;
}

void Document::RemoveKeyLine(Section& s, std::int32_t line) {
    if (line == s.lastKey) {
        // New keys go after the key line before it now, or after the header.
        std::int32_t back = lines_[line].prev;
        while (lines_[back].kind != LineKind::Key && lines_[back].kind != LineKind::Section) {
            back = lines_[back].prev;
        }
        s.lastKey = back;
    }
    Unlink(s, line);
    changed_ = true;
}

void Document::DeleteKey(std::string_view section, std::string_view key) {
    const std::int32_t index = FirstSection(section);
    if (index < 0) return;
    Section& s = sections_[index];
    if (!s.indexed && s.lookups++ > 0) IndexKeys(s);
    std::int32_t first = -1;
    if (s.indexed) {
        NameIndex::Entry* entry = s.keys.Find(key, CaseInsensitiveHash{}(key), LineName());
        if (entry == nullptr) return;
        first = entry->first;
        s.keys.Erase(*entry);
    } else {
        first = ScanKey(s, key);
    }
    for (std::int32_t line = first; line >= 0;) {
        const std::int32_t next = lines_[line].sameKey;
        RemoveKeyLine(s, line);
        line = next;
    }
}

void Document::DeleteSection(std::string_view section) {
    if (!namesIndexed_ && nameLookups_++ > 0) IndexSectionNames();
    if (!namesIndexed_) {
        for (std::size_t i = 1; i < sections_.size(); ++i) {
            if (sections_[i].deleted || !EqualsIgnoreCase(sections_[i].name, section)) continue;
            sections_[i].deleted = true;
            changed_ = true;
        }
        return;
    }
    NameIndex::Entry* entry = sectionNames_.Find(section, CaseInsensitiveHash{}(section), SectionName());
    if (entry == nullptr) return;
    for (std::int32_t i = entry->first; i >= 0; i = sections_[i].sameName) sections_[i].deleted = true;
    sectionNames_.Erase(*entry);
    changed_ = true;
}

std::string Document::Text() const {
    // Lines that still lie back to back in one buffer (the untouched ones, or a batch's
    // new lines) are copied as one run.
    std::vector<std::string_view> runs;
    std::size_t size = 0;
    const auto emit = [&](std::string_view piece) {
        size += piece.size();
        if (!runs.empty() && runs.back().data() + runs.back().size() == piece.data()) {
            runs.back() = std::string_view(runs.back().data(), runs.back().size() + piece.size());
        } else if (!piece.empty()) {
            runs.push_back(piece);
        }
    };
    // Only the file's last line can lack a terminator; anything after it needs one.
    const std::string_view newline = TermText(static_cast<std::uint8_t>(NewLineTerm()));
    bool lastNoTerm = false;
    for (const Section& s : sections_) {
        if (s.deleted) continue;
        for (std::int32_t l = s.head; l >= 0; l = lines_[l].next) {
            const Line& line = lines_[l];
            if (lastNoTerm) emit(newline);
            const auto termSize = static_cast<std::size_t>(line.term);
            if (line.termFollows) {
                emit(std::string_view(line.raw.data(), line.raw.size() + termSize));
            } else {
                emit(line.raw);
                emit(TermText(static_cast<std::uint8_t>(line.term)));
            }
            lastNoTerm = line.term == Term::None;
        }
    }
    // Reserved, not sized: zero-filling the buffer first would write every byte twice.
    std::string out;
    out.reserve(size);
    for (std::string_view run : runs) out.append(run);
    return out;
}

}  // namespace platform::ini
