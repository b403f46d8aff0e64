#include "platform/text.h"

namespace platform {

namespace {

char LowerChar(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

char LowerAscii(char c) { return LowerChar(c); }
char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

std::string ToLowerAscii(std::string text) {
    for (char& c : text) c = LowerChar(c);
    return text;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (LowerChar(a[i]) != LowerChar(b[i])) return false;
    }
    return true;
}

int CompareNoCase(std::string_view a, std::string_view b) {
    const std::size_t n = a.size() < b.size() ? a.size() : b.size();
    for (std::size_t i = 0; i < n; ++i) {
        const int x = static_cast<unsigned char>(LowerChar(a[i]));
        const int y = static_cast<unsigned char>(LowerChar(b[i]));
        if (x != y) return x - y;
    }
    return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

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

std::string WithoutDuplicateSuffix(const std::string& host) {
    const std::size_t hash = host.rfind('#');
    if (hash == std::string::npos || hash + 1 == host.size() ||
        host.find_first_not_of("0123456789", hash + 1) != std::string::npos)
        return host;
    return host.substr(0, hash);
}

}  // namespace platform
