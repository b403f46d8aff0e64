// The "Modem Connection" dialog of a GSM modem or IP modem connection: route name,
// phone number, PIN, SMS access, receiving and storage, local routing, the preferred
// connection list and reboot-on-error. It never writes ZELLA.INI: it edits the
// connection edit record ("name\tKey=value\t...") that the SMSC page stores.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "smsc/connection_edit.h"
#include "ui/host.h"
#include "ui/template.h"

namespace modem {

inline constexpr std::size_t kMaxPreferredEntries = 10000;
inline constexpr std::size_t kModemValueSize = 8192;

// The items of "SMS Message Storage:", in their order.
const std::vector<std::string>& StorageItems();
inline constexpr const char* kLocalUserDisabled = "(disabled)";

// The values of one connection as the dialog sees them: the pending pairs of its edit
// record first, then its section of ZELLA.INI, then the caller's default (the loading
// shared by every connection dialog).
using ConnectionValues = smsc::ConnectionValues;

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
using LocalUserTest = smsc::UserAccountTest;

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

// Opens the MMS settings of the connection the record names.
using MmsSettingsOpener = std::function<void(ui::Host&, std::string& record)>;

// `ModemPropertiesDialog`: true when OK was pressed; `entry` then holds the name and
// every changed key. Cancel gives false and leaves `entry` as it was.
bool ModemPropertiesDialog(ui::Host& host, std::string& entry,
                           const MmsSettingsOpener& mmsSettings = {});

}  // namespace modem
