// Appending whole lines to the logs other programs read while they grow.
#pragma once

#include <string>

namespace platform {

// Appends `text` with one write in append mode, so a reader never sees half of it and
// lines of concurrent writers never interleave. The file is created with `newFileMode`
// when missing; a link, FIFO or device under the name is refused (false), as is a write
// that did not take all of `text` (a full disk).
bool AppendToFile(const std::string& path, const std::string& text, unsigned newFileMode = 0660);

// AppendToFile for a process that appends often to the same file: the file stays open
// between lines. Recheck (now and then) closes it once its name no longer leads to it
// (removed, renamed or replaced by another program), so the lines that follow go to the
// file that now bears the name.
class AppendingFile {
public:
    AppendingFile();
    ~AppendingFile();
    AppendingFile(AppendingFile&&) noexcept;
    AppendingFile& operator=(AppendingFile&&) noexcept;
    bool Append(const std::string& path, const std::string& text, unsigned newFileMode = 0660);
    void Recheck();
    void Close();

private:
    std::string path_;
    int fd_ = -1;
};

}  // namespace platform
