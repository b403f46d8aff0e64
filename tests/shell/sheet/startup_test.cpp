#include "shell/sheet/startup.h"

#include <sys/stat.h>

#include <filesystem>

#include "acctdb/gateway_group.h"
#include "platform/dynlib.h"
#include "platform/files.h"
#include "tests/support/temp_dir.h"
#include "shell/core/console_state.h"
#include "shell_fixture.h"
#include "ui/headless_host.h"

namespace shell {
namespace {

using testing::DataDirTest;

int RunWith(ui::HeadlessHost& host, std::vector<std::string> args = {}) {
    StartupOptions options;
    options.args = std::move(args);
    return RunConsole(host, options);
}

class Startup : public DataDirTest {};

// The program directory ships the SMPP, UCP and CIMD link libraries, so the connections
// tab is "SMSC" (a modem-only installation calls it "Modems").
TEST_F(Startup, FreshDataDirectoryGetsBothIniFilesAndOpensOnTheConnectionsTab) {
    ui::HeadlessHost host;
    std::vector<std::string> tabs;
    int active = -1;
    host.QueueSheet([&](ui::Sheet& sheet) {
        tabs = sheet.TabTitles();
        active = sheet.ActiveIndex();
        sheet.PressCancel();
    });
    EXPECT_EQ(RunWith(host), 0);
    EXPECT_TRUE(platform::FileExists(dir_ + "ZELLA.INI"));
    EXPECT_TRUE(platform::FileExists(dir_ + "MMSC.INI"));
    // The program directory ships the TLS library, so the SSL/TLS page is there.
    EXPECT_EQ(tabs, (std::vector<std::string>{"Service", "SMSC", "Web", "SMS Users", "2-Way",
                                              "SSL/TLS", "Debug Logs"}));
    EXPECT_EQ(active, 1);
    EXPECT_FALSE(host.Failed()) << host.TranscriptText();
}

// The configuration files get the group access that the start-up pass gives every
// other file of the data directory, so other members of the gateway's group can save.
TEST_F(Startup, ConfigurationFilesGetTheGroupAccessOfTheDataDirectory) {
    const mode_t savedMask = umask(022);
    auto groupBits = [](const std::string& path) {
        struct stat info {};
        return stat(path.c_str(), &info) == 0 ? (info.st_mode & 070) : 0777;
    };
    auto runOnce = [&] {
        ui::HeadlessHost host;
        host.QueueSheet([](ui::Sheet& sheet) { sheet.PressCancel(); });
        RunWith(host);
    };
    // First start: neither file exists.
    platform::WriteFileAtomic(dir_ + "probe.txt", "x");
    runOnce();
    EXPECT_EQ(groupBits(dir_ + "ZELLA.INI"), groupBits(dir_ + "probe.txt"));
    EXPECT_EQ(groupBits(dir_ + "MMSC.INI"), groupBits(dir_ + "probe.txt"));

    // Later only MMSC.INI is missing, in a data directory whose files have group access:
    // with the gateway's group it gets group read/write like them; without that group
    // nothing is widened (the owner's primary group must not be able to plant files).
    chmod((dir_ + "ZELLA.INI").c_str(), 0664);
    std::filesystem::remove(dir_ + "MMSC.INI");
    runOnce();
    gid_t gateway = 0;
    const mode_t expected = acctdb::GatewayGroupId(gateway) ? 060 : groupBits(dir_ + "probe.txt");
    EXPECT_EQ(groupBits(dir_ + "MMSC.INI"), expected);
    umask(savedMask);
}

TEST_F(Startup, DefinedConnectionOpensOnTheFirstTabAndAsksToActivateOnExit) {
    SetZella("Modem1", "COM7:");
    ui::HeadlessHost host;
    int active = -1;
    host.QueueSheet([&](ui::Sheet& sheet) {
        active = sheet.ActiveIndex();
        sheet.PressCancel();
    });
    host.QueueAnswer("Service is not active, do you wish to activate the service?", ui::kNo);
    EXPECT_EQ(RunWith(host), 0);
    EXPECT_EQ(active, 0);
    EXPECT_EQ(host.UnusedAnswers(), 0) << host.TranscriptText();
    EXPECT_FALSE(host.Failed()) << host.TranscriptText();
}

TEST_F(Startup, StatusDialogDisabledGivesTheServicePageFirst) {
    SetZella("StatusDialogEnabled", "No");
    ui::HeadlessHost host;
    std::string firstTemplate;
    host.QueueSheet([&](ui::Sheet& sheet) {
        firstTemplate = sheet.PageAt(0).GetTemplate().id;
        EXPECT_EQ(sheet.PageAt(0).GetTemplate().title, "Service");
        sheet.PressCancel();
    });
    RunWith(host);
    EXPECT_EQ(firstTemplate, "DIALOG_SERVICE");
}

TEST_F(Startup, ActionSwitchEndsWithoutTheSheet) {
    ui::HeadlessHost host;
    host.QueueAnswer("Service successfully removed!", ui::kOk);
    EXPECT_EQ(RunWith(host, {"-REMOVESMSSERVICE"}), 0);
    EXPECT_EQ(host.OpenWindows(), 0);
    EXPECT_EQ(host.UnusedAnswers(), 0) << host.TranscriptText();
    EXPECT_EQ(host.TranscriptText().find("open:"), std::string::npos) << host.TranscriptText();
}

TEST_F(Startup, QuietSwitchSilencesTheResultBoxes) {
    // Services are installed from a program directory of the test's own, so the real
    // Gateway service of the build is never started and left running by a test.
    zella_test::TempDir program("prog");
    platform::SetLibraryDirectory(program.Path());
    ui::HeadlessHost host;
    EXPECT_EQ(RunWith(host, {"-INSTALLSMSSERVICE", "/Q"}), 0);
    EXPECT_EQ(host.TranscriptText(), "");
    platform::SetLibraryDirectory("");
}

TEST_F(Startup, DeleteDataDirAsksEvenWhenQuietAndDeletesOnYes) {
    ui::HeadlessHost keep;
    keep.QueueAnswer("Delete Configuration files for QuvSMS?", ui::kNo);
    RunWith(keep, {"-DELETEDATADIR", "-Q"});
    EXPECT_TRUE(platform::FileExists(dir_ + "ZELLA.INI"));
    EXPECT_EQ(keep.UnusedAnswers(), 0);

    ui::HeadlessHost wipe;
    wipe.QueueAnswer("Delete Configuration files for QuvSMS?", ui::kYes);
    RunWith(wipe, {"/deletedatadir"});
    EXPECT_FALSE(platform::PathExists(dir_));
}

// Deleting one instance's data never takes another instance's with it: the default
// instance's delete keeps the instances folder, an instance's delete only its own folder.
TEST_F(Startup, DeleteDataDirRemovesOnlyTheSelectedInstance) {
    const std::string east = dir_ + "instances/east/";
    const std::string west = dir_ + "instances/west/";
    for (const char* instance : {"east", "west", ""}) {
        ui::HeadlessHost host;
        host.QueueSheet([](ui::Sheet& sheet) { sheet.PressCancel(); });
        RunWith(host, instance[0] ? std::vector<std::string>{"-multihost", instance}
                                  : std::vector<std::string>{});
    }
    acctdb::SetMultiHost("");
    std::filesystem::create_directories(dir_ + "Q/SMPP - x");
    platform::WriteFileAtomic(dir_ + "Q/SMPP - x/A.REQ", "x");
    ASSERT_TRUE(platform::FileExists(east + "ZELLA.INI"));

    ui::HeadlessHost wipeDefault;
    wipeDefault.QueueAnswer("Delete Configuration files for QuvSMS?", ui::kYes);
    RunWith(wipeDefault, {"-DELETEDATADIR"});
    EXPECT_EQ(wipeDefault.UnusedAnswers(), 0) << wipeDefault.TranscriptText();
    EXPECT_FALSE(platform::PathExists(dir_ + "ZELLA.INI"));
    EXPECT_FALSE(platform::PathExists(dir_ + "Q"));
    EXPECT_TRUE(platform::FileExists(east + "ZELLA.INI"));
    EXPECT_TRUE(platform::FileExists(west + "MMSC.INI"));

    ui::HeadlessHost wipeEast;
    wipeEast.QueueAnswer("Delete Configuration files for QuvSMS?", ui::kYes);
    RunWith(wipeEast, {"-DELETEDATADIR", "-multihost", "east"});
    acctdb::SetMultiHost("");
    EXPECT_EQ(wipeEast.UnusedAnswers(), 0) << wipeEast.TranscriptText();
    EXPECT_FALSE(platform::PathExists(east));
    EXPECT_TRUE(platform::FileExists(west + "ZELLA.INI"));
}

TEST_F(Startup, MultiHostSelectsAnInstanceDirectory) {
    ui::HeadlessHost host;
    host.QueueSheet([](ui::Sheet& sheet) { sheet.PressCancel(); });
    RunWith(host, {"-multihost", "east"});
    EXPECT_TRUE(platform::FileExists(dir_ + "instances/east/ZELLA.INI"));
    EXPECT_FALSE(platform::FileExists(dir_ + "ZELLA.INI"));
    acctdb::SetMultiHost("");
}

TEST_F(Startup, OldKeywordFormatIsUpgradedAtStart) {
    SetZella("ReceiveSMSCommand1", "HELP\treplytext:Send STOP to end\tYes");
    ui::HeadlessHost host;
    host.QueueSheet([](ui::Sheet& sheet) { sheet.PressCancel(); });
    RunWith(host);
    EXPECT_EQ(platform::GetPrivateProfileString(Ini(), "2Way-Keywords", "Keyword1", ""), "HELP");
    EXPECT_EQ(platform::GetPrivateProfileString(Ini(), "2Way-Keyword-HELP", "ReplyText", ""),
              "Send STOP to end");
}

TEST_F(Startup, VirtualStoreCopiesBelowHomeAreRemoved) {
    std::string home = dir_ + "home";
    std::string store = home + "/AppData/Local/VirtualStore/Program Files/QuvSMS";
    std::filesystem::create_directories(store + "/sub");
    platform::WriteFileAtomic(store + "/sub/ZELLA.INI", "[ZELLA]\n");
    const char* oldHome = getenv("HOME");
    std::string saved = oldHome ? oldHome : "";
    setenv("HOME", home.c_str(), 1);
    CleanVirtualStore();
    setenv("HOME", saved.c_str(), 1);
    EXPECT_FALSE(platform::PathExists(store));
    EXPECT_TRUE(platform::DirectoryExists(home + "/AppData/Local/VirtualStore/Program Files"));
}

}  // namespace
}  // namespace shell
