#include "server/web_page.h"

#include "accounts/user_editor.h"
#include "ui/long_operation.h"

#include <algorithm>

#include "acctdb/acctdb.h"
#include "config/config_store.h"
#include "platform/ini.h"
#include "platform/net_interfaces.h"
#include "platform/text.h"
#include "server/address_pattern.h"
#include "server/smpp_server_dialog.h"
#include "shell/core/link_libraries.h"
#include "shell/core/service_control.h"
#include "ui/host.h"
#include "ui/access_keys.h"

namespace server {
namespace {

constexpr const char* kAllAddresses = "(all available)";

struct CheckKey {
    const char* id;
    const char* key;
    bool inverted;  // the key disables what the box enables
    bool defaultOn;
};
constexpr CheckKey kChecks[] = {
    {"webMenu", "WebMenu", false, true},
    {"webAuth", "WebAuth", false, true},
    {"webMms", "WebDisableMMS", true, true},
    {"webMmwap", "WebDisableMMWAP", true, true},
    {"webAdv", "WebDisableAdvOption", true, true},
    {"webSender", "WebDisplaySender", false, true},
    {"webRoute", "WebDisplayRoute", false, true},
};

struct ListIds {
    const char* box;
    const char* list;
    const char* prefix;
};
constexpr ListIds kAllowed{"allowedBox", "allowedList", "Allowed"};
constexpr ListIds kBlocked{"blockedBox", "blockedList", "Blocked"};

ui::Control AddressList(const ListIds& ids, const char* title, const char* boxLabel) {
    using namespace ui;
    const std::string p = ids.prefix;
    return Group(p + "Group", title,
                 {Row(p + "AddRow", {Edit(ids.box, boxLabel), Button(p + "Add", "Add")}),
                  List(ids.list, ""), Button(p + "Remove", "Remove")});
}

}  // namespace

ui::Template WebPageTemplate() {
    using namespace ui;
    Template t{"DIALOG_WEB", "Web", {}};
    t.controls = {
        Group("webGroup", "Web Interface",
              {Row("webPorts", {Edit("webPort", "Port number for Web Interface:", Flag::Number),
                                Edit("webPortSSL", "SSL port number for web interface:",
                                     Flag::Number | Flag::Hidden),
                                Check("sslRedirect", "SSL Redirect only", Flag::Hidden)}),
               Combo("ipAddress", "IP Address for web interface:"),
               Check("webMenu", "Enable menu driven web interface"),
               Check("webAuth", "Require Authentication for web interface"),
               Check("webMms", "Enable MMS in web interface"),
               Check("webMmwap", "Enable Web Linked Multimedia in web interface"),
               Check("webAdv", "Enable Developer Options in web interface"),
               Check("webSender", "Display Sender/From in web interface"),
               Check("webRoute", "Display Message Route Selection in web interface"),
               Button("access", "Access Web Interface")}),
        Group("serverGroup", "Servers",
              {Static("note", "Leave a port number blank to disable that server.", Flag::Wide),
               Row("smppPorts", {Edit("smppPort", "Port number for SMPP Server:", Flag::Number),
                                 Edit("smppPortSSL", "SSL port number for SMPP Server:",
                                      Flag::Number | Flag::Hidden),
                                 Button("smppOptions", "SMPP Options...")}),
               Edit("ucpPort", "Port number for UCP/EMI Server:", Flag::Number)}),
        Row("ipLists",
            {AddressList(kAllowed, "Allowed IP Addresses (web interface)", "Allow:"),
             AddressList(kBlocked, "Blocked IP Addresses (web interface)", "Block:")}),
    };
    return ui::WithAccessKeys(t, ui::kSheetAccessKeys);
}

WebPage::WebPage() : ConsolePage(WebPageTemplate()) {}

void WebPage::ShowTlsFields() {
    const bool tls = shell::TlsAvailable();
    const bool cert = shell::ServerCertificatePresent();
    Show("smppPortSSL", tls);
    Show("webPortSSL", cert);
    Show("sslRedirect", cert);
}

void WebPage::OnInit() {
    ShowTlsFields();
    certificate_ = shell::ServerCertificatePresent();
    std::string ssl;
    if (certificate_) {
        ssl = NormalisedText(NormalisedNumber(config::ReadZellaKey("WebPortSSL")));
        SetText("webPortSSL", ssl);
    }
    SetText("webPort", NormalisedText(NormalisedNumber(
                           config::ReadZellaKey("WebPort", ssl.empty() ? "8800" : ""))));
    if (certificate_ && !ssl.empty())
        SetChecked("sslRedirect", config::IsYes(config::ReadZellaKey("SSLRedirect", "No")));
    for (const CheckKey& c : kChecks) {
        const std::string value = config::ReadZellaKey(c.key, c.inverted ? "" : "Yes");
        SetChecked(c.id, config::IsYes(value) != c.inverted);
    }
    for (const char* id : {"smppPort", "ucpPort"})
        SetText(id, NormalisedText(NormalisedNumber(
                        config::ReadZellaKey(id == std::string("smppPort") ? "SMPPPort" : "UCPPort"))));
    if (shell::TlsAvailable())
        SetText("smppPortSSL", NormalisedText(NormalisedNumber(config::ReadZellaKey("SMPPPortSSL"))));
    for (const ListIds* ids : {&kAllowed, &kBlocked})
        SetItems(ids->list, ReadAddressList(config::ConfigurationPath(), ids->prefix));

    std::vector<std::string> addresses{kAllAddresses};
    for (std::string& a : platform::LocalInterfaceAddresses(100)) addresses.push_back(std::move(a));
    const std::string stored = config::ReadZellaKey("IPAddress");
    int selected = 0;
    for (std::size_t i = 1; i < addresses.size(); ++i)
        if (!stored.empty() && platform::EqualsNoCase(addresses[i], stored)) selected = static_cast<int>(i);
    // A stored address this machine no longer has stays listed, so Apply keeps it.
    if (selected == 0 && !stored.empty()) {
        addresses.push_back(stored);
        selected = static_cast<int>(addresses.size()) - 1;
    }
    SetItems("ipAddress", addresses);
    SetSelection("ipAddress", selected);
}

void WebPage::OnSetActive() {
    ShowTlsFields();
    // A certificate generated on the SSL/TLS tab since this page was filled brings the SSL
    // port into play: it is filled from the store, checked against the other ports and
    // written like any field shown from the start.
    if (!certificate_ && shell::ServerCertificatePresent()) {
        certificate_ = true;
        const std::string ssl = NormalisedText(NormalisedNumber(config::ReadZellaKey("WebPortSSL")));
        SetText("webPortSSL", ssl);
        SetChecked("sslRedirect",
                   !ssl.empty() && config::IsYes(config::ReadZellaKey("SSLRedirect", "No")));
    }
}

void WebPage::OnCommand(const std::string& id, ui::Event event) {
    if (event == ui::Event::Changed &&
        (id == "webPort" || id == "webPortSSL" || id == "smppPort" || id == "smppPortSSL" ||
         id == "ucpPort")) {
        return SettingChanged();
    }
    if (event == ui::Event::SelChanged && id == "ipAddress") return SettingChanged();
    if (event != ui::Event::Clicked) return;
    if (id == "sslRedirect") return SettingChanged();
    for (const CheckKey& c : kChecks)
        if (id == c.id) return SettingChanged();
    if (id == "AllowedAdd") return AddAddress(true);
    if (id == "BlockedAdd") return AddAddress(false);
    if (id == "AllowedRemove") return RemoveAddress(true);
    if (id == "BlockedRemove") return RemoveAddress(false);
    if (id == "smppOptions") return EditSmppServerOptions(GetHost());
    if (id == "access") return AccessWebInterface();
}

void WebPage::AddAddress(bool allowed) {
    const ListIds& ids = allowed ? kAllowed : kBlocked;
    std::string text = Text(ids.box);
    if (text.empty()) return;
    const auto listed = [&](const std::string& entry) {
        const auto& items = Items(ids.list);
        return std::any_of(items.begin(), items.end(),
                           [&](const std::string& i) { return platform::EqualsNoCase(i, entry); });
    };
    if (listed(text)) return SetText(ids.box, "");
    if (text.size() > kAddressMax || !IsStorableEntry(text)) {
        ui::Error(GetHost(), "An address may hold at most 149 characters and no \"=\" or line break");
        return Focus(ids.box);
    }
    if (!NormaliseAddressPattern(text)) {
        std::string address;
        {
            const auto wait = GetHost().BusyCursor();
            address = platform::ResolveHostAddress(text);
        }
        if (address.empty()) {
            ui::Error(GetHost(), "Host name " + text + " not resolved");
            return;
        }
        const std::string question = "Host name " + text + " resolves to IP address " + address +
                                     ".\r\nAdd to " + (allowed ? "allowed" : "blocked") + " list?";
        if (ui::Ask(GetHost(), question) != ui::kYes) return;
        text = address;
    }
    if (!listed(text)) {
        AddItem(ids.list, text);
        MarkChanged();
    }
    SetText(ids.box, "");
}

void WebPage::RemoveAddress(bool allowed) {
    const ListIds& ids = allowed ? kAllowed : kBlocked;
    const int selected = Selection(ids.list);
    if (selected < 0) return;
    RemoveItem(ids.list, selected);
    if (!Items(ids.list).empty()) SetSelection(ids.list, selected > 0 ? selected - 1 : 0);
    MarkChanged();
}

bool WebPage::OnApply() {
    const auto fail = [&](const char* message, const char* focus) {
        ui::Error(GetHost(), message);
        Focus(focus);
        return false;
    };
    const unsigned w = NormalisedNumber(Text("webPort"));
    const unsigned s = certificate_ ? NormalisedNumber(Text("webPortSSL")) : 0;
    if (w == 0 && s == 0) return fail("A port number is required to enable the web interface", "webPort");
    if (w == s) return fail("Port numbers must be unique", "webPortSSL");
    const unsigned p = NormalisedNumber(Text("smppPort"));
    const unsigned t = shell::TlsAvailable() ? NormalisedNumber(Text("smppPortSSL")) : 0;
    const unsigned u = NormalisedNumber(Text("ucpPort"));
    const auto among = [](unsigned v, std::initializer_list<unsigned> others) {
        return v != 0 && std::find(others.begin(), others.end(), v) != others.end();
    };
    if (among(p, {w, s})) return fail("Port numbers must be unique", "smppPort");
    if (among(t, {w, s, p})) return fail("Port numbers must be unique", "smppPortSSL");
    if (among(u, {w, s, p, t})) return fail("Port numbers must be unique", "ucpPort");
    if (!WriteSettings()) {
        ui::Error(GetHost(), "Unable to save the web settings to " + config::ConfigurationPath());
        return false;
    }
    return true;
}

bool WebPage::WriteSettings() {
    const std::string path = config::ConfigurationPath();
    platform::IniBatch batch(path);
    const auto put = [&](const char* key, const std::string& value) {
        if (value.empty()) batch.DeleteKey("ZELLA", key);
        else batch.Write("ZELLA", key, value);
    };
    const std::string ssl = certificate_ ? NormalisedText(NormalisedNumber(Text("webPortSSL"))) : "";
    // Written even when empty: an empty value is what turns the plain web port off.
    batch.Write("ZELLA", "WebPort", NormalisedText(NormalisedNumber(Text("webPort"))));
    if (certificate_) {
        put("WebPortSSL", ssl);
        put("SSLRedirect", !ssl.empty() && Checked("sslRedirect") ? "Yes" : "");
    }
    const int address = Selection("ipAddress");
    put("IPAddress", address > 0 ? Items("ipAddress")[static_cast<std::size_t>(address)] : "");
    for (const CheckKey& c : kChecks) {
        if (c.inverted) put(c.key, Checked(c.id) ? "" : "Yes");
        else put(c.key, Checked(c.id) ? "Yes" : "No");
    }
    put("SMPPPort", NormalisedText(NormalisedNumber(Text("smppPort"))));
    if (shell::TlsAvailable()) put("SMPPPortSSL", NormalisedText(NormalisedNumber(Text("smppPortSSL"))));
    put("UCPPort", NormalisedText(NormalisedNumber(Text("ucpPort"))));
    if (!batch.Commit()) return false;
    return WriteAddressList(path, kAllowed.prefix, Items(kAllowed.list)) &&
           WriteAddressList(path, kBlocked.prefix, Items(kBlocked.list));
}

void WebPage::AccessWebInterface() {
    ui::Host& host = GetHost();
    if (!shell::IsGatewayServiceActive()) return ui::Error(host, "QuvSMS Service is not active");
    if (config::IsYes(config::ReadZellaKey("WebAuth", "Yes"))) {
        acctdb::UserHandle users = 0;
        if (acctdb::SMSOpenUserFile(&users, acctdb::GENERIC_READ | acctdb::GENERIC_WRITE) == 0) return;
        acctdb::UserRecord first{};
        bool any = acctdb::SMSGetUserRecord(users, 0, &first) != 0;
        if (!any && ui::Ask(host, "No user accounts are defined.\r\nCreate a user account to "
                                  "access the web interface?",
                            ui::Buttons::YesNo) == ui::kYes) {
            acctdb::UserRecord record{};
            if (accounts::EditUser(host, record, users) == 1) {
                // A service holding the store's write lock makes the add wait.
                ui::RunLong(host, "Saving the account...",
                            [&](ui::Host&) { acctdb::SMSAddUser(users, record); });
            }
            any = acctdb::SMSGetUserRecord(users, 0, &first) != 0;
        }
        acctdb::SMSCloseUserFile(users);
        // A login-protected interface with nobody to let in is not worth opening.
        if (!any) return;
    }
    unsigned port = NormalisedNumber(config::ReadZellaKey("WebPort"));
    if (port == 0) port = 8800;
    std::string address = config::ReadZellaKey("IPAddress");
    if (address.empty()) address = "127.0.0.1";
    if (address.find(':') != std::string::npos) address = "[" + address + "]";
    host.ShellOpen("http://" + address + ":" + std::to_string(port) + "/", "./");
}

std::unique_ptr<ui::Page> CreateWebPage() { return std::make_unique<WebPage>(); }

}  // namespace server
