// Directories, instance names, group access, INI access, gateway time and the wake file.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <fstream>
#include <optional>

#include "acctdb/acctdb.h"
#include "acctdb/gateway_group.h"
#include "tests/support/unprivileged.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/ini.h"
#include "platform/text.h"
#include "temp_data_dir.h"

using acctdb_test::TempDataDir;

namespace {

// Restores an environment variable when the test ends.
class EnvGuard {
public:
    explicit EnvGuard(const char* name) : name_(name) {
        if (const char* value = getenv(name)) saved_ = value;
    }
    ~EnvGuard() {
        if (saved_) {
            setenv(name_, saved_->c_str(), 1);
        } else {
            unsetenv(name_);
        }
    }

private:
    const char* name_;
    std::optional<std::string> saved_;
};

mode_t ModeOf(const std::string& path) {
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0) return 0;
    return info.st_mode & 07777;
}

std::int64_t ModifiedNanos(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) return -1;
    return static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec;
}

void WriteText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

}  // namespace

TEST(DataDirectories, ZellaDataDirIsUsedWithTrailingSlashAndCreated) {
    TempDataDir temp;
    const std::string wanted = temp.Path() + "nested/data";
    setenv("ZELLA_DATA_DIR", wanted.c_str(), 1);
    EXPECT_EQ(acctdb::GetProgramDataDirectory(), wanted + "/");
    EXPECT_TRUE(platform::DirectoryExists(wanted));
    EXPECT_EQ(acctdb::GetPrivateDataDirectory(), wanted + "/");
}

TEST(DataDirectories, BuildTreeConsoleUsesXdgDataHome) {
    TempDataDir temp;
    EnvGuard xdg("XDG_DATA_HOME");
    unsetenv("ZELLA_DATA_DIR");
    setenv("XDG_DATA_HOME", (temp.Path() + "xdg").c_str(), 1);
    EXPECT_EQ(acctdb::GetProgramDataDirectory(), temp.Path() + "xdg/quvsms/");
    EXPECT_TRUE(platform::DirectoryExists(temp.Path() + "xdg/quvsms"));
}

TEST(DataDirectories, RelativeXdgDataHomeFallsBackToHome) {
    TempDataDir temp;
    EnvGuard xdg("XDG_DATA_HOME");
    EnvGuard home("HOME");
    unsetenv("ZELLA_DATA_DIR");
    setenv("XDG_DATA_HOME", "relative/dir", 1);
    setenv("HOME", (temp.Path() + "home").c_str(), 1);
    EXPECT_EQ(acctdb::GetProgramDataDirectory(), temp.Path() + "home/.local/share/quvsms/");
}

TEST(DataDirectories, LogDirectoryIsLogsBelowDataDirectory) {
    TempDataDir temp;
    EXPECT_EQ(acctdb::GetLogDirectory(), temp.Path() + "LOGS/");
    EXPECT_TRUE(platform::DirectoryExists(temp.Path() + "LOGS"));
}

TEST(DataDirectories, RealProgramDirectoryHoldsTheRunningExecutable) {
    const std::string dir = acctdb::GetRealProgramDirectory();
    ASSERT_FALSE(dir.empty());
    EXPECT_EQ(dir.back(), '/');
    EXPECT_TRUE(platform::FileExists(dir + "acctdb_test"));
}

TEST(MultiHost, InstanceDirectoryLiesInTheInstancesFolderOfTheDataDirectory) {
    TempDataDir temp;
    acctdb::SetMultiHost("second site");
    EXPECT_EQ(acctdb::MultiHost(), "second site");
    EXPECT_EQ(acctdb::GetProgramDataDirectory(), temp.Path() + "instances/second site/");
    EXPECT_EQ(acctdb::GetLogDirectory(), temp.Path() + "instances/second site/LOGS/");
    EXPECT_EQ(acctdb::GetInstancesDirectory(), temp.Path() + "instances/");
    acctdb::SetMultiHost("");
    EXPECT_EQ(acctdb::GetProgramDataDirectory(), temp.Path());
    EXPECT_EQ(acctdb::GetInstancesDirectory(), temp.Path() + "instances/");
}

