// "Android Modem Connection": the properties of a network modem and the phone's MM1
// account, and the routing of the MMS the phone receives ("MMS Receive Settings").
#include <algorithm>
#include <cstring>

#include "acctdb/acctdb.h"

#include "config/config_store.h"
#include "modem/mms_settings_dialog.h"
#include "modem/modem_properties_dialog.h"
#include "modem/network_modem.h"
#include "modem/network_modem_dialogs.h"
#include "platform/files.h"
#include "platform/ini.h"
#include "platform/text.h"
#include "smsc/connection_edit.h"
#include "ui/access_keys.h"

namespace modem {

namespace {

constexpr const char* kTestPrefix = "TEST:";
constexpr const char* kRoutingSection = "Outbound MMS Routing";
constexpr std::size_t kMaxRoutingValue = 499;

// Keys this dialog computes; pending pairs of other keys ("SaveRoute") pass through.
bool OwnedKey(const std::string& key) {
    static const char* const kOwned[] = {
        "RouteName", "PhoneNumber", "RouteLocal", "ReceiveSMS", "Remote", "Cloud", "CloudNew",
        "Password", "QuvsmsModemMMSURL", "QuvsmsModemMMSProxy", "ReceiveMMS", "RoutePrefOnly",
        "AllowedUserOnly"};
    for (const char* owned : kOwned) {
        if (platform::EqualsNoCase(key, owned)) return true;
    }
    const std::string lower = platform::ToLowerAscii(key);
    for (const std::string prefix : {"route", "alloweduser"}) {
        if (lower.size() > prefix.size() && lower.compare(0, prefix.size(), prefix) == 0 &&
            std::all_of(lower.begin() + prefix.size(), lower.end(),
                        [](char c) { return c >= '0' && c <= '9'; })) {
            return true;
        }
    }
    return false;
}

std::string VaspDirectory(const std::string& shortName) {
    return config::VaspConfigDirectory() + "VASPOUT/" + shortName + "/";
}

// A short device name that can name one directory of VASPOUT and an INI key.
bool IsPlainAccountName(const std::string& name) {
    if (name.empty() || name == "." || name == ".." || name[0] == ';') return false;
    return std::none_of(name.begin(), name.end(), [](char c) {
        return static_cast<unsigned char>(c) < 32 || c == '/' || c == '\\' || c == '[' ||
               c == ']' || c == '=';
    });
}

enum class MmsAccount { None, Phone, Other };

MmsAccount ReadMmsAccount(const std::string& shortName) {
    const std::string ini = VaspDirectory(shortName) + "VASP.INI";
    if (!IsPlainAccountName(shortName) || !platform::FileExists(ini)) return MmsAccount::None;
    const std::string protocol = platform::GetPrivateProfileString(ini, "VASP", "Protocol", "");
    const std::string server = platform::GetPrivateProfileString(ini, "VASP", "Server", "");
    const bool phone = platform::EqualsNoCase(protocol, "MM1") &&
                       platform::ToLowerAscii(server).rfind(kDeviceHostPrefix, 0) == 0;
    return phone ? MmsAccount::Phone : MmsAccount::Other;
}

class NetworkModemProperties : public ui::Dialog {
public:
    NetworkModemProperties(const NetworkModemServices& services, const std::string& record,
                           bool testMode)
        : ui::Dialog(NetworkModemPropertiesTemplate()), services_(services), values_(record),
          testMode_(testMode) {
        device_ = values_.Name().substr(std::string(kNetworkModemPrefix).size());
        shortName_ = ShortDeviceName(device_);
    }

    void OnInit() override {
        std::vector<std::string> users{kLocalUserDisabled};
        for (const std::string& user : LocalUsers()) users.push_back(user);
        SetItems("routelocal", users);
        hasDefaults_ = DefaultsWithProgress(GetHost(), services_, device_, &defaultUrl_, &defaultProxy_);
        Load();
        if (testMode_) OnOk();
    }

