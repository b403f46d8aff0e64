// The settings side of the modem properties dialog: reading a connection's values and
// building the edit record that the SMSC page stores.
#include <algorithm>
#include <cctype>
#include <memory>

#include "acctdb/acctdb.h"
#include "config/config_store.h"
#include "modem/modem_properties_dialog.h"
#include "platform/ini.h"
#include "platform/ini_snapshot.h"
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

// Walks Key1, Key2, ... until the first empty value.
void AppendNumbered(const ConnectionValues& values, const std::string& key,
                    std::vector<std::string>& out) {
    for (std::size_t n = 1; n <= kMaxPreferredEntries; ++n) {
        std::string value = values.Value(key + std::to_string(n));
        if (value.empty()) break;
        out.push_back(std::move(value));
    }
}

// One renumbering walk of the preferred list: entries for which `keep` holds are
// numbered from 1 under `key`; changed numbers go into the record. Entries past the end
// count as empty, so stored keys beyond the list are deleted.
bool AppendPreferredWalk(const ConnectionValues& values, const std::vector<std::string>& list,
                         const std::vector<bool>& isUser, const std::string& key, bool users,
                         std::string& record) {
    bool any = false;
    std::size_t counter = 1;
    const std::size_t positions = std::max(kMaxPreferredEntries, list.size());
    for (std::size_t pos = 0; pos < positions; ++pos) {
        const std::string entry = pos < list.size() ? list[pos] : std::string();
        if (!entry.empty() && isUser[pos] != users) continue;
        if (users && !entry.empty()) any = true;
        const std::string numbered = key + std::to_string(counter);
        if (entry != values.Stored(numbered)) record += "\t" + numbered + "=" + entry;
        ++counter;
    }
    return any;
}

// The account store open for reading as long as the object lives.
class UserStore {
public:
    UserStore() { open_ = acctdb::SMSOpenUserFile(&handle_, acctdb::GENERIC_READ) != 0; }
    ~UserStore() {
        if (open_) acctdb::SMSCloseUserFile(handle_);
    }
    UserStore(const UserStore&) = delete;
    UserStore& operator=(const UserStore&) = delete;
    bool Open() const { return open_; }
    acctdb::UserHandle Handle() const { return handle_; }

private:
    acctdb::UserHandle handle_ = 0;
    bool open_ = false;
};

}  // namespace

const std::vector<std::string>& StorageItems() {
    static const std::vector<std::string> items{"Default", "Device Memory", "SIM Card",
                                                "Direct to Modem", "Direct to Modem - Phase 2+"};
    return items;
}

ConnectionValues::ConnectionValues(const std::string& entry) {
    const std::size_t tab = entry.find('\t');
    name_ = entry.substr(0, tab);
    for (std::size_t pos = tab; pos != std::string::npos;) {
        const std::size_t next = entry.find('\t', pos + 1);
        const std::string field =
            entry.substr(pos + 1, next == std::string::npos ? std::string::npos : next - pos - 1);
        pos = next;
        const std::size_t eq = field.find('=');
        if (eq == std::string::npos || eq == 0) continue;
        pending_.emplace_back(field.substr(0, eq), field.substr(eq + 1));
        pendingByKey_.emplace(Lower(field.substr(0, eq)), field.substr(eq + 1));
    }
    if (name_.empty()) return;
    section_ = config::ConnectionSectionName(name_);
    stored_ = std::make_shared<const platform::IniSnapshot>(config::ConfigurationPath());
}

std::string ConnectionValues::Stored(const std::string& key) const { return Value(key, "", false); }

std::string ConnectionValues::Value(const std::string& key, const std::string& def) const {
    return Value(key, def, true);
}

std::string ConnectionValues::Value(const std::string& key, const std::string& def,
                                    bool pendingFirst) const {
    if (pendingFirst) {
        if (auto it = pendingByKey_.find(Lower(key)); it != pendingByKey_.end()) return it->second;
    }
    return stored_ ? stored_->Get(section_, key, def, kModemValueSize) : def;
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
    AppendNumbered(values, "AllowedUser", s.preferred);
    AppendNumbered(values, "Route", s.preferred);
    s.reboot = config::IsYes(
        values.Value("RebootOnModemError", config::ReadZellaKey("RebootOnModemError", "No")));
    return s;
}

std::string BuildModemRecord(const ConnectionValues& values, const ModemSettings& s,
                             const LocalUserTest& isLocalUser) {
    std::string record = values.Name();
    for (const auto& [key, value] : values.Pending()) {
        if (!OwnedKey(key)) record += "\t" + key + "=" + value;
    }
    auto put = [&](const char* key, const std::string& value, bool exact = false) {
        const std::string stored = values.Stored(key);
        const bool same = exact ? value == stored : EqualsNoCase(value, stored);
        if (!same) record += std::string("\t") + key + "=" + value;
    };
    const int storage = s.storage >= 0 && s.storage < 5 ? s.storage : 0;
    put("RouteName", s.routeName == values.Name() ? std::string() : s.routeName, true);
    put("PhoneNumber", s.phoneNumber);
    put("PIN", s.pin);
    put("SMSAccess", s.smsAccess);
    put("RouteLocal", s.routeLocal);
    put("ReceiveSMS", s.receiveSms ? "Yes" : "No");
    put("ReceiveMMS", s.receiveSms && s.receiveMms ? "Yes" : "No");
    put("RebootOnModemError", s.reboot ? "Yes" : "");
    put("ReceiveTo", kStorage[storage].receiveTo);
    put("AllowPhase2Plus", kStorage[storage].phase2Plus);
    put("RoutePrefOnly", s.anyTraffic ? "" : "Yes");
    std::vector<bool> isUser;
    isUser.reserve(s.preferred.size());
    for (const std::string& entry : s.preferred) isUser.push_back(isLocalUser(entry));
    AppendPreferredWalk(values, s.preferred, isUser, "Route", false, record);
    const bool anyUser =
        AppendPreferredWalk(values, s.preferred, isUser, "AllowedUser", true, record);
    put("AllowedUserOnly", anyUser ? "Yes" : "");
    return record;
}

std::vector<std::string> LocalUsers() {
    std::vector<std::string> users;
    UserStore store;
    if (!store.Open()) return users;
    acctdb::UserRecord record;
    for (int i = 0; acctdb::SMSGetUserRecord(store.Handle(), i, &record) != 0; ++i) {
        if (record.AcceptReceived()) users.push_back(record.UserName());
    }
    return users;
}

LocalUserTest LocalUserLookup() {
    auto store = std::make_shared<UserStore>();
    return [store](const std::string& text) {
        if (!store->Open() || text.empty()) return false;
        acctdb::UserRecord record;
        return acctdb::SMSFindUserRecord(store->Handle(), text, &record) != 0;
    };
}

}  // namespace modem
