// The "MMS Settings" dialog: loading the connection's MMS keys, the routing choices and
// the GPRS group, and storing them on OK.
#include "modem/mms_settings_dialog.h"

#include <algorithm>
#include <iterator>

#include "config/config_store.h"
#include "platform/ini.h"
#include "platform/text.h"
#include "ui/dialog.h"
#include "ui/access_keys.h"

namespace modem {

namespace {

constexpr const char* kNoModem = "(none)";
constexpr const char* kLocalUserPrefix = "localuser:";
constexpr std::size_t kMaxValue = config::kValueSize - 1;
constexpr const char* kControlCharacters =
    "Tabs and line breaks cannot be stored in the MMS settings.";
constexpr const char* kValueTooLong = "The text is too long (at most 499 characters).";
constexpr const char* kComPortWarning =
    "Warning:  Receiving MMS messages will usually not work when connecting directly to a COM "
    "port without a Windows Modem Driver.\r\n\r\nFor best results, please use Phone & Modem "
    "Options in the Windows Control Panel to define a modem driver for this modem.  Then define "
    "the modem to QuvSMS using the named modem driver instead of a direct COM port reference."
    "\r\n\r\nIf your modem does not have a modem driver, use the Windows Standard 33600bps Modem "
    "Driver.\r\n\r\nContinue defining MMS Settings using this modem as a direct COM port "
    "reference?";

// The GPRS fields and the keys they are stored under.
struct GprsKey {
    const char* id;
    const char* key;
};
constexpr GprsKey kGprsEdits[] = {
    {"proxy", "WAPGatewayIP"}, {"apn", "APN"}, {"login", "APNLogin"}, {"password", "APNPass"}};
// Edit fields whose text is stored, in the order they are checked on OK.
constexpr const char* kStoredEdits[] = {"mmsurl", "emailaddr", "proxy", "apn", "login", "password"};

constexpr const char* kRoutingChoices[] = {"mmsin", "mm7", "email", "localuser"};

bool IsRoutingChoice(const std::string& id) {
    return std::find(std::begin(kRoutingChoices), std::end(kRoutingChoices), id) !=
           std::end(kRoutingChoices);
}

std::string WithoutHttp(const std::string& url) {
    return platform::StartsWithNoCase(url, "http://") ? url.substr(7) : url;
}

bool HasControlCharacter(const std::string& text) {
    return std::any_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 32 || c == 127; });
}

class MmsSettings : public ui::Dialog {
public:
    MmsSettings(const MmsSettingsServices& services, const std::string& name, bool reduced)
        : ui::Dialog(reduced ? MmsRoutingTemplate() : MmsSettingsTemplate()), services_(services),
          name_(name), section_(config::ConnectionSectionName(name)),
          ini_(config::ConfigurationPath()), reduced_(reduced) {}

    void OnInit() override {
        if (!reduced_ && !LoadGprsGroup()) return;
        LoadRouting();
    }

    void OnCommand(const std::string& id, ui::Event event) override {
        if (IsRoutingChoice(id)) {
            // Each choice shares its row with its field, so the rows cannot form one
            // radio group of their own: the dialog keeps the four exclusive itself.
            for (const char* other : kRoutingChoices) {
                if (id != other) SetChecked(other, false);
            }
            EnableRoutingFields();
        } else if (id == "usedial") {
            EnableGprs();
        } else if (id == "dialup" && event == ui::Event::SelChanged) {
            NetworkConnectionChosen();
        } else if (id == "lookup") {
            LookupOperatorSettings();
        } else if (id == "test" && services_.link) {
            TestConnection();
        }
    }

    void OnOk() override {
        if (!FieldsStorable()) return;
        platform::IniBatch batch(ini_);
        PutKey(batch, "MMSRouting", Routing());
        StoreGprsGroup(batch);
        if (!batch.Commit()) {
            ui::Error(GetHost(), "Unable to save the MMS settings in " + ini_);
            return;
        }
        End(ui::kOk);
    }

private:
    std::string Stored(const char* key) const {
        return platform::GetPrivateProfileString(ini_, section_, key, "");
    }

    void PutKey(platform::IniBatch& batch, const char* key, const std::string& value) {
        if (value.empty()) {
            batch.DeleteKey(section_, key);
        } else {
            batch.Write(section_, key, value);
        }
    }

