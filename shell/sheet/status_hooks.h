// The dialogs the Status and Service pages open that other parts of the console provide:
// the outbound queue viewer, the SMPP client monitor, the event log viewer and the
// alerts dialog. The event log viewer's hook does nothing visible until that viewer
// exists; the pages call every hook already, so wiring a dialog in touches only its hook.
#pragma once

#include "ui/host.h"

namespace shell {

// "View" beside the outbound queue: the outbound SMS queue viewer "DIALOG_SMSQ".
void OpenOutboundQueueViewer(ui::Host& host);
// "View" beside the SMPP client count: the SMPP client monitor "DIALOG_SMPPCLIENTS".
void OpenSmppClientMonitor(ui::Host& host);
// "Event Log": the event log viewer "DIALOG_EVENT".
void OpenEventLogViewer(ui::Host& host);
// "Manage Alerts": the alerts dialog "DIALOG_ALERT".
void OpenAlertsDialog(ui::Host& host);

}  // namespace shell
