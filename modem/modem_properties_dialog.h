// The "Modem Connection" dialog of a GSM modem or IP modem connection: route name,
// phone number, PIN, SMS access, receiving and storage, local routing, the preferred
// connection list and reboot-on-error. It never writes ZELLA.INI: it edits the
// connection edit record ("name\tKey=value\t...") that the SMSC page stores.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/ini_snapshot.h"
#include "ui/host.h"
#include "ui/template.h"

namespace modem {

inline constexpr std::size_t kMaxPreferredEntries = 10000;
inline constexpr std::size_t kModemValueSize = 8192;

// The items of "SMS Message Storage:", in their order.
const std::vector<std::string>& StorageItems();
inline constexpr const char* kLocalUserDisabled = "(disabled)";

// The values of one connection as the dialog sees them: the pending pairs of its edit
// record first, then its section of ZELLA.INI (read once, whole, so that a preferred
// list of thousands of keys loads at once), then the caller's default.
class ConnectionValues {
public:
    explicit ConnectionValues(const std::string& entry);
    const std::string& Name() const { return name_; }
    // The pending pairs in record order (keys as written).
    const std::vector<std::pair<std::string, std::string>>& Pending() const { return pending_; }
    // The value stored in the connection's section ("" when absent), cut to 8191.
    std::string Stored(const std::string& key) const;
    // The pending value when the record has the key, else the stored value when the
    // section has it, else `def`.
    std::string Value(const std::string& key, const std::string& def = "") const;

private:
    std::string Value(const std::string& key, const std::string& def, bool pendingFirst) const;
    std::string name_;
    std::vector<std::pair<std::string, std::string>> pending_;
    std::unordered_map<std::string, std::string> pendingByKey_;  // lower-case keys, first wins
    std::string section_;
    std::shared_ptr<const platform::IniSnapshot> stored_;  // ZELLA.INI as the dialog opened
};

// What the controls of the dialog hold.
struct ModemSettings {
    std::string routeName;
    std::string phoneNumber;
    std::string pin;
    std::string smsAccess;  // "", "GSM" or "GPRS"
    bool receiveSms = false;
    bool receiveMms = false;
    int storage = 0;         // index into StorageItems()
    std::string routeLocal;  // "" for "(disabled)"
    bool anyTraffic = true;  // "Support any outbound message traffic"
    bool reboot = false;
    std::vector<std::string> preferred;  // allowed users first, then routes
};

// Whether a text names a local user (an account of the account store).
using LocalUserTest = std::function<bool(const std::string&)>;

// The settings shown when the dialog opens, with the defaults of [ZELLA] for
// ReceiveSMS, ReceiveMMS and RebootOnModemError.
ModemSettings LoadModemSettings(const ConnectionValues& values);

// The edit record for OK: the name, every pending pair of a key this dialog does not
// own (the MMS settings, "SaveRoute"), then each owned key whose new value differs
// from the stored one (RouteName exactly, the others ignoring case), the routes and
// allowed users renumbered from 1, and AllowedUserOnly.
std::string BuildModemRecord(const ConnectionValues& values, const ModemSettings& settings,
                             const LocalUserTest& isLocalUser);

// Account-store users that accept received messages, by name, in store order.
std::vector<std::string> LocalUsers();
// SMSFindUserRecord on one opening of the store for all the calls of the returned test.
LocalUserTest LocalUserLookup();

// "DIALOG_ROUTING".
ui::Template ModemPropertiesTemplate();

// Opens the MMS settings of the connection; edits the record in place.
using MmsSettingsDialog = std::function<void(ui::Host&, std::string& record)>;

// `ModemPropertiesDialog`: true when OK was pressed; `entry` then holds the name and
// every changed key. Cancel gives false and leaves `entry` as it was.
bool ModemPropertiesDialog(ui::Host& host, std::string& entry,
                           const MmsSettingsDialog& mmsSettings = {});

}  // namespace modem