    void OnCommand(const std::string& id, ui::Event) override {
        if (id == "local" || id == "remote" || id == "cloud") {
            ShowSecret();
        } else if (id == "usedefault") {
            UseDefaults();
        } else if (id == "receivesms" || id == "sendmms" || id == "receivemms") {
            UpdateEnabling();
        } else if (id == smsc::kRoutingAdd) {
            smsc::RoutingListAdd(*this, {kMaxPreferredEntries, false, kModemValueSize - 1});
        } else if (id == smsc::kRoutingRemove) {
            smsc::RoutingListRemove(*this);
        } else if (id == "lookup") {
            LookupOperatorSettings();
        } else if (id == "mmsreceive") {
            MmsSettingsDialog(GetHost(), DefaultMmsSettingsServices(), values_.Name(), true);
        }
    }

    void OnOk() override {
        const bool remote = Checked("remote") || Checked("cloud");
        const std::string secret = remote ? Text("secret") : "";
        if (!IsStorableSecret(secret)) {
            ui::Error(GetHost(), kBadSecret);
            Focus("secret");
            return;
        }
        bool cloudPaired = true;
        if (Checked("cloud") && NeedsPairing() && !PairCloud(secret, &cloudPaired)) return;
        entry = BuildRecord(remote, secret, cloudPaired);
        SaveMmsAccount();
        End(ui::kOk);
    }

    std::string entry;

private:
    void Load() {
        const std::string route = values_.Value("RouteName");
        SetText("routename", route.empty() ? values_.Name() : route);
        SetText("secret", values_.Value("Password"));
        const bool cloud = config::IsYes(values_.Value("Cloud"));
        SetChecked(cloud ? "cloud" : config::IsYes(values_.Value("Remote")) ? "remote" : "local", true);
        SetText("phone", values_.Value("PhoneNumber"));
        newConnection_ = values_.Value("ReceiveSMS").empty();
        SetChecked("receivesms", config::IsYes(values_.Value(
                                     "ReceiveSMS", config::ReadZellaKey("ReceiveSMS", "Yes"))));
        const std::string local = values_.Value("RouteLocal");
        const int at = local.empty() ? 0 : FindItem("routelocal", local);
        SetSelection("routelocal", at >= 0 ? at : AddItem("routelocal", local));
        SetChecked(smsc::kRoutingAnyTraffic, !config::IsYes(values_.Value("RoutePrefOnly")));
        SetItems(smsc::kRoutingList, smsc::LoadRoutingList(values_));
        SetText("mmsurl", values_.Value("QuvsmsModemMMSURL", defaultUrl_));
        SetText("mmsproxy", values_.Value("QuvsmsModemMMSProxy", defaultProxy_));
        const bool useDefaults =
            hasDefaults_ && Text("mmsurl") == defaultUrl_ && Text("mmsproxy") == defaultProxy_;
        SetChecked("usedefault", useDefaults);
        account_ = ReadMmsAccount(shortName_);
        if (account_ == MmsAccount::Phone) {
            SetChecked("sendmms", true);
            SetChecked("receivemms", config::IsYes(values_.Value("ReceiveMMS")));
        } else {
            SetChecked("sendmms", account_ == MmsAccount::None && newConnection_);
            SetChecked("receivemms", account_ == MmsAccount::None && newConnection_);
        }
        // Another MMS account already uses this name, or the name cannot be a directory.
        if (account_ == MmsAccount::Other || !IsPlainAccountName(shortName_)) {
            SetChecked("sendmms", false);
            Enable("sendmms", false);
        }
        ShowSecret();
        UpdateEnabling();
    }

    void ShowSecret() { Show("secret", Checked("remote") || Checked("cloud")); }

    void UseDefaults() {
        if (Checked("usedefault")) {
            std::string url, proxy;
            if (!DefaultsWithProgress(GetHost(), services_, device_, &url, &proxy)) {
                SetChecked("usedefault", false);
            } else {
                SetText("mmsurl", url);
                SetText("mmsproxy", proxy);
            }
        }
        UpdateEnabling();
    }

