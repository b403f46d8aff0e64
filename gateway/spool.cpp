#include "gateway/spool.h"

#include <vector>

#include "platform/files.h"
#include "platform/text.h"

namespace gateway {

namespace {

void ScanFolder(const std::string& dir, const std::string& folder, bool& go,
                const std::function<bool(const SpoolFile&)>& visit) {
    platform::WalkDirectoryNamesAt(dir, "*.REQ", [&](int dirFd, const platform::DirEntry& e) {
        if (e.isDirectory || e.name.empty() || e.name[0] == '.') return true;
        SpoolFile f;
        f.path = dir + e.name;
        f.folder = folder;
        f.id = RequestId(e.name);
        f.inode = e.inode;
        platform::ModifiedTimeAt(dirFd, e.name.c_str(), f.modifiedUnixMillis);
        go = visit(f);
        return go;
    });
}

}  // namespace

std::string RequestId(const std::string& path) {
    std::string name = path.substr(path.rfind('/') + 1);
    const std::size_t dot = name.rfind('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

void ScanSpool(const std::string& queueDir, const std::function<bool(const SpoolFile&)>& visit) {
    bool go = true;
    ScanFolder(queueDir, "", go, visit);
    std::vector<std::string> folders;
    platform::WalkDirectoryNames(queueDir, "*", [&](const platform::DirEntry& e) {
        if (e.isDirectory && !e.name.empty() && e.name[0] != '.' && !platform::StartsWithNoCase(e.name, "MMSQ__"))
            folders.push_back(e.name);
        return true;
    });
    for (const std::string& folder : folders) {
        if (!go) return;
        ScanFolder(queueDir + folder + "/", folder, go, visit);
    }
}

}  // namespace gateway
