#include "shell/sheet/status_hooks.h"

#include "accounts/smpp_clients.h"
#include "twoway/alerts_dialog.h"
#include "viewers/event_viewer.h"
#include "viewers/queue_viewer.h"

namespace shell {

void OpenOutboundQueueViewer(ui::Host& host) {
    viewers::OpenQueueViewer(host, viewers::ViewerKind::Outbound);
}
void OpenSmppClientMonitor(ui::Host& host) { accounts::ShowSmppClientMonitor(host); }
void OpenEventLogViewer(ui::Host& host) { viewers::OpenEventLogViewer(host); }
void OpenAlertsDialog(ui::Host& host) { twoway::EditEmailAlerts(host); }

}  // namespace shell
