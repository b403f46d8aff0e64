#include "platform/ini_snapshot.h"

#include "platform/files.h"
#include "platform/ini_text.h"

namespace platform {

// The first section of each name with the first value of each key in it, all viewing
// content_, built in one pass over the lines.
struct IniSnapshot::Index {
    using Keys = ini::CaseInsensitiveMap<std::string_view, std::string_view>;
    ini::CaseInsensitiveMap<std::string_view, Keys> sections;
};

IniSnapshot::IniSnapshot() : index_(std::make_unique<Index>()) {}

IniSnapshot::IniSnapshot(const std::string& path) : index_(std::make_unique<Index>()) {
    loaded_ = ReadFile(path, content_);
    if (loaded_) BuildIndex();
}

IniSnapshot IniSnapshot::FromText(std::string content) {
    IniSnapshot snapshot;
    snapshot.content_ = std::move(content);
    snapshot.loaded_ = true;
    snapshot.BuildIndex();
    return snapshot;
}

// The index views into content_; a moved std::string keeps its heap buffer, but a short
// one lives inside the object, so a move rebuilds the views rather than trusting them.
IniSnapshot::IniSnapshot(IniSnapshot&& other) noexcept : index_(std::make_unique<Index>()) {
    *this = std::move(other);
}

IniSnapshot& IniSnapshot::operator=(IniSnapshot&& other) noexcept {
    if (this != &other) {
        content_ = std::move(other.content_);
        loaded_ = other.loaded_;
        index_ = std::make_unique<Index>();
        if (loaded_) BuildIndex();
        other.content_.clear();
        other.loaded_ = false;
        other.index_ = std::make_unique<Index>();
    }
    return *this;
}

bool IniSnapshot::HasSection(std::string_view section) const {
    return index_->sections.find(ini::TrimBlanks(section)) != index_->sections.end();
}

void IniSnapshot::BuildIndex() {
    Index::Keys* current = nullptr;  // null before the first section and in later copies
    ini::ForEachLine(content_, [&](std::string_view raw, std::string_view) {
        const ini::LineView line = ini::ClassifyLine(raw);
        if (line.kind == ini::LineKind::Section) {
            auto [entry, added] = index_->sections.try_emplace(line.name);
            current = added ? &entry->second : nullptr;
        } else if (line.kind == ini::LineKind::Key && current != nullptr) {
            current->try_emplace(line.name, ini::StripQuotes(line.value));
        }
        return true;
    });
}

IniSnapshot::~IniSnapshot() = default;

std::string IniSnapshot::Get(std::string_view section, std::string_view key, std::string_view def,
                             std::size_t size) const {
    if (size == 0) return {};
    std::string_view found = def;
    if (const auto known = index_->sections.find(ini::TrimBlanks(section)); known != index_->sections.end()) {
        if (const auto value = known->second.find(ini::TrimBlanks(key)); value != known->second.end()) {
            found = value->second;
        }
    }
    return std::string(found.substr(0, size - 1));
}

}  // namespace platform
