// Scratch directories for tests: removed with everything in them (dot-named folders
// included) when the object goes.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <optional>
#include <string>

namespace zella_test {

class TempDir {
public:
    explicit TempDir(const std::string& tag = "scratch") {
        std::string pattern = "/tmp/zella-" + tag + "-XXXXXX";
        if (mkdtemp(pattern.data()) != nullptr) path_ = pattern + "/";
    }
    ~TempDir() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    // With a trailing "/"; empty when the directory could not be made.
    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + name; }

private:
    std::string path_;
};

// A fresh program data directory: ZELLA_DATA_DIR names it while the object lives and
// gets its previous value back afterwards.
class ScopedDataDir : public TempDir {
public:
    explicit ScopedDataDir(const std::string& tag = "data") : TempDir(tag) {
        if (const char* old = getenv("ZELLA_DATA_DIR")) previous_ = old;
        setenv("ZELLA_DATA_DIR", Path().c_str(), 1);
    }
    ~ScopedDataDir() {
        if (previous_) {
            setenv("ZELLA_DATA_DIR", previous_->c_str(), 1);
        } else {
            unsetenv("ZELLA_DATA_DIR");
        }
    }

private:
    std::optional<std::string> previous_;
};

}  // namespace zella_test
