// The service's e-mail alerts: through a loopback SMTP server, and dropped for the MMSC
// service when no SMTP server is set; one per category and condition in 30 minutes.
#include "tests/gateway/gateway_fixture.h"

namespace gateway_test {
namespace {

class Alerts : public GatewayFixture {};

TEST_F(Alerts, StartAndFinalFailuresAreMailedOncePerCondition) {
    zella_test::PeerProcess smtp("node", {std::string(ZELLA_PEERS_DIR) + "/smtp_peer.js", "plain"}, true);
    const unsigned smtpPort = smtp.ListeningPort();
    ASSERT_NE(0u, smtpPort);
    Smsc refusing({"--refuse"});
    SmppConnection(refusing.Port());
    platform::WritePrivateProfileString(Ini(), "ZELLA", "AlertEMailRecip", "ops@example.test, oncall@example.test");
    platform::WritePrivateProfileString(Ini(), "ZELLA", "AlertEMailSender", "gateway@example.test");
    platform::WritePrivateProfileString(Ini(), "ZELLA", "AlertEMailSMTPServer", "127.0.0.1");
    platform::WritePrivateProfileString(Ini(), "ZELLA", "AlertEMailSMTPPort", std::to_string(smtpPort));
    platform::WritePrivateProfileString(Ini(), "ZELLA", "AlertEMailSendInfo", "Yes");
    ASSERT_TRUE(Start());
    Message("X1", "+447700900501", "refused");
    Message("X2", "+447700900502", "refused too");
    ASSERT_TRUE(Eventually([&] { return !Outcome("X1").empty() && !Outcome("X2").empty(); }));
    std::vector<std::string> messages;
    for (std::string line; messages.size() < 2 && !(line = smtp.ReadLine(15'000)).empty();)
        if (line.rfind("MESSAGE ", 0) == 0) messages.push_back(line);
    ASSERT_EQ(2u, messages.size());
    EXPECT_NE(std::string::npos, messages[0].find("QuvSMS Alert - Information")) << messages[0];
    EXPECT_NE(std::string::npos, messages[1].find("QuvSMS Alert - Error")) << messages[1];
    EXPECT_NE(std::string::npos, messages[1].find("failed for good")) << messages[1];
    // The second failure on the same connection within 30 minutes sends no second mail.
    EXPECT_EQ("", [&] {
        for (std::string line; !(line = smtp.ReadLine(2000)).empty();)
            if (line.rfind("MESSAGE ", 0) == 0) return line;
        return std::string();
    }());
}

TEST_F(Alerts, WithoutAnSmtpServerAlertsWaitForTheMmscServiceAsFiles) {
    platform::WritePrivateProfileString(Ini(), "ZELLA", "AlertEMailRecip", "ops@example.test,oncall@example.test");
    platform::WritePrivateProfileString(Ini(), "ZELLA", "AlertEMailSendWarning", "No");
    ASSERT_TRUE(Start());
    ASSERT_TRUE(Eventually([&] { return platform::ListDirectory(dir_ + "MMSCOUT/", "ALERT*.RFC").size() == 2; }));
    for (const auto& f : platform::ListDirectory(dir_ + "MMSCOUT/", "ALERT*.RFC")) {
        std::string text;
        ASSERT_TRUE(platform::ReadFile(dir_ + "MMSCOUT/" + f.name, text));
        EXPECT_EQ(0u, text.find("To: ")) << text;
        EXPECT_NE(std::string::npos, text.find("\r\nX-MMSC-RCPT-TO: ")) << text;
        EXPECT_NE(std::string::npos, text.find("Subject: QuvSMS Alert - Information\r\n")) << text;
    }
}

}  // namespace
}  // namespace gateway_test
