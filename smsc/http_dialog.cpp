#include "smsc/http_dialog.h"

#include <algorithm>
#include <cctype>

#include "config/config_store.h"
#include "platform/charsets.h"
#include "platform/text.h"
#include "smsc/connection_dialogs.h"
#include "smsc/connection_edit.h"
#include "smsc/http_connect.h"
#include "smsc/http_templates.h"
#include "smsc/ucp_cimd_dialog.h"

namespace smsc {
namespace {

constexpr std::size_t kShortField = 149;
constexpr std::size_t kLongField = 499;
constexpr const char* kPrefix = "HTTP - ";
constexpr const char* kDefaultCharset = "utf-8";
constexpr const char* kTemplateIds[] = {"templateText", "templateBinary"};

bool SameText(const std::string& a, const std::string& b) { return platform::EqualsNoCase(a, b); }

class HttpDialog : public ui::Dialog {
public:
    explicit HttpDialog(const std::string& record)
        : ui::Dialog(HttpConnectionTemplate()), opened_(record) {}

    void OnInit() override;
    void OnCommand(const std::string& id, ui::Event event) override;
    void OnOk() override;

    std::string result;

private:
    std::string Field(const std::string& id, std::size_t max = kShortField) const {
        return SingleLine(Text(id), max);
    }
    bool IsDirectoryType() const {
        BuiltInServerType unused{};
        const std::string type = Text("serverType");
        return type != kServerTypeCustom && !FindBuiltInServerType(type, &unused);
    }
    void ShowTemplates(bool visible) {
        for (const char* id : kTemplateIds) Show(id, visible);
    }
    void SelectCharset(std::string name);
    void SetProxy(const std::string& proxy) {
        SetChecked("useProxy", !proxy.empty());
        SetText("proxy", proxy);
        Enable("proxy", !proxy.empty());
    }
    void UpdateSenderOverride();
    void ApplyServerType(bool byOperator);
    void PrefillFromDirectory(const std::string& directory);
    // The template checks of OK; false (after saying so) when one fails.
    bool TemplatesValid();
    std::string BuildRecord(const std::string& name, const ServerUrl& url);

