// How a keyword's reply text keeps its line breaks in ZELLA.INI: every carriage return as
// the two characters "\r", every line feed as "\n"; nothing else is escaped.
#pragma once

#include <string>

namespace twoway {

std::string EscapeReplyText(std::string text);
std::string UnescapeReplyText(std::string text);

}  // namespace twoway
