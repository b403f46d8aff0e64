#include "smpplnk/smpp_connect.h"

#include <cctype>
#include <cerrno>

#include "platform/text.h"

namespace smpplnk {
namespace {

std::string Trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return std::string();
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// DNS limits: a name the resolver would reject anyway is refused without asking it.
bool NameFits(const std::string& name) {
    if (name.size() > 253) return false;
    std::size_t label = 0;
    for (char c : name) {
        if (c == '.') {
            label = 0;
        } else if (++label > 63) {
            return false;
        }
        if (std::isspace(static_cast<unsigned char>(c)) || c == '#' || c == '/') return false;
    }
    return true;
}

}  // namespace

int ConnectTarget(const char* host, unsigned port, std::string* target) {
    if (!host || port == 0 || port > 65535) return EINVAL;
    std::string text = Trimmed(platform::WithoutDuplicateSuffix(Trimmed(host)));
    if (!text.empty() && text.front() == '[') {
        if (text.size() < 3 || text.back() != ']') return EINVAL;
        text = text.substr(1, text.size() - 2);
        if (text.find(':') == std::string::npos) return EINVAL;
    } else if (text.find_first_of("[]") != std::string::npos) {
        return EINVAL;
    }
    if (text.empty() || !NameFits(text)) return EINVAL;
    *target = text;
    return 0;
}

}  // namespace smpplnk
