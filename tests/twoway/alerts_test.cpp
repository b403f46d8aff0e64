// The "E-Mail System Alerts" dialog and its SMTP test against a real SMTP server (the
// npm package smtp-server, tests/peers/smtp_peer.js) in plain, STARTTLS and implicit TLS
// modes, against faulty servers, and with hostile field values; the test checks what
// the server received, not only what the operator was told.
#include "twoway/alerts_dialog.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "config/config_store.h"
#include "platform/dynlib.h"
#include "platform/files.h"
#include "platform/ini.h"
#include "shell/core/link_libraries.h"
#include "tests/support/peer_process.h"
#include "tests/support/temp_dir.h"
#include "twoway/alert_message.h"
#include "twoway/smtp_client.h"
#include "ui/headless_host.h"

namespace {

using zella_test::PeerProcess;

const std::string kPeers = ZELLA_PEERS_DIR;
const std::string kBin = std::string(ZELLA_BIN_DIR) + "/";
constexpr std::uint64_t kSecondMs = 100;

TEST(SmtpText, EncodingsSplittingStuffingAndDates) {
    const std::vector<std::pair<std::string, std::string>> base64{
        {"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"}, {"alerts", "YWxlcnRz"},
        {"pw", "cHc="}, {std::string("\xff\x00\x10", 3), "/wAQ"}};
    for (const auto& [in, out] : base64) EXPECT_EQ(out, twoway::Base64Encode(in)) << in;

    using List = std::vector<std::string>;
    EXPECT_EQ((List{"a@x", "b@y"}), twoway::SplitRecipients("a@x, b@y"));
    EXPECT_EQ((List{"a@x", "b@y"}), twoway::SplitRecipients(" a@x ,, ,b@y,"));
    EXPECT_EQ((List{"a b@x"}), twoway::SplitRecipients("a b@x"));
    EXPECT_EQ(List{}, twoway::SplitRecipients(" , "));

    EXPECT_EQ("..a\r\nb\r\n..\r\n", twoway::DotStuffed(".a\r\nb\r\n.\r\n"));
    EXPECT_TRUE(twoway::HasControlCharacter("a@x\r\nRCPT TO:<b@y>"));
    EXPECT_TRUE(twoway::HasControlCharacter(std::string("a\0b", 3)));
    EXPECT_FALSE(twoway::HasControlCharacter("ops@example.test, oncall@example.test"));

    platform::SystemTime t;
    t.year = 2026, t.month = 1, t.day = 4, t.dayOfWeek = 0, t.hour = 9, t.minute = 5, t.second = 7;
    EXPECT_EQ("Sun, 4 Jan 2026 09:05:07 GMT", twoway::AlertDateText(t));
    EXPECT_EQ("January 4, 2026 @ 09:05", twoway::AlertStampText(t));
}

// The date line of the test alert follows the locale, as the other time texts do: in a
// German locale the month is German and the time is the locale's.
TEST(SmtpText, AlertStampFollowsTheLocale) {
    zella_test::TempDir locales("locales");
    const std::string make = "localedef -i de_DE -f UTF-8 " + locales.File("de_DE.UTF-8") + " >/dev/null 2>&1";
    if (std::system(make.c_str()) != 0) GTEST_SKIP() << "localedef cannot build de_DE";
    setenv("LOCPATH", locales.Path().c_str(), 1);
    const std::string previous = std::setlocale(LC_TIME, nullptr);
    const bool german = std::setlocale(LC_TIME, "de_DE.UTF-8") != nullptr;
    platform::SystemTime t;
    t.year = 2026, t.month = 1, t.day = 4, t.dayOfWeek = 0, t.hour = 21, t.minute = 5, t.second = 7;
    const std::string stamp = twoway::AlertStampText(t);
    std::setlocale(LC_TIME, previous.c_str());
    unsetenv("LOCPATH");
    ASSERT_TRUE(german);
    EXPECT_EQ("4 Januar 2026 @ 21:05", stamp);
    const std::string message = twoway::TestAlertMessage("a@x", {"b@y"}, t, t);
    EXPECT_NE(message.find("\r\nJanuary 4, 2026 @ 21:05\r\n"), std::string::npos) << message;
}

struct Form {
    std::string to = "ops@example.test, oncall@example.test";
    std::string from = "gateway@example.test";
    std::string server = "127.0.0.1";
    std::string port;
    bool ssl = false;
    std::string user, password;
};

// The certificate of the honest peers, for localhost and 127.0.0.1, made once for the
// whole program and named by SSL_CERT_FILE as the system's trust store: the TLS library
// reads that store once, when it first needs it.
class TrustedPeerCertificate {
public:
    TrustedPeerCertificate() {
        const std::string make = "openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=localhost "
                                 "-addext subjectAltName=DNS:localhost,IP:127.0.0.1 -keyout " +
                                 Key() + " -out " + Cert() + " >/dev/null 2>&1";
        made_ = std::system(make.c_str()) == 0;
        setenv("SSL_CERT_FILE", Cert().c_str(), 1);
    }
    std::string Key() const { return dir_.File("key.pem"); }
    std::string Cert() const { return dir_.File("cert.pem"); }
    bool Made() const { return made_; }

private:
    zella_test::TempDir dir_{"alerttrust"};
    bool made_ = false;
};

const TrustedPeerCertificate& TrustedPeer() {
    static const TrustedPeerCertificate certificate;
    return certificate;
}

class AlertsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(data_.Path().empty());
        ASSERT_TRUE(TrustedPeer().Made());
        ini_ = data_.File("ZELLA.INI");
        config::SetConfigurationPath(ini_);
        platform::SetLibraryDirectory(kBin);
        shell::LoadLinkLibraries();
    }
    void TearDown() override {
        shell::FreeLinkLibraries();
        platform::SetLibraryDirectory("");
        config::SetConfigurationPath("");
    }
    bool PeersInstalled() {
        return std::filesystem::exists(kPeers + "/node_modules/smtp-server/package.json") &&
               std::system("node --version >/dev/null 2>&1") == 0;
    }
    // The certificate of the TLS modes: the trusted one, or one that names another host
    // and that no trust store knows, made once per test.
    std::vector<std::string> TlsFiles(bool impostor) {
        if (!impostor) return {"--key", TrustedPeer().Key(), "--cert", TrustedPeer().Cert()};
        const std::string key = certs_.File("key.pem"), cert = certs_.File("cert.pem");
        if (!std::filesystem::exists(cert)) {
            const std::string make = "openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj "
                                     "/CN=mail.example.test -addext subjectAltName=DNS:mail.example.test "
                                     "-keyout " + key + " -out " + cert + " >/dev/null 2>&1";
            EXPECT_EQ(0, std::system(make.c_str()));
        }
        return {"--key", key, "--cert", cert};
    }
    std::unique_ptr<PeerProcess> Peer(const std::string& mode, bool impostor = false) {
        std::vector<std::string> args{kPeers + "/smtp_peer.js", mode};
        if (mode == "starttls" || mode == "tls") {
            for (const std::string& a : TlsFiles(impostor)) args.push_back(a);
        }
        auto peer = std::make_unique<PeerProcess>("node", args);
        port_ = peer->ListeningPort();
        EXPECT_NE(0u, port_) << mode;
        return peer;
    }
    // Everything the peer reported so far.
    static std::string Seen(PeerProcess& peer) {
        std::string all;
        for (std::string line; !(line = peer.ReadLine(400)).empty();) all += line + "\n";
        return all;
    }
    // Opens the dialog, fills it, presses the test button and then OK; the boxes' texts.
    std::vector<std::string> RunTest(const Form& f, bool pressOk = true) {
        ui::HeadlessHost host;
        host.QueueDialog("DIALOG_ALERT", [&](ui::Dialog& d) {
            if (!d.Checked("enable")) d.UserClick("enable");
            d.UserSetText("to", f.to);
            d.UserSetText("from", f.from);
            d.UserSetText("server", f.server);
            d.UserSetText("port", f.port.empty() ? std::to_string(port_) : f.port);
            if (d.Checked("ssl") != f.ssl) d.UserClick("ssl");
            d.UserSetText("user", f.user);
            d.UserSetText("password", f.password);
            d.UserClick("test");
            d.UserClick(pressOk ? ui::IDOK : ui::IDCANCEL);
        });
        twoway::EditEmailAlerts(host, kSecondMs);
        EXPECT_FALSE(host.Failed()) << host.TranscriptText();
        return host.BoxTexts();
    }
    std::string Get(const std::string& key) {
        return platform::GetPrivateProfileString(ini_, "ZELLA", key, "<absent>");
    }

    zella_test::ScopedDataDir data_{"alerts"};
    zella_test::TempDir certs_{"alertcerts"};
    std::string ini_;
    unsigned port_ = 0;
};

