// The supervisor's state folder, reached only through one descriptor of the folder so
// that nobody can swap a path component or plant a link between a check and a use.
//
// The folder counts as the supervisor's own only when it is a real directory (not a
// link), not writable by group or others, and owned by this process's user; a folder
// that is merely read (state queries of a console without rights) may also be root's.
// Everything inside is opened without following links, as a regular file, with a
// bounded read.
#pragma once

#include <string>

#include "platform/unique_fd.h"

namespace platform {

class ServiceStateFolder {
public:
    // Opens `path` (with or without a trailing "/"). With `forChanges` the folder is
    // created (0755) when missing and must belong to this process's user; else it may
    // also belong to root. 0 on success, else EACCES (not as required) or an errno.
    int Open(const std::string& path, bool forChanges);
    bool IsOpen() const { return fd_.Valid(); }
    int Descriptor() const { return fd_.Get(); }

    // The content of the plain file `name` (at most 64 KiB); false when missing, not a
    // plain file, a link, or unreadable.
    bool Read(const std::string& name, std::string& content) const;
    // Replaces `name` atomically (temporary file in the folder, then rename), mode 0644.
    bool Write(const std::string& name, const std::string& content) const;
    // Removes `name`; true when it is gone.
    bool Remove(const std::string& name) const;
    // True when `name` exists as a plain file.
    bool HasFile(const std::string& name) const;
    // Takes the exclusive advisory lock of `name` (created 0600, never through a link);
    // held while the result lives, invalid when it could not be taken.
    UniqueFd Lock(const std::string& name) const;

private:
    UniqueFd fd_;
};

}  // namespace platform
