// The real console under the script driver: a keyword command added on the 2-Way page,
// and the alerts. The operator opens "E-Mail System Alerts"
// from the Service page and sends the test message through smtp-server on loopback port
// 2525, which requires STARTTLS and AUTH LOGIN; then the keys are stored. With the wrong
// password the refusal is shown and nothing is delivered.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/ini.h"
#include "tests/support/peer_process.h"
#include "tests/support/console_process.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

const std::string kPeers = ZELLA_PEERS_DIR;

std::string AlertsScript(const std::string& password, const std::string& answer) {
    return "tab \"Service\"\n"
           "answer \"No SMSC connections or modems are defined.\" Yes\n"
           "press \"Manage Alerts\"\n"
           "check \"Enable E-Mail System Alerts\"\n"
           "set \"Send Alerts To:\" \"ops@example.test, oncall@example.test\"\n"
           "set \"Send Alerts From:\" \"gateway@example.test\"\n"
           "set \"SMTP Server Address:\" \"127.0.0.1\"\n"
           "set \"SMTP Port:\" \"2525\"\n"
           "check \"Use SSL/TLS\"\n"
           "set \"SMTP User Name:\" \"alerts\"\n"
           "set \"SMTP Password:\" \"" + password + "\"\n"
           "press \"Send Test E-Mail Message\"\n"
           "answer \"" + answer + "\" OK\n"
           "press \"OK\"\n"
           "press \"OK\"\n";
}

class TwoWayConsoleScript : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = temp_.Path();
        ASSERT_FALSE(dir_.empty());
        data_ = dir_ + "data/";
        zella_test::PrepareConsoleSandbox(dir_, ZELLA_BIN_DIR);
        // The server's certificate names 127.0.0.1 and is the console's trust store:
        // the console sends the login only to a server whose certificate verifies.
        const std::string make = "openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj "
                                 "/CN=localhost -addext subjectAltName=DNS:localhost,IP:127.0.0.1 "
                                 "-keyout " + dir_ + "key.pem -out " + dir_ +
                                 "cert.pem >/dev/null 2>&1";
        ASSERT_EQ(0, std::system(make.c_str()));
    }
    static bool PeersInstalled() {
        return fs::exists(kPeers + "/node_modules/smtp-server/package.json") &&
               std::system("node --version >/dev/null 2>&1") == 0;
    }
    // Runs the console on the script while the server listens; what the server saw.
    std::string Run(const std::string& script, std::string& transcript) {
        zella_test::PeerProcess peer("node", {kPeers + "/smtp_peer.js", "starttls", "--port",
                                                "2525", "--key", dir_ + "key.pem", "--cert",
                                                dir_ + "cert.pem"});
        EXPECT_EQ(2525u, peer.ListeningPort());
        const zella_test::ScriptRun run =
            zella_test::RunSandboxScript(dir_, script, "script", {"SSL_CERT_FILE=" + dir_ + "cert.pem"});
        EXPECT_EQ(0, run.status);
        transcript = run.transcript;
        std::string seen;
        for (std::string line; !(line = peer.ReadLine(400)).empty();) seen += line + "\n";
        return seen;
    }
    std::string Get(const std::string& key) {
        return platform::GetPrivateProfileString(data_ + "ZELLA.INI", "ZELLA", key, "<absent>");
    }
    zella_test::TempDir temp_{"alerts-script"};
    std::string dir_, data_;
};

TEST_F(TwoWayConsoleScript, TestMessageReachesBothRecipientsAfterStartTlsAndLogin) {
    if (!PeersInstalled()) GTEST_SKIP() << "node or smtp-server missing (scripts/setup.sh)";
    std::string out;
    const std::string seen = Run(AlertsScript("pw", "Message submitted"), out);
    EXPECT_EQ(out.find("FAIL"), std::string::npos) << out;
    EXPECT_NE(out.find("open: E-Mail System Alerts"), std::string::npos) << out;
    EXPECT_NE(seen.find("AUTH alerts ok\nMAIL gateway@example.test secure=yes\n"
                        "RCPT ops@example.test\nRCPT oncall@example.test\nMESSAGE "),
              std::string::npos) << seen;
    EXPECT_EQ(Get("AlertEMailRecip"), "ops@example.test, oncall@example.test");
    EXPECT_EQ(Get("AlertEMailSender"), "gateway@example.test");
    EXPECT_EQ(Get("AlertEMailSMTPServer"), "127.0.0.1");
    EXPECT_EQ(Get("AlertEMailSMTPPort"), "2525");
    EXPECT_EQ(Get("AlertEMailSMTPUseSSL"), "Yes");
    EXPECT_EQ(Get("AlertEMailSMTPUser"), "alerts");
    EXPECT_EQ(Get("AlertEMailSMTPPass"), "pw");
}

TEST_F(TwoWayConsoleScript, WrongPasswordIsRefusedAndNothingIsDelivered) {
    if (!PeersInstalled()) GTEST_SKIP() << "node or smtp-server missing (scripts/setup.sh)";
    std::string out;
    const std::string seen =
        Run(AlertsScript("wrong", "SMTP Authentication failed.  User name and/or password "
                                  "incorrect."),
            out);
    EXPECT_EQ(out.find("FAIL"), std::string::npos) << out;
    EXPECT_NE(seen.find("AUTH alerts refused"), std::string::npos) << seen;
    EXPECT_EQ(seen.find("MAIL "), std::string::npos) << seen;
    EXPECT_EQ(seen.find("MESSAGE "), std::string::npos) << seen;
}

}  // namespace

namespace {

TEST_F(TwoWayConsoleScript, KeywordAddedOnTheTwoWayPageIsStoredAndListed) {
    const zella_test::ScriptRun run = zella_test::RunSandboxScript(dir_, "tab \"2-Way\"\n"
                                           "answer \"No SMSC connections or modems are defined.\" Yes\n"
                                           "press \"Add\"\n"
                                           "set \"Keyword:\" \"INFO\"\n"
                                           "set \"replyTextField\" \"Opening hours:\\r\\n9 to 5\"\n"
                                           "press \"OK\"\n"
                                           "press \"OK\"\n", "keyword");
    EXPECT_EQ(0, run.status);
    const std::string& out = run.transcript;
    EXPECT_EQ(out.find("FAIL"), std::string::npos) << out;
    EXPECT_NE(out.find("open: 2-Way Keyword Processor"), std::string::npos) << out;
    const std::string ini = data_ + "ZELLA.INI";
    EXPECT_EQ(platform::GetPrivateProfileString(ini, "2Way-Keywords", "Keyword1", ""), "INFO");
    EXPECT_EQ(platform::GetPrivateProfileString(ini, "2Way-Keyword-INFO", "ReplyText", ""),
              "Opening hours:\\r\\n9 to 5");
}

}  // namespace
