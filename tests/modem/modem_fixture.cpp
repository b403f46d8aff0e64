#include "tests/modem/modem_fixture.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "acctdb/acctdb.h"
#include "config/config_store.h"
#include "modem/engine/port.h"
#include "platform/files.h"
#include "platform/ini.h"

namespace modemtest {

std::string ToolPath(const std::string& name) { return platform::ExecutableDirectory() + name; }

void ModemFixture::SetUp() {
    data_ = std::make_unique<zella_test::ScopedDataDir>("modem");
    dir_ = data_->Path();
    ASSERT_FALSE(dir_.empty());
    ASSERT_TRUE(platform::CreateDirectories(dir_ + "COMPORTS"));
    iniPath_ = dir_ + "ZELLA.INI";
    ASSERT_TRUE(platform::CreateFileIfMissing(iniPath_));
    config::SetConfigurationPath(iniPath_);
    acctdb::SMSIniSetFilename(iniPath_);
    modem::SetOldModemHandler(false);
    modem::SetVirtualTimeGrace(200);
}

void ModemFixture::TearDown() {
    children_.clear();
    platform::SetClock(nullptr);
    modem::SetVirtualTimeGrace(200);
    modem::SetOldModemHandler(false);
    data_.reset();
}

std::string ModemFixture::StartModem(const std::vector<std::string>& options, unsigned com) {
    std::vector<std::string> args = options;
    args.push_back("--link=" + dir_ + "COMPORTS/COM" + std::to_string(com));
    args.push_back("--log=" + dir_ + "modem.log");
    children_.push_back(std::make_unique<Child>(ToolPath("modemsim"), args));
    EXPECT_TRUE(children_.back()->Started()) << "modemsim did not start";
    return children_.back()->FirstLine();
}

unsigned ModemFixture::StartTerminalServer(const std::vector<std::string>& options,
                                           const std::string& device) {
    std::vector<std::string> args = options;
    args.push_back("--modem=" + device);
    args.push_back("--log=" + dir_ + "server.log");
    children_.push_back(std::make_unique<Child>(ToolPath("termserver"), args));
    EXPECT_TRUE(children_.back()->Started()) << "termserver did not start";
    return static_cast<unsigned>(std::strtoul(children_.back()->FirstLine().c_str(), nullptr, 10));
}

void ModemFixture::UseFakeClock() {
    clock_ = std::make_unique<platform::FakeClock>();
    platform::SetClock(clock_.get());
}

std::vector<std::string> ModemFixture::ModemLog() const {
    std::vector<std::string> lines;
    std::ifstream in(dir_ + "modem.log");
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::string ModemFixture::ServerLog() const {
    std::string text;
    platform::ReadFile(dir_ + "server.log", text);
    return text;
}

std::vector<std::string> ModemFixture::Boxes() const { return host_.BoxTexts(); }

bool ModemFixture::ShowedBox(const std::string& text) const {
    for (const std::string& box : Boxes()) {
        if (box == ui::HeadlessHost::EscapeLine(text)) return true;
    }
    return false;
}

void ModemFixture::WriteIni(const std::string& section, const std::string& key,
                            const std::string& value) {
    ASSERT_TRUE(platform::WritePrivateProfileString(iniPath_, section, key, value));
}

}  // namespace modemtest
