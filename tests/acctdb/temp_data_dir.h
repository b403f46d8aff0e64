// A fresh program data directory for one test, selected through ZELLA_DATA_DIR.
#pragma once

#include <ftw.h>
#include <stdio.h>
#include <stdlib.h>

#include <string>

#include "acctdb/acctdb.h"

namespace acctdb_test {

class TempDataDir {
public:
    TempDataDir() {
        std::string pattern = "/tmp/acctdb-test-XXXXXX";
        if (mkdtemp(pattern.data()) != nullptr) path_ = pattern + "/";
        setenv("ZELLA_DATA_DIR", path_.c_str(), 1);
        acctdb::SetMultiHost("");
    }
    ~TempDataDir() {
        acctdb::SetMultiHost("");
        unsetenv("ZELLA_DATA_DIR");
        // Everything goes, dot-folders included (hostile instance names leave some).
        if (!path_.empty()) {
            nftw(path_.c_str(),
                 [](const char* p, const struct stat*, int, struct FTW*) { return remove(p); }, 16,
                 FTW_DEPTH | FTW_PHYS);
        }
    }
    TempDataDir(const TempDataDir&) = delete;
    TempDataDir& operator=(const TempDataDir&) = delete;
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

}  // namespace acctdb_test
