// The "Connection Restrictions" dialog of any connection: enabled or not, daily and
// monthly message limits, quiet hours and a speed limit. Unlike the other connection
// dialogs it writes the connection's section of ZELLA.INI itself, on OK.
#pragma once

#include <string>

#include "ui/host.h"
#include "ui/template.h"

namespace modem {

// "DIALOG_RESTRICTIONS".
ui::Template RestrictionsTemplate();

// A number as typed in a restriction field: leading blanks, an optional sign and the
// decimal digits that follow; anything else counts as 0.
long ParseRestrictionNumber(const std::string& text);

// `RestrictionsDialog`: shows the restrictions of the named connection; OK writes
// Offline, CreditLimitDay, CreditLimitMonth (with CreditLimitResetDay),
// QuietHourStart/QuietHourEnd and SMSCSendLimit at once and gives true. Without a name
// it closes at once with false; Cancel gives false and writes nothing.
bool RestrictionsDialog(ui::Host& host, const std::string& connectionName);

}  // namespace modem
