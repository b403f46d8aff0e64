// Appending whole lines to the logs other programs read while they grow.
#pragma once

#include <string>

namespace platform {

// Appends `text` with one write in append mode, so a reader never sees half of it and
// lines of concurrent writers never interleave. The file is created with `newFileMode`
// when missing; a link, FIFO or device under the name is refused (false), as is a write
// that did not take all of `text` (a full disk).
bool AppendToFile(const std::string& path, const std::string& text, unsigned newFileMode = 0660);

}  // namespace platform
