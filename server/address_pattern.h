// Address patterns of the web interface's IP restrictions, the lists of them kept in
// section "IPRestrictions", and the normalised port numbers of the server settings.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace server {

// The longest pattern or host name an entry holds, in characters.
inline constexpr std::size_t kAddressMax = 149;

// Rewrites `text` as four dot-separated parts, each "*" or 0-255 ("10.1" becomes
// "10.1.0.0", "192.168.*" becomes "192.168.*.0"), leading and trailing blanks ignored.
// Returns false, leaving `text` as it was, when it holds any character other than
// digits, "*" and ".", more than four parts, or a part above 255.
bool NormaliseAddressPattern(std::string& text);

// A port box's text as a number: its leading decimal digits, 0 when it starts with no
// digit, is empty, or exceeds 65535 (no port can be larger).
unsigned NormalisedNumber(std::string_view text);
// The number as stored: decimal text, or "" for 0.
std::string NormalisedText(unsigned number);

// The non-empty values of "<prefix>%u" (prefix "Allowed" or "Blocked") of section
// "IPRestrictions" of `iniPath`, in key order; absent keys are skipped until 50 of them
// have been met in all.
std::vector<std::string> ReadAddressList(const std::string& iniPath, std::string_view prefix);

// Deletes the keys "<prefix>%u" the way ReadAddressList finds them, then writes
// `entries` as "<prefix>1", "<prefix>2"... in order. False when the file could not be
// written (it is then unchanged) or an entry holds "=", CR or LF (nothing is written).
bool WriteAddressList(const std::string& iniPath, std::string_view prefix,
                      const std::vector<std::string>& entries);

// Whether `text` can be an entry of a list: not empty and free of "=", CR and LF, which
// would corrupt or split its INI line.
bool IsStorableEntry(std::string_view text);

}  // namespace server
