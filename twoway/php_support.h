// Locating the PHP CGI program the Gateway service runs PHP scripts with ("php-cgi.exe"
// as the logical name and the INI key, the program `php-cgi` on this system).
#pragma once

#include <string>
#include <vector>

namespace twoway {

inline constexpr const char* kPhpCgiKey = "PHP-CGI.EXE";
inline constexpr const char* kPhpCgiProgram = "php-cgi";
inline constexpr const char* kPhpMissing = "PHP support not available, unable to locate php-cgi";

// The install folders searched last, a few levels deep.
const std::vector<std::string>& PhpSearchRoots();

// `LocatePhpCgi`: the stored key (kept when its file exists, deleted when it is gone),
// then PHPRC's directory, then each element of PATH (split at ":", blanks after a ":"
// skipped, empty elements ignored), then a search of `roots` no deeper than three levels
// below each, skipping folders named "Q" or "MMSCDATA" and never following a link to a
// folder. A PHPRC longer than 260 characters counts as absent; PATH is split whatever its
// length. True with the full path in `path` (stored under the key when it was searched
// for); false with kPhpMissing in `message`.
bool LocatePhpCgi(std::string& path, std::string& message,
                  const std::vector<std::string>& roots = PhpSearchRoots());

// The address under which the Gateway service's web interface serves the PHP folder.
std::string LocalPhpAddress();

}  // namespace twoway
