#include "smsc/smpp_dialog.h"

#include <algorithm>
#include <cctype>

#include "config/config_store.h"
#include "platform/text.h"
#include "shell/core/link_libraries.h"
#include "shell/core/service_control.h"
#include "smsc/connection_dialogs.h"
#include "smsc/connection_test.h"
#include "smsc/smpp_advanced_dialog.h"
#include "smsc/smpp_link_test.h"
#include "ui/access_keys.h"

namespace smsc {

namespace {

using platform::EqualsNoCase;

constexpr std::size_t kShortText = 149;   // host, login, address range, system type
constexpr std::size_t kSenderText = 499;  // sender address
constexpr const char* kDisabled = "(disabled)";

// Keys the main dialog computes from its fields.
bool MainKey(const std::string& key) {
    static const char* const kMain[] = {
        "RouteName",    "SMPPVersion",     "UserName",      "Password",
        "AddressRange", "SystemType",      "SenderAddress", "SenderAddressOverride",
        "Receive",      "RouteLocal",      "ReceiveMMS",    "UseSSL",
        "RoutePrefOnly", "AllowedUserOnly", "SaveRoute"};
    for (const char* k : kMain) {
        if (EqualsNoCase(key, k)) return true;
    }
    for (const char* prefix : {"Route", "AllowedUser"}) {
        const std::string p = prefix;
        if (key.size() > p.size() && platform::StartsWithNoCase(key, p) &&
            std::all_of(key.begin() + p.size(), key.end(),
                        [](char c) { return std::isdigit(static_cast<unsigned char>(c)); }))
            return true;
    }
    return false;
}

bool AdvancedKey(const std::string& key) {
    const auto& keys = SmppAdvancedKeys();
    return std::any_of(keys.begin(), keys.end(),
                       [&](const std::string& k) { return EqualsNoCase(k, key); });
}

std::string Cut(std::string text, std::size_t limit) {
    if (text.size() > limit) text.resize(limit);
    return text;
}

// The leading decimal number of a port field; -1 when there is none or it is too long.
long LeadingNumber(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    long value = 0;
    std::size_t digits = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i, ++digits) {
        if (digits >= 6) return -1;
        value = value * 10 + (text[i] - '0');
    }
    return digits ? value : -1;
}

// The value the connection test reads: the pending advanced settings, else the section.
std::string TestValue(const ConnectionValues& opened, const std::string& pendingAdvanced,
                      const char* key) {
    const std::size_t tab = pendingAdvanced.find('\t');
    if (tab != std::string::npos) {
        if (auto v = config::FindRecordValue(std::string_view(pendingAdvanced).substr(tab), key))
            return *v;
    }
    return opened.Stored(key);
}

}  // namespace

SmppSettings LoadSmppSettings(const ConnectionValues& opened, bool tlsAvailable) {
    SmppSettings s;
    unsigned port = 0;
    if (!opened.IsNew()) {
        const std::string rest = opened.Name().substr(
            std::min(opened.Name().size(), std::string(kSmppPrefix).size()));
        if (config::SplitHostPort(rest, s.host, port)) s.port = std::to_string(port);
    }
    s.routeName = opened.Value("RouteName");
    if (s.routeName.empty()) s.routeName = opened.Name();
    s.useSsl = tlsAvailable && config::IsYes(opened.Value("UseSSL"));
    s.v33 = EqualsNoCase(opened.Value("SMPPVersion"), "v3.3");
    s.userName = opened.Value("UserName");
    s.password = opened.Value("Password");
    s.addressRange = opened.Value("AddressRange");
    s.systemType = opened.Value("SystemType");
    s.senderAddress = opened.Value("SenderAddress");
    const std::string override = opened.Value("SenderAddressOverride");
    s.senderOverride = s.senderAddress.empty() || override.empty() || config::IsYes(override);
    s.receive = config::IsYes(opened.Value("Receive"));
    s.routeLocal = opened.Value("RouteLocal");
    s.receiveMms = config::IsYes(opened.Value("ReceiveMMS"));
    s.anyTraffic = !config::IsYes(opened.Value("RoutePrefOnly"));
    s.routing = LoadRoutingList(opened);
    return s;
}

std::string InitialSmppAdvanced(const ConnectionValues& opened) {
    if (opened.IsNew()) return kNewSmppAdvanced;
    std::string pending = opened.Name();
    std::vector<std::string> keys = SmppAdvancedKeys();
    keys.push_back("SaveRoute");
    for (const std::string& key : keys) {
        if (opened.HasPending(key)) pending += "\t" + key + "=" + opened.Value(key);
    }
    return pending;
}

