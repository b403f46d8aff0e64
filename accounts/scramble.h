// Keyed reversible scrambling of passwords kept in INI files. It hides a password from a
// casual reader of the file; it is not encryption and must not be treated as such.
#pragma once

#include <string>
#include <string_view>

namespace accounts {

// Longest key and text the scrambling takes; longer inputs are cut to this many bytes.
inline constexpr std::size_t kScrambleMaxText = 499;

// The text as capital letters, two per byte (first "A".."P", second "K".."Z"); empty when
// the key or the text is empty.
std::string ScrambleText(std::string_view key, std::string_view text);

// The text that ScrambleText made from these letters with the same key: letters outside
// their range count as 0, a trailing single letter gives only its upper four bits and
// ends the text, the result ends at its first zero byte and holds at most 499 bytes.
// Empty when the key or the letters are empty.
std::string UnscrambleText(std::string_view key, std::string_view letters);

}  // namespace accounts
