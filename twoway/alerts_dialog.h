// The "E-Mail System Alerts" dialog: the alert settings of [ZELLA] and the test message,
// sent by SMTP to the configured server or, without one, queued through the MMSC
// service.
#pragma once

#include <cstdint>

#include "ui/host.h"
#include "ui/template.h"

namespace twoway {

// "DIALOG_ALERT".
ui::Template AlertsTemplate();

// Shows the dialog; OK writes the AlertEMail* keys and gives 1, Cancel gives 0. Fields
// holding a line break or other control character are refused with a message, so no
// such value reaches ZELLA.INI or the SMTP conversation. `secondMs` is the length of a
// "second" of the SMTP reply time-outs (tests shorten it).
int EditEmailAlerts(ui::Host& host, std::uint64_t secondMs = 1000);

}  // namespace twoway
