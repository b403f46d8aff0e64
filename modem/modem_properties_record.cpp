// The settings side of the modem properties dialog: reading a connection's values and
// building the edit record that the SMSC page stores.
#include <algorithm>
#include <cctype>

#include "config/config_store.h"
#include "modem/modem_properties_dialog.h"
#include "platform/text.h"

namespace modem {

namespace {

std::string Lower(std::string text) { return platform::ToLowerAscii(std::move(text)); }

using platform::EqualsNoCase;

// Keys this dialog computes from its controls; pending pairs of any other key are
// carried over untouched.
bool OwnedKey(const std::string& key) {
    static const char* const kOwned[] = {
        "RouteName",  "PhoneNumber",     "PIN",           "SMSAccess",
        "RouteLocal", "ReceiveSMS",      "ReceiveMMS",    "RebootOnModemError",
        "ReceiveTo",  "AllowPhase2Plus", "RoutePrefOnly", "AllowedUserOnly"};
    for (const char* owned : kOwned) {
        if (EqualsNoCase(key, owned)) return true;
    }
    for (const char* prefix : {"route", "alloweduser"}) {
        const std::string p = prefix;
        const std::string lower = Lower(key);
        if (lower.size() > p.size() && lower.compare(0, p.size(), p) == 0 &&
            std::all_of(lower.begin() + p.size(), lower.end(),
                        [](char c) { return std::isdigit(static_cast<unsigned char>(c)); })) {
            return true;
        }
    }
    return false;
}

struct StorageChoice {
    const char* receiveTo;
    const char* phase2Plus;
};
constexpr StorageChoice kStorage[] = {
    {"", ""}, {"ME", ""}, {"SM", ""}, {"Direct", "No"}, {"Direct", "Yes"}};

int StorageIndex(const std::string& receiveTo, const std::string& phase2Plus) {
    if (EqualsNoCase(receiveTo, "ME")) return 1;
    if (EqualsNoCase(receiveTo, "SM")) return 2;
    if (EqualsNoCase(receiveTo, "Direct")) return config::IsYes(phase2Plus) ? 4 : 3;
    return 0;
}

}  // namespace

const std::vector<std::string>& StorageItems() {
    static const std::vector<std::string> items{"Default", "Device Memory", "SIM Card",
                                                "Direct to Modem", "Direct to Modem - Phase 2+"};
    return items;
}

ModemSettings LoadModemSettings(const ConnectionValues& values) {
    ModemSettings s;
    s.routeName = values.Value("RouteName");
    if (s.routeName.empty()) s.routeName = values.Name();
    s.phoneNumber = values.Value("PhoneNumber");
    s.pin = values.Value("PIN");
    s.storage = StorageIndex(values.Value("ReceiveTo"), values.Value("AllowPhase2Plus"));
    s.receiveSms = config::IsYes(values.Value("ReceiveSMS", config::ReadZellaKey("ReceiveSMS")));
    const std::string access = values.Value("SMSAccess");
    if (EqualsNoCase(access, "GPRS"))
        s.smsAccess = "GPRS";
    else if (EqualsNoCase(access, "GSM"))
        s.smsAccess = "GSM";
    s.routeLocal = values.Value("RouteLocal");
    s.receiveMms =
        config::IsYes(values.Value("ReceiveMMS", config::ReadZellaKey("ReceiveMMS", "No")));
    s.anyTraffic = !config::IsYes(values.Value("RoutePrefOnly"));
    s.preferred = smsc::LoadRoutingList(values);
    s.reboot = config::IsYes(
        values.Value("RebootOnModemError", config::ReadZellaKey("RebootOnModemError", "No")));
    return s;
}

std::string BuildModemRecord(const ConnectionValues& values, const ModemSettings& s,
                             const LocalUserTest& isLocalUser) {
    smsc::RecordBuilder record(values, values.Name());
    for (const auto& [key, value] : values.Pending()) {
        if (!OwnedKey(key)) record.Append(key, value);
    }
    const int storage = s.storage >= 0 && s.storage < 5 ? s.storage : 0;
    record.Put("RouteName", s.routeName == values.Name() ? std::string() : s.routeName);
    record.Put("PhoneNumber", s.phoneNumber);
    record.Put("PIN", s.pin);
    record.Put("SMSAccess", s.smsAccess);
    record.Put("RouteLocal", s.routeLocal);
    record.Put("ReceiveSMS", s.receiveSms ? "Yes" : "No");
    record.Put("ReceiveMMS", s.receiveSms && s.receiveMms ? "Yes" : "No");
    record.Put("RebootOnModemError", s.reboot ? "Yes" : "");
    record.Put("ReceiveTo", kStorage[storage].receiveTo);
    record.Put("AllowPhase2Plus", kStorage[storage].phase2Plus);
    record.Put("RoutePrefOnly", s.anyTraffic ? "" : "Yes");
    smsc::PutRoutingList(record, s.preferred, isLocalUser);
    return record.Text();
}

std::vector<std::string> LocalUsers() { return smsc::UserAccountNames(true); }

LocalUserTest LocalUserLookup() { return smsc::UserAccountLookup(); }

}  // namespace modem
