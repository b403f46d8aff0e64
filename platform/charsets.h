// Character sets by their MIME names, as the system's converter (iconv) knows them: the
// names the gateway's services can convert to, offered wherever the operator picks an
// SMSC's character set.
#pragma once

#include <string>
#include <vector>

namespace platform {

// The MIME charset names this system can convert UTF-8 into, in alphabetical order,
// lower case as they are stored ("big5", ..., "utf-8", "windows-1252"). Worked out once
// per process by asking the converter about each known name.
const std::vector<std::string>& CharsetNames();

// Whether the converter can convert UTF-8 into the charset named `name` (any case).
bool CharsetSupported(const std::string& name);

// Converts `text` from charset `from` to charset `to` (iconv names). Characters the
// target cannot hold become `replacement` (converted too when it is "?"-like ASCII);
// bytes invalid in the source are skipped. False when either charset is unknown.
bool ConvertCharset(const std::string& from, const std::string& to, const std::string& text, std::string& out,
                    char replacement = '?');

}  // namespace platform