    // The full dialog's fields; false when the operator declined the COM-port warning.
    bool LoadGprsGroup() {
        Show("lookup", services_.operatorListAvailable && services_.operatorListAvailable());
        if (services_.link) SetItems("dialup", services_.link->networkConnections());
        std::vector<std::string> modems{kNoModem};
        if (services_.modems) {
            for (const std::string& modem : services_.modems()) {
                if (std::find(modems.begin(), modems.end(), modem) == modems.end()) modems.push_back(modem);
            }
        }
        std::sort(modems.begin(), modems.end());
        SetItems("usemodem", std::move(modems));
        SetText("usemodem", kNoModem);
        const std::string url = Stored("MMSURL");
        SetText("mmsurl", url);
        if (url.empty() && !FirstOpening()) return false;
        SetChecked("usedial", config::IsYes(Stored("UseDial")));
        for (const GprsKey& field : kGprsEdits) SetText(field.id, Stored(field.key));
        // Set* calls never reach OnCommand, so selecting the stored entry here cannot
        // overwrite the stored login and password with the entry's own.
        SetText("dialup", Stored("DialUpProfile"));
        SetText("usemodem", Stored("UseModem"));
        EnableGprs();
        return true;
    }

    // Settings never saved: preselect this connection's own modem entry, or warn about a
    // bare COM port. False (the dialog ended) when the operator does not go on.
    bool FirstOpening() {
        const int entry = FindItem("dialup", "Modem: " + name_);
        if (entry >= 0) {
            SetSelection("dialup", entry);
        } else if (platform::StartsWithNoCase(name_, "COM") &&
                   ui::MessageBox(GetHost(), kComPortWarning, ui::Icon::Warning,
                                  ui::Buttons::YesNoCancel) != ui::kYes) {
            End(ui::kCancel);
            return false;
        }
        SetText("usemodem", name_);
        return true;
    }

    void LoadRouting() {
        const std::vector<std::string> accounts = Mm7Accounts();
        SetItems("mm7list", accounts);
        Enable("mm7", !accounts.empty());
        std::vector<std::string> users{""};
        if (services_.localUsers) {
            for (const std::string& user : services_.localUsers()) users.push_back(user);
        }
        SetItems("userlist", std::move(users));
        const std::string routing = Stored("MMSRouting");
        const std::string prefix = kLocalUserPrefix;
        const char* choice = "mmsin";
        if (platform::StartsWithNoCase(routing, prefix)) {
            const int user = FindItem("userlist", routing.substr(prefix.size()));
            if (user > 0) {
                SetSelection("userlist", user);
                choice = "localuser";
            }
        } else if (routing.find('@') != std::string::npos) {
            SetText("emailaddr", routing);
            choice = "email";
        } else if (const int account = routing.empty() ? -1 : FindItem("mm7list", routing);
                   account >= 0) {
            SetSelection("mm7list", account);
            choice = "mm7";
        }
        SetChecked(choice, true);
        EnableRoutingFields();
    }

    void EnableRoutingFields() {
        Enable("mm7list", Checked("mm7"));
        Enable("emailaddr", Checked("email"));
        Enable("userlist", Checked("localuser"));
    }

    void EnableGprs() {
        const bool available = services_.link.has_value();
        Enable("usedial", available);
        const bool on = available && Checked("usedial");
        for (const char* id : {"dialup", "proxy", "modemhelp", "usemodem", "test", "login", "password"}) {
            Enable(id, on);
        }
        Enable("apn", on && Text("dialup").rfind("Modem:", 0) == 0);
    }

    void NetworkConnectionChosen() {
        if (!services_.link) return;
        const std::string entry = Text("dialup");
        std::string login, password;
        if (services_.link->userAndPassword(entry, &login, &password) &&
            (!login.empty() || !password.empty())) {
            SetText("login", login);
            SetText("password", password);
        }
        const std::string modem = services_.link->modemName(entry);
        if (!modem.empty()) SetText("usemodem", modem);
        EnableGprs();
    }

    void LookupOperatorSettings() {
        OperatorSettings chosen;
        if (!services_.chooseOperatorSettings || !services_.chooseOperatorSettings(&chosen)) return;
        SetText("apn", chosen.apn);
        SetText("login", chosen.login);
        SetText("password", chosen.password);
        SetText("proxy", chosen.proxy);
        SetText("mmsurl", chosen.mmsUrl);
        if (services_.link) SetChecked("usedial", true);
        EnableGprs();
    }

    std::string SelectedModem() const {
        const std::string modem = Text("usemodem");
        return modem == kNoModem ? std::string() : modem;
    }

