#include "smsc/ucp_cimd_dialog.h"

#include <algorithm>
#include <cctype>
#include <optional>

#include "config/config_store.h"
#include "platform/text.h"
#include "shell/core/link_libraries.h"
#include "shell/core/service_control.h"
#include "smsc/connection_dialogs.h"
#include "smsc/connection_edit.h"
#include "smsc/ucp_cimd_connect.h"

namespace smsc {
namespace {

constexpr std::size_t kShortField = 149;
constexpr std::size_t kLongField = 499;
constexpr const char* kDisabledUser = "(disabled)";
constexpr const char* kServiceActiveQuestion =
    "Gateway service is active.  Do you wish to test the SMSC connection?";

bool SameText(const std::string& a, const std::string& b) { return platform::EqualsNoCase(a, b); }

// Keys this dialog computes itself; any other pending pair (the MMS settings) is
// carried through unchanged so that OK does not drop it.
bool OwnedKey(const std::string& key) {
    static const char* const kOwned[] = {
        "RouteName", "UserName", "Password", "Receive", "ReceiveMMS", "LocalPort",
        "ReceivePort", "RouteLocal", "KeepAlive", "SenderPrefix", "SenderAddress",
        "SenderAddressOverride", "RoutePrefOnly", "AllowedUserOnly", "SaveRoute"};
    for (const char* owned : kOwned) {
        if (SameText(key, owned)) return true;
    }
    for (const char* numbered : {"Route", "AllowedUser"}) {
        const std::size_t n = std::string(numbered).size();
        if (key.size() > n && SameText(key.substr(0, n), numbered) &&
            std::all_of(key.begin() + n, key.end(), [](unsigned char c) { return std::isdigit(c); }))
            return true;
    }
    return false;
}

std::string Decimal(std::uint64_t n) { return n == 0 ? std::string() : std::to_string(n); }

class LinkDialog : public ui::Dialog {
public:
    LinkDialog(LinkKind kind, const std::string& record, const LinkDialogServices& services)
        : ui::Dialog(kind == LinkKind::Ucp ? UcpConnectionTemplate() : CimdConnectionTemplate()),
          kind_(kind), record_(record), opened_(record), services_(services) {}

    void OnInit() override;
    void OnCommand(const std::string& id, ui::Event event) override;
    void OnOk() override;

    std::string result;

private:
    bool Ucp() const { return kind_ == LinkKind::Ucp; }
    const char* Prefix() const { return Ucp() ? "UCP - " : "CIMD - "; }
    std::string Field(const std::string& id, std::size_t max = kShortField) const {
        return SingleLine(Text(id), max);
    }
    void UpdateEnabling();
    // A port field that must be empty or 1..65535; false (after saying so) otherwise.
    bool OptionalPortValid(const std::string& id);
    std::optional<LinkTestOutcome> RunTest(const std::string& host, unsigned port);
    std::string BuildRecord(const std::string& name);