using Boxes = std::vector<std::string>;

TEST_F(AlertsTest, DeliversToEveryRecipientInPlainStartTlsAndImplicitTlsModes) {
    if (!PeersInstalled()) GTEST_SKIP() << "node or smtp-server missing (scripts/setup.sh)";
    ASSERT_TRUE(shell::TlsAvailable());
    for (const std::string mode : {"plain", "starttls", "tls"}) {
        SCOPED_TRACE(mode);
        auto peer = Peer(mode);
        Form f;
        f.to = "ops@example.test, ,oncall@example.test";
        if (mode != "plain") f.ssl = true, f.user = "alerts", f.password = "pw";
        EXPECT_EQ(Boxes{"Message submitted"}, RunTest(f));
        const std::string seen = Seen(*peer);
        const std::string secure = mode == "plain" ? "no" : "yes";
        EXPECT_NE(seen.find("MAIL gateway@example.test secure=" + secure), std::string::npos) << seen;
        EXPECT_EQ(mode != "plain", seen.find("AUTH alerts ok") != std::string::npos) << seen;
        EXPECT_NE(seen.find("RCPT ops@example.test\nRCPT oncall@example.test\n"), std::string::npos)
            << seen;
        EXPECT_NE(seen.find("\"From: gateway@example.test\\r\\nTo: ops@example.test, "
                            "oncall@example.test\\r\\nDate: "),
                  std::string::npos) << seen;
        EXPECT_NE(seen.find(" GMT\\r\\nX-Mailer: Quv SMS/MMS Gateway v2022.10.03\\r\\nSubject:  "
                            "QuvSMS Alert - Information\\r\\n\\r\\nThis is a test alert message\\r\\n"),
                  std::string::npos) << seen;
        EXPECT_EQ(Get("AlertEMailRecip"), f.to);
        EXPECT_EQ(Get("AlertEMailSMTPPort"), std::to_string(port_));
        EXPECT_EQ(Get("AlertEMailSMTPUseSSL"), mode == "plain" ? "<absent>" : "Yes");
    }
}