    ConnectionValues opened_;
    int selfChange_ = 0;  // > 0 while the dialog itself changes fields
};

void HttpDialog::OnInit() {
    ++selfChange_;
    const ConnectionValues& v = opened_;
    SetItems("serverType", ServerTypeNames());
    const std::string storedType = v.Value("ServerType");
    int type = storedType.empty() ? -1 : FindItem("serverType", storedType);
    SetSelection("serverType", type < 0 ? 0 : type);
    if (!v.IsNew()) {
        std::string host;
        const bool ssl = config::IsYes(v.Value("UseSSL"));
        unsigned port = ssl ? 443 : 80;
        config::SplitHostPort(v.Name().substr(std::min(v.Name().size(), std::string(kPrefix).size())),
                              host, port);
        SetText("url", ComposeServerUrl(ssl, host, port, v.Value("RootURL")));
    }
    const std::string routeName = v.Value("RouteName");
    SetText("routeName", routeName.empty() ? v.Name() : routeName);
    SetProxy(v.Value("HTTPProxy"));
    SetText("user", v.Value("UserName"));
    SetText("password", v.Value("Password"));
    SetChecked("httpAuth", config::IsYes(v.Value("HTTPUseAuth")));
    SetText("templateText", v.Value("TemplateText"));
    SetText("templateBinary", v.Value("TemplateBinary"));
    const std::string sender = v.Value("SenderAddress");
    SetText("senderAddress", sender);
    const std::string override = v.Value("SenderAddressOverride");
    SetChecked("senderOverride", sender.empty() || override.empty() || config::IsYes(override));
    SetChecked("removePlus", config::IsYes(v.Value("RemovePlus")));
    SetChecked("sendLong", config::IsYes(v.Value("SendLongMessage")));
    SetChecked("longTextAsText", !v.IsNew() && !config::IsYes(v.Value("LongTextAsText")));
    SetChecked("unicodeAsText", !config::IsYes(v.Value("UnicodeAsText")));
    SetItems("charset", platform::CharsetNames());
    SelectCharset(v.Value("Charset"));
    const std::string threads = v.Value("ThreadCount");
    SetText("threadCount", threads.empty() ? "1" : threads);
    SetChecked(kRoutingAnyTraffic, !config::IsYes(v.Value("RoutePrefOnly")));
    SetItems(kRoutingList, LoadRoutingList(v));
    ShowTemplates(!IsDirectoryType());
    UpdateSenderOverride();
    Focus("url");
    --selfChange_;
}

// A stored name the list lacks is added rather than replaced by the first entry, so
// that OK on an unrelated change never rewrites the provider's character set.
void HttpDialog::SelectCharset(std::string name) {
    if (name.empty()) name = kDefaultCharset;
    int index = -1;
    const std::vector<std::string>& items = Items("charset");
    for (std::size_t i = 0; i < items.size() && index < 0; ++i) {
        if (SameText(items[i], name)) index = static_cast<int>(i);
    }
    if (index < 0) index = AddItem("charset", name);
    SetSelection("charset", index);
}

void HttpDialog::UpdateSenderOverride() {
    const bool hasSender = !Field("senderAddress", kLongField).empty();
    Enable("senderOverride", hasSender);
    if (!hasSender) SetChecked("senderOverride", true);
}

void HttpDialog::ApplyServerType(bool byOperator) {
    ++selfChange_;
    const std::string type = Text("serverType");
    BuiltInServerType builtIn{};
    if (FindBuiltInServerType(type, &builtIn)) {
        SetText("templateText", builtIn.text);
        SetText("templateBinary", builtIn.binary);
        SetChecked("httpAuth", builtIn.httpAuth);
        ShowTemplates(true);
    } else if (type == kServerTypeCustom) {
        ShowTemplates(true);
        if (byOperator) {
            for (const char* id : kTemplateIds) SetText(id, "");
        }
    } else {
        ShowTemplates(false);
        PrefillFromDirectory(type);
    }
    --selfChange_;
}

void HttpDialog::PrefillFromDirectory(const std::string& directory) {
    const auto values = ReadServerTemplate(directory);
    auto value = [&](const char* key) {
        for (const auto& [k, v] : values) {
            if (k == key) return v;
        }
        return std::string();
    };
    if (!value("HostName").empty()) {
        const bool ssl = config::IsYes(value("UseSSL"));
        const std::uint64_t port = LeadingNumber(value("HostPort"));
        SetText("url", ComposeServerUrl(ssl, value("HostName"),
                                        port >= 1 && port <= 65535 ? static_cast<unsigned>(port)
                                                                   : (ssl ? 443u : 80u),
                                        value("RootURL")));
    }
    const std::pair<const char*, const char*> texts[] = {
        {"UserName", "user"}, {"Password", "password"}, {"SenderAddress", "senderAddress"},
        {"ThreadCount", "threadCount"}};
    for (const auto& [key, id] : texts) {
        if (!value(key).empty()) SetText(id, value(key));
    }
    const std::pair<const char*, const char*> checks[] = {
        {"HTTPUseAuth", "httpAuth"}, {"RemovePlus", "removePlus"}, {"SendLongMessage", "sendLong"}};
    for (const auto& [key, id] : checks) {
        if (!value(key).empty()) SetChecked(id, config::IsYes(value(key)));
    }
    if (!value("LongTextAsText").empty())
        SetChecked("longTextAsText", !config::IsYes(value("LongTextAsText")));
    if (!value("UnicodeAsText").empty())
        SetChecked("unicodeAsText", !config::IsYes(value("UnicodeAsText")));
    if (!value("Charset").empty()) SelectCharset(value("Charset"));
    if (!value("SenderAddress").empty()) {
        const std::string override = value("SenderAddressOverride");
        SetChecked("senderOverride", override.empty() || config::IsYes(override));
    }
    SetProxy(value("HTTPProxy"));
    UpdateSenderOverride();
}

void HttpDialog::OnCommand(const std::string& id, ui::Event event) {
    if (id == "serverType" && event == ui::Event::SelChanged) {
        ApplyServerType(true);
    } else if ((id == "templateText" || id == "templateBinary") && event == ui::Event::Changed) {
        if (selfChange_ == 0 && Text("serverType") != kServerTypeCustom) {
            ++selfChange_;
            SetText("serverType", kServerTypeCustom);
            --selfChange_;
        }
    } else if (id == "senderAddress" && event == ui::Event::Changed) {
        UpdateSenderOverride();
    } else if (event != ui::Event::Clicked) {
        return;
    } else if (id == "useProxy") {
        Enable("proxy", Checked("useProxy"));
    } else if (id == kRoutingAdd) {
        RoutingListAdd(*this);
    } else if (id == kRoutingRemove) {
        RoutingListRemove(*this);
    }
}

bool HttpDialog::TemplatesValid() {
    if (IsDirectoryType()) return true;
    for (const char* id : kTemplateIds) {
        const std::string fault = TemplateFault(Field(id, kLongField));
        if (!fault.empty()) {
            ui::Error(GetHost(), fault);
            Focus(id);
            return false;
        }
    }
    return true;
}

void HttpDialog::OnOk() {
    const std::string text = Field("url", kLongField);
    ServerUrl url = ParseServerUrl(text);
    if (text.empty() || url.host.empty()) {
        ui::Error(GetHost(), "Field is required");
        Focus("url");
        return;
    }
    // A port the name could not carry would otherwise fall back to the scheme's port
    // unnoticed and the connection would go somewhere else than typed.
    if (url.badPort) {
        ui::Error(GetHost(), "Invalid Port Number");
        Focus("url");
        return;
    }
    std::string name = LinkConnectionName(kPrefix, url.host, url.port);
    if (!SameText(name, opened_.Name())) {
        url.host = UniqueLinkHost(kPrefix, url.host, url.port, PageConnectionNames());
        name = LinkConnectionName(kPrefix, url.host, url.port);
    }
    const bool proxy = Checked("useProxy");
    if (proxy && Field("proxy").empty()) {
        ui::Error(GetHost(), "Field is required");
        Focus("proxy");
        return;
    }
    if (!TemplatesValid()) return;
    HttpTestOutcome outcome;
    {
        auto busy = GetHost().BusyCursor();
        outcome = TestHttpConnection(GetHost(),
                                     {url.host, url.port, url.ssl, proxy ? Field("proxy") : ""});
    }
    if (!outcome.Passed()) {
        ui::Error(GetHost(), outcome.failure);
        Focus(outcome.focus);
        return;
    }
    ui::Info(GetHost(), "HTTP Connection OK.\r\nSend a test message to verify proper configuration.");
    result = BuildRecord(name, url);
    End(ui::kOk);
}

std::string HttpDialog::BuildRecord(const std::string& name, const ServerUrl& url) {
    RecordBuilder r(opened_, name);
    const std::string routeName = Text("routeName");
    const std::string sender = Field("senderAddress", kLongField);
    const std::uint64_t threads = LeadingNumber(Field("threadCount"));
    const std::string charset = Text("charset");
    r.Put("RouteName", routeName == name ? std::string() : SingleLine(routeName, kLongField));
    r.Put("RootURL", url.rootUrl);
    r.Put("UserName", Field("user"));
    r.Put("Password", Field("password"));
    r.Put("TemplateText", Field("templateText", kLongField));
    r.Put("TemplateBinary", Field("templateBinary", kLongField));
    r.Put("ServerType", Text("serverType"));
    r.Put("HTTPUseAuth", Checked("httpAuth") ? "Yes" : "No");
    r.Put("SenderAddress", sender);
    r.Put("SenderAddressOverride", sender.empty() || Checked("senderOverride") ? "Yes" : "No");
    r.Put("UseSSL", url.ssl ? "Yes" : "No");
    r.Put("RemovePlus", Checked("removePlus") ? "Yes" : "");
    r.Put("SendLongMessage", Checked("sendLong") ? "Yes" : "");
    r.Put("HTTPProxy", Checked("useProxy") ? Field("proxy") : "");
    r.Put("ThreadCount", std::to_string(threads == 0 ? 1 : threads));
    r.Put("LongTextAsText", Checked("longTextAsText") ? "" : "Yes");
    r.Put("UnicodeAsText", Checked("unicodeAsText") ? "" : "Yes");
    r.Put("Charset", SameText(charset, kDefaultCharset) ? std::string() : charset);
    r.Put("RoutePrefOnly", Checked(kRoutingAnyTraffic) ? "" : "Yes");
    PutRoutingList(r, Items(kRoutingList), UserAccountLookup());
    r.PutSaveRoute();
    return r.Text();
}

}  // namespace

bool RunHttpConnectionDialog(ui::Host& host, std::string& record) {
    HttpDialog dialog(record);
    if (host.RunModal(dialog) != ui::kOk) return false;
    record = dialog.result;
    return true;
}

}  // namespace smsc
