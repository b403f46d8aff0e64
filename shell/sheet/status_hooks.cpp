#include "shell/sheet/status_hooks.h"

#include "viewers/queue_viewer.h"

namespace shell {

void OpenOutboundQueueViewer(ui::Host& host) { viewers::OpenQueueViewer(host, viewers::ViewerKind::Outbound); }

// The dialogs behind these hooks are not part of this release yet.
void OpenSmppClientMonitor(ui::Host& host) { (void)host; }
void OpenEventLogViewer(ui::Host& host) { (void)host; }
void OpenAlertsDialog(ui::Host& host) { (void)host; }

}  // namespace shell
