// The SMPP client monitor against the stand-in service with real SMPP binds made through
// the console's own link library: the rows follow the clients as they bind and unbind,
// and a flag file left behind by a service that died is removed on sight.
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include "accounts/smpp_clients.h"
#include "libs/smpplnk/smpplnk.h"
#include "platform/ini.h"
#include "tests/support/console_process.h"
#include "tests/support/held_port.h"
#include "tests/support/service_fixture.h"
#include "ui/headless_host.h"

namespace services_test {
namespace {

// The link library loaded at run time from the build's program directory, as the console does.
class SmppLink {
public:
    SmppLink() {
        loaded_ = library_.LoadPath(std::string(ZELLA_BIN_DIR) + "/libsmpplnk.so");
        connect_ = library_.Function<decltype(&SMPPConnect)>("SMPPConnect");
        bind_ = library_.Function<decltype(&SMPPBind)>("SMPPBind");
        unbind_ = library_.Function<decltype(&SMPPUnbind)>("SMPPUnbind");
    }
    bool Loaded() const { return loaded_ && connect_ && bind_ && unbind_; }
    // A new connection bound as `user` with `bindType`; -1 when it failed.
    int Bind(unsigned port, const char* user, int bindType) {
        int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0) return -1;
        if (connect_(fd, 0, "127.0.0.1", port) != 0 ||
            bind_(fd, nullptr, 0, 0x34, bindType, user, "secret", "") != 0) {
            close(fd);
            return -1;
        }
        return fd;
    }
    void Unbind(int fd) {
        unbind_(fd, nullptr, 0, 0x34);
        close(fd);
    }

private:
    platform::DynamicLibrary library_;
    bool loaded_ = false;
    decltype(&SMPPConnect) connect_ = nullptr;
    decltype(&SMPPBind) bind_ = nullptr;
    decltype(&SMPPUnbind) unbind_ = nullptr;
};

class LiveMonitor : public ServiceFixture {
protected:
    // Starts the stand-in Gateway service with its SMPP server on a free port.
    unsigned StartGateway() {
        unsigned port;
        {
            zella_test::HeldPort probe;  // a free port, released again for the service
            port = probe.port;
        }
        platform::WritePrivateProfileString(dataDir_ + "ZELLA.INI", "ZELLA", "SMPPPort",
                                            std::to_string(port));
        EXPECT_EQ(0, Supervisor()->Install(Gateway()));
        EXPECT_EQ(0, Supervisor()->Start("QuvSMS"));
        EXPECT_TRUE(Eventually([&] { return platform::ReadGatewayStatus().smppServerRunning; }));
        return port;
    }
    // Opens the monitor once and returns its rows, and the details of the first row.
    std::vector<std::string> Rows(std::string* details = nullptr) {
        std::vector<std::string> rows;
        ui::HeadlessHost host;
        host.QueueDialog("DIALOG_SMPPCLIENTS", [&](ui::Dialog& d) {
            rows = d.Items("clients");
            if (details && !rows.empty()) {
                d.UserSelect("clients", 0);
                *details = d.Text("details");
            }
            d.UserClick(ui::IDOK);
        });
        accounts::ShowSmppClientMonitor(host);
        EXPECT_FALSE(host.Failed()) << host.TranscriptText();
        return rows;
    }
    std::vector<std::string> FlagFiles() {
        std::vector<std::string> names;
        for (const auto& e : platform::ListDirectory(accounts::ActiveUsersDirectory(), "*.FLG"))
            names.push_back(e.name);
        return names;
    }
};

TEST_F(LiveMonitor, RowsFollowRealBindsAndAStaleFlagIsRemoved) {
    SmppLink link;
    ASSERT_TRUE(link.Loaded());
    const unsigned port = StartGateway();
    ASSERT_FALSE(HasFailure());
    EXPECT_TRUE(Rows().empty());

    const int first = link.Bind(port, "alice", 9);
    ASSERT_GE(first, 0);
    ASSERT_TRUE(Eventually([&] { return FlagFiles().size() == 1; }));
    EXPECT_EQ(Rows(), std::vector<std::string>{"alice\t1 connection"});

    const int second = link.Bind(port, "alice", 1);
    ASSERT_GE(second, 0);
    ASSERT_TRUE(Eventually([&] { return FlagFiles().size() == 2; }));
    std::string details;
    EXPECT_EQ(Rows(&details), std::vector<std::string>{"alice\t2 connections"});
    EXPECT_EQ(details,
              "0 messages sent this month\r\n\r\nConnections:\r\n"
              "127.0.0.1 - 1 transceiver, 1 receiver\r\n");
    // Live flags survive the monitor's look at them.
    EXPECT_EQ(FlagFiles().size(), 2u);

    link.Unbind(second);
    ASSERT_TRUE(Eventually([&] { return FlagFiles().size() == 1; }));
    EXPECT_EQ(Rows(), std::vector<std::string>{"alice\t1 connection"});
    link.Unbind(first);
    ASSERT_TRUE(Eventually([&] { return FlagFiles().empty(); }));
    EXPECT_TRUE(Rows().empty());

    // A service killed with a client bound leaves its flag file, no longer locked.
    const int third = link.Bind(port, "alice", 2);
    ASSERT_GE(third, 0);
    ASSERT_TRUE(Eventually([&] { return FlagFiles().size() == 1; }));
    const std::string stale = accounts::ActiveUsersDirectory() + FlagFiles()[0];
    KillService("QuvSMS");
    ASSERT_TRUE(Eventually([&] { return !platform::IsFileLocked(stale); }));
    ASSERT_TRUE(platform::PathExists(stale));
    EXPECT_TRUE(Rows().empty());
    EXPECT_FALSE(platform::PathExists(stale));
    close(third);
}

// The real console under the script driver, beside the same running service: the Status
// page's "View" opens the monitor, which lists the one bound client.
TEST_F(LiveMonitor, ConsoleUnderTheScriptDriverListsTheBoundClient) {
    SmppLink link;
    ASSERT_TRUE(link.Loaded());
    const unsigned port = StartGateway();
    ASSERT_FALSE(HasFailure());
    const int client = link.Bind(port, "alice", 9);
    ASSERT_GE(client, 0);
    ASSERT_TRUE(Eventually([&] { return FlagFiles().size() == 1; }));

    zella_test::CopyConsoleInto(ZELLA_BIN_DIR, programDir_, zella_test::SmscLinks::None);
    const std::string script = programDir_ + "monitor.txt";
    const std::string out = programDir_ + "monitor-out.txt";
    ASSERT_TRUE(platform::WriteFileAtomic(
        script,
        "tab \"Service\"\n"
        "answer \"No SMSC connections or modems are defined.\" Yes\n"
        "expect smppClients \"1\"\n"
        "press smppView\n"
        "expect title \"SMPP Client Connections\"\n"
        "expect list \"alice\\t1 connection\"\n"
        "press \"OK\"\n"
        "press \"OK\"\n"));
    // The console inherits this test's data directory, service backend and namespace.
    const int status = zella_test::RunConsoleScript(programDir_, script, out, {}, {},
                                                    std::chrono::seconds(120));
    const std::string transcript = zella_test::ReadAll(out);
    EXPECT_EQ(status, 0) << transcript;
    EXPECT_EQ(transcript.find("FAIL"), std::string::npos) << transcript;
    EXPECT_NE(transcript.find("SMPP Client Connections"), std::string::npos) << transcript;
    link.Unbind(client);
}

}  // namespace
}  // namespace services_test