// An instance named like one of the default instance's folders must not land in its
// queue, inbox, users, logs or counters, where the service would take its files for spool.
TEST(MultiHost, InstanceNamedLikeADataFolderStaysOutOfTheDefaultInstance) {
    TempDataDir temp;
    const std::string folders[] = {"Q",   "SMS-IN", "MMS-IN", "USERS",    "PHP",      "VASPQ",
                                   "LOGS", "STATS", "WAKE",   "COMPORTS", "VASPOUT"};
    for (const std::string& name : folders) {
        for (const std::string& spelled : {name, platform::ToLowerAscii(name)}) {
            acctdb::SetMultiHost(spelled);
            const std::string instance = acctdb::GetProgramDataDirectory();
            acctdb::SetMultiHost("");
            const std::string defaultFolder = acctdb::GetProgramDataDirectory() + name + "/";
            EXPECT_NE(instance.compare(0, defaultFolder.size(), defaultFolder), 0)
                << spelled << " gave " << instance;
            EXPECT_NE(instance, acctdb::GetProgramDataDirectory()) << spelled;
        }
    }
}

TEST(MultiHost, HostileNamesStayOneLevelBelowTheInstancesFolder) {
    TempDataDir temp;
    const std::string names[] = {"..", ".", "../../etc", "a/b", "a\\b", "x\ny", "/abs"};
    for (const std::string& name : names) {
        acctdb::SetMultiHost(name);
        const std::string dir = acctdb::GetProgramDataDirectory();
        const std::string instances = temp.Path() + "instances/";
        ASSERT_EQ(dir.compare(0, instances.size(), instances), 0) << name;
        const std::string instance = dir.substr(instances.size());
        EXPECT_EQ(instance.find('/'), instance.size() - 1) << name << " gave " << dir;
        EXPECT_NE(instance, "../") << name;
        EXPECT_NE(instance, "./") << name;
    }
}

TEST(SafeUserDirectoryName, SeparatorsAndControlCharactersBecomeUnderscores) {
    EXPECT_EQ(acctdb::SafeUserDirectoryName("a/b"), "a_b");
    EXPECT_EQ(acctdb::SafeUserDirectoryName("..\\x"), ".._x");
    EXPECT_EQ(acctdb::SafeUserDirectoryName(std::string("a\0b", 3)), "a_b");
    EXPECT_EQ(acctdb::SafeUserDirectoryName("tab\there\x7f"), "tab_here_");
    EXPECT_EQ(acctdb::SafeUserDirectoryName("Bob Smith"), "Bob Smith");
}

TEST(SafeUserDirectoryName, NamesThatWouldMeanTheUsersFolderOrItsParentAreMended) {
    EXPECT_EQ(acctdb::SafeUserDirectoryName(""), "_");
    EXPECT_EQ(acctdb::SafeUserDirectoryName("."), "_");
    EXPECT_EQ(acctdb::SafeUserDirectoryName(".."), "_");
    EXPECT_EQ(acctdb::SafeUserDirectoryName("..."), "_");
    EXPECT_EQ(acctdb::SafeUserDirectoryName("..x"), "..x");
}

TEST(SafeUserDirectoryName, OverlongNameIsCutToOneDirectoryEntry) {
    EXPECT_EQ(acctdb::SafeUserDirectoryName(std::string(400, 'u')).size(), 255u);
}

TEST(Trustees, GroupGetsReadWriteOnSharedFilesAndSearchOnDirectoriesButPrivateFilesStay) {
    TempDataDir temp;
    const std::string root = temp.Path() + "tree";
    ASSERT_TRUE(platform::CreateDirectories(root + "/sub"));
    WriteText(root + "/sub/file", "x");
    WriteText(root + "/sub/private", "x");
    chmod((root + "/sub/file").c_str(), 0640);
    chmod((root + "/sub/private").c_str(), 0600);
    chmod((root + "/sub").c_str(), 0700);
    const gid_t group = getegid();  // stands in for the gateway's group
    acctdb::GrantGatewayGroupAccess(root, group);
    EXPECT_EQ(ModeOf(root + "/sub/file") & 0070, 0060u);
    EXPECT_EQ(ModeOf(root + "/sub/private") & 0077, 0u);
    EXPECT_EQ(ModeOf(root + "/sub") & 02070, 02070u);
    EXPECT_EQ(ModeOf(root) & 02070, 02070u);
}

