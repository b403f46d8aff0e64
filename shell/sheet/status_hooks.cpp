#include "shell/sheet/status_hooks.h"

namespace shell {

// The dialogs behind these hooks are not part of this release yet.
void OpenOutboundQueueViewer(ui::Host& host) { (void)host; }
void OpenSmppClientMonitor(ui::Host& host) { (void)host; }
void OpenEventLogViewer(ui::Host& host) { (void)host; }
void OpenAlertsDialog(ui::Host& host) { (void)host; }

}  // namespace shell