    // The account store declares the MMS server before the proxy.
    void LookupOperatorSettings() {
        char apn[104] = {}, login[104] = {}, password[104] = {}, proxy[104] = {}, url[104] = {};
        if (acctdb::ChooseOperatorSettings(nullptr, apn, login, password, proxy, url) == 0) return;
        SetText("mmsproxy", std::string(proxy, strnlen(proxy, sizeof proxy)));
        SetText("mmsurl", std::string(url, strnlen(url, sizeof url)));
    }

    bool SendingMms() const { return Enabled("sendmms") && Checked("sendmms"); }

    void UpdateEnabling() {
        const bool send = SendingMms(), sms = Checked("receivesms");
        if (!send || !sms) SetChecked("receivemms", false);
        const bool fields = send && !Checked("usedefault");
        for (const char* id : {"lookup", "mmsurl", "mmsproxy"}) Enable(id, fields);
        Enable("usedefault", send);
        Enable("receivemms", send && sms);
        Enable("mmsreceive", Checked("receivemms"));
        Enable("routelocal", sms);
    }

    bool NeedsPairing() {
        if (config::IsYes(values_.Value("CloudNew")) || !config::IsYes(values_.Value("Cloud"))) return true;
        if (!ProbeWithProgress(GetHost(), services_, device_)) return true;
        return !platform::EqualsNoCase(values_.Value("Password"), Text("secret"));
    }

    // Pairs the cloud phone again; false keeps the dialog open. `paired` tells whether
    // the service confirmed the pairing (false: the operator saves it anyway).
    bool PairCloud(const std::string& secret, bool* paired) {
        if (!EnsureServicesActive(GetHost(), services_.checks)) return false;
        if (platform::EqualsNoCase(PairingDeviceName(), device_) &&
            platform::EqualsNoCase(PairingStatus(), "OK")) {
            DeletePairingRequest();
            return true;
        }
        if (!WritePairingRequest(device_, secret, true)) return false;
        PairingWaitDialog(GetHost(), true);
        *paired = platform::EqualsNoCase(PairingStatus(), "OK");
        DeletePairingRequest();
        return *paired ||
               ui::Ask(GetHost(), "Modem not connected. Save anyway?", ui::Buttons::YesNoCancel) == ui::kYes;
    }

    std::string BuildRecord(bool remote, const std::string& secret, bool cloudPaired) {
        smsc::RecordBuilder record(values_, values_.Name());
        for (const auto& [key, value] : values_.Pending()) {
            if (!OwnedKey(key)) record.Append(key, value);
        }
        const std::string route = Text("routename");
        record.Put("RouteName", route == values_.Name() ? "" : route);
        record.Put("PhoneNumber", Text("phone"));
        const int local = Selection("routelocal");
        record.Put("RouteLocal", local > 0 ? Items("routelocal")[local] : "");
        record.Put("ReceiveSMS", Checked("receivesms") ? "Yes" : "No");
        record.Put("Remote", remote ? "Yes" : "");
        const std::string cloud = Checked("cloud") ? "Yes" : "";
        record.Put("Cloud", cloud);
        if (!platform::EqualsNoCase(values_.Stored("Cloud"), cloud) && !cloudPaired) {
            record.Append("CloudNew", "Yes");
        } else if (cloudPaired && Checked("cloud")) {
            // A confirmed pairing settles an earlier unconfirmed one.
            record.Put("CloudNew", "");
        }
        record.Put("Password", secret);
        if (SendingMms()) {
            record.Put("QuvsmsModemMMSURL", Text("mmsurl"));
            record.Put("QuvsmsModemMMSProxy", Text("mmsproxy"));
        }
        const bool receiveMms = SendingMms() && Checked("receivesms") && Checked("receivemms");
        record.Put("ReceiveMMS", receiveMms ? "Yes" : "No");
        record.Put("RoutePrefOnly", Checked(smsc::kRoutingAnyTraffic) ? "" : "Yes");
        smsc::PutRoutingList(record, Items(smsc::kRoutingList), isUser_);
        return record.Text();
    }

