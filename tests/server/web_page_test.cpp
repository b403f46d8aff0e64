// Address patterns as a table, and the Web page walked through the headless host: the
// lists read with gaps and rewritten in order, refused entries, port conflicts, the keys
// Apply writes, and the SMPP server options.
#include <gtest/gtest.h>

#include "config/config_store.h"
#include "platform/ini.h"
#include "server/address_pattern.h"
#include "server/smpp_server_dialog.h"
#include "server/web_page.h"
#include "shell/core/console_page.h"
#include "shell/core/link_libraries.h"
#include "tests/support/temp_dir.h"
#include "ui/headless_host.h"

namespace {

TEST(NormaliseAddressPattern, RewritesValidPatternsAndRefusesTheRest) {
    const struct {
        const char* in;
        const char* out;  // nullptr: refused
    } cases[] = {
        {"10.1", "10.1.0.0"},          {"192.168.*", "192.168.*.0"},
        {"  1.2.3.4  ", "1.2.3.4"},    {"*", "*.0.0.0"},
        {"1*2.5", "*.5.0.0"},          {"255.255.255.255", "255.255.255.255"},
        {"1.2.3.4.5", nullptr},        {"300.1.1.1", nullptr},
        {"1. 2.3.4", nullptr},         {"::1", nullptr},
        {"fe80::1", nullptr},          {"10.0.0.1=x", nullptr},
        {"10.0.0.1\n", nullptr},       {"", nullptr},
        {"gw.example.test", nullptr},
    };
    for (const auto& c : cases) {
        std::string text = c.in;
        EXPECT_EQ(server::NormaliseAddressPattern(text), c.out != nullptr) << c.in;
        EXPECT_EQ(text, c.out ? c.out : c.in) << c.in;
    }
}

class WebPageTest : public ::testing::Test {
protected:
    void SetUp() override {
        ini_ = data_.Path() + "ZELLA.INI";
        config::SetConfigurationPath(ini_);
    }
    void TearDown() override { config::SetConfigurationPath(""); }
    std::string Key(const char* section, const char* key, const char* def = "absent") {
        return platform::GetPrivateProfileString(ini_, section, key, def);
    }
    void WithPage(const std::function<void(ui::Sheet&, ui::Page&)>& script) {
        ui::Sheet sheet("Quv SMS/MMS Gateway");
        sheet.AddPage(server::CreateWebPage());
        host_.QueueSheet([&](ui::Sheet& s) {
            script(s, s.ActivePage());
            if (!s.IsEnded()) s.PressCancel();
        });
        host_.RunSheet(sheet);
    }
    zella_test::ScopedDataDir data_{"server-web"};
    std::string ini_;
    ui::HeadlessHost host_;
};

TEST_F(WebPageTest, ListsPortsAndKeysWalkedFromOpeningToApply) {
    platform::WritePrivateProfileString(ini_, "IPRestrictions", "Allowed1", "10.0.0.0");
    platform::WritePrivateProfileString(ini_, "IPRestrictions", "Allowed3", "10.1.*.0");
    platform::WritePrivateProfileString(ini_, "IPRestrictions", "Allowed40", "10.2.0.0");
    WithPage([&](ui::Sheet& sheet, ui::Page& page) {
        EXPECT_EQ(page.Text("webPort"), "8800");
        EXPECT_TRUE(page.Checked("webMenu"));
        EXPECT_TRUE(page.Checked("webMms"));
        EXPECT_FALSE(page.Visible("webPortSSL"));  // no server certificate
        EXPECT_EQ(page.Items("ipAddress").front(), "(all available)");
        EXPECT_EQ(page.Items("allowedList"),
                  (std::vector<std::string>{"10.0.0.0", "10.1.*.0", "10.2.0.0"}));
        EXPECT_FALSE(sheet.Changed());

        page.UserSetText("allowedBox", "10.1");
        page.UserClick("AllowedAdd");
        page.UserSetText("allowedBox", "10.0.0.0");  // listed already: only cleared
        page.UserClick("AllowedAdd");
        EXPECT_EQ(page.Text("allowedBox"), "");
        page.UserSetText("blockedBox", "host=1");
        page.UserClick("BlockedAdd");
        page.UserSetText("blockedBox", "no-such-host.invalid");
        page.UserClick("BlockedAdd");
        EXPECT_EQ(page.Text("blockedBox"), "no-such-host.invalid");
        for (int i = 0; i < 300; ++i) {
            page.UserSetText("blockedBox", "172.16." + std::to_string(i / 256) + "." +
                                               std::to_string(i % 256));
            page.UserClick("BlockedAdd");
        }
        page.UserSelect("allowedList", 1);
        page.UserClick("AllowedRemove");
        EXPECT_EQ(page.Selection("allowedList"), 0);
        EXPECT_TRUE(sheet.Changed());

        page.UserSetText("webPort", "");
        EXPECT_FALSE(sheet.PressApply());
        page.UserSetText("webPort", "8800");
        page.UserSetText("smppPort", "8800");
        EXPECT_FALSE(sheet.PressApply());
        page.UserSetText("smppPort", "2775");
        page.UserSetText("ucpPort", "2775");
        EXPECT_FALSE(sheet.PressApply());
        page.UserSetText("ucpPort", "0");
        page.UserClick("webMms");
        page.UserClick("webRoute");
        EXPECT_TRUE(sheet.PressApply());
    });
    const std::string t = host_.TranscriptText();
    EXPECT_NE(t.find("at most 149 characters and no \"=\""), std::string::npos) << t;
    EXPECT_NE(t.find("box: Host name no-such-host.invalid not resolved"), std::string::npos) << t;
    EXPECT_NE(t.find("box: A port number is required to enable the web interface"), std::string::npos);
    EXPECT_EQ(Key("ZELLA", "WebPort"), "8800");
    EXPECT_EQ(Key("ZELLA", "SMPPPort"), "2775");
    EXPECT_EQ(Key("ZELLA", "UCPPort"), "absent");
    EXPECT_EQ(Key("ZELLA", "WebDisableMMS"), "Yes");
    EXPECT_EQ(Key("ZELLA", "WebDisableMMWAP"), "absent");
    EXPECT_EQ(Key("ZELLA", "WebDisplayRoute"), "No");
    EXPECT_EQ(Key("ZELLA", "IPAddress"), "absent");
    EXPECT_EQ(Key("IPRestrictions", "Allowed1"), "10.0.0.0");
    EXPECT_EQ(Key("IPRestrictions", "Allowed2"), "10.2.0.0");
    EXPECT_EQ(Key("IPRestrictions", "Allowed3"), "10.1.0.0");
    EXPECT_EQ(Key("IPRestrictions", "Allowed4"), "absent");
    EXPECT_EQ(Key("IPRestrictions", "Allowed40"), "absent");
    EXPECT_EQ(Key("IPRestrictions", "Blocked300"), "172.16.1.43");
    EXPECT_EQ(server::ReadAddressList(ini_, "Blocked").size(), 300u);

    // Blanks around a pattern, a lone "*", a blank inside, a line break and an IPv6
    // address (not a pattern: looked up as a host name, which gives it back).
    host_.ClearTranscript();
    WithPage([&](ui::Sheet& sheet, ui::Page& page) {
        for (const char* entry : {"  10.3  ", "*", "10. 4", "10.0.0.5\r\nAllowed9=10.0.0.6", "::1"}) {
            if (std::string(entry) == "::1") host_.QueueAnswer("Host name ::1 resolves to IP address ::1.", ui::kYes);
            page.UserSetText("allowedBox", entry);
            page.UserClick("AllowedAdd");
        }
        EXPECT_TRUE(sheet.PressApply());
    });
    const std::string t2 = host_.TranscriptText();
    EXPECT_NE(t2.find("box: Host name 10. 4 not resolved"), std::string::npos) << t2;
    EXPECT_NE(t2.find("at most 149 characters and no \"=\" or line break"), std::string::npos) << t2;
    EXPECT_EQ(server::ReadAddressList(ini_, "Allowed"),
              (std::vector<std::string>{"10.0.0.0", "10.2.0.0", "10.1.0.0", "10.3.0.0", "*.0.0.0", "::1"}));
    EXPECT_EQ(Key("IPRestrictions", "Allowed9"), "absent");
    EXPECT_EQ(server::ReadAddressList(ini_, "Blocked").size(), 300u);
}

// The SMPP server's character set as an operator may have typed it by hand.
TEST_F(WebPageTest, SmppOptionsFindTheStoredCharacterSetIgnoringCase) {
    const struct {
        const char* charset;
        const char* asDefault;
        int shown;
        const char* kept;
    } cases[] = {{"ia5", "", 1, "IA5"},
                 {"ISO-8859-1", "", 2, "iso-8859-1"},
                 {"Iso-8859-1", "yes", 3, "iso-8859-1"},
                 {"ISO-8859-15", "", 4, "iso-8859-15"}};
    for (const auto& c : cases) {
        platform::WritePrivateProfileString(ini_, "SMPP", "SMSCCharset", c.charset);
        platform::WritePrivateProfileString(ini_, "SMPP", "SMSCCharsetDefault", c.asDefault);
        host_.QueueDialog("DIALOG_SMPPSERVER", [&](ui::Dialog& d) {
            EXPECT_EQ(d.Selection("charset"), c.shown) << c.charset;
            d.UserClick(ui::IDOK);
        });
        server::EditSmppServerOptions(host_);
        EXPECT_EQ(Key("SMPP", "SMSCCharset"), c.kept) << c.charset;
    }
}

// A certificate generated on the SSL/TLS tab after the Web tab was filled: the SSL port
// shows its stored value, takes part in the port check and is written with its redirect.
TEST_F(WebPageTest, SslPortOfACertificateMadeAfterTheTabOpenedIsCheckedAndStored) {
    platform::WritePrivateProfileString(ini_, "ZELLA", "WebPortSSL", "8443");
    shell::SetServerCertificatePresent(false);
    ui::Sheet sheet("Quv SMS/MMS Gateway");
    sheet.AddPage(server::CreateWebPage());
    sheet.AddPage(std::make_unique<shell::EmptyPage>("DIALOG_SSL", "SSL/TLS"));
    host_.QueueSheet([&](ui::Sheet& s) {
        ui::Page& page = s.PageAt(0);
        EXPECT_FALSE(page.Visible("webPortSSL"));
        s.Activate(1);
        shell::SetServerCertificatePresent(true);
        s.Activate(0);
        EXPECT_TRUE(page.Visible("webPortSSL"));
        EXPECT_EQ(page.Text("webPortSSL"), "8443");
        page.UserSetText("webPortSSL", "8800");
        EXPECT_FALSE(s.PressApply());
        page.UserSetText("webPortSSL", "9443");
        page.UserClick("sslRedirect");
        EXPECT_TRUE(s.PressApply());
        s.End(ui::kCancel);
    });
    host_.RunSheet(sheet);
    shell::SetServerCertificatePresent(false);
    EXPECT_NE(host_.TranscriptText().find("box: Port numbers must be unique"), std::string::npos)
        << host_.TranscriptText();
    EXPECT_EQ(Key("ZELLA", "WebPortSSL"), "9443");
    EXPECT_EQ(Key("ZELLA", "SSLRedirect"), "Yes");
}

TEST_F(WebPageTest, SmppOptionsShowDefaultsAndStoreTheCharacterSetPair) {
    host_.QueueDialog("DIALOG_SMPPSERVER", [](ui::Dialog& d) {
        EXPECT_EQ(d.Text("enquireLink"), "120");
        EXPECT_EQ(d.Text("maxConnections"), "4");
        EXPECT_EQ(d.Text("charset"), "Default");
        d.UserSelect("charset", 3);
        d.UserClick("useTlv");
        d.UserSetText("enquireLink", "");
        d.UserClick(ui::IDOK);
    });
    server::EditSmppServerOptions(host_);
    EXPECT_EQ(Key("SMPP", "SMSCCharset"), "iso-8859-1");
    EXPECT_EQ(Key("SMPP", "SMSCCharsetDefault"), "Yes");
    EXPECT_EQ(Key("SMPP", "UseTLV"), "Yes");
    EXPECT_EQ(Key("ZELLA", "SMPPServerEnquireLink"), "absent");
    EXPECT_EQ(Key("ZELLA", "SMPPServerMaxConnectionsPerUser"), "4");
    host_.QueueDialog("DIALOG_SMPPSERVER", [](ui::Dialog& d) {
        EXPECT_EQ(d.Selection("charset"), 3);
        d.UserSelect("charset", 1);
        d.UserClick(ui::IDOK);
    });
    server::EditSmppServerOptions(host_);
    EXPECT_EQ(Key("SMPP", "SMSCCharset"), "IA5");
    EXPECT_EQ(Key("SMPP", "SMSCCharsetDefault"), "absent");
}

}  // namespace
