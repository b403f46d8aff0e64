#include "platform/ini_name_index.h"

#include <algorithm>

namespace platform::ini {

void NameIndex::Erase(Entry& entry) {
    const std::size_t mask = slots_.size() - 1;
    std::size_t hole = static_cast<std::size_t>(&entry - slots_.data());
    slots_[hole].first = -1;
    --used_;
    for (std::size_t j = (hole + 1) & mask; slots_[j].first >= 0; j = (j + 1) & mask) {
        // An entry may fill the hole when the hole lies on its probe path.
        if (((j - Home(slots_[j].hash)) & mask) >= ((j - hole) & mask)) {
            slots_[hole] = slots_[j];
            slots_[j].first = -1;
            hole = j;
        }
    }
}

void NameIndex::Reserve(std::size_t count) {
    std::size_t size = std::max<std::size_t>(16, slots_.size());
    while (count * 4 > size * 3) size *= 2;
    if (size == slots_.size()) return;
    std::vector<Entry> old(size);
    old.swap(slots_);
    for (const Entry& e : old) {
        if (e.first < 0) continue;
        std::size_t i = Home(e.hash);
        while (slots_[i].first >= 0) i = (i + 1) & (slots_.size() - 1);
        slots_[i] = e;
    }
}

void NameIndex::Grow() { Reserve(std::max<std::size_t>(12, (used_ + 1) * 2)); }

}  // namespace platform::ini
