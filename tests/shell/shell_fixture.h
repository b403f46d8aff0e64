// A fresh data directory per test, selected through ZELLA_DATA_DIR, and the console's
// process-wide settings reset around each test.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "acctdb/acctdb.h"
#include "config/config_store.h"
#include "platform/ini.h"

namespace shell::testing {

class DataDirTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/zella-shell-XXXXXX";
        dir_ = mkdtemp(pattern);
        dir_ += "/";
        setenv("ZELLA_DATA_DIR", dir_.c_str(), 1);
        setenv("ZELLA_SERVICE_MANAGER", "supervisor", 1);
        acctdb::SetMultiHost("");
        config::SetConfigurationPath("");
    }
    void TearDown() override {
        config::SetConfigurationPath("");
        unsetenv("ZELLA_DATA_DIR");
        std::filesystem::remove_all(dir_);
    }
    std::string Ini() const { return dir_ + "ZELLA.INI"; }
    void SetZella(const std::string& key, const std::string& value) {
        platform::WritePrivateProfileString(Ini(), "ZELLA", key, value);
    }
    std::string dir_;
};

}  // namespace shell::testing
