#include "smsc/connection_edit.h"

#include <algorithm>

#include "acctdb/acctdb.h"
#include "config/config_store.h"
#include "platform/text.h"

namespace smsc {

namespace {

using platform::EqualsNoCase;

std::string Lower(std::string text) { return platform::ToLowerAscii(std::move(text)); }

// The registered list of the SMSC page (empty function: none registered).
std::function<std::vector<std::string>()>& RegisteredList() {
    static std::function<std::vector<std::string>()> names;
    return names;
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

// Walks Key1, Key2, ... until the first empty value.
void AppendNumbered(const ConnectionValues& values, const std::string& key,
                    std::vector<std::string>& out) {
    for (std::size_t n = 1; n <= kMaxRoutingPositions; ++n) {
        std::string value = values.Value(key + std::to_string(n));
        if (value.empty()) break;
        out.push_back(std::move(value));
    }
}

// One numbering pass: the entries of one kind (user accounts or not) and every position
// past the end take the numbers from 1 under `key`.
bool PutRoutingPass(RecordBuilder& record, const std::vector<std::string>& list,
                    const std::vector<bool>& isUser, const std::string& key, bool users) {
    bool any = false;
    std::size_t counter = 1;
    const std::size_t positions = std::max(kMaxRoutingPositions, list.size());
    for (std::size_t pos = 0; pos < positions; ++pos) {
        const std::string entry = pos < list.size() ? list[pos] : std::string();
        if (!entry.empty() && isUser[pos] != users) continue;
        if (users && !entry.empty()) any = true;
        record.Put(key + std::to_string(counter), entry);
        ++counter;
    }
    return any;
}

}  // namespace

// ---- load -----------------------------------------------------------------------------------

ConnectionValues::ConnectionValues(const std::string& record) {
    const std::size_t tab = record.find('\t');
    name_ = record.substr(0, tab);
    for (std::size_t pos = tab; pos != std::string::npos;) {
        const std::size_t next = record.find('\t', pos + 1);
        const std::string field = record.substr(
            pos + 1, next == std::string::npos ? std::string::npos : next - pos - 1);
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

bool ConnectionValues::HasPending(const std::string& key) const {
    return pendingByKey_.count(Lower(key)) != 0;
}

std::string ConnectionValues::Stored(const std::string& key) const { return StoredOr(key, ""); }

std::string ConnectionValues::Value(const std::string& key, const std::string& def) const {
    if (auto it = pendingByKey_.find(Lower(key)); it != pendingByKey_.end()) return it->second;
    return StoredOr(key, def);
}

std::string ConnectionValues::StoredOr(const std::string& key, const std::string& def) const {
    return stored_ ? stored_->Get(section_, key, def, kRecordValueSize) : def;
}

// ---- compare and build ------------------------------------------------------------------------

RecordBuilder::RecordBuilder(const ConnectionValues& opened, std::string newName)
    : opened_(opened), text_(std::move(newName)) {}

void RecordBuilder::Put(const std::string& key, const std::string& value) {
    const std::string stored = opened_.Stored(key);
    const bool same = key == "RouteName" ? value == stored : EqualsNoCase(value, stored);
    if (!same) Append(key, value);
}

void RecordBuilder::Append(const std::string& key, const std::string& value) {
    text_ += "\t" + key + "=" + value;
}

void RecordBuilder::AppendPairs(const std::string& pairs) { text_ += pairs; }

void RecordBuilder::PutSaveRoute() {
    if (opened_.IsNew()) return;
    Append("SaveRoute", opened_.HasPending("SaveRoute") ? opened_.Value("SaveRoute")
                                                        : opened_.Name());
}

std::string PendingPairs(const std::string& record) {
    const std::size_t tab = record.find('\t');
    return tab == std::string::npos ? std::string() : record.substr(tab);
}

// ---- duplicate-name suffix ----------------------------------------------------------------------

std::string LinkConnectionName(const std::string& prefix, const std::string& host,
                               unsigned port) {
    return prefix + host + ":" + std::to_string(port);
}

std::string UniqueLinkHost(const std::string& prefix, const std::string& host, unsigned port,
                           const std::vector<std::string>& names) {
    std::string candidate = host;
    unsigned counter = 2;
    for (bool matched = true; matched;) {
        matched = false;
        const std::string name = LinkConnectionName(prefix, candidate, port);
        for (const std::string& existing : names) {
            if (!EqualsNoCase(existing, name)) continue;
            candidate = candidate.substr(0, candidate.find('#')) + "#" + std::to_string(counter++);
            matched = true;
            break;
        }
    }
    return candidate;
}

std::vector<std::string> PageConnectionNames() {
    if (RegisteredList()) return RegisteredList()();
    return config::ListConnections();
}

ConnectionListRegistration::ConnectionListRegistration(
    std::function<std::vector<std::string>()> names)
    : previous_(std::move(RegisteredList())) {
    RegisteredList() = std::move(names);
}

ConnectionListRegistration::~ConnectionListRegistration() {
    RegisteredList() = std::move(previous_);
}

// ---- routing list -----------------------------------------------------------------------------

UserAccountTest UserAccountLookup() {
    auto store = std::make_shared<UserStore>();
    return [store](const std::string& text) {
        if (!store->Open() || text.empty()) return false;
        acctdb::UserRecord record;
        return acctdb::SMSFindUserRecord(store->Handle(), text, &record) != 0;
    };
}

std::vector<std::string> UserAccountNames(bool acceptReceivedOnly) {
    std::vector<std::string> users;
    UserStore store;
    if (!store.Open()) return users;
    acctdb::UserRecord record;
    for (int i = 0; acctdb::SMSGetUserRecord(store.Handle(), i, &record) != 0; ++i) {
        if (!acceptReceivedOnly || record.AcceptReceived()) users.push_back(record.UserName());
    }
    return users;
}

std::vector<std::string> LoadRoutingList(const ConnectionValues& values) {
    std::vector<std::string> list;
    AppendNumbered(values, "AllowedUser", list);
    AppendNumbered(values, "Route", list);
    return list;
}

void PutRoutingList(RecordBuilder& record, const std::vector<std::string>& list,
                    const UserAccountTest& isUserAccount) {
    std::vector<bool> isUser;
    isUser.reserve(list.size());
    for (const std::string& entry : list) isUser.push_back(isUserAccount(entry));
    PutRoutingPass(record, list, isUser, "Route", false);
    const bool anyUser = PutRoutingPass(record, list, isUser, "AllowedUser", true);
    record.Put("AllowedUserOnly", anyUser ? "Yes" : "");
}

ui::Control RoutingGroup(const std::string& title) {
    using namespace ui;
    return Group("routing", title,
                 {Check(kRoutingAnyTraffic, "Support any outbound message traffic"),
                  Row("preferredRow", {Edit(kRoutingText, "Preferred SMSC Connection for:"),
                                       Button(kRoutingAdd, "&Add")}),
                  List(kRoutingList, "", Flag::None),
                  Row("removeRow", {Button(kRoutingRemove, "&Remove")})});
}

void RoutingListAdd(ui::Dialog& dialog, const RoutingListRules& rules) {
    std::string text = dialog.Text(kRoutingText);
    if (text.size() > rules.maxText) text.resize(rules.maxText);
    if (text.empty()) return;
    const std::vector<std::string>& items = dialog.Items(kRoutingList);
    int index = -1;
    for (std::size_t i = 0; i < items.size() && index < 0; ++i) {
        if (rules.ignoreCase ? EqualsNoCase(items[i], text) : items[i] == text)
            index = static_cast<int>(i);
    }
    if (index < 0) {
        if (items.size() >= rules.maxEntries) {
            ui::Error(dialog.GetHost(), kRoutingListFull);
            return;
        }
        index = dialog.AddItem(kRoutingList, text);
    }
    dialog.SetSelection(kRoutingList, index);
    dialog.SetText(kRoutingText, "");
}

void RoutingListRemove(ui::Dialog& dialog) {
    const int selected = dialog.Selection(kRoutingList);
    if (selected < 0) return;
    dialog.RemoveItem(kRoutingList, selected);
    if (!dialog.Items(kRoutingList).empty())
        dialog.SetSelection(kRoutingList, selected > 0 ? selected - 1 : 0);
}

}  // namespace smsc
