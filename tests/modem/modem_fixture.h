// Shared set-up of the modem tests: a private data directory with a COMPORTS/ folder
// and ZELLA.INI, and the simulator programs started as real child processes.
#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "tests/support/first_line_child.h"
#include "tests/support/temp_dir.h"
#include "ui/headless_host.h"

namespace modemtest {

using Child = zella_test::FirstLineChild;

class ModemFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Starts modemsim linked as COM<n> in COMPORTS/; returns its device path.
    std::string StartModem(const std::vector<std::string>& options, unsigned com = 7);
    // Starts termserver in front of `device`; returns its TCP port.
    unsigned StartTerminalServer(const std::vector<std::string>& options,
                                 const std::string& device);
    void UseFakeClock();
    // Lines the simulator logged (every command it received).
    std::vector<std::string> ModemLog() const;
    std::string ServerLog() const;
    // Message-box texts of the transcript, in order.
    std::vector<std::string> Boxes() const;
    bool ShowedBox(const std::string& text) const;
    void WriteIni(const std::string& section, const std::string& key, const std::string& value);

    std::unique_ptr<zella_test::ScopedDataDir> data_;
    std::string dir_;
    std::string iniPath_;
    ui::HeadlessHost host_;
    std::unique_ptr<platform::FakeClock> clock_;
    std::vector<std::unique_ptr<Child>> children_;
};

std::string ToolPath(const std::string& name);

}  // namespace modemtest
