#include "platform/text.h"

#include "platform/ini_text.h"

namespace platform {

// One set of case rules for the whole program: the INI engine's.
std::string ToLowerAscii(std::string text) {
    for (char& c : text) c = ini::LowerChar(c);
    return text;
}

bool EqualsNoCase(std::string_view a, std::string_view b) { return ini::EqualsIgnoreCase(a, b); }

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

std::size_t FindNoCase(std::string_view text, std::string_view needle) {
    if (needle.size() > text.size()) return std::string_view::npos;
    for (std::size_t at = 0; at + needle.size() <= text.size(); ++at) {
        if (EqualsNoCase(text.substr(at, needle.size()), needle)) return at;
    }
    return std::string_view::npos;
}

}  // namespace platform
