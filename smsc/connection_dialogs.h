// The dialogs of the connection types, as the SMSC page reaches them: each body here
// opens its editor (the SMPP one lives in smpp_dialog.h); editors that come with later
// releases tell the operator that they are not available (error icon) and change
// nothing.
//
// Every editor takes the connection edit record ("name\tKey=value...", empty for a new
// connection) and returns true with the new record in it when OK created or changed
// the connection; false leaves the record as it was.
#pragma once

#include <string>

#include "modem/mms_settings_dialog.h"
#include "ui/host.h"

namespace smsc {

// "DIALOG_SMPP" (RunSmppDialog with the real services).
bool EditSmppConnection(ui::Host& host, std::string& record);
// "DIALOG_HTTP".
bool EditHttpConnection(ui::Host& host, std::string& record);
// "DIALOG_UCP".
bool EditUcpConnection(ui::Host& host, std::string& record);
// "DIALOG_CIMD".
bool EditCimdConnection(ui::Host& host, std::string& record);
// "DIALOG_ADDQUVSMSMODEM": finds and adds a network modem.
bool AddNetworkModemDialog(ui::Host& host, std::string& record);
// "DIALOG_QUVSMSMODEM": the properties of a network modem.
bool NetworkModemPropertiesDialog(ui::Host& host, std::string& record);
// The MMS settings of the connection the record names ("MMS Settings", stored in
// ZELLA.INI on OK; the record itself is left as it is).
void EditMmsSettings(ui::Host& host, std::string& record);
// The services of the MMS settings: the defaults, with the WAP link library's
// functions when that library is present.
modem::MmsSettingsServices MmsSettingsServices();
// "DIALOG_TESTMSG": sends a test message through the named connection.
void TestMessageDialog(ui::Host& host, const std::string& connectionName);

// The text the placeholders show: "<what> is not available in this version."
std::string NotAvailableText(const std::string& what);

}  // namespace smsc
