// zellant's life as operators live it: stopped by the console or by SIGTERM with
// messages in flight, killed with -9 mid-window and started again, fed hostile request
// files and configuration, and reconfigured while messages flow.
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>

#include "platform/file_locks.h"
#include "tests/gateway/gateway_fixture.h"

namespace gateway_test {
namespace {

class Lifecycle : public GatewayFixture {
protected:
    bool BlockExists() const {
        platform::SharedMemory block;
        return block.Open(platform::status_block::kGatewayName);
    }
};

TEST_F(Lifecycle, StopByteAndSigtermEndTheServiceWithinTenSecondsAndReleaseEverything) {
    Smsc smsc({"--silent"});
    const std::string name = SmppConnection(smsc.Port(), {"WindowSize=10"});
    for (const bool bySignal : {false, true}) {
        ASSERT_TRUE(Start());
        EXPECT_TRUE(BlockExists());
        std::vector<std::string> requests;
        for (int i = 0; i < 3; ++i)
            requests.push_back(Message("S" + std::to_string(bySignal) + std::to_string(i), "+4477009001" + std::to_string(i), "x"));
        // The second run sends the first run's three again, then its own.
        ASSERT_EQ(bySignal ? 9u : 3u, smsc.Lines("SUBMIT", bySignal ? 9 : 3).size());
        for (const std::string& r : requests) EXPECT_TRUE(platform::IsFileLocked(r)) << r;
        const auto started = std::chrono::steady_clock::now();
        if (bySignal) {
            service_->Stop();  // SIGTERM
        } else {
            ASSERT_EQ(0, StopByBlock());
        }
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
        EXPECT_FALSE(BlockExists());
        // Messages in flight stay queued, unlocked, for the next start; nothing was logged.
        for (const std::string& r : requests) {
            EXPECT_TRUE(platform::FileExists(r));
            EXPECT_FALSE(platform::IsFileLocked(r));
        }
        EXPECT_EQ("", Log("SMSOUT"));
        EXPECT_EQ("(none)", ErrorFile(name));
    }
    EXPECT_GE(smsc.Lines("UNBIND", 2).size(), 2u);
    EXPECT_NE(std::string::npos, Events().find("Service stopped"));
}

TEST_F(Lifecycle, KilledMidWindowNothingIsLostAndOnlyMessagesInFlightGoTwice) {
    constexpr int kMessages = 40, kWindow = 10;
    unsigned port = 0;
    {
        Smsc silent({"--silent"});
        port = silent.Port();
        SmppConnection(port, {"WindowSize=" + std::to_string(kWindow)});
        ASSERT_TRUE(Start());
        for (int i = 0; i < kMessages; ++i) Message("K" + std::to_string(i), "+4477009" + std::to_string(10000 + i), "k");
        ASSERT_EQ(static_cast<std::size_t>(kWindow), silent.Lines("SUBMIT", kWindow).size());
        Kill();
    }
    shm_unlink(platform::SharedMemoryObjectName(platform::status_block::kGatewayName).c_str());
    Smsc smsc({"--port", std::to_string(port)});
    ASSERT_TRUE(Start());
    ASSERT_TRUE(Eventually([&] { return Queued() == 0; }, 60'000)) << Queued();
    const auto submits = smsc.Lines("SUBMIT", kMessages);
    std::map<std::string, int> perRecipient;
    for (const std::string& s : submits) ++perRecipient[s.substr(0, s.find(" 0 0 0 "))];
    EXPECT_EQ(static_cast<std::size_t>(kMessages), perRecipient.size());
    for (int i = 0; i < kMessages; ++i) EXPECT_NE(std::string::npos, Outcome("K" + std::to_string(i)).find(",OK,")) << i;
    // Across both runs: each message reached an SMSC once, except those in flight at the kill.
    const std::size_t duplicates = static_cast<std::size_t>(kWindow) + submits.size() - kMessages;
    EXPECT_LE(duplicates, static_cast<std::size_t>(kWindow));
    RecordProperty("DuplicatesAfterKill", static_cast<int>(duplicates));
}

TEST_F(Lifecycle, HostileRequestsAndSettingsEndInClearErrorsNotInCrashes) {
    Smsc smsc;
    const std::string name = SmppConnection(smsc.Port(), {"WindowSize=100000", "KeepAlive=-5", "CreditLimitDay=-3",
                                                          "TransmitterCount=999"});
    platform::WritePrivateProfileString(Ini(), "ZELLA", "Modem2", "SMPP - 127.0.0.1:0");
    platform::WritePrivateProfileString(Ini(), "ZELLA", "Modem3", "SMPP - 127.0.0.1:65536");
    const std::string q = dir_ + "Q/";
    ASSERT_EQ(0, mkfifo((q + "FIFO.REQ").c_str(), 0660));
    ASSERT_EQ(0, symlink("/etc/passwd", (q + "LINK.REQ").c_str()));
    {
        std::ofstream huge(q + "HUGE.REQ");
        huge << "[SMS]\r\nPhoneNumber=1\r\nData=" << std::string(2 << 20, 'h') << "\r\n";
    }
    platform::WriteFileAtomic(q + "BIN.REQ", std::string("\x00\xFF\x01[SMS\r\n\x7F", 9));
    Drop("NOPHONE", "Data=x\r\n");
    Drop("NOROUTE", "PhoneNumber=+1\r\nData=x\r\nSMSCRoute=Nowhere At All\r\n");
    ASSERT_TRUE(Start());
    Message("GOOD", "+447700900099", "Still fine");
    ASSERT_TRUE(Eventually([&] { return !Outcome("GOOD").empty(); }));
    EXPECT_NE(std::string::npos, Outcome("GOOD").find(",OK,"));
    ASSERT_TRUE(Eventually([&] { return !Outcome("HUGE").empty() && !Outcome("NOPHONE").empty(); }));
    EXPECT_NE(std::string::npos, Outcome("HUGE").find("too large"));
    EXPECT_NE(std::string::npos, Outcome("NOPHONE").find("no recipient"));
    EXPECT_NE(std::string::npos, Outcome("BIN").find("no [SMS] section"));
    // A link or FIFO is never opened as a request, and never deleted through.
    EXPECT_NE(std::string::npos, Outcome("LINK").find("not a readable file"));
    std::string passwd;
    EXPECT_TRUE(platform::ReadFile("/etc/passwd", passwd));
    EXPECT_NE(std::string::npos, Outcome("FIFO").find("not a readable file"));
    ASSERT_TRUE(Eventually([&] {
        return platform::GetPrivateProfileString(q + "NOROUTE.REQ", "ErrorDetail", "LastErrorInfo", "") ==
               "Route not found: Nowhere At All";
    }));
    EXPECT_TRUE(Eventually([&] { return ErrorFile("SMPP - 127.0.0.1:0") != "(none)"; }));
    EXPECT_EQ("(none)", ErrorFile(name));
}

TEST_F(Lifecycle, ConnectionsAddedAndRemovedWhileMessagesFlowTakeEffectWithoutARestart) {
    Smsc first, second;
    const std::string a = SmppConnection(first.Port(), {}, 1);
    platform::WritePrivateProfileString(Ini(), "ZELLA", "Debug", "Yes");
    ASSERT_TRUE(Start());
    Message("R1", "+447700900101", "to the first");
    ASSERT_TRUE(Eventually([&] { return !Outcome("R1").empty(); }));
    // The console replaces ZELLA.INI: the first connection goes, a second one comes.
    platform::WritePrivateProfileString(Ini(), "ZELLA", "Modem1", std::nullopt);
    platform::WritePrivateProfileString(Ini(), a, std::nullopt, std::nullopt);
    const std::string b = SmppConnection(second.Port(), {"RouteName=Second"}, 2);
    Message("R2", "+447700900102", "to the second", "SMSCRoute=second\r\n");
    ASSERT_TRUE(Eventually([&] { return !Outcome("R2").empty(); })) << zella_test::ReadAll(dir_ + "LOGS/SMSDEBUG.LOG");
    EXPECT_NE(std::string::npos, Outcome("R2").find("," + b + ",+447700900102,OK,"));
    EXPECT_EQ(1u, first.Lines("UNBIND", 1).size());
    EXPECT_EQ(1u, second.Lines("SUBMIT", 1).size());
    // The Reload trigger is honoured and removed.
    platform::WritePrivateProfileString(Ini(), "ZELLA", "ConfigurationUpdateTriggerReload", "Yes");
    EXPECT_TRUE(Eventually([&] {
        return platform::GetPrivateProfileString(Ini(), "ZELLA", "ConfigurationUpdateTriggerReload", "-") == "-";
    }));
}

TEST_F(Lifecycle, OfflineAndLimitedConnectionsKeepTheirMessagesWithTheReason) {
    Smsc smsc;
    const std::string name = SmppConnection(smsc.Port(), {"SMSCSendLimit=2/3600"});
    platform::WritePrivateProfileString(Ini(), "ZELLA", "CacheQSize", "Yes");
    ASSERT_TRUE(Start());
    std::vector<std::string> requests;
    for (int i = 0; i < 4; ++i)
        requests.push_back(Message("L" + std::to_string(i), "+44770090020" + std::to_string(i), "limited"));
    ASSERT_EQ(2u, smsc.Lines("SUBMIT", 2).size());
    ASSERT_TRUE(Eventually([&] { return Queued() == 2; }));
    std::size_t waiting = 0;
    for (const std::string& r : requests)
        waiting += platform::GetPrivateProfileString(r, "ErrorDetail", "LastErrorInfo", "") == "Send limit" ? 1 : 0;
    EXPECT_TRUE(Eventually([&] {
        waiting = 0;
        for (const std::string& r : requests)
            waiting += platform::GetPrivateProfileString(r, "ErrorDetail", "LastErrorInfo", "") == "Send limit" ? 1 : 0;
        return waiting == 2;
    }));
    EXPECT_TRUE(Eventually([&] { return config::ReadCurrentValueCounter("SMSQSIZE") == 2; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_EQ(2u, smsc.Count("SUBMIT"));
}

TEST_F(Lifecycle, AModemRequestOfTheConsoleIsAnsweredForThatRequestAndTakenBackWhenItGoes) {
    ASSERT_TRUE(Start());
    const auto request = [&](const std::string& id) {
        platform::IniBatch b(Ini());
        b.DeleteSection("ModemAllocate");
        b.Write("ModemAllocate", "Modem", "COM3: USB modem");
        b.Write("ModemAllocate", "RequestId", id);
        b.Write("ModemAllocate", "ConsolePid", std::to_string(getpid()));
        ASSERT_TRUE(b.Commit());
    };
    request("41");
    ASSERT_TRUE(Eventually([&] { return platform::GetPrivateProfileString(Ini(), "ModemAllocate", "Status", "") == "Granted"; }));
    EXPECT_EQ("3", platform::GetPrivateProfileString(Ini(), "ModemAllocate", "Port", ""));
    request("42");
    ASSERT_TRUE(Eventually([&] { return platform::GetPrivateProfileString(Ini(), "ModemAllocate", "Status", "") == "Granted"; }));
    EXPECT_TRUE(Eventually([&] { return Events().find("Modem COM3: USB modem taken back") != std::string::npos; }));
    platform::WritePrivateProfileString(Ini(), "ModemAllocate", std::nullopt, std::nullopt);
    EXPECT_TRUE(Eventually([&] {
        const std::string e = Events();
        return e.find("taken back") != e.rfind("taken back");
    }));
}

// A small file system of its own at `dir`, filled up; false when this machine does not
// let the test mount one (not root).
bool MountFullDisk(const std::string& dir) {
    platform::CreateDirectories(dir);
    if (std::system(("mount -t tmpfs -o size=64k tmpfs '" + dir + "' 2>/dev/null").c_str()) != 0) return false;
    std::ofstream filler(dir + "/filler");
    filler << std::string(200 * 1024, 'f');
    return true;
}

TEST_F(Lifecycle, AFullDiskLosesNoMessageCorruptsNoLogAndIsReportedOnceThereIsRoom) {
    const std::string logs = dir_ + "LOGS", stats = dir_ + "STATS";
    if (!MountFullDisk(logs)) GTEST_SKIP() << "cannot mount a small file system here";
    struct Unmount {
        std::string a, b;
        ~Unmount() {
            std::system(("umount -l '" + a + "' 2>/dev/null; umount -l '" + b + "' 2>/dev/null").c_str());
        }
    } unmount{logs, stats};
    ASSERT_TRUE(MountFullDisk(stats));
    Smsc smsc;
    SmppConnection(smsc.Port());
    ASSERT_TRUE(Start());
    for (int i = 0; i < 5; ++i) Message("F" + std::to_string(i), "+44770090030" + std::to_string(i), "full");
    ASSERT_EQ(5u, smsc.Lines("SUBMIT", 5).size());
    // Sent, so no longer queued (sending them again would duplicate them), though not logged.
    ASSERT_TRUE(Eventually([&] { return Queued() == 0; }));
    const std::string whileFull = Log("SMSOUT");
    EXPECT_TRUE(whileFull.empty() || whileFull.back() == '\n') << whileFull;  // no half line
    // Room again: the losses are reported, and the next message is logged as usual.
    platform::DeleteFileChecked(logs + "/filler");
    platform::DeleteFileChecked(stats + "/filler");
    ASSERT_TRUE(Eventually([&] { return Events().find("could not be written to the logs") != std::string::npos; }))
        << Events();
    EXPECT_TRUE(Eventually([&] { return Events().find("counter update(s) could not be written") != std::string::npos; }))
        << Events();
    Message("AFTER", "+447700900399", "room again");
    ASSERT_TRUE(Eventually([&] { return !Outcome("AFTER").empty(); }));
    const std::string log = Log("SMSOUT");
    for (std::size_t at = 0; at < log.size();) {
        const std::size_t end = log.find("\r\n", at);
        ASSERT_NE(std::string::npos, end) << log;
        EXPECT_EQ(7, std::count(log.begin() + at, log.begin() + end, ',') + 1) << log.substr(at, end - at);
        at = end + 2;
    }
    EXPECT_TRUE(Eventually([&] { return Today("SMSSENT") >= 1u; }));
}

}  // namespace
}  // namespace gateway_test
