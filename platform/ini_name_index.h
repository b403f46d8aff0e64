// Internal to the INI engine: the index a batch uses to find a section's keys.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/ini_text.h"

namespace platform::ini {

// Maps names, compared ignoring ASCII case, to a chain of numbered items (the lines of
// one key, the sections of one name). Open addressing in one array of 12-byte slots: a
// batch indexes thousands of keys, and a node allocation per key would cost more than
// the whole rewrite. The index keeps no names: `nameOf(first)` gives an entry's name.
// Linear probing with backward-shift erase, so deleting and re-adding never degrades.
class NameIndex {
public:
    struct Entry {
        std::uint32_t hash = 0;
        std::int32_t first = -1;  // -1 marks a free slot
        std::int32_t last = -1;
    };

    // The entry whose name equals `name` (of hash `hash`, from CaseInsensitiveHash), or
    // null.
    template <typename NameOf>
    Entry* Find(std::string_view name, std::size_t hash, const NameOf& nameOf) {
        if (slots_.empty()) return nullptr;
        const auto h = static_cast<std::uint32_t>(hash);
        for (std::size_t i = Home(h);; i = (i + 1) & (slots_.size() - 1)) {
            Entry& e = slots_[i];
            if (e.first < 0) return nullptr;
            if (e.hash == h && EqualsIgnoreCase(nameOf(e.first), name)) return &e;
        }
    }

    // The entry of that name and false, or a new entry (first = last = value) and true.
    // The new entry's name is read through `nameOf(value)` only by later calls.
    template <typename NameOf>
    std::pair<Entry*, bool> Insert(std::string_view name, std::int32_t value, std::size_t hash,
                                   const NameOf& nameOf) {
        if ((used_ + 1) * 4 > slots_.size() * 3) Grow();
        const auto h = static_cast<std::uint32_t>(hash);
        for (std::size_t i = Home(h);; i = (i + 1) & (slots_.size() - 1)) {
            Entry& e = slots_[i];
            if (e.first < 0) {
                e = Entry{h, value, value};
                ++used_;
                return {&e, true};
            }
            if (e.hash == h && EqualsIgnoreCase(nameOf(e.first), name)) return {&e, false};
        }
    }

    // Removes an entry returned by Find or Insert; other entries may move.
    void Erase(Entry& entry);
    // Room for `count` entries without growing.
    void Reserve(std::size_t count);

private:
    std::size_t Home(std::uint32_t hash) const { return hash & (slots_.size() - 1); }
    void Grow();
    std::vector<Entry> slots_;
    std::size_t used_ = 0;
};

}  // namespace platform::ini
