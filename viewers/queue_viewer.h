// The outbound SMS queue, received SMS and received MMS viewers ("DIALOG_SMSQ": one
// layout, three configurations) and the MMS details dialog ("DIALOG_MMSVIEW"). Each
// viewer keeps its rows and its sort order for the life of the process.
#pragma once

#include <string>

#include "ui/host.h"

namespace viewers {

enum class ViewerKind { Outbound, ReceivedSms, ReceivedMms };

ui::Template QueueViewerTemplate(ViewerKind kind);
ui::Template MmsDetailsTemplate();

// Shows the viewer modally until the operator closes it.
void OpenQueueViewer(ui::Host& host, ViewerKind kind);
// Shows the header and content parts of the received MMS whose ".HDR" file is `hdrPath`.
void OpenMmsDetails(ui::Host& host, const std::string& hdrPath);

// The summary line for a matched count: "Outbound SMS Message Queue:  2 messages", with
// the viewer's empty word ("Empty" or "None") for 0.
std::string ViewerSummary(ViewerKind kind, unsigned matched);

}  // namespace viewers
