// The real Gateway service driving the modem simulator on a pseudo-terminal, linked as
// COMPORTS/COM7 of the test's data directory and defined as connection "COM7:". The
// simulator logs what it received to sim.log and follows commands appended to sim.ctl.
#pragma once

#include <fstream>
#include <sstream>

#include "config/config_store.h"
#include "tests/gateway/gateway_fixture.h"
#include "tests/support/first_line_child.h"

namespace gateway_test {

class ModemFixture : public GatewayFixture {
protected:
    static constexpr const char* kModem = "COM7:";

    // Starts the simulator with `options`; false when it did not come up.
    bool StartModem(std::vector<std::string> options = {}) {
        platform::CreateDirectories(dir_ + "COMPORTS/");
        std::ofstream(dir_ + "sim.ctl").flush();
        options.push_back("--link=" + dir_ + "COMPORTS/COM7");
        options.push_back("--log=" + dir_ + "sim.log");
        options.push_back("--control=" + dir_ + "sim.ctl");
        sim_ = std::make_unique<zella_test::FirstLineChild>(ZELLA_MODEMSIM, options);
        return sim_->Started() && !sim_->FirstLine().empty();
    }
    void ModemConnection(const std::vector<std::string>& keys = {}) {
        platform::WritePrivateProfileString(Ini(), "ZELLA", "Modem1", kModem);
        const std::string section = config::ConnectionSectionName(kModem);
        platform::WritePrivateProfileString(Ini(), section, "PhoneNumber", "+4915550000");
        for (const std::string& kv : keys) {
            const std::size_t eq = kv.find('=');
            platform::WritePrivateProfileString(Ini(), section, kv.substr(0, eq),
                                                kv.substr(eq + 1));
        }
    }
    void Control(const std::string& line) {
        std::ofstream(dir_ + "sim.ctl", std::ios::app) << line << "\n";
    }
    // The simulator's log lines that begin with `prefix`.
    std::vector<std::string> SimLog(const std::string& prefix) const {
        std::vector<std::string> lines;
        std::ifstream in(dir_ + "sim.log");
        for (std::string line; std::getline(in, line);)
            if (line.rfind(prefix, 0) == 0) lines.push_back(line);
        return lines;
    }
    // Everything the simulator logged, for a failure's message.
    std::string DumpSim() const {
        std::string text;
        platform::ReadFile(dir_ + "sim.log", text);
        return text;
    }
    bool Up() {
        return Eventually(
            [&] { return ErrorFile(kModem) == "(none)" && !SimLog("AT+CNMI").empty(); });
    }

    std::unique_ptr<zella_test::FirstLineChild> sim_;
};

}  // namespace gateway_test
