// The outbound queue on disk. Requests are "*.REQ" files (names ignoring case) in the
// queue directory and its direct sub-directories ("MMSQ__*" belongs to the MMSC; dot
// files are other writers' temporary files). Each is locked only for one attempt
// (platform/locked_file.h), since the console may replace or delete it at any other time.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace gateway {

struct SpoolFile {
    std::string path;
    std::string folder;  // "" for the queue root, else the sub-directory's name
    std::string id;      // the file name without its extension
    std::int64_t modifiedUnixMillis = 0;
    std::uint64_t inode = 0;
};

// Calls `visit` for every request file; stops when it returns false.
void ScanSpool(const std::string& queueDir, const std::function<bool(const SpoolFile&)>& visit);

// The identifier of a request: its file name without directory and extension.
std::string RequestId(const std::string& path);

}  // namespace gateway
