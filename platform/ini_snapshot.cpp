#include "platform/ini_snapshot.h"

#include <unordered_map>

#include "platform/files.h"
#include "platform/ini_document.h"

namespace platform {

namespace {

using ini::CaseInsensitiveHash;
using ini::CaseInsensitiveEqual;

using Keys = std::unordered_map<std::string_view, std::string_view, CaseInsensitiveHash,
                                CaseInsensitiveEqual>;

struct Section {
    std::string_view body;  // the lines after the header, up to the next header
    bool indexed = false;
    Keys keys;
};

}  // namespace

struct IniSnapshot::Index {
    std::unordered_map<std::string_view, Section, CaseInsensitiveHash, CaseInsensitiveEqual> sections;
};

IniSnapshot::IniSnapshot(const std::string& path) : index_(std::make_unique<Index>()) {
    loaded_ = ReadFile(path, content_);
    if (!loaded_) return;
    // Only lines whose first non-blank character is "[" can be section headers, and
    // there are few of them: jump from "[" to "[" instead of classifying every line.
    const std::string_view text(content_);
    Section* current = nullptr;
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
        if (current != nullptr) {
            current->body = text.substr(current->body.data() - text.data(),
                                        lineStart - static_cast<std::size_t>(current->body.data() - text.data()));
        }
        auto [it, fresh] = index_->sections.try_emplace(line.name);
        current = fresh ? &it->second : nullptr;  // a later section of the same name is unseen
        const std::size_t bodyStart = newline == std::string_view::npos ? text.size() : newline + 1;
        if (current != nullptr) current->body = text.substr(bodyStart);
        if (newline == std::string_view::npos) break;
        pos = newline;
    }
}

IniSnapshot::~IniSnapshot() = default;

std::string IniSnapshot::Get(std::string_view section, std::string_view key, std::string_view def,
                             std::size_t size) const {
    if (size == 0) return {};
    std::string_view found = def;
    auto s = index_->sections.find(ini::TrimBlanks(section));
    if (s != index_->sections.end()) {
        Section& body = s->second;
        if (!body.indexed) {
            body.indexed = true;
            ini::ForEachLine(body.body, [&body](std::string_view raw, std::string_view) {
                const ini::LineView line = ini::ClassifyLine(raw);
                if (line.kind == ini::LineKind::Key) body.keys.try_emplace(line.name, ini::StripQuotes(line.value));
                return true;
            });
        }
        auto k = body.keys.find(ini::TrimBlanks(key));
        if (k != body.keys.end()) found = k->second;
    }
    return std::string(found.substr(0, size - 1));
}

}  // namespace platform
