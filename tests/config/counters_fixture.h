// A fresh data directory per test (ZELLA_DATA_DIR), local time in UTC, and a fake clock
// set to a chosen day, so counter windows and credit waits are exact and instant.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <map>
#include <memory>
#include <string>

#include "config/config_store.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "tests/support/temp_dir.h"

class CountersTest : public ::testing::Test {
protected:
    void SetUp() override {
        data_ = std::make_unique<zella_test::ScopedDataDir>("counters");
        dir_ = data_->Path();
        ASSERT_FALSE(dir_.empty());
        const char* tz = std::getenv("TZ");
        oldTz_ = tz != nullptr ? tz : "";
        hadTz_ = tz != nullptr;
        setenv("TZ", "UTC", 1);
        config::SetConfigurationPath("");
        platform::SetClock(&clock_);
    }
    void TearDown() override {
        platform::SetClock(nullptr);
        config::SetConfigurationPath("");
        data_.reset();
        if (hadTz_) setenv("TZ", oldTz_.c_str(), 1); else unsetenv("TZ");
    }

    static std::int64_t UtcMillis(int year, int month, int day, int hour = 12) {
        std::tm tm{};
        tm.tm_year = year - 1900;
        tm.tm_mon = month - 1;
        tm.tm_mday = day;
        tm.tm_hour = hour;
        return static_cast<std::int64_t>(timegm(&tm)) * 1000;
    }
    // The fake clock only moves forward: each test sets its day once, after 1999.
    void SetToday(int year, int month, int day) {
        const std::int64_t step = UtcMillis(year, month, day) - clock_.UnixMillis();
        ASSERT_GE(step, 0);
        clock_.Advance(static_cast<std::uint64_t>(step));
    }

    static std::string LittleEndian(std::uint64_t value, std::size_t bytes) {
        std::string out(bytes, '\0');
        for (std::size_t i = 0; i < bytes; ++i) out[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
        return out;
    }
    // A daily counter file with the given counters set, `size` bytes long.
    void WriteCounters(const std::string& path, const std::map<int, std::uint32_t>& counters,
                       std::size_t size = 1464) {
        std::string bytes(size, '\0');
        for (const auto& [index, value] : counters) {
            std::string le = LittleEndian(value, 4);
            for (std::size_t i = 0; i < 4; ++i) {
                std::size_t at = static_cast<std::size_t>(index) * 4 + i;
                if (at < size) bytes[at] = le[i];
            }
        }
        WriteRaw(path, bytes);
    }
    void WriteRaw(const std::string& path, const std::string& bytes) {
        ASSERT_TRUE(platform::CreateDirectories(path.substr(0, path.rfind('/') + 1))) << path;
        ASSERT_TRUE(platform::WriteFileAtomic(path, bytes)) << path;
    }
    std::string ReadRaw(const std::string& path) {
        std::string content;
        EXPECT_TRUE(platform::ReadFile(path, content)) << path;
        return content;
    }

    std::unique_ptr<zella_test::ScopedDataDir> data_;
    std::string dir_;
    platform::FakeClock clock_{UtcMillis(1999, 1, 1)};

private:
    std::string oldTz_;
    bool hadTz_ = false;
};