// The pass as root over a data directory that nobody can write into: nothing nobody
// planted, linked or owns is changed, the supervisor's folder keeps its mode, and on a
// machine without the gateway's group nothing at all is widened.
TEST(Trustees, PlantedEntriesAreLeftAloneAndNoGroupMeansNoChange) {
    if (!zella_test::CanActAsNobody()) GTEST_SKIP() << "needs root and setpriv";
    TempDataDir temp;
    zella_test::TempDir elsewhere("secret");
    const std::string secret = elsewhere.File("shadow"), dir = temp.Path();
    WriteText(secret, "s");
    chmod(secret.c_str(), 0600);
    ASSERT_TRUE(platform::CreateDirectories(dir + "SERVICES"));
    chmod((dir + "SERVICES").c_str(), 0755);
    WriteText(dir + "ZELLA.INI", "[ZELLA]\r\n");
    chmod((dir + "ZELLA.INI").c_str(), 0644);
    ASSERT_TRUE(zella_test::OpenToEverybody(dir));
    ASSERT_TRUE(zella_test::RunAsNobody("cd " + dir + " && ln -s " + secret + " USERS.DB && mkfifo SMS.CTR && "
                                        "mkdir -m 700 mine && touch mine/f && chmod 600 mine/f && "
                                        "ln -s " + elsewhere.Path() + " LOGS"));
    const gid_t group = getegid();
    gid_t real = 0;
    if (!acctdb::GatewayGroupId(real)) {
        acctdb::SetQuvSMSTrustees(dir);  // no group: must change nothing
        EXPECT_EQ(ModeOf(dir + "ZELLA.INI"), 0644u);
        EXPECT_EQ(ModeOf(dir) & 07777, 0777u);
    }
    acctdb::GrantGatewayGroupAccess(dir, group);
    EXPECT_EQ(ModeOf(secret), 0600u);
    EXPECT_EQ(ModeOf(elsewhere.Path()) & 0077, 0u);
    EXPECT_EQ(ModeOf(dir + "SERVICES") & 07777, 0755u);
    EXPECT_EQ(ModeOf(dir + "mine") & 07777, 0700u);
    EXPECT_EQ(ModeOf(dir + "mine/f") & 07777, 0600u);
    EXPECT_EQ(ModeOf(dir + "ZELLA.INI") & 07777, 0664u);  // the gateway's own file
}

TEST(Trustees, SymbolicLinkOutOfTheTreeIsNotFollowed) {
    TempDataDir temp;
    const std::string outside = temp.Path() + "outside";
    WriteText(outside, "secret");
    chmod(outside.c_str(), 0600);
    ASSERT_TRUE(platform::CreateDirectories(temp.Path() + "tree"));
    ASSERT_EQ(symlink(outside.c_str(), (temp.Path() + "tree/link").c_str()), 0);
    acctdb::SetQuvSMSTrustees(temp.Path() + "tree");
    EXPECT_EQ(ModeOf(outside), 0600u);
}

TEST(Trustees, MissingDirectoryIsHarmless) {
    TempDataDir temp;
    acctdb::SetQuvSMSTrustees(temp.Path() + "does-not-exist");
    acctdb::SetQuvSMSTrustees("");
    EXPECT_FALSE(platform::PathExists(temp.Path() + "does-not-exist"));
}

