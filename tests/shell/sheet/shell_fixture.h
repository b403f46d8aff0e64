// A fresh data directory per test, selected through ZELLA_DATA_DIR, and the console's
// process-wide settings reset around each test.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <memory>
#include <string>

#include "acctdb/acctdb.h"
#include "config/config_store.h"
#include "platform/ini.h"
#include "tests/support/temp_dir.h"

namespace shell::testing {

class DataDirTest : public ::testing::Test {
protected:
    void SetUp() override {
        data_ = std::make_unique<zella_test::ScopedDataDir>("shell");
        dir_ = data_->Path();
        ASSERT_FALSE(dir_.empty());
        setenv("ZELLA_SERVICE_MANAGER", "supervisor", 1);
        acctdb::SetMultiHost("");
        config::SetConfigurationPath("");
    }
    void TearDown() override {
        config::SetConfigurationPath("");
        data_.reset();
    }
    std::string Ini() const { return dir_ + "ZELLA.INI"; }
    void SetZella(const std::string& key, const std::string& value) {
        platform::WritePrivateProfileString(Ini(), "ZELLA", key, value);
    }
    std::unique_ptr<zella_test::ScopedDataDir> data_;
    std::string dir_;
};

}  // namespace shell::testing
