#include "shell/sheet/status_hooks.h"

#include "accounts/smpp_clients.h"
#include "twoway/alerts_dialog.h"

namespace shell {

// The dialogs behind the remaining empty hooks are not part of this release yet.
void OpenOutboundQueueViewer(ui::Host& host) { (void)host; }
void OpenSmppClientMonitor(ui::Host& host) { accounts::ShowSmppClientMonitor(host); }
void OpenEventLogViewer(ui::Host& host) { (void)host; }
void OpenAlertsDialog(ui::Host& host) { twoway::EditEmailAlerts(host); }

}  // namespace shell
