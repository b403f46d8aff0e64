// Internal to the INI engine: a file held as a vector of lines per section, edited the
// way every write edits it. Lines the edits do not touch keep their bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ini_text.h"

namespace platform::ini {

// After any edit, Text() is what a fresh parse of the edited text followed by the same
// rules would give, so a batch of edits and the same edits written one by one (each
// reading back the file the previous one wrote) produce the same bytes.
class Document {
public:
    // `expectedKeys` only sizes the key index of the first section edited: a batch
    // mostly fills one section, and growing an index of thousands of keys step by step
    // rehashes it several times.
    explicit Document(std::string content, std::size_t expectedKeys = 0);

    // Sets the value of the key in the first section of that name: an existing key keeps
    // its spelling, a new key goes after the section's last key line, a new section at
    // the end of the file after a blank line.
    void Write(std::string_view section, std::string_view key, std::string_view value);
    // Removes every line of the key in the first section of that name.
    void DeleteKey(std::string_view section, std::string_view key);
    // Removes every section of that name with all its lines.
    void DeleteSection(std::string_view section);

    // The file's bytes.
    std::string Text() const;
    // Whether any edit changed the bytes.
    bool Changed() const { return changed_; }

private:
    enum class Term : std::uint8_t { None, Lf, CrLf };  // the value is the length
    struct Line {
        std::uint32_t at = 0, size = 0;          // the text, in content_ or in added_
        std::uint32_t nameAt = 0, nameSize = 0;  // the key or section name in the text
        LineKind kind = LineKind::Blank;
        Term term = Term::None;
        bool added = false;
        bool deleted = false;
    };
    struct KeyEntry {
        std::uint32_t line = 0;  // the first live line of the key
        bool copies = false;     // later lines of the same key may follow
    };
    struct Section {
        std::vector<Line> lines;  // the header first, except in section 0
        std::size_t lastKey = 0;  // the last live key line, or the header
        bool deleted = false;
        bool indexed = false;     // keys is built on the first edit of the section
        CaseInsensitiveMap<std::string, KeyEntry> keys;
    };

    std::string_view TextOf(const Line& line) const;
    std::string_view NameOf(const Line& line) const { return TextOf(line).substr(line.nameAt, line.nameSize); }
    // A line whose text is the parts joined.
    Line NewLine(std::initializer_list<std::string_view> parts, std::size_t nameAt, std::size_t nameSize,
                 LineKind kind);
    Section& Indexed(std::size_t index);
    std::size_t SectionFor(std::string_view name);
    void Terminate(Line& line) const;
    void TakeNewlineStyle();

    std::string content_;  // the file as read
    std::string added_;    // the text of new and changed lines
    std::vector<Section> sections_;  // section 0 holds the lines before the first header
    CaseInsensitiveMap<std::string, std::size_t> firstSection_;  // live sections only
    std::size_t expectedKeys_ = 0;
    std::size_t cached_ = 0;  // the section SectionFor last found (0: none), by its name as asked
    std::string cachedName_;
    Term newline_ = Term::Lf;
    bool changed_ = false;
};

}  // namespace platform::ini