std::string BuildSmppRecord(const ConnectionValues& opened, const std::string& newName,
                            const SmppSettings& s, const std::string& pendingAdvanced,
                            const UserAccountTest& isUserAccount) {
    RecordBuilder record(opened, newName);
    const bool isName = s.routeName == newName || (!opened.IsNew() && s.routeName == opened.Name());
    record.Put("RouteName", isName ? std::string() : s.routeName);
    const std::string version = s.v33 ? "v3.3" : "v3.4";
    if (opened.Stored("SMPPVersion") != version) record.Append("SMPPVersion", version);
    record.Put("UserName", s.userName);
    record.Put("Password", s.password);
    record.Put("AddressRange", s.addressRange);
    record.Put("SystemType", s.systemType);
    record.Put("SenderAddress", s.senderAddress);
    record.Put("SenderAddressOverride",
               s.senderAddress.empty() || s.senderOverride ? "Yes" : "No");
    record.Put("Receive", s.receive ? "Yes" : "No");
    record.Put("RouteLocal", s.receive ? s.routeLocal : std::string());
    record.Put("ReceiveMMS", s.receive && s.receiveMms ? "Yes" : "No");
    record.Put("UseSSL", s.useSsl ? "Yes" : "No");
    record.Put("RoutePrefOnly", s.anyTraffic ? "" : "Yes");
    PutRoutingList(record, s.routing, isUserAccount);
    record.PutSaveRoute();
    // The advanced pairs follow as they are; a SaveRoute among them was written above.
    const ConnectionValues advanced(pendingAdvanced);
    for (const auto& [key, value] : advanced.Pending()) {
        if (!(EqualsNoCase(key, "SaveRoute") && !opened.IsNew())) record.Append(key, value);
    }
    for (const auto& [key, value] : opened.Pending()) {
        if (!MainKey(key) && !AdvancedKey(key)) record.Append(key, value);
    }
    return record.Text();
}

ui::Template SmppTemplate() {
    using namespace ui;
    auto optional = [](const char* id) { return Static(id, "(optional)"); };
    return ui::WithAccessKeys(ui::Template{
        "DIALOG_SMPP",
        "SMPP Connection",
        {Edit("routeName", "QuvSMS Route Name:"),
         Row("serverRow", {Edit("host", "Server Host Name:"), Edit("port", "Server Port:")}),
         Row("versionRow", {Static("versionLabel", "SMPP Version:"),
                            Radio("v33", "v3.3", Flag::GroupStart), Radio("v34", "v3.4"),
                            Check("useSsl", "Use SSL/TLS")}),
         Row("loginRow", {Edit("userName", "User Name:"),
                          Edit("password", "Password:", Flag::Password)}),
         Row("rangeRow", {Edit("addressRange", "Address Range:"), optional("rangeOpt"),
                          Edit("systemType", "System Type:"), optional("typeOpt")}),
         Row("senderRow", {Edit("senderAddress", "Sender Address:"), optional("senderOpt")}),
         Check("senderOverride", "Allow Sender Address Override", Flag::Disabled),
         Row("receiveRow", {Check("receive", "Receive SMS Messages"),
                            Combo("routeLocal", "Route SMS to Local User:")}),
         Row("mmsRow", {Check("receiveMms", "Recieve MMS Messages"),
                        Button("mms", "MMS Settings...")}),
         RoutingGroup("Routing"),
         Row("buttonRow", {Button("advanced", "Advanced Settings..."),
                           Button(IDOK, "OK", Flag::Default), Button(IDCANCEL, "Cancel")})}});
}

namespace {

class SmppDialog : public ui::Dialog {
public:
    SmppDialog(const std::string& record, const SmppDialogServices& services)
        : ui::Dialog(SmppTemplate()), record_(record), opened_(record), services_(services),
          advanced_(InitialSmppAdvanced(opened_)) {}

    void OnInit() override {
        const bool tls = services_.tlsAvailable ? services_.tlsAvailable() : shell::TlsAvailable();
        Show("useSsl", tls);
        std::vector<std::string> users{kDisabled};
        for (std::string& user : UserAccountNames()) users.push_back(std::move(user));
        SetItems("routeLocal", std::move(users));
        ShowSettings(LoadSmppSettings(opened_, tls));
        UpdateSender();
        UpdateReceive();
        Focus(opened_.IsNew() ? "host" : "routeName");
    }

    void OnCommand(const std::string& id, ui::Event event) override {
        if (id == "senderAddress" && event == ui::Event::Changed) UpdateSender();
        if (event != ui::Event::Clicked) return;
        if (id == "receive" || id == "receiveMms") {
            UpdateReceive();
        } else if (id == "mms") {
            // The MMS settings belong to a stored connection.
            if (!opened_.IsNew()) EditMmsSettings(GetHost(), record_);
        } else if (id == "advanced") {
            std::string pending = advanced_;
            if (EditSmppAdvanced(GetHost(), pending) && !pending.empty()) advanced_ = pending;
        } else if (id == kRoutingAdd) {
            RoutingListAdd(*this);
        } else if (id == kRoutingRemove) {
            RoutingListRemove(*this);
        }
    }

