#include "tests/modemdialogs/dialog_fixture.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include "acctdb/acctdb.h"
#include "config/config_store.h"
#include "modem/port.h"
#include "platform/files.h"
#include "platform/ini.h"

extern char** environ;

namespace dialogtest {

Simulator::Simulator(const std::vector<std::string>& options, const std::string& link) {
    int out[2];
    if (pipe(out) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    std::vector<std::string> args{platform::ExecutableDirectory() + "modemsim"};
    args.insert(args.end(), options.begin(), options.end());
    args.push_back("--link=" + link);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    char c;
    while (pid_ > 0 && read(out[0], &c, 1) == 1 && c != '\n') device_ += c;
    close(out[0]);
}

Simulator::~Simulator() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    int status = 0;
    waitpid(pid_, &status, 0);
}

void DialogTest::SetUp() {
    data_ = std::make_unique<zella_test::ScopedDataDir>("dialogs");
    dir_ = data_->Path();
    ASSERT_FALSE(dir_.empty());
    setenv("ZELLA_SERVICE_MANAGER", "supervisor", 1);
    acctdb::SetMultiHost("");
    ini_ = dir_ + "ZELLA.INI";
    ASSERT_TRUE(platform::CreateFileIfMissing(ini_));
    config::SetConfigurationPath(ini_);
    acctdb::SMSIniSetFilename(ini_);
    acctdb::MMSCIniSetFilename(dir_ + "MMSC.INI");
}

void DialogTest::TearDown() {
    modems_.clear();
    platform::SetClock(nullptr);
    acctdb::MMSCIniSetFilename("");
    acctdb::SMSIniSetFilename("");
    config::SetConfigurationPath("");
    data_.reset();
}

std::string DialogTest::Key(const std::string& name, const std::string& key) const {
    return platform::GetPrivateProfileString(ini_, config::ConnectionSectionName(name), key, "",
                                             1 << 20);
}

bool DialogTest::HasKey(const std::string& section, const std::string& key) const {
    return platform::GetPrivateProfileString(ini_, section, key, "\x01") != "\x01";
}

void DialogTest::SetKey(const std::string& name, const std::string& key, const std::string& value) {
    ASSERT_TRUE(
        platform::WritePrivateProfileString(ini_, config::ConnectionSectionName(name), key, value));
}

void DialogTest::SetZella(const std::string& key, const std::string& value) {
    ASSERT_TRUE(platform::WritePrivateProfileString(ini_, "ZELLA", key, value));
}

void DialogTest::AddUser(const std::string& name, bool acceptReceived) {
    acctdb::UserHandle handle = 0;
    ASSERT_NE(acctdb::SMSOpenUserFile(&handle, acctdb::GENERIC_READ | acctdb::GENERIC_WRITE), 0);
    acctdb::UserRecord record;
    record.SetUserName(name);
    record.SetPassword("secret");
    record.SetAcceptReceived(acceptReceived);
    EXPECT_NE(acctdb::SMSAddUser(handle, record), 0);
    acctdb::SMSCloseUserFile(handle);
}

void DialogTest::StartModem(const std::vector<std::string>& options, unsigned com) {
    ASSERT_TRUE(platform::CreateDirectories(dir_ + "COMPORTS"));
    modems_.push_back(
        std::make_unique<Simulator>(options, dir_ + "COMPORTS/COM" + std::to_string(com)));
    ASSERT_TRUE(modems_.back()->Started()) << "modemsim did not start";
    modem::SetVirtualTimeGrace(200);
    clock_ = std::make_unique<platform::FakeClock>();
    platform::SetClock(clock_.get());
}

std::vector<std::string> DialogTest::Boxes() const { return host_.BoxTexts(); }

}  // namespace dialogtest
