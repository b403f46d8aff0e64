#include "twoway/reply_text.h"

#include <string_view>

namespace twoway {

namespace {

void ReplaceAll(std::string& text, std::string_view from, std::string_view to) {
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

}  // namespace

std::string EscapeReplyText(std::string text) {
    ReplaceAll(text, "\r", "\\r");
    ReplaceAll(text, "\n", "\\n");
    return text;
}

std::string UnescapeReplyText(std::string text) {
    ReplaceAll(text, "\\r", "\r");
    ReplaceAll(text, "\\n", "\n");
    return text;
}

}  // namespace twoway