    void OnOk() override {
        SmppSettings s = Collect();
        if (s.host.empty()) return Refuse("Field is required", "host");
        if (s.port.empty()) return Refuse("Field is required", "port");
        const long port = LeadingNumber(s.port);
        if (port <= 0 || port > 65535) return Refuse("Invalid Port Number", "port");
        const unsigned portNumber = static_cast<unsigned>(port);
        if (!EqualsNoCase(LinkConnectionName(kSmppPrefix, s.host, portNumber), opened_.Name())) {
            const auto names = services_.connectionNames ? services_.connectionNames()
                                                         : PageConnectionNames();
            s.host = UniqueLinkHost(kSmppPrefix, s.host, portNumber, names);
        }
        if (ShouldTestConnection(GetHost(), !opened_.IsNew(), services_.serviceActive)) {
            const SmppTestResult result = RunSmppTest(GetHost(), TestSettings(s, portNumber));
            if (!result.passed) {
                if (!AskSaveConnection(GetHost(), result.failure)) return Focus("host");
            } else if (shell::SmppLink()) {
                ui::Info(GetHost(), "SMPP Connection OK");
            }
        }
        const ConnectionValues current(record_);  // MMS settings may have added pairs
        result = BuildSmppRecord(current, LinkConnectionName(kSmppPrefix, s.host, portNumber),
                                 s, advanced_, UserAccountLookup());
        End(ui::kOk);
    }

    std::string result;

private:
    void ShowSettings(const SmppSettings& s) {
        SetText("routeName", s.routeName);
        SetText("host", s.host);
        SetText("port", s.port);
        SetChecked("useSsl", s.useSsl);
        SetChecked(s.v33 ? "v33" : "v34", true);
        SetText("userName", s.userName);
        SetText("password", s.password);
        SetText("addressRange", s.addressRange);
        SetText("systemType", s.systemType);
        SetText("senderAddress", s.senderAddress);
        SetChecked("senderOverride", s.senderOverride);
        SetChecked("receive", s.receive);
        const int user = s.routeLocal.empty() ? -1 : FindItem("routeLocal", s.routeLocal);
        if (user > 0) SetSelection("routeLocal", user);
        SetChecked("receiveMms", s.receiveMms);
        SetChecked(kRoutingAnyTraffic, s.anyTraffic);
        SetItems(kRoutingList, s.routing);
    }

    SmppSettings Collect() const {
        SmppSettings s;
        s.routeName = Text("routeName");
        s.host = Cut(Text("host"), kShortText);
        s.port = Text("port");
        s.useSsl = Visible("useSsl") && Checked("useSsl");
        s.v33 = Checked("v33");
        s.userName = Cut(Text("userName"), kShortText);
        s.password = Cut(Text("password"), kShortText);
        s.addressRange = Cut(Text("addressRange"), kShortText);
        s.systemType = Cut(Text("systemType"), kShortText);
        s.senderAddress = Cut(Text("senderAddress"), kSenderText);
        s.senderOverride = Checked("senderOverride");
        s.receive = Checked("receive");
        s.routeLocal = Selection("routeLocal") > 0 ? Text("routeLocal") : std::string();
        s.receiveMms = Checked("receiveMms");
        s.anyTraffic = Checked(kRoutingAnyTraffic);
        s.routing = Items(kRoutingList);
        return s;
    }

    SmppTestSettings TestSettings(const SmppSettings& s, unsigned port) const {
        SmppTestSettings t;
        t.host = s.host;
        t.port = port;
        t.useTls = s.useSsl;
        t.version = s.v33 ? 0x33 : 0x34;
        t.userName = s.userName;
        t.password = s.password;
        t.addressRange = s.addressRange;
        t.systemType = s.systemType;
        t.receive = s.receive;
        t.receiveSingleConnection = TestValue(opened_, advanced_, "ReceiveSingleConnection");
        t.transmitterCount = TestValue(opened_, advanced_, "TransmitterCount");
        t.senderPort = TestValue(opened_, advanced_, "SenderPort");
        t.receiverPort = TestValue(opened_, advanced_, "ReceiverPort");
        t.bindTon = TestValue(opened_, advanced_, "BindTON");
        t.bindNpi = TestValue(opened_, advanced_, "BindNPI");
        return t;
    }

    void Refuse(const char* text, const char* focus) {
        ui::Error(GetHost(), text);
        Focus(focus);
    }

    void UpdateSender() {
        const bool any = !Text("senderAddress").empty();
        if (!any) SetChecked("senderOverride", true);
        Enable("senderOverride", any);
    }

    void UpdateReceive() {
        const bool receive = Checked("receive");
        Enable("routeLocal", receive);
        Enable("receiveMms", receive);
        Enable("mms", receive && Checked("receiveMms"));
    }

    std::string record_;
    const ConnectionValues opened_;
    SmppDialogServices services_;
    std::string advanced_;  // the pending advanced settings
};

}  // namespace

bool RunSmppDialog(ui::Host& host, std::string& record, const SmppDialogServices& services) {
    SmppDialog dialog(record, services);
    if (host.RunModal(dialog) != ui::kOk) return false;
    record = dialog.result;
    return true;
}

}  // namespace smsc
