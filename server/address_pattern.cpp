#include "server/address_pattern.h"

#include <array>
#include <optional>

#include "platform/ini.h"

namespace server {
namespace {

constexpr const char* kSection = "IPRestrictions";
constexpr int kAbsentLimit = 50;

// Calls `visit(number, value)` for every key "<prefix>%u" present, walking the numbers
// until 50 absent ones have been met.
template <typename Visit>
void WalkList(const std::string& iniPath, std::string_view prefix, Visit visit) {
    int absent = 0;
    for (unsigned i = 1; absent < kAbsentLimit; ++i) {
        const std::string key = std::string(prefix) + std::to_string(i);
        // A default no value can hold tells an absent key from an empty one.
        const std::string value =
            platform::GetPrivateProfileString(iniPath, kSection, key, "\n", kAddressMax + 1);
        if (value == "\n") {
            ++absent;
            continue;
        }
        visit(key, value);
    }
}

}  // namespace

bool NormaliseAddressPattern(std::string& text) {
    std::size_t begin = text.find_first_not_of(" \t");
    std::size_t end = text.find_last_not_of(" \t");
    if (begin == std::string::npos) return false;
    const std::string_view body(text.data() + begin, end - begin + 1);
    std::array<std::optional<unsigned>, 4> parts{0u, 0u, 0u, 0u};  // nullopt: any
    std::size_t part = 0;
    for (char c : body) {
        if (c == '.') {
            if (++part == 4) return false;
        } else if (c == '*') {
            parts[part].reset();
        } else if (c >= '0' && c <= '9') {
            if (parts[part] && (*parts[part] = *parts[part] * 10 + (c - '0')) > 255) return false;
        } else {
            return false;
        }
    }
    std::string result;
    for (std::size_t i = 0; i < 4; ++i) {
        if (i > 0) result += '.';
        result += parts[i] ? std::to_string(*parts[i]) : "*";
    }
    text = result;
    return true;
}

unsigned NormalisedNumber(std::string_view text) {
    unsigned value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') break;
        value = value * 10 + static_cast<unsigned>(c - '0');
        if (value > 65535) return 0;
    }
    return value;
}

std::string NormalisedText(unsigned number) { return number == 0 ? "" : std::to_string(number); }

std::vector<std::string> ReadAddressList(const std::string& iniPath, std::string_view prefix) {
    std::vector<std::string> entries;
    WalkList(iniPath, prefix, [&](const std::string&, const std::string& value) {
        if (!value.empty()) entries.push_back(value);
    });
    return entries;
}

bool IsStorableEntry(std::string_view text) {
    return !text.empty() && text.find_first_of("=\r\n") == std::string_view::npos;
}

bool WriteAddressList(const std::string& iniPath, std::string_view prefix,
                      const std::vector<std::string>& entries) {
    for (const std::string& e : entries) {
        if (!IsStorableEntry(e)) return false;
    }
    platform::IniBatch batch(iniPath);
    WalkList(iniPath, prefix,
             [&](const std::string& key, const std::string&) { batch.DeleteKey(kSection, key); });
    unsigned number = 1;
    for (const std::string& e : entries) batch.Write(kSection, std::string(prefix) + std::to_string(number++), e);
    return batch.Size() == 0 || batch.Commit();
}

}  // namespace server
