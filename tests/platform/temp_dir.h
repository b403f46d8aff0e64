// The platform tests' names for the shared scratch directory and file reader.
#pragma once

#include "tests/support/temp_dir.h"
#include "platform/files.h"

namespace platform::test {

class TempDir : public zella_test::TempDir {
public:
    TempDir() : zella_test::TempDir("platform") {}
};

inline std::string ReadAll(const std::string& path) {
    std::string content;
    ReadFile(path, content);
    return content;
}

}  // namespace platform::test
