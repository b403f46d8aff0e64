// A scratch directory removed with everything in it when the test ends.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <string>

#include "platform/files.h"

namespace platform::test {

class TempDir {
public:
    TempDir() {
        std::string tmpl = "/tmp/zella-platform-XXXXXX";
        if (mkdtemp(tmpl.data()) != nullptr) path_ = tmpl + "/";
    }
    ~TempDir() { RemoveTree(path_); }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + name; }

private:
    static void RemoveTree(const std::string& dir) {
        if (dir.empty()) return;
        for (const DirEntry& e : ListDirectory(dir)) {
            if (e.name == "." || e.name == "..") continue;
            if (e.isDirectory) {
                RemoveTree(dir + e.name + "/");
            } else {
                ::unlink((dir + e.name).c_str());
            }
        }
        ::rmdir(dir.c_str());
    }
    std::string path_;
};

inline std::string ReadAll(const std::string& path) {
    std::string content;
    ReadFile(path, content);
    return content;
}

}  // namespace platform::test
