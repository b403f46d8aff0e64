// The "SMPP Connection" dialog ("DIALOG_SMPP"): an SMPP v3.3/v3.4 connection's name
// (host and port), login, sender address, receiving, routing list and advanced
// settings; on OK the connection test and the connection edit record for the SMSC page.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "smsc/connection_edit.h"
#include "ui/host.h"
#include "ui/template.h"

namespace smsc {

inline constexpr const char* kSmppPrefix = "SMPP - ";
// The pending advanced settings of a new connection: it is stored with LongSMSAlt=Yes
// unless the operator changes it.
inline constexpr const char* kNewSmppAdvanced = "SMPP - TBD\tLongSMSAlt=Yes";

// What the controls of the main dialog hold.
struct SmppSettings {
    std::string routeName;
    std::string host;  // with any "#n" suffix
    std::string port;  // as typed
    bool useSsl = false;
    bool v33 = false;  // else v3.4
    std::string userName, password, addressRange, systemType, senderAddress;
    bool senderOverride = true;
    bool receive = false;
    std::string routeLocal;  // "" for "(disabled)"
    bool receiveMms = false;
    bool anyTraffic = true;
    std::vector<std::string> routing;
};

// The fields as the dialog opens them: from the pending pairs, else the stored section,
// else the defaults (route name: the connection name when the key is empty; v3.3 only
// for a stored "v3.3"; "Use SSL/TLS" unchecked unless `tlsAvailable`).
SmppSettings LoadSmppSettings(const ConnectionValues& opened, bool tlsAvailable);

// The pending advanced settings the dialog starts with: the connection name and every
// advanced key (and SaveRoute) the opened record carries, in the advanced order;
// kNewSmppAdvanced for a new connection.
std::string InitialSmppAdvanced(const ConnectionValues& opened);

// The record for OK: `newName`, the main keys that differ from the stored ones, the
// routing keys, SaveRoute, the pending advanced settings from their first tab on (less
// a SaveRoute already written), then pending pairs of keys neither dialog owns (the MMS
// settings). A route name equal to the old or new connection name is stored empty.
std::string BuildSmppRecord(const ConnectionValues& opened, const std::string& newName,
                            const SmppSettings& settings, const std::string& pendingAdvanced,
                            const UserAccountTest& isUserAccount);

// "DIALOG_SMPP".
ui::Template SmppTemplate();

// What the dialog asks of the rest of the console; empty members take the real ones
// (shell::IsGatewayServiceActive, shell::TlsAvailable, PageConnectionNames).
struct SmppDialogServices {
    std::function<bool()> serviceActive;
    std::function<bool()> tlsAvailable;
    std::function<std::vector<std::string>()> connectionNames;
};

// `EditSmppConnection` with its services: true when OK accepted the connection, with
// `record` replaced by the new connection edit record; false leaves it as it was.
bool RunSmppDialog(ui::Host& host, std::string& record, const SmppDialogServices& services);

}  // namespace smsc
