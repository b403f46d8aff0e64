#include "modem/modem_properties_dialog.h"
#include "ui/access_keys.h"

#include <algorithm>

namespace modem {

namespace {

struct AccessRadio {
    const char* id;
    const char* value;
};
constexpr AccessRadio kAccess[] = {
    {"accessDefault", ""}, {"accessGsm", "GSM"}, {"accessGprs", "GPRS"}};

class ModemProperties : public ui::Dialog {
public:
    ModemProperties(const std::string& entry, const MmsSettingsOpener& mmsSettings)
        : ui::Dialog(ModemPropertiesTemplate()), record_(entry), mmsSettings_(mmsSettings) {}

    void OnInit() override {
        std::vector<std::string> users{kLocalUserDisabled};
        for (std::string& user : LocalUsers()) users.push_back(std::move(user));
        SetItems("routeLocal", std::move(users));
        SetSelection("routeLocal", 0);
        SetItems("storage", StorageItems());
        SetSelection("storage", 0);
        const ConnectionValues values(record_);
        if (values.Name().empty()) {
            SetChecked("accessDefault", true);
        } else {
            ShowSettings(LoadModemSettings(values));
        }
        UpdateReceiveControls();
        Focus("routeName");
    }

    void OnCommand(const std::string& id, ui::Event event) override {
        if (event != ui::Event::Clicked) return;
        if (id == "receiveSms")
            UpdateReceiveControls();
        else if (id == "receiveMms")
            Enable("mms", Checked("receiveMms"));
        else if (id == "mms" && mmsSettings_)
            mmsSettings_(GetHost(), record_);
        else if (id == "add")
            smsc::RoutingListAdd(*this, {kMaxPreferredEntries, false, kModemValueSize - 1});
        else if (id == "remove")
            smsc::RoutingListRemove(*this);
    }

    void OnOk() override {
        const ConnectionValues values(record_);
        result = BuildModemRecord(values, Collect(), LocalUserLookup());
        End(ui::kOk);
    }

    std::string result;

private:
    void ShowSettings(const ModemSettings& s) {
        SetText("routeName", s.routeName);
        SetText("phoneNumber", s.phoneNumber);
        SetText("pin", s.pin);
        SetSelection("storage", s.storage);
        SetChecked("receiveSms", s.receiveSms);
        for (const AccessRadio& radio : kAccess) {
            if (s.smsAccess == radio.value) SetChecked(radio.id, true);
        }
        const int user = s.routeLocal.empty() ? -1 : FindItem("routeLocal", s.routeLocal);
        if (user > 0) SetSelection("routeLocal", user);
        SetChecked("receiveMms", s.receiveMms);
        SetChecked("anyTraffic", s.anyTraffic);
        SetItems("preferred", s.preferred);
        SetChecked("reboot", s.reboot);
    }

    ModemSettings Collect() const {
        ModemSettings s;
        s.routeName = Text("routeName");
        s.phoneNumber = Text("phoneNumber");
        s.pin = Text("pin");
        for (const AccessRadio& radio : kAccess) {
            if (Checked(radio.id)) s.smsAccess = radio.value;
        }
        s.receiveSms = Checked("receiveSms");
        s.receiveMms = Checked("receiveMms");
        s.storage = std::max(0, Selection("storage"));
        s.routeLocal = Selection("routeLocal") > 0 ? Text("routeLocal") : std::string();
        s.anyTraffic = Checked("anyTraffic");
        s.reboot = Checked("reboot");
        s.preferred = Items("preferred");
        return s;
    }

    void UpdateReceiveControls() {
        const bool receive = Checked("receiveSms");
        Enable("storage", receive);
        Enable("receiveMms", receive);
        Enable("routeLocal", receive);
        Enable("mms", receive && Checked("receiveMms"));
    }

    std::string record_;
    MmsSettingsOpener mmsSettings_;
};

}  // namespace

ui::Template ModemPropertiesTemplate() {
    using namespace ui;
    return ui::WithAccessKeys(ui::Template{
        "DIALOG_ROUTING",
        "Modem Connection",
        {Edit("routeName", "QuvSMS Route Name:"), Edit("phoneNumber", "Phone Number:"),
         Edit("pin", "Modem PIN:"),
         Group("access", "SMS Access:",
               {Row("accessRow", {Radio("accessDefault", "Default", Flag::GroupStart),
                                  Radio("accessGsm", "GSM"), Radio("accessGprs", "GPRS")})}),
         Check("receiveSms", "Receive SMS Messages"), Combo("storage", "SMS Message Storage:"),
         Combo("routeLocal", "Route SMS to local user:"),
         Row("mmsRow",
             {Check("receiveMms", "Receive MMS Messages"), Button("mms", "MMS Settings...")}),
         smsc::RoutingGroup(""),
         Check("reboot", "Reboot System if this modem is not accessible"), OkCancelRow()}});
}

bool ModemPropertiesDialog(ui::Host& host, std::string& entry,
                           const MmsSettingsOpener& mmsSettings) {
    ModemProperties dialog(entry, mmsSettings);
    if (host.RunModal(dialog) != ui::kOk) return false;
    entry = dialog.result;
    return true;
}

}  // namespace modem
