// A fresh program data directory per test: ZELLA_DATA_DIR points at a new temporary
// folder, ZELLA.INI there is the configuration path, and everything is removed after.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "config/config_store.h"
#include "platform/files.h"
#include "platform/ini.h"
#include "tests/support/temp_dir.h"

class DataDirTest : public ::testing::Test {
protected:
    void SetUp() override {
        data_ = std::make_unique<zella_test::ScopedDataDir>("config");
        dir_ = data_->Path();
        ASSERT_FALSE(dir_.empty());
        config::SetConfigurationPath("");
        ini_ = config::ConfigurationPath();
    }
    void TearDown() override {
        config::SetConfigurationPath("");
        data_.reset();
    }
    void WriteFile(const std::string& path, const std::string& content) {
        ASSERT_TRUE(platform::WriteFileAtomic(path, content)) << path;
    }
    void SetZella(const std::string& key, const std::string& value) {
        ASSERT_TRUE(platform::WritePrivateProfileString(ini_, "ZELLA", key, value));
    }

    std::unique_ptr<zella_test::ScopedDataDir> data_;
    std::string dir_;
    std::string ini_;
};
