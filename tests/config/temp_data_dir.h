// A fresh program data directory per test: ZELLA_DATA_DIR points at a new temporary
// folder, ZELLA.INI there is the configuration path, and everything is removed after.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "config/config_store.h"
#include "platform/files.h"
#include "platform/ini.h"

class DataDirTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/zella-config-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = std::string(pattern) + "/";
        setenv("ZELLA_DATA_DIR", dir_.c_str(), 1);
        config::SetConfigurationPath("");
        ini_ = config::ConfigurationPath();
    }
    void TearDown() override {
        config::SetConfigurationPath("");
        unsetenv("ZELLA_DATA_DIR");
        std::filesystem::remove_all(dir_);  // also the dot-named folders the tests make
    }
    void WriteFile(const std::string& path, const std::string& content) {
        ASSERT_TRUE(platform::WriteFileAtomic(path, content)) << path;
    }
    void SetZella(const std::string& key, const std::string& value) {
        ASSERT_TRUE(platform::WritePrivateProfileString(ini_, "ZELLA", key, value));
    }

    std::string dir_;
    std::string ini_;
};