TEST_F(AlertsTest, EachFailingServerIsReportedInTheOperatorsWordsAndNothingIsDelivered) {
    if (!PeersInstalled()) GTEST_SKIP() << "node or smtp-server missing (scripts/setup.sh)";
    struct Case {
        std::string mode;
        Form form;
        std::string box;
        bool delivered;
    };
    Form wrongPassword;
    wrongPassword.ssl = true, wrongPassword.user = "alerts", wrongPassword.password = "wrong";
    Form refusedRecipient;
    refusedRecipient.to = "reject@example.test, ops@example.test";
    const std::vector<Case> cases{
        {"starttls", wrongPassword,
         "SMTP Authentication failed.  User name and/or password incorrect.", false},
        {"refuse", Form{}, "SMTP Server rejected sender address:  gateway@example.test", false},
        {"silent", Form{}, "SMTP Server rejected sender address:  gateway@example.test", false},
        {"droprcpt", Form{}, "SMTP Server rejected recipient address:  ops@example.test", false},
        {"plain", refusedRecipient, "SMTP Server rejected recipient address:  reject@example.test",
         false},
        {"longreply", Form{}, "Message submitted", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        auto peer = Peer(c.mode);
        EXPECT_EQ(Boxes{c.box}, RunTest(c.form, false));
        const std::string seen = Seen(*peer);
        EXPECT_EQ(c.delivered, seen.find("MESSAGE ") != std::string::npos) << seen;
        if (c.mode == "starttls") {
            EXPECT_EQ(seen.find("MAIL "), std::string::npos) << seen;
        }
    }
    EXPECT_EQ(Get("AlertEMailRecip"), "<absent>");  // Cancel stored nothing
}

// A server whose certificate names another host and that no trust store knows: the
// test stops before the login leaves, says why, and offers to trust that certificate;
// trusted, the test goes through, and the trust is kept for that certificate only.
TEST_F(AlertsTest, UnverifiedServerCertificateStopsBeforeTheLoginUnlessTheOperatorTrustsIt) {
    if (!PeersInstalled()) GTEST_SKIP() << "node or smtp-server missing (scripts/setup.sh)";
    ASSERT_TRUE(shell::TlsAvailable());
    Form f;
    f.ssl = true, f.user = "alerts", f.password = "pw";
    for (const std::string mode : {"starttls", "tls"}) {
        SCOPED_TRACE(mode);
        auto peer = Peer(mode, true);
        std::string question;
        ui::HeadlessHost host;
        host.SetBoxHook([&](const ui::MessageBoxSpec& spec) {
            if (spec.buttons != ui::Buttons::YesNo) return ui::kOk;
            question = spec.text;
            EXPECT_EQ(ui::DefaultAnswer(spec), ui::kNo);
            return ui::kNo;
        });
        host.QueueDialog("DIALOG_ALERT", [&](ui::Dialog& d) {
            if (!d.Checked("enable")) d.UserClick("enable");
            d.UserSetText("server", f.server);
            d.UserSetText("port", std::to_string(port_));
            if (!d.Checked("ssl")) d.UserClick("ssl");
            d.UserSetText("user", f.user);
            d.UserSetText("password", f.password);
            d.UserSetText("to", f.to);
            d.UserSetText("from", f.from);
            d.UserClick("test");
            d.UserClick(ui::IDOK);
        });
        twoway::EditEmailAlerts(host, kSecondMs);
        EXPECT_NE(question.find("The certificate of SMTP server 127.0.0.1:" + std::to_string(port_) +
                                " could not be verified ("), std::string::npos) << question;
        EXPECT_NE(question.find("Certificate fingerprint (SHA-256):\r\n"), std::string::npos) << question;
        const std::string seen = Seen(*peer);
        EXPECT_EQ(seen.find("AUTH "), std::string::npos) << seen;
        EXPECT_EQ(seen.find("MAIL "), std::string::npos) << seen;
        EXPECT_EQ(Get("AlertEMailSMTPCertificate"), "<absent>");
    }
    // Trusted deliberately: sent at once, and the next test needs no question.
    auto peer = Peer("tls", true);
    ui::HeadlessHost host;
    host.SetBoxHook([](const ui::MessageBoxSpec& spec) {
        return spec.buttons == ui::Buttons::YesNo ? ui::kYes : ui::kOk;
    });
    host.QueueDialog("DIALOG_ALERT", [&](ui::Dialog& d) {
        d.UserSetText("port", std::to_string(port_));
        d.UserClick("test");
        d.UserClick(ui::IDOK);
    });
    twoway::EditEmailAlerts(host, kSecondMs);
    EXPECT_EQ(host.BoxTexts().back(), "Message submitted") << host.TranscriptText();
    EXPECT_NE(Seen(*peer).find("AUTH alerts ok"), std::string::npos);
    EXPECT_EQ(Get("AlertEMailSMTPCertificate").size(), 95u);
    EXPECT_EQ(Boxes{"Message submitted"}, RunTest(f));
}

TEST_F(AlertsTest, HostileAndOddFieldsAreRefusedOrNormalisedBeforeAnythingIsSent) {
    if (!PeersInstalled()) GTEST_SKIP() << "node or smtp-server missing (scripts/setup.sh)";
    auto peer = Peer("plain");
    const std::string refused = "Line breaks and control characters are not allowed here";
    for (const char* field : {"to", "from", "server"}) {
        Form f;
        std::string& value = std::string(field) == "to" ? f.to
                             : std::string(field) == "from" ? f.from : f.server;
        value += "\r\nRCPT TO:<evil@example.test>";
        SCOPED_TRACE(field);
        // Refused at the test and again at OK; the dialog then leaves with Cancel.
        EXPECT_EQ((Boxes{refused, refused}), RunTest(f));
    }
    EXPECT_EQ("", Seen(*peer));
    EXPECT_EQ(Get("AlertEMailSender"), "<absent>");

    // Two hundred recipients are each offered; odd ports are stored as 25.
    Form many;
    many.to.clear();
    for (int i = 0; i < 200; ++i) many.to += "user" + std::to_string(i) + "@example.test, ";
    EXPECT_EQ(Boxes{"Message submitted"}, RunTest(many));
    const std::string seen = Seen(*peer);
    EXPECT_NE(seen.find("RCPT user0@example.test\n"), std::string::npos);
    EXPECT_NE(seen.find("RCPT user199@example.test\nMESSAGE"), std::string::npos);
    for (const std::string port : {"0", "65536", "abc"}) {
        ui::HeadlessHost host;
        host.QueueDialog("DIALOG_ALERT", [&](ui::Dialog& d) {
            EXPECT_TRUE(d.Checked("enable"));
            d.UserSetText("port", port);
            d.UserClick("info");
            if (port == "abc") d.UserClick("enable");
            d.UserClick(ui::IDOK);
        });
        EXPECT_EQ(1, twoway::EditEmailAlerts(host, kSecondMs));
        EXPECT_EQ(Get("AlertEMailSMTPPort"), "25") << port;
    }
    // The last run unchecked the informational alerts (toggled three times) and the
    // alerts themselves: the recipients go, the server stays.
    EXPECT_EQ(Get("AlertEMailSendInfo"), "No");
    EXPECT_EQ(Get("AlertEMailRecip"), "<absent>");
    EXPECT_EQ(Get("AlertEMailSMTPServer"), "127.0.0.1");
}

TEST_F(AlertsTest, WithoutAServerTheTestIsQueuedOnlyThroughARunningMmscService) {
    // No MMSC service runs here: the test message is refused, nothing is written.
    Form f;
    f.server.clear();
    EXPECT_EQ(Boxes{"If an SMTP Server is not defined, e-mail alerts can only be sent when the "
                    "MMSC Service is active"},
              RunTest(f, false));
    EXPECT_FALSE(std::filesystem::exists(data_.File("MMSCOUT/ALERTTEST1.RFC")));

    // What the queue holds when the service runs: one file per recipient.
    const auto queued = twoway::QueueTestAlerts(data_.File("MMSCOUT"), "gateway@example.test",
                                                {"ops@example.test", "oncall@example.test"});
    ASSERT_EQ(2u, queued.size());
    EXPECT_EQ(queued[1].path, data_.File("MMSCOUT/ALERTTEST2.RFC"));
    std::string text;
    ASSERT_TRUE(platform::ReadFile(queued[1].path, text));
    EXPECT_EQ(0u, text.find("To: oncall@example.test\r\nX-MMSC-RCPT-TO: oncall@example.test\r\n"
                            "Date: "))
        << text;
    EXPECT_NE(text.find(" GMT\r\nFrom: gateway@example.test\r\nX-Mailer: Quv SMS/MMS Gateway "
                        "v2022.10.03\r\nSubject:  QuvSMS Alert - Information\r\n\r\nThis is a "
                        "test alert message\r\n"),
              std::string::npos)
        << text;

    // A queue directory that cannot be made stops at the first file.
    ASSERT_TRUE(platform::WriteFileAtomic(data_.File("blocked"), "x"));
    const auto blocked = twoway::QueueTestAlerts(data_.File("blocked"), "g@x", {"a@x", "b@x"});
    ASSERT_EQ(1u, blocked.size());
    EXPECT_FALSE(blocked[0].written);
}

}  // namespace