    LinkKind kind_;
    std::string record_;  // as opened, with any MMS settings edited since
    ConnectionValues opened_;
    LinkDialogServices services_;
};

void LinkDialog::OnInit() {
    const ConnectionValues& v = opened_;
    if (!v.IsNew()) {
        std::string hostPort = v.Name().substr(std::min(v.Name().size(), std::string(Prefix()).size()));
        std::string host;
        unsigned port = 0;
        const bool hasPort = config::SplitHostPort(hostPort, host, port);
        SetText("host", host);
        if (hasPort) SetText("port", std::to_string(port));
    }
    const std::string routeName = v.Value("RouteName");
    SetText("routeName", routeName.empty() ? v.Name() : routeName);
    SetText("user", v.Value("UserName"));
    SetText("password", v.Value("Password"));
    const std::string sender = v.Value("SenderAddress");
    SetText("senderAddress", sender);
    const std::string override = v.Value("SenderAddressOverride");
    SetChecked("senderOverride", sender.empty() || override.empty() || config::IsYes(override));
    SetText("keepAlive", v.Value("KeepAlive"));
    if (Ucp()) {
        SetText("localPort", v.Value("LocalPort"));
        SetText("receivePort", v.Value("ReceivePort"));
    } else {
        SetText("senderPrefix", v.Value("SenderPrefix"));
    }
    SetChecked("receive", config::IsYes(v.Value("Receive")));
    std::vector<std::string> users{kDisabledUser};
    for (std::string& user : UserAccountNames()) users.push_back(std::move(user));
    SetItems("routeLocal", std::move(users));
    const std::string routeLocal = v.Value("RouteLocal");
    if (!routeLocal.empty()) SetSelection("routeLocal", FindItem("routeLocal", routeLocal));
    SetChecked("receiveMms", config::IsYes(v.Value("ReceiveMMS")));
    SetChecked(kRoutingAnyTraffic, !config::IsYes(v.Value("RoutePrefOnly")));
    SetItems(kRoutingList, LoadRoutingList(v));
    UpdateEnabling();
    Focus("host");
}

void LinkDialog::UpdateEnabling() {
    const bool receive = Checked("receive");
    for (const char* id : {"routeLocal", "receiveMms"}) Enable(id, receive);
    if (Ucp()) {
        Enable("receivePort", receive);
        Enable("receivePortNote", receive);
    }
    Enable("mms", receive && Checked("receiveMms"));
    const bool hasSender = !Field("senderAddress", kLongField).empty();
    Enable("senderOverride", hasSender);
    if (!hasSender) SetChecked("senderOverride", true);
}

void LinkDialog::OnCommand(const std::string& id, ui::Event event) {
    if (id == "senderAddress" && event == ui::Event::Changed) {
        UpdateEnabling();
    } else if (event != ui::Event::Clicked) {
        return;
    } else if (id == "receive" || id == "receiveMms") {
        UpdateEnabling();
    } else if (id == "mms") {
        // Only a connection that is stored has MMS settings to edit.
        if (!opened_.IsNew()) EditMmsSettings(GetHost(), record_);
    } else if (id == kRoutingAdd) {
        RoutingListAdd(*this);
    } else if (id == kRoutingRemove) {
        RoutingListRemove(*this);
    }
}

bool LinkDialog::OptionalPortValid(const std::string& id) {
    if (Field(id).empty()) return true;
    const std::uint64_t port = LeadingNumber(Field(id));
    if (port >= 1 && port <= 65535) return true;
    ui::Error(GetHost(), "Invalid Port Number");
    Focus(id);
    return false;
}

std::optional<LinkTestOutcome> LinkDialog::RunTest(const std::string& host, unsigned port) {
    if (!services_.linkAvailable()) return std::nullopt;
    LinkTestTarget target{host, port, 0, Field("user"), Field("password")};
    if (Ucp()) target.localPort = static_cast<unsigned>(LeadingNumber(Field("localPort")));
    auto busy = GetHost().BusyCursor();
    return Ucp() ? TestUcpConnection(GetHost(), target) : TestCimdConnection(GetHost(), target);
}

void LinkDialog::OnOk() {
    std::string host = Field("host");
    if (host.empty()) {
        ui::Error(GetHost(), "Field is required");
        Focus("host");
        return;
    }
    if (Field("port").empty()) {
        ui::Error(GetHost(), "Field is required");
        Focus("port");
        return;
    }
    const std::uint64_t port = LeadingNumber(Field("port"));
    if (port == 0 || port > 65535) {
        ui::Error(GetHost(), "Invalid Port Number");
        Focus("port");
        return;
    }
    std::string name = LinkConnectionName(Prefix(), host, static_cast<unsigned>(port));
    if (!SameText(name, opened_.Name())) {
        host = UniqueLinkHost(Prefix(), host, static_cast<unsigned>(port), PageConnectionNames());
        name = LinkConnectionName(Prefix(), host, static_cast<unsigned>(port));
    }
    if (Ucp() && Checked("receive") && !OptionalPortValid("receivePort")) return;
    if (Ucp() && !OptionalPortValid("localPort")) return;
    const bool test = opened_.IsNew() || !services_.serviceActive() ||
                      ui::Ask(GetHost(), kServiceActiveQuestion, ui::Buttons::YesNo, 1) == ui::kYes;
    if (test) {
        const std::optional<LinkTestOutcome> outcome = RunTest(host, static_cast<unsigned>(port));
        if (outcome && !outcome->Passed()) {
            if (ui::Ask(GetHost(), outcome->failure, ui::Buttons::YesNo, 1) != ui::kYes) {
                Focus(outcome->focus);
                return;
            }
        } else if (outcome) {
            ui::Info(GetHost(), Ucp() ? "UCP Connection OK" : "CIMD Connection OK");
        }
    }
    result = BuildRecord(name);
    End(ui::kOk);
}

std::string LinkDialog::BuildRecord(const std::string& name) {
    RecordBuilder r(opened_, name);
    const bool receive = Checked("receive");
    const std::string routeName = Text("routeName");
    const std::string sender = Field("senderAddress", kLongField);
    const std::string routeLocal =
        receive && Selection("routeLocal") > 0 ? Text("routeLocal") : std::string();
    const std::string receiveMms = receive && Checked("receiveMms") ? "Yes" : "No";
    const std::string keepAlive = Decimal(LeadingNumber(Field("keepAlive")));
    r.Put("RouteName", routeName == name ? std::string() : SingleLine(routeName, kLongField));
    r.Put("UserName", Field("user"));
    r.Put("Password", Field("password"));
    r.Put("Receive", receive ? "Yes" : "No");
    if (Ucp()) {
        r.Put("ReceiveMMS", receiveMms);
        r.Put("LocalPort", Decimal(LeadingNumber(Field("localPort"))));
        r.Put("ReceivePort", receive ? Decimal(LeadingNumber(Field("receivePort"))) : "");
        r.Put("RouteLocal", routeLocal);
        r.Put("KeepAlive", keepAlive);
    } else {
        r.Put("RouteLocal", routeLocal);
        r.Put("ReceiveMMS", receiveMms);
        r.Put("KeepAlive", keepAlive);
        r.Put("SenderPrefix", Field("senderPrefix"));
    }
    r.Put("SenderAddress", sender);
    r.Put("SenderAddressOverride", sender.empty() || Checked("senderOverride") ? "Yes" : "No");
    r.Put("RoutePrefOnly", Checked(kRoutingAnyTraffic) ? "" : "Yes");
    PutRoutingList(r, Items(kRoutingList), UserAccountLookup());
    const ConnectionValues opened(record_);
    for (const auto& [key, value] : opened.Pending()) {
        if (!OwnedKey(key)) r.Append(key, value);
    }
    r.PutSaveRoute();
    return r.Text();
}

}  // namespace

std::uint64_t LeadingNumber(const std::string& text) {
    std::size_t i = text.find_first_not_of(" \t");
    std::uint64_t value = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        value = std::min<std::uint64_t>(value * 10 + static_cast<unsigned>(text[i] - '0'), 1u << 30);
    }
    return value;
}

std::string SingleLine(const std::string& text, std::size_t maxChars) {
    std::string out;
    for (char c : text) {
        if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7f) out += c;
    }
    if (out.size() > maxChars) out.resize(maxChars);
    return out;
}

LinkDialogServices DefaultLinkDialogServices(LinkKind kind) {
    LinkDialogServices s;
    s.serviceActive = [] { return shell::IsGatewayServiceActive(); };
    if (kind == LinkKind::Ucp)
        s.linkAvailable = [] { return shell::UcpLink() != nullptr; };
    else
        s.linkAvailable = [] { return shell::CimdLink() != nullptr; };
    return s;
}

bool EditLinkConnection(ui::Host& host, std::string& record, LinkKind kind,
                        const LinkDialogServices& services) {
    if (!services.linkAvailable()) return false;
    LinkDialog dialog(kind, record, services);
    if (host.RunModal(dialog) != ui::kOk) return false;
    record = dialog.result;
    return true;
}

}  // namespace smsc