    void TestConnection() {
        // "(none)" goes to the library like a modem name; the library lends nothing for it.
        const GprsTestFields fields{Text("dialup"), Text("mmsurl"), Text("proxy"), Text("apn"),
                                    Text("login"),  Text("password"), Text("usemodem")};
        switch (TestGprsConnection(GetHost(), *services_.link, fields)) {
            case GprsTestOutcome::MissingConnection: Focus("dialup"); break;
            case GprsTestOutcome::MissingUrl: Focus("mmsurl"); break;
            default: break;
        }
    }

    // Every stored text fits one INI line and is read back whole; false after telling
    // the operator which field does not.
    bool FieldsStorable() {
        for (const char* id : kStoredEdits) {
            if (!Has(id)) continue;
            const std::string text = Text(id);
            const char* problem = HasControlCharacter(text) ? kControlCharacters
                                  : text.size() > kMaxValue ? kValueTooLong
                                                            : nullptr;
            if (problem) {
                ui::Error(GetHost(), problem);
                Focus(id);
                return false;
            }
        }
        return true;
    }

    std::string Routing() const {
        if (Checked("mm7")) return Selection("mm7list") >= 0 ? Text("mm7list") : "";
        if (Checked("email")) {
            const std::string address = Text("emailaddr");
            return address.find('@') != std::string::npos ? address : "";
        }
        if (Checked("localuser") && Selection("userlist") > 0) {
            return kLocalUserPrefix + Text("userlist");
        }
        return "";
    }

    // The routing-only variant has none of these fields: they count as empty and
    // unchecked, so its OK leaves the connection without a server URL or GPRS settings.
    void StoreGprsGroup(platform::IniBatch& batch) {
        PutKey(batch, "MMSURL", reduced_ ? "" : WithoutHttp(Text("mmsurl")));
        const bool useDial = !reduced_ && Checked("usedial");
        batch.Write(section_, "UseDial", useDial ? "Yes" : "No");
        for (const GprsKey& field : kGprsEdits) {
            std::string value = useDial ? Text(field.id) : "";
            if (field.key == std::string("WAPGatewayIP")) value = NormaliseIPv4(value);
            PutKey(batch, field.key, value);
        }
        PutKey(batch, "DialUpProfile", useDial && Selection("dialup") >= 0 ? Text("dialup") : "");
        PutKey(batch, "UseModem", useDial ? SelectedModem() : "");
    }

    const MmsSettingsServices& services_;
    std::string name_, section_, ini_;
    bool reduced_;
};

ui::Control RoutingGroup() {
    using namespace ui;
    return Group("routing", "MMSC Routing for Recieved Messages:",
                 {Radio("mmsin", "Receive to MMS-IN Directory", Flag::GroupStart),
                  Row("mm7row", {Radio("mm7", "Route via MM7"), Combo("mm7list", "")}),
                  Row("emailrow", {Radio("email", "Forward to E-Mail Address"), Edit("emailaddr", "")}),
                  Row("userrow", {Radio("localuser", "Route to Local User:"), Combo("userlist", "")})});
}

}  // namespace

ui::Template MmsSettingsTemplate() {
    using namespace ui;
    return ui::WithAccessKeys(ui::Template{
        "DIALOG_MMSSETTINGS",
        "MMS Settings",
        {Edit("mmsurl", "MMS Server URL:"), RoutingGroup(),
         Group("gprs", "",
               {Check("usedial", "Use Specific Network Connection (GPRS Modem)"),
                Combo("dialup", "Network Connection:"), Edit("proxy", "MMS Proxy Address:"),
                Static("modemhelp",
                       "If the GPRS network connection uses a modem configured for SMS use by "
                       "QuvSMS, please specify it below.",
                       Flag::Wide),
                Combo("usemodem", "Modem Used:", Flag::Sorted), Edit("apn", "MMS APN:"),
                Edit("login", "Login Name:"), Edit("password", "Password:", Flag::Password),
                Row("gprsbuttons", {Button("lookup", "&Lookup Operator Settings"),
                                    Button("test", "Test Connection")})}),
         OkCancelRow()}});
}

ui::Template MmsRoutingTemplate() {
    return ui::WithAccessKeys(ui::Template{"DIALOG_MMSROUTING", "MMS Settings", {RoutingGroup(), ui::OkCancelRow()}});
}

bool MmsSettingsDialog(ui::Host& host, const MmsSettingsServices& services,
                       const std::string& connectionName, bool reduced) {
    if (connectionName.empty()) return false;
    MmsSettings dialog(services, connectionName, reduced);
    return host.RunModal(dialog) == ui::kOk;
}

}  // namespace modem
