// The real Gateway service (zellant from the build) on a fresh data directory of the
// test's own, its own shared-memory namespace and the supervisor's event log, with SMSC
// peers on loopback. Helpers drop requests the way the console does and read back what
// the service left: logs, counters, error files, received files.
#pragma once

#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "acctdb/acctdb.h"
#include "config/counter_file.h"
#include "platform/files.h"
#include "platform/ini.h"
#include "platform/shared_memory.h"
#include "tests/support/console_process.h"
#include "tests/support/peer_process.h"
#include "tests/support/temp_dir.h"

namespace gateway_test {

// Polls `condition` for up to `ms` of real time.
template <typename Condition>
bool Eventually(Condition condition, int ms = 15'000) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < until) {
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    return condition();
}

// A loopback SMSC (tests/peers/gateway_smsc.js) with the options given.
class Smsc {
public:
    explicit Smsc(std::vector<std::string> options = {}) {
        options.insert(options.begin(), std::string(ZELLA_PEERS_DIR) + "/gateway_smsc.js");
        process_ = std::make_unique<zella_test::PeerProcess>("node", options);
        port_ = process_->ListeningPort();
    }
    unsigned Port() const { return port_; }
    // Lines the SMSC printed since the last call, waiting until `count` lines of `kind`
    // ("SUBMIT", "BIND", ...) were seen in all or `ms` passed.
    std::vector<std::string> Lines(const std::string& kind, std::size_t count, int ms = 15'000) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (Count(kind) < count && std::chrono::steady_clock::now() < until) {
            const std::string line = process_->ReadLine(100);
            if (!line.empty()) seen_.push_back(line);
        }
        std::vector<std::string> of;
        for (const std::string& l : seen_)
            if (l.rfind(kind + " ", 0) == 0 || l == kind) of.push_back(l);
        return of;
    }
    std::size_t Count(const std::string& kind) const {
        std::size_t n = 0;
        for (const std::string& l : seen_) n += (l.rfind(kind + " ", 0) == 0 || l == kind) ? 1 : 0;
        return n;
    }

private:
    std::unique_ptr<zella_test::PeerProcess> process_;
    unsigned port_ = 0;
    std::vector<std::string> seen_;
};

class GatewayFixture : public ::testing::Test {
protected:
    void SetUp() override {
        data_ = std::make_unique<zella_test::ScopedDataDir>("gw");
        dir_ = data_->Path();
        ASSERT_FALSE(dir_.empty());
        ns_ = "gw" + std::to_string(getpid()) + "_" + std::to_string(++counter_);
        setenv("ZELLA_SHM_NAMESPACE", ns_.c_str(), 1);
        setenv("ZELLA_SERVICE_MANAGER", "supervisor", 1);
        platform::CreateDirectories(dir_ + "Q/");
        // No web server unless a test asks for one: tests running side by side would all
        // want the default port.
        platform::WritePrivateProfileString(Ini(), "ZELLA", "WebPort", "");
    }
    void TearDown() override {
        service_.reset();
        shm_unlink(platform::SharedMemoryObjectName(platform::status_block::kGatewayName).c_str());
        data_.reset();
    }

    std::string Ini() const { return dir_ + "ZELLA.INI"; }

    // An SMPP connection to the loopback SMSC on `port` with extra keys ("Key=value").
    std::string SmppConnection(unsigned port, const std::vector<std::string>& keys = {}, unsigned slot = 1) {
        const std::string name = "SMPP - 127.0.0.1:" + std::to_string(port);
        platform::WritePrivateProfileString(Ini(), "ZELLA", "Modem" + std::to_string(slot), name);
        platform::WritePrivateProfileString(Ini(), name, "UserName", "gateway");
        platform::WritePrivateProfileString(Ini(), name, "Password", "password");
        for (const std::string& kv : keys) {
            const std::size_t eq = kv.find('=');
            platform::WritePrivateProfileString(Ini(), name, kv.substr(0, eq), kv.substr(eq + 1));
        }
        return name;
    }

