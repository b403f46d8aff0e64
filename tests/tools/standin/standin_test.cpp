// The stand-in Gateway service as the console sees it: status bytes and SMPP client
// flag files.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include "platform/ini.h"
#include "platform/shared_memory.h"
#include "tests/support/service_fixture.h"
#include "tests/support/held_port.h"

namespace services_test {
namespace {

using zella_test::HeldPort;

std::string Pdu(std::uint32_t command, std::uint32_t sequence, const std::string& body) {
    std::string pdu;
    auto put = [&](std::uint32_t v) {
        for (int s = 24; s >= 0; s -= 8) pdu += static_cast<char>((v >> s) & 0xff);
    };
    put(static_cast<std::uint32_t>(16 + body.size()));
    put(command);
    put(0);
    put(sequence);
    return pdu + body;
}

class StandInGateway : public ServiceFixture {
protected:
    void SetKey(const char* key, unsigned value) {
        platform::WritePrivateProfileString(dataDir_ + "ZELLA.INI", "ZELLA", key,
                                            std::to_string(value));
    }
    std::vector<std::string> FlagFiles() {
        std::vector<std::string> names;
        for (const auto& e : platform::ListDirectory(dataDir_ + "SMPPData/ActiveUsers/", "*.FLG")) {
            names.push_back(e.name);
        }
        return names;
    }
};

TEST_F(StandInGateway, TakenPortsAreReportedInTheStatusBlock) {
    HeldPort web, smpp;
    SetKey("WebPort", web.port);
    SetKey("SMPPPort", smpp.port);
    InstallAndStartGateway();
    platform::GatewayStatusBytes status = platform::ReadGatewayStatus();
    EXPECT_TRUE(status.webPortInUse);
    EXPECT_TRUE(status.smppPortInUse);
    EXPECT_FALSE(status.smppServerRunning);
}

TEST_F(StandInGateway, BoundSmppClientHoldsALockedFlagFileUntilItLeaves) {
    unsigned port;
    {
        HeldPort probe;  // a free port, released again for the service
        port = probe.port;
    }
    SetKey("SMPPPort", port);
    InstallAndStartGateway();
    ASSERT_TRUE(platform::ReadGatewayStatus().smppServerRunning);

    int client = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(0, connect(client, reinterpret_cast<sockaddr*>(&a), sizeof a));
    std::string bind = Pdu(0x09, 7, std::string("alice\0secret\0\0\x34\0\0\0", 19));
    ASSERT_EQ(static_cast<ssize_t>(bind.size()), send(client, bind.data(), bind.size(), 0));
    unsigned char reply[64];
    ASSERT_GE(recv(client, reply, sizeof reply, 0), 16);
    EXPECT_EQ(0x80, reply[4]);  // bind_transceiver_resp
    EXPECT_EQ(0x09, reply[7]);
    EXPECT_EQ(0, reply[8] | reply[9] | reply[10] | reply[11]);  // status OK
    EXPECT_EQ(7, reply[15]);

    ASSERT_TRUE(Eventually([&] { return FlagFiles().size() == 1; }));
    std::string flag = FlagFiles()[0];
    EXPECT_EQ(0u, flag.find("127.0.0.1-"));
    EXPECT_NE(std::string::npos, flag.find("-T-alice.FLG"));
    std::string path = dataDir_ + "SMPPData/ActiveUsers/" + flag;
    EXPECT_TRUE(platform::IsFileLocked(path));
    EXPECT_FALSE(platform::DeleteFileChecked(path));  // a live connection's flag stays

    close(client);
    EXPECT_TRUE(Eventually([&] { return FlagFiles().empty(); }));
}

}  // namespace
}  // namespace services_test
