// What every connection dialog shares (SMPP, UCP/EMI, CIMD2, HTTP and the modem
// properties): reading a connection edit record ("name\tKey=value\t...") together with
// the connection's stored section, building the new record from the values that
// changed, the "#n" suffix that keeps connection names unique on the SMSC page, and the
// routing list ("Preferred SMSC Connection for:") with its allowed users and recipient
// prefixes.
//
// Nothing here writes ZELLA.INI: the SMSC page stores the record a dialog returns.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/ini_snapshot.h"
#include "ui/dialog.h"
#include "ui/host.h"
#include "ui/template.h"

namespace smsc {

// The largest value the dialogs read from a section (longer values are cut).
inline constexpr std::size_t kRecordValueSize = 8192;
// Positions the routing passes walk, so stored keys beyond a shorter list are deleted.
inline constexpr std::size_t kMaxRoutingPositions = 10000;
// Entries "&Add" accepts in the SMSC-link dialogs.
inline constexpr std::size_t kMaxRoutingEntries = 5000;
inline constexpr const char* kRoutingListFull = "Maximum entries in list";

// ---- load -------------------------------------------------------------------------------

// A connection edit record as a dialog was opened with it: the name before the first
// tab, the pending pairs after it, and the connection's stored section
// (ConnectionSectionName of the name; ZELLA.INI read once, whole). An empty record is a
// new connection: no name, no pairs, no section.
class ConnectionValues {
public:
    explicit ConnectionValues(const std::string& record);

    const std::string& Name() const { return name_; }
    bool IsNew() const { return name_.empty(); }
    // The pending pairs in record order, keys as written (fields without "=" or with an
    // empty key are left out).
    const std::vector<std::pair<std::string, std::string>>& Pending() const { return pending_; }
    // Whether the pending pairs carry `key` (ignoring case).
    bool HasPending(const std::string& key) const;
    // The value stored in the connection's section ("" when absent or for a new
    // connection), cut to kRecordValueSize - 1.
    std::string Stored(const std::string& key) const;
    // The first pending value of `key` (ignoring case) when the record has it, else the
    // stored value when the section has the key, else `def`.
    std::string Value(const std::string& key, const std::string& def = "") const;

private:
    std::string StoredOr(const std::string& key, const std::string& def) const;

    std::string name_;
    std::vector<std::pair<std::string, std::string>> pending_;
    std::unordered_map<std::string, std::string> pendingByKey_;  // lower-case keys, first wins
    std::string section_;
    std::shared_ptr<const platform::IniSnapshot> stored_;
};

// ---- compare and build --------------------------------------------------------------------

// Builds the record a dialog returns on OK: the new connection name, then "\tKey=value"
// for each key whose new value differs from the value stored for the connection as it
// was opened. An empty value asks the SMSC page to delete the key.
class RecordBuilder {
public:
    RecordBuilder(const ConnectionValues& opened, std::string newName);

    // Appends key=value when it differs from the stored value: "RouteName" compared with
    // case, every other key ignoring case (a change of letter case alone is not saved).
    void Put(const std::string& key, const std::string& value);
    // Appends key=value whatever is stored.
    void Append(const std::string& key, const std::string& value);
    // Appends pairs already in record form ("\tKey=value..."; "" appends nothing).
    void AppendPairs(const std::string& pairs);
    // The rename mark: for a connection that existed when the dialog opened,
    // "\tSaveRoute=" with the pending SaveRoute value when the record carried one (it
    // names the section actually stored), else with the name the dialog was opened with.
    // Nothing for a new connection.
    void PutSaveRoute();

