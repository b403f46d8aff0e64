// A directory held open, so that what is done in it later lands in the directory that
// was looked at, even when its path has since been swapped for a symbolic link.
#pragma once

#include <functional>
#include <string>

#include "platform/files.h"
#include "platform/unique_fd.h"

namespace platform {

class OpenedDirectory {
public:
    OpenedDirectory() = default;
    // Opens `path` (the final link followed, as a configured path may be one); invalid
    // when it is no directory.
    static OpenedDirectory Open(const std::string& path);
    // Opens the subdirectory `name` of this one without following a link: a link planted
    // in place of a subdirectory gives an invalid result.
    OpenedDirectory Sub(const std::string& name) const;

    bool Valid() const { return fd_.Valid(); }
    int Descriptor() const { return fd_.Get(); }

    // As WalkDirectoryNamesAt over this directory; `dirFd` is Descriptor().
    void Walk(const std::string& pattern,
              const std::function<bool(int dirFd, const DirEntry&)>& visit) const;
    // Whether `name` (a plain name) is present, as anything.
    bool Has(const std::string& name) const;
    // Deletes the file `name` by the rule of DeleteFileChecked (a locked file stays);
    // a directory is never deleted here. True when the name is gone afterwards.
    bool DeleteFile(const std::string& name) const;
    // Deletes the subdirectory `name` with everything below it, as DeleteDirectoryTree
    // does; a link in its place is left alone.
    void DeleteTree(const std::string& name) const;

private:
    explicit OpenedDirectory(int fd) : fd_(fd) {}
    UniqueFd fd_;
};

}  // namespace platform