    void SaveMmsAccount() {
        if (!SendingMms()) {
            // Only the phone's own account goes; another account of this name stays.
            if (account_ == MmsAccount::Phone && services_.removeMmsAccount) {
                services_.removeMmsAccount(values_.Name());
            }
            return;
        }
        if (services_.addMmsUser) services_.addMmsUser(shortName_);
        const std::string directory = VaspDirectory(shortName_);
        platform::CreateDirectories(directory);
        const std::string ini = directory + "VASP.INI";
        // The account's folder is the MMSC service's: nothing but VASP.INI and what the
        // service puts there. The lock file lives beside the folder instead (the console
        // is the one writer of this file).
        platform::IniBatch vasp(ini, config::VaspConfigDirectory() + "VASPOUT/." + shortName_ + ".lock");
        vasp.Write("VASP", "Protocol", "MM1");
        vasp.Write("VASP", "Server", kDeviceHostPrefix + device_);
        vasp.Write("VASP", "ForceSenderAddress", "Yes");
        if (platform::GetPrivateProfileString(ini, "VASP", "MMSVersion", "").empty()) {
            vasp.Write("VASP", "MMSVersion", "1.2");
        }
        vasp.Write("VASP", "QuvsmsModemMMSURL", Text("mmsurl"));
        vasp.Write("VASP", "QuvsmsModemMMSProxy", Text("mmsproxy"));
        vasp.Commit();
        platform::IniBatch mmsc(config::MmscIniPath());
        const std::string routing = OutboundRouting();
        if (routing.empty()) {
            mmsc.DeleteKey(kRoutingSection, shortName_);
        } else {
            mmsc.Write(kRoutingSection, shortName_, routing);
        }
        mmsc.Commit();
    }

    // "*" for any traffic, then each preferred route that is not a user name, joined by
    // ","; cut to the value size the service reads.
    std::string OutboundRouting() const {
        std::string list = Checked(smsc::kRoutingAnyTraffic) ? "*" : "";
        for (const std::string& route : Items(smsc::kRoutingList)) {
            if (isUser_(route)) continue;
            list += (list.empty() ? "" : ",") + route;
        }
        if (list.size() > kMaxRoutingValue) list.resize(kMaxRoutingValue);
        return list;
    }

    const NetworkModemServices& services_;
    smsc::ConnectionValues values_;
    smsc::UserAccountTest isUser_ = LocalUserLookup();
    bool testMode_;
    std::string device_, shortName_, defaultUrl_, defaultProxy_;
    bool hasDefaults_ = false, newConnection_ = false;
    MmsAccount account_ = MmsAccount::None;
};

}  // namespace

ui::Template NetworkModemPropertiesTemplate() {
    using namespace ui;
    return ui::WithAccessKeys(ui::Template{
        "DIALOG_QUVSMSMODEM",
        "Android Modem Connection",
        {Edit("routename", "Route Name:"),
         Group("type", "Connection Type",
               {Row("types", {Radio("local", "Local", Flag::GroupStart), Radio("remote", "Remote"),
                              Radio("cloud", "Cloud")})}),
         Edit("secret", "Shared Secret:", Flag::Password),
         Edit("phone", "Phone Number:"),
         Check("receivesms", "Receive SMS Messages"),
         Combo("routelocal", "Route SMS to local user:"),
         smsc::RoutingGroup("Routing"),
         Group("mms", "MMS",
               {Row("mmsflags", {Check("sendmms", "Send MMS Messages"),
                                 Check("receivemms", "Receive MMS Messages")}),
                Check("usedefault", "Use Default MMS Settings"),
                Edit("mmsurl", "MMS Server URL:"),
                Edit("mmsproxy", "MMS Proxy (if required):"),
                Row("mmsbuttons", {Button("lookup", "&Lookup Operator MMS Settings"),
                                   Button("mmsreceive", "MMS Receive Settings...")})}),
         OkCancelRow()}});
}

bool RunNetworkModemProperties(ui::Host& host, const NetworkModemServices& services,
                               std::string& record) {
    const bool testMode = record.rfind(kTestPrefix, 0) == 0;
    const std::string opened = testMode ? record.substr(std::string(kTestPrefix).size()) : record;
    NetworkModemProperties dialog(services, opened, testMode);
    if (host.RunModal(dialog) != ui::kOk || dialog.entry.empty()) return false;
    record = dialog.entry;
    return true;
}

}  // namespace modem
