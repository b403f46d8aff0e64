#include "platform/ini_snapshot.h"

#include <cstdint>
#include <vector>

#include "platform/files.h"
#include "platform/ini_document.h"

namespace platform {

namespace {

using ini::CaseInsensitiveHash;
using ini::NameIndex;

struct Key {
    std::string_view name, value;  // value with its quotes stripped
};

struct Section {
    std::string_view name;
    std::string_view body;  // the lines after the header, up to the next header
    bool indexed = false;
    std::vector<Key> keys;  // the first line of each key name, in file order
    NameIndex keyIndex;
};

}  // namespace

// Open addressing over plain arrays (NameIndex): a snapshot is built for a handful of
// lookups in a refresh, so building it must cost little more than reading the file.
struct IniSnapshot::Index {
    std::vector<Section> sections;  // the first section of each name, in file order
    NameIndex names;
    // Callers ask for many keys of one section in a row: the last section found is kept.
    Section* last = nullptr;

    auto SectionName() const {
        return [this](std::int32_t i) { return sections[static_cast<std::size_t>(i)].name; };
    }

    Section* Find(std::string_view name) {
        if (last != nullptr && ini::EqualsIgnoreCase(name, last->name)) return last;
        NameIndex::Entry* entry = names.Find(name, CaseInsensitiveHash{}(name), SectionName());
        if (entry == nullptr) return nullptr;
        return last = &sections[static_cast<std::size_t>(entry->first)];
    }
    // Adds a section header; false when an earlier section has that name.
    bool Add(std::string_view name) {
        const auto next = static_cast<std::int32_t>(sections.size());
        if (!names.Insert(name, next, CaseInsensitiveHash{}(name), SectionName()).second) return false;
        sections.push_back(Section{name, {}, false, {}, {}});
        return true;
    }
};

namespace {

void IndexKeys(Section& section) {
    section.indexed = true;
    const auto keyName = [&section](std::int32_t i) { return section.keys[static_cast<std::size_t>(i)].name; };
    ini::ForEachLine(section.body, [&](std::string_view raw, std::string_view) {
        const ini::LineView line = ini::ClassifyLine(raw);
        if (line.kind != ini::LineKind::Key) return true;
        const auto next = static_cast<std::int32_t>(section.keys.size());
        if (section.keyIndex.Insert(line.name, next, CaseInsensitiveHash{}(line.name), keyName).second) {
            section.keys.push_back(Key{line.name, ini::StripQuotes(line.value)});
        }
        return true;
    });
}

}  // namespace

IniSnapshot::IniSnapshot(const std::string& path) : index_(std::make_unique<Index>()) {
    loaded_ = ReadFile(path, content_);
    if (!loaded_) return;
    // Only lines whose first non-blank character is "[" can be section headers, and
    // there are few of them: jump from "[" to "[" instead of classifying every line.
    const std::string_view text(content_);
    std::ptrdiff_t current = -1;
    for (std::size_t pos = text.find('['); pos != std::string_view::npos;
         pos = text.find('[', pos + 1)) {
        std::size_t lineStart = text.rfind('\n', pos);
        lineStart = lineStart == std::string_view::npos ? 0 : lineStart + 1;
        if (!ini::TrimBlanks(text.substr(lineStart, pos - lineStart)).empty()) continue;
        const std::size_t newline = text.find('\n', pos);
        const std::size_t lineEnd = newline == std::string_view::npos ? text.size() : newline;
        std::string_view raw = text.substr(lineStart, lineEnd - lineStart);
        if (!raw.empty() && raw.back() == '\r' && newline != std::string_view::npos) raw.remove_suffix(1);
        const ini::LineView line = ini::ClassifyLine(raw);
        if (line.kind != ini::LineKind::Section) continue;
        if (current >= 0) {
            std::string_view& body = index_->sections[static_cast<std::size_t>(current)].body;
            body = std::string_view(body.data(), static_cast<std::size_t>(text.data() + lineStart - body.data()));
        }
        // A later section of the same name is never seen.
        current = index_->Add(line.name) ? static_cast<std::ptrdiff_t>(index_->sections.size()) - 1 : -1;
        const std::size_t bodyStart = newline == std::string_view::npos ? text.size() : newline + 1;
        if (current >= 0) index_->sections.back().body = text.substr(bodyStart);
        if (newline == std::string_view::npos) break;
        pos = newline;
    }
}

IniSnapshot::~IniSnapshot() = default;

std::string IniSnapshot::Get(std::string_view section, std::string_view key, std::string_view def,
                             std::size_t size) const {
    if (size == 0) return {};
    std::string_view found = def;
    if (Section* known = index_->Find(ini::TrimBlanks(section))) {
        if (!known->indexed) IndexKeys(*known);
        key = ini::TrimBlanks(key);
        const auto keyName = [known](std::int32_t i) { return known->keys[static_cast<std::size_t>(i)].name; };
        if (auto* entry = known->keyIndex.Find(key, CaseInsensitiveHash{}(key), keyName)) {
            found = known->keys[static_cast<std::size_t>(entry->first)].value;
        }
    }
    return std::string(found.substr(0, size - 1));
}

}  // namespace platform