TEST(IniAccess, ReadsTheNamedFilesAndCutsToSize) {
    TempDataDir temp;
    WriteText(temp.Path() + "ZELLA.INI", "[ZELLA]\nWebPort=8800\nName=abcdef\n");
    WriteText(temp.Path() + "MMSC.INI", "[MMSC]\nVASPQDir=/q/\n");
    acctdb::SMSIniSetFilename(temp.Path() + "ZELLA.INI");
    acctdb::MMSCIniSetFilename(temp.Path() + "MMSC.INI");
    EXPECT_EQ(acctdb::SMSIniFilename(), temp.Path() + "ZELLA.INI");
    EXPECT_EQ(acctdb::SMSIniGetProfileString("zella", "webport", "", 500), "8800");
    EXPECT_EQ(acctdb::SMSIniGetProfileString("ZELLA", "Name", "", 4), "abc");
    EXPECT_EQ(acctdb::SMSIniGetProfileString("ZELLA", "Missing", "dflt", 500), "dflt");
    EXPECT_EQ(acctdb::MMSCIniGetProfileString("MMSC", "VASPQDir", "", 260), "/q/");
    EXPECT_EQ(acctdb::MMSCIniGetProfileString("ZELLA", "WebPort", "none", 260), "none");
}

TEST(IniAccess, LaterWritesToTheFileAreSeen) {
    TempDataDir temp;
    const std::string path = temp.Path() + "ZELLA.INI";
    acctdb::SMSIniSetFilename(path);
    EXPECT_EQ(acctdb::SMSIniGetProfileString("ZELLA", "QDir", "", 260), "");
    ASSERT_TRUE(platform::WritePrivateProfileString(path, "ZELLA", "QDir", "/spool/"));
    EXPECT_EQ(acctdb::SMSIniGetProfileString("ZELLA", "QDir", "", 260), "/spool/");
}

TEST(IniAccess, AllNullCallReadsNothingAndCreatesNothing) {
    TempDataDir temp;
    const std::string path = temp.Path() + "ZELLA.INI";
    acctdb::SMSIniSetFilename(path);
    EXPECT_EQ(acctdb::SMSIniGetProfileString(nullptr, nullptr, nullptr, 0), "");
    EXPECT_EQ(acctdb::SMSIniGetProfileString(nullptr, "k", "d", 10), "d");
    EXPECT_FALSE(platform::PathExists(path));
}

TEST(IniAccess, NoFileSetGivesTheDefault) {
    acctdb::MMSCIniSetFilename("");
    EXPECT_EQ(acctdb::MMSCIniGetProfileString("MMSC", "VASPQDir", "fallback", 5), "fall");
}

class GatewayTime : public ::testing::Test {
protected:
    void SetUp() override { platform::SetClock(&clock_); }
    void TearDown() override {
        platform::SetClock(nullptr);
        tzset();
    }
    void UseZone(const char* tz) {
        setenv("TZ", tz, 1);
        tzset();
    }
    platform::FakeClock clock_{1'767'225'600'000};  // 2026-01-01 00:00:00 UTC
    EnvGuard tz_{"TZ"};
};

