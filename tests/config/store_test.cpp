// [ZELLA] keys, the connection list walks, the data directories and the trigger keys, on
// real files in a temporary program data directory.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "acctdb/acctdb.h"
#include "config/config_store.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/ini.h"
#include "temp_data_dir.h"

namespace {

using StoreTest = DataDirTest;

// The path is held once, by the account-store library: whichever side names the file,
// the store and the library read and write the same one.
TEST_F(StoreTest, ConfigurationPathDefaultsToProgramDataDirectoryAndIsTheAccountStoresOwn) {
    EXPECT_EQ(config::ConfigurationPath(), dir_ + "ZELLA.INI");
    config::SetConfigurationPath(dir_ + "other.ini");
    EXPECT_EQ(config::ConfigurationPath(), dir_ + "other.ini");
    EXPECT_EQ(acctdb::SMSIniFilename(), dir_ + "other.ini");
    ASSERT_TRUE(config::WriteZellaKey("WebPort", std::string_view("8080")));
    EXPECT_EQ(platform::GetPrivateProfileString(dir_ + "other.ini", "zella", "webport", ""),
              "8080");
    EXPECT_EQ(acctdb::SMSIniGetProfileString("ZELLA", "WebPort", "", 500), "8080");

    acctdb::SMSIniSetFilename(dir_ + "third.ini");
    EXPECT_EQ(config::ConfigurationPath(), dir_ + "third.ini");
    EXPECT_EQ(config::ReadZellaKey("WebPort", "none"), "none");
}

TEST_F(StoreTest, ZellaKeyReadCutsToSizeAndWriteWithoutValueDeletes) {
    SetZella("AlertEMailQueueSize", "123456");
    EXPECT_EQ(config::ReadZellaKey("alertemailqueuesize", "", 4), "123");
    EXPECT_EQ(config::ReadZellaKey("Missing", "dflt"), "dflt");
    ASSERT_TRUE(config::WriteZellaKey("AlertEMailQueueSize", std::nullopt));
    EXPECT_EQ(config::ReadZellaKey("AlertEMailQueueSize", "gone"), "gone");
}

TEST_F(StoreTest, ListConnectionsExaminesEveryKeyUpTo201WhateverTheGaps) {
    SetZella("Modem1", "COM1:");
    SetZella("Modem2", "SMPP - a:1");
    SetZella("Modem3", "UCP - b:2");
    SetZella("Modem5", "CIMD - c:3");
    SetZella("Modem201", "HTTP - d:4");
    std::vector<std::string> expected = {"COM1:", "SMPP - a:1", "UCP - b:2", "CIMD - c:3",
                                         "HTTP - d:4"};
    EXPECT_EQ(config::ListConnections(), expected);
}

TEST_F(StoreTest, ListConnectionsGoesPast201OnlyWhileKeysHaveValues) {
    platform::IniBatch batch(ini_);
    for (unsigned n = 1; n <= 205; ++n)
        batch.Write("ZELLA", "Modem" + std::to_string(n), "m" + std::to_string(n));
    batch.Write("ZELLA", "Modem207", "after a gap past 201");
    ASSERT_TRUE(batch.Commit());
    std::vector<std::string> names = config::ListConnections();
    ASSERT_EQ(names.size(), 205u);
    EXPECT_EQ(names.back(), "m205");
}

TEST_F(StoreTest, ListConnectionsStopsRightAfter201WhenItIsEmpty) {
    SetZella("Modem200", "m200");
    SetZella("Modem202", "m202");
    EXPECT_EQ(config::ListConnections(), std::vector<std::string>{"m200"});
}

TEST_F(StoreTest, FindConnectionStopsAtTheFirstEmptyKey) {
    SetZella("Modem1", "COM1:");
    SetZella("Modem2", "SMPP - a:1");
    SetZella("Modem4", "Beyond the gap");
    EXPECT_EQ(config::FindConnection("smpp - A:1"), 2u);
    EXPECT_EQ(config::FindConnection("Beyond the gap"), 0u);
    EXPECT_EQ(config::FindConnection("absent"), 0u);
}

TEST_F(StoreTest, DefaultDirectoriesLieBelowProgramDataDirectory) {
    EXPECT_EQ(config::QueueDirectory(), dir_ + "Q/");
    EXPECT_TRUE(platform::DirectoryExists(dir_ + "Q"));
    EXPECT_EQ(config::InboundSmsDirectory(), dir_ + "SMS-IN/");
    EXPECT_FALSE(platform::PathExists(dir_ + "SMS-IN"));
    EXPECT_EQ(config::InboundMmsDirectory(), dir_ + "MMS-IN/");
    EXPECT_TRUE(platform::DirectoryExists(dir_ + "MMS-IN"));
    EXPECT_EQ(config::UserDirectory(), dir_ + "USERS/");
    EXPECT_TRUE(platform::DirectoryExists(dir_ + "USERS"));
    EXPECT_EQ(config::PhpDirectory(), dir_ + "PHP/");
    EXPECT_EQ(config::VaspQueueDirectory(), dir_ + "VASPQ/");
    EXPECT_TRUE(platform::DirectoryExists(dir_ + "VASPQ"));
    EXPECT_EQ(config::VaspConfigDirectory(), dir_);
}

TEST_F(StoreTest, ConfiguredDirectoriesGetTheirFinalSlash) {
    SetZella("QDir", dir_ + "queue");
    SetZella("SmsInDir", dir_ + "in/");
    SetZella("PHPDir", "/opt/php");
    ASSERT_TRUE(
        platform::WritePrivateProfileString(dir_ + "MMSC.INI", "MMSC", "VASPQDir", dir_ + "vq"));
    ASSERT_TRUE(platform::WritePrivateProfileString(dir_ + "MMSC.INI", "MMSC", "VASPConfigDir",
                                                    "/etc/vasp"));
    EXPECT_EQ(config::QueueDirectory(), dir_ + "queue/");
    EXPECT_TRUE(platform::DirectoryExists(dir_ + "queue"));
    EXPECT_EQ(config::InboundSmsDirectory(), dir_ + "in/");
    EXPECT_EQ(config::PhpDirectory(), "/opt/php/");
    EXPECT_EQ(config::VaspQueueDirectory(), dir_ + "vq/");
    EXPECT_EQ(config::VaspConfigDirectory(), "/etc/vasp/");
}

TEST_F(StoreTest, QueueSubDirectoryUsesTheFileSafeRouteName) {
    EXPECT_EQ(config::QueueDirectory("SMPP - 10.0.0.1:2775"), dir_ + "Q/SMPP - 10.0.0.1-2775/");
    EXPECT_TRUE(platform::DirectoryExists(dir_ + "Q/SMPP - 10.0.0.1-2775"));
    EXPECT_EQ(config::QueueDirectory("../../etc"), dir_ + "Q/..-..-etc/");
}

TEST_F(StoreTest, QueueRouteOfOnlyDotsGivesTheBaseQueueDirectory) {
    EXPECT_EQ(config::QueueDirectory(".."), dir_ + "Q/");
    EXPECT_EQ(config::QueueDirectory("."), dir_ + "Q/");
}

TEST_F(StoreTest, QueueFallsBackToBaseWhenSubDirectoryCannotBeMade) {
    // A plain file where the sub-directory should go cannot be turned into one.
    ASSERT_TRUE(platform::CreateDirectories(dir_ + "Q/"));
    WriteFile(dir_ + "Q/blocked", "x");
    EXPECT_EQ(config::QueueDirectory("blocked"), dir_ + "Q/");
}

TEST_F(StoreTest, UserDirectoryNeverLeavesTheUsersDirectory) {
    const std::string users = dir_ + "USERS/";
    EXPECT_EQ(config::UserDirectory("alice"), users + "alice/");
    EXPECT_TRUE(platform::DirectoryExists(users + "alice"));
    for (const std::string& name :
         {std::string(".."), std::string("."), std::string("a/../../b"), std::string("..\\..\\x"),
          std::string("ev\0il", 5), std::string("/etc")}) {
        std::string path = config::UserDirectory(name);
        ASSERT_EQ(path.rfind(users, 0), 0u) << path;
        std::string level = path.substr(users.size());
        ASSERT_FALSE(level.empty());
        EXPECT_EQ(level.find('/'), level.size() - 1) << path;
        EXPECT_NE(level, "../");
        EXPECT_NE(level, "./");
        EXPECT_TRUE(platform::DirectoryExists(path)) << path;
    }
    EXPECT_FALSE(platform::PathExists(dir_ + "b"));
    EXPECT_FALSE(platform::PathExists(dir_ + "x"));
}

TEST_F(StoreTest, RestartTriggerIsTheFourteenDigitLocalTime) {
    platform::FakeClock clock(1'767'225'600'000 + 13 * 3600'000 + 4 * 60'000 + 5'000);
    platform::SetClock(&clock);
    setenv("TZ", "UTC", 1);
    std::string seen;
    std::string value = config::WriteRestartTrigger([&](const std::string& v) {
        seen = v;
        // The callback runs before the value reaches the file.
        EXPECT_EQ(config::ReadZellaKey("ConfigurationUpdateTriggerRestart"), "");
    });
    platform::SetClock(nullptr);
    EXPECT_EQ(value, "20260101130405");
    EXPECT_EQ(seen, value);
    EXPECT_EQ(config::ReadZellaKey("ConfigurationUpdateTriggerRestart"), value);
}

TEST_F(StoreTest, LaterRestartTriggerComparesGreater) {
    platform::FakeClock clock(1'767'225'599'000);  // 2025-12-31 23:59:59 UTC
    platform::SetClock(&clock);
    setenv("TZ", "UTC", 1);
    std::string before = config::RestartTriggerNow();
    clock.Advance(1000);
    std::string after = config::RestartTriggerNow();
    platform::SetClock(nullptr);
    EXPECT_EQ(before, "20251231235959");
    EXPECT_EQ(after, "20260101000000");
    EXPECT_LT(before, after);
}

TEST_F(StoreTest, RestartTriggerReportsAFailedWrite) {
    config::SetConfigurationPath(dir_ + "no/such/dir/ZELLA.INI");
    EXPECT_EQ(config::WriteRestartTrigger(), "");
}

TEST_F(StoreTest, ReloadTriggerWritesYes) {
    ASSERT_TRUE(config::WriteReloadTrigger());
    EXPECT_EQ(config::ReadZellaKey("ConfigurationUpdateTriggerReload"), "Yes");
}

}  // namespace
