// A private data directory per test with ZELLA.INI, MMSC.INI and an account store, the
// headless host, and the modem simulator started as a real child process on a
// pseudo-terminal linked as a COM port.
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

namespace dialogtest {

class DialogTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // The value of `key` in the connection section of `name` ("" when absent).
    std::string Key(const std::string& name, const std::string& key) const;
    bool HasKey(const std::string& section, const std::string& key) const;
    void SetKey(const std::string& name, const std::string& key, const std::string& value);
    void SetZella(const std::string& key, const std::string& value);
    // Adds an account; `acceptReceived` is "Accept received messages for this user".
    void AddUser(const std::string& name, bool acceptReceived);
    // Starts the simulator as COM<n> of the data directory; modem waits use a fake clock.
    void StartModem(const std::vector<std::string>& options = {}, unsigned com = 7);
    // Message-box texts of the transcript, in order (CR and LF as \r and \n).
    std::vector<std::string> Boxes() const;

    std::unique_ptr<zella_test::ScopedDataDir> data_;
    std::string dir_;
    std::string ini_;
    ui::HeadlessHost host_;
    std::unique_ptr<platform::FakeClock> clock_;
    std::vector<std::unique_ptr<zella_test::FirstLineChild>> modems_;
};

}  // namespace dialogtest