    // Starts zellant; true once it announced readiness.
    bool Start(const std::vector<std::string>& env = {}) {
        const std::string ready = dir_ + "ready";
        platform::DeleteFileChecked(ready);
        std::vector<std::string> all{"ZELLA_SERVICE_READY_FILE=" + ready, "ZELLA_RETRY_FIRST_SECONDS=1"};
        all.insert(all.end(), env.begin(), env.end());
        service_ = std::make_unique<zella_test::ChildProcess>(
            std::vector<std::string>{std::string(ZELLA_BIN_DIR) + "/zellant"}, dir_ + "zellant.out", all);
        return service_->Started() && Eventually([&] { return platform::FileExists(ready); });
    }
    // Kills the service with SIGKILL (no clean-up at all).
    void Kill() { service_.reset(); }
    // Asks the service to stop through the status block's stop byte; its exit code, or
    // -1000 when it did not end within `ms`.
    int StopByBlock(int ms = 10'000) {
        platform::SharedMemory block;
        if (!block.Open(platform::status_block::kGatewayName)) return -2000;
        block.SetByte(platform::status_block::kStopRequest, 1);
        return service_->Wait(std::chrono::milliseconds(ms));
    }

    // A request as the console drops it: written beside, renamed in, the wake file touched.
    std::string Drop(const std::string& id, const std::string& body, const std::string& folder = "") {
        const std::string dir = dir_ + "Q/" + (folder.empty() ? "" : folder + "/");
        platform::CreateDirectories(dir);
        platform::WriteFileAtomic(dir + id + ".REQ", "[SMS]\r\n" + body, 0660);
        acctdb::SetEventForInterface("SMSOut", "");
        return dir + id + ".REQ";
    }
    std::string Message(const std::string& id, const std::string& phone, const std::string& text,
                        const std::string& extra = "") {
        return Drop(id, "PhoneNumber=" + phone + "\r\nData=" + text + "\r\n" + extra);
    }

    std::string Log(const std::string& prefix) const {
        std::string all, one;
        for (const auto& e : platform::ListDirectory(dir_ + "LOGS/", prefix + "-*.LOG"))
            if (platform::ReadFile(dir_ + "LOGS/" + e.name, one)) all += one;
        return all;
    }
    std::string Events() const {
        std::string text;
        platform::ReadFile(dir_ + "LOGS/EVENTS.LOG", text);
        return text;
    }
    // The SMSOUT line of a request, or "".
    std::string Outcome(const std::string& id) const {
        const std::string log = Log("SMSOUT");
        const std::size_t at = log.find("," + id + ",");
        if (at == std::string::npos) return "";
        const std::size_t start = log.rfind('\n', at);
        return log.substr(start == std::string::npos ? 0 : start + 1, log.find('\r', at) - (start == std::string::npos ? 0 : start + 1));
    }
    std::size_t Queued() const {
        std::size_t n = 0;
        platform::WalkDirectory(dir_ + "Q/", "*.REQ", [&](const platform::DirEntry& e) { n += e.isDirectory ? 0 : 1; return true; });
        return n;
    }
    std::uint32_t Today(const std::string& statistic) const {
        const platform::SystemTime t = acctdb::TZGetLocalTime();
        const auto counters = config::ReadDailyCounterFile(dir_ + "STATS/" + statistic + "-" + std::to_string(t.year) + ".CTR");
        std::uint32_t sum = 0;
        for (std::uint32_t c : counters) sum += c;
        return sum;
    }
    std::string ErrorFile(const std::string& connection) const {
        std::string name = connection, text;
        for (char& c : name)
            if (c == ':' || c == '/' || c == '\\') c = '-';
        return platform::ReadFile(dir_ + name + ".ERR", text) ? text : std::string("(none)");
    }
    std::vector<std::string> Received() const {
        std::vector<std::string> files;
        for (const auto& d : platform::ListDirectory(dir_ + "SMS-IN/"))
            if (d.isDirectory && d.name[0] != '.')
                for (const auto& f : platform::ListDirectory(dir_ + "SMS-IN/" + d.name + "/", "*.SMS"))
                    files.push_back(dir_ + "SMS-IN/" + d.name + "/" + f.name);
        return files;
    }

    std::unique_ptr<zella_test::ScopedDataDir> data_;
    std::unique_ptr<zella_test::ChildProcess> service_;
    std::string dir_, ns_;
    static inline int counter_ = 0;
};

}  // namespace gateway_test