TEST_F(GatewayTime, NowFollowsTheClockInTheZoneOfTz) {
    UseZone("XYZ-2");  // two hours east of UTC
    clock_.Advance(90'500);
    const platform::SystemTime now = acctdb::TZGetLocalTime();
    EXPECT_EQ(now.year, 2026);
    EXPECT_EQ(now.month, 1);
    EXPECT_EQ(now.day, 1);
    EXPECT_EQ(now.hour, 2);
    EXPECT_EQ(now.minute, 1);
    EXPECT_EQ(now.second, 30);
    EXPECT_EQ(now.milliseconds, 500);
}

TEST_F(GatewayTime, FileTimeBecomesLocalCalendarTime) {
    UseZone("EST5EDT,M3.2.0,M11.1.0");
    // 2026-01-01 00:00:00 UTC in 100-ns units since 1601.
    const platform::SystemTime winter = acctdb::TZFileTimeToLocalSystemTime(134116992000000000ull);
    EXPECT_EQ(winter.year, 2025);
    EXPECT_EQ(winter.month, 12);
    EXPECT_EQ(winter.day, 31);
    EXPECT_EQ(winter.hour, 19);
    EXPECT_EQ(winter.dayOfWeek, 3);  // Wednesday
}

TEST_F(GatewayTime, UtcCalendarTimeBecomesLocalAcrossMonthEnd) {
    UseZone("XYZ-2");
    platform::SystemTime utc;
    utc.year = 2024;
    utc.month = 2;
    utc.day = 29;
    utc.hour = 23;
    utc.minute = 30;
    utc.second = 15;
    utc.milliseconds = 250;
    const platform::SystemTime local = acctdb::TZSystemTimeToLocalSystemTime(utc);
    EXPECT_EQ(local.year, 2024);
    EXPECT_EQ(local.month, 3);
    EXPECT_EQ(local.day, 1);
    EXPECT_EQ(local.hour, 1);
    EXPECT_EQ(local.minute, 30);
    EXPECT_EQ(local.second, 15);
    EXPECT_EQ(local.milliseconds, 250);
    EXPECT_EQ(local.dayOfWeek, 5);  // Friday
}

TEST_F(GatewayTime, DaylightSavingTimeIsApplied) {
    UseZone("EST5EDT,M3.2.0,M11.1.0");
    platform::SystemTime utc;
    utc.year = 2026;
    utc.month = 7;
    utc.day = 1;
    utc.hour = 12;
    EXPECT_EQ(acctdb::TZSystemTimeToLocalSystemTime(utc).hour, 8);
    utc.month = 12;
    EXPECT_EQ(acctdb::TZSystemTimeToLocalSystemTime(utc).hour, 7);
}

TEST(WakeFile, TouchCreatesTheFileThenAdvancesItsTime) {
    TempDataDir temp;
    const std::string path = acctdb::WakeFilePath("SMSOut");
    EXPECT_EQ(path, temp.Path() + "WAKE/SMSOut");
    acctdb::SetEventForInterface("SMSOut", "SMPP - 10.0.0.1:2775");
    ASSERT_TRUE(platform::FileExists(path));
    const timespec old[2] = {{1'000'000'000, 0}, {1'000'000'000, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), old, 0), 0);
    acctdb::SetEventForInterface("SMSOut", "");
    EXPECT_GT(ModifiedNanos(path), 1'000'000'000ll * 1'000'000'000);
}

TEST(WakeFile, InterfaceNameCannotLeaveTheWakeFolder) {
    TempDataDir temp;
    EXPECT_EQ(acctdb::WakeFilePath("../USERS.DB"), temp.Path() + "WAKE/.._USERS.DB");
    acctdb::SetEventForInterface("..", "");
    EXPECT_TRUE(platform::FileExists(temp.Path() + "WAKE/_"));
}

TEST(WakeFile, PlantedFifoDoesNotBlockTheCaller) {
    TempDataDir temp;
    ASSERT_TRUE(platform::CreateDirectories(temp.Path() + "WAKE"));
    ASSERT_EQ(mkfifo((temp.Path() + "WAKE/VASPOut").c_str(), 0660), 0);
    acctdb::SetEventForInterface("VASPOut", "account");  // must return at once
    EXPECT_TRUE(platform::PathExists(temp.Path() + "WAKE/VASPOut"));
    unlink((temp.Path() + "WAKE/VASPOut").c_str());
}

TEST(WakeFile, PlantedLinkIsNotFollowed) {
    TempDataDir temp;
    ASSERT_TRUE(platform::CreateDirectories(temp.Path() + "WAKE"));
    const std::string target = temp.Path() + "created-elsewhere";
    ASSERT_EQ(symlink(target.c_str(), (temp.Path() + "WAKE/SMSOut").c_str()), 0);
    acctdb::SetEventForInterface("SMSOut", "");
    EXPECT_FALSE(platform::PathExists(target));
}

TEST(WakeFile, UnusableDataDirectoryIsIgnored) {
    TempDataDir temp;
    WriteText(temp.Path() + "plain-file", "");
    setenv("ZELLA_DATA_DIR", (temp.Path() + "plain-file/below").c_str(), 1);
    acctdb::SetEventForInterface("SMSOut", "");
    EXPECT_FALSE(platform::PathExists(temp.Path() + "plain-file/below/WAKE/SMSOut"));
}