    const std::string& Text() const { return text_; }

private:
    const ConnectionValues& opened_;
    std::string text_;
};

// The pending pairs of `record` after its first tab, as "\tKey=value..." ("" when none).
std::string PendingPairs(const std::string& record);

// ---- duplicate-name suffix ------------------------------------------------------------------

// "<prefix>%s:%u": the name of a direct SMSC link ("SMPP - " + host + ":" + port).
std::string LinkConnectionName(const std::string& prefix, const std::string& host,
                               unsigned port);

// The host that makes LinkConnectionName(prefix, host, port) unique among `names`
// (compared ignoring case): unchanged when it already is; else the host is cut at its
// first "#" and "#2", "#3", ... appended, the counter growing by one at each match, the
// walk restarting from the top of the list after every match.
std::string UniqueLinkHost(const std::string& prefix, const std::string& host, unsigned port,
                           const std::vector<std::string>& names);

// The connection names on the SMSC page's list as they stand now, in list order: those
// of the list registered below while one is, else the stored "Modem%u" list.
std::vector<std::string> PageConnectionNames();

// While it lives, PageConnectionNames asks `names` (the SMSC page registers its list so
// that a dialog opened from it sees entries not stored yet). Registrations nest; the
// newest one answers. UI thread only.
class ConnectionListRegistration {
public:
    explicit ConnectionListRegistration(std::function<std::vector<std::string>()> names);
    ~ConnectionListRegistration();
    ConnectionListRegistration(const ConnectionListRegistration&) = delete;
    ConnectionListRegistration& operator=(const ConnectionListRegistration&) = delete;

private:
    std::function<std::vector<std::string>()> previous_;
};

// ---- routing list -------------------------------------------------------------------------

// Whether a text names a user account of the account store.
using UserAccountTest = std::function<bool(const std::string&)>;

// SMSFindUserRecord on one opening of the store for every call of the returned test;
// false for everything (and for "") when the store cannot be opened.
UserAccountTest UserAccountLookup();

// The account names in store order (SMSGetUserRecord 0, 1, ... until it fails); with
// `acceptReceivedOnly`, only accounts that accept received messages. Empty when the
// store cannot be opened.
std::vector<std::string> UserAccountNames(bool acceptReceivedOnly = false);

// The routing list of a connection: the values of AllowedUser1, AllowedUser2, ... then
// of Route1, Route2, ... (each read with ConnectionValues::Value), each sequence ending
// at its first empty value and after at most kMaxRoutingPositions entries.
std::vector<std::string> LoadRoutingList(const ConnectionValues& values);

// The routing keys on OK, in this order: Route1.. for the entries that are not user
// accounts, AllowedUser1.. for those that are, each numbered from 1 in list order over
// kMaxRoutingPositions positions (past the end a position is empty, so stored keys
// beyond the new end are deleted), then AllowedUserOnly ("Yes" when the list holds a
// user account, else ""); each put through RecordBuilder::Put.
void PutRoutingList(RecordBuilder& record, const std::vector<std::string>& list,
                    const UserAccountTest& isUserAccount);

// How "&Add" treats the routing list of one dialog.
struct RoutingListRules {
    std::size_t maxEntries = kMaxRoutingEntries;
    bool ignoreCase = true;                    // duplicates compared ignoring case
    std::size_t maxText = kRecordValueSize - 1;  // the edit text is cut to this
};

// The control ids of the routing list shared by the templates (RoutingGroup below).
inline constexpr const char* kRoutingAnyTraffic = "anyTraffic";
inline constexpr const char* kRoutingText = "preferredText";
inline constexpr const char* kRoutingAdd = "add";
inline constexpr const char* kRoutingList = "preferred";
inline constexpr const char* kRoutingRemove = "remove";

// The routing group: "Support any outbound message traffic", "Preferred SMSC
// Connection for:" with "&Add", the list, "&Remove".
ui::Control RoutingGroup(const std::string& title = "Routing");

// "&Add": takes the edit text (nothing when empty); an entry already there (by the
// rules) is selected; else, with the list full, kRoutingListFull is shown (error icon)
// and nothing changes, otherwise the text is appended and selected. The edit field is
// cleared after an entry was selected.
void RoutingListAdd(ui::Dialog& dialog, const RoutingListRules& rules = {});

// "&Remove": deletes the selected entry and selects the one before it (or the first).
void RoutingListRemove(ui::Dialog& dialog);

}  // namespace smsc
