// ASCII case rules shared by every INI key, section, switch, port and spool name comparison:
// the gateway's files compare names ignoring ASCII case only, whatever the locale.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// The text with A-Z turned into a-z; every other byte unchanged.
std::string ToLowerAscii(std::string text);
char LowerAscii(char c);
char UpperAscii(char c);
bool EqualsNoCase(std::string_view a, std::string_view b);
// Orders as the C library's case-blind comparison does: bytes compared as unsigned after
// A-Z became a-z, a shorter text first when it is a prefix; negative, 0 or positive.
int CompareNoCase(std::string_view a, std::string_view b);
bool StartsWithNoCase(std::string_view text, std::string_view prefix);
// Position of `needle` in `text` ignoring ASCII case, or std::string_view::npos.
std::size_t FindNoCase(std::string_view text, std::string_view needle);

// A host text without the "#n" (n decimal) that tells a second connection to the same
// server apart ("smsc.example#2" -> "smsc.example"); any other text unchanged.
std::string WithoutDuplicateSuffix(const std::string& host);

}  // namespace platform
