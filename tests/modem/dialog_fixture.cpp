#include "tests/modem/dialog_fixture.h"

#include <cstdlib>

#include "acctdb/acctdb.h"
#include "config/config_store.h"
#include "modem/engine/port.h"
#include "platform/files.h"
#include "platform/ini.h"

namespace dialogtest {

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
    std::vector<std::string> args = options;
    args.push_back("--link=" + dir_ + "COMPORTS/COM" + std::to_string(com));
    modems_.push_back(
        std::make_unique<zella_test::FirstLineChild>(platform::ExecutableDirectory() + "modemsim", args));
    ASSERT_TRUE(modems_.back()->Started()) << "modemsim did not start";
    modem::SetVirtualTimeGrace(200);
    clock_ = std::make_unique<platform::FakeClock>();
    platform::SetClock(clock_.get());
}

std::vector<std::string> DialogTest::Boxes() const { return host_.BoxTexts(); }

}  // namespace dialogtest
