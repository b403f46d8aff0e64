// IP modems through the telnet terminal server, and the name parsing.
#include "modem/ip_modem.h"
#include "modem/modem_test.h"
#include "tests/modem/modem_fixture.h"

namespace modemtest {
namespace {

TEST(IpModemAddress, HostAndPortAreSplit) {
    std::string host;
    unsigned port = 0;
    ASSERT_TRUE(modem::ParseIpModemAddress("10.0.0.5:23", host, port));
    EXPECT_EQ(host, "10.0.0.5");
    EXPECT_EQ(port, 23u);
}

TEST(IpModemAddress, BracketedIpv6KeepsItsBrackets) {
    std::string host;
    unsigned port = 0;
    ASSERT_TRUE(modem::ParseIpModemAddress("[fe80::1]:2001", host, port));
    EXPECT_EQ(host, "[fe80::1]");
    EXPECT_EQ(port, 2001u);
}

TEST(IpModemAddress, MissingZeroOrHugePortIsRefused) {
    std::string host;
    unsigned port = 0;
    EXPECT_FALSE(modem::ParseIpModemAddress("10.0.0.5", host, port));
    EXPECT_FALSE(modem::ParseIpModemAddress("10.0.0.5:0", host, port));
    EXPECT_FALSE(modem::ParseIpModemAddress("10.0.0.5:70000", host, port));
    EXPECT_FALSE(modem::ParseIpModemAddress("[::1]", host, port));
    EXPECT_FALSE(modem::ParseIpModemAddress("[::1]x23", host, port));
}

class IpModem : public ModemFixture {
protected:
    std::string Name(unsigned port) { return "IPModem - 127.0.0.1:" + std::to_string(port); }
    std::string Section(unsigned port) { return Name(port); }
    unsigned Serve(const std::vector<std::string>& serverOptions,
                   const std::vector<std::string>& modemOptions = {}) {
        const std::string device = StartModem(modemOptions);
        return StartTerminalServer(serverOptions, device);
    }
};

TEST_F(IpModem, LoginPasswordAndScriptThenTestPasses) {
    const unsigned port =
        Serve({"--user=ops", "--password=secret", "--script=CONNECT=AT\r"});
    WriteIni(Section(port), "Username", "ops");
    WriteIni(Section(port), "Password", "secret");
    WriteIni(Section(port), "IPModemInitWaitFor1", "CONNECT");
    WriteIni(Section(port), "IPModemInitSend1", "AT\\r");
    UseFakeClock();
    EXPECT_TRUE(modem::TestModem(host_, Name(port), ""));
    EXPECT_EQ(Boxes(), (std::vector<std::string>{"Modem successfully tested!"}));
    EXPECT_TRUE(modem::SocketSeen());
}

TEST_F(IpModem, FirstDoIsAnsweredWithSuppressGoAheadPairThenWont) {
    const unsigned port = Serve({"--user=ops"});
    WriteIni(Section(port), "Username", "ops");
    UseFakeClock();
    EXPECT_TRUE(modem::TestModem(host_, Name(port), ""));
    // The server opens with IAC DO ECHO, IAC WILL ECHO, IAC DO SGA.
    EXPECT_EQ(ServerLog(), "IAC 253 3\nIAC 251 3\nIAC 252 1\nIAC 251 3\n");
}

TEST_F(IpModem, LowerCaseLoginPromptIsDiagnosedAsMissingUsername) {
    const unsigned port = Serve({"--user=ops", "--login-prompt=login: "});
    UseFakeClock();
    // The prompt must arrive within the grace, also on a loaded machine.
    modem::SetVirtualTimeGrace(200);
    EXPECT_FALSE(modem::TestModem(host_, Name(port), ""));
    EXPECT_TRUE(ShowedBox("IP Modem requires username for connection.\r\nEdit ZELLA.INI, and add "
                          "Username= setting under [" + Section(port) + "] header."));
    // One failure, one box: the diagnosis is not followed by the generic words.
    EXPECT_EQ(Boxes().size(), 1u);
}

TEST_F(IpModem, ScriptPromptThatNeverComesIsReported) {
    const unsigned port = Serve({});
    WriteIni(Section(port), "IPModemInitWaitFor1", "CONNECT");
    UseFakeClock();
    modem::SetVirtualTimeGrace(20);
    EXPECT_FALSE(modem::TestModem(host_, Name(port), ""));
    EXPECT_EQ(Boxes().front(), "IP Modem connection failed, waiting for prompt:  CONNECT");
}

TEST_F(IpModem, EmptyFirstWaitSkipsTheScript) {
    const unsigned port = Serve({});
    WriteIni(Section(port), "IPModemInitSend1", "NEVER\\r");
    UseFakeClock();
    EXPECT_TRUE(modem::TestModem(host_, Name(port), ""));
    for (const std::string& line : ModemLog()) EXPECT_EQ(line.find("NEVER"), std::string::npos);
}

TEST_F(IpModem, NameWithoutPortIsReported) {
    EXPECT_FALSE(modem::TestModem(host_, "IPModem - 10.0.0.5", ""));
    EXPECT_EQ(Boxes().front(), "Cannot parse port number for IP Modem - 10.0.0.5");
}

TEST_F(IpModem, ClosedPortIsReported) {
    unsigned port = 0;
    {
        // A port that was just free: bind, note, close.
        Child probe(ToolPath("termserver"), {"--flood"});
        port = static_cast<unsigned>(std::stoul(probe.FirstLine()));
    }
    EXPECT_FALSE(modem::TestModem(host_, Name(port), ""));
    EXPECT_EQ(Boxes().front(), "Cannot connect to IP Modem at 127.0.0.1:" + std::to_string(port));
}

TEST_F(IpModem, UnterminatedSubNegotiationEndsWithMessage) {
    const unsigned port = Serve({"--unterminated-sb", "--user=ops"});
    WriteIni(Section(port), "Username", "ops");
    UseFakeClock();
    modem::SetVirtualTimeGrace(20);
    EXPECT_FALSE(modem::TestModem(host_, Name(port), ""));
    EXPECT_EQ(Boxes().front(), "IP Modem connection failed, waiting for login/username prompt");
}

// The login prompt behind the banner is still found: old bytes make room for new ones.
TEST_F(IpModem, PromptAfterTenMegabyteBannerIsFound) {
    const unsigned port = Serve({"--flood", "--user=ops"});
    WriteIni(Section(port), "Username", "ops");
    UseFakeClock();
    EXPECT_TRUE(modem::TestModem(host_, Name(port), ""));
    EXPECT_EQ(Boxes(), (std::vector<std::string>{"Modem successfully tested!"}));
}

}  // namespace
}  // namespace modemtest
