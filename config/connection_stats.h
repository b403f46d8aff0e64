// The statistics dialog "DIALOG_STATS" of one SMSC connection: its day-by-day history of
// messages sent or received, read from the connection's yearly counter files.
#pragma once

#include <string>
#include <vector>

#include "ui/host.h"
#include "ui/template.h"

namespace config {

// The template: title "Statistics", the list, the choices "Messages Sent" and
// "Messages Received", and "OK".
ui::Template ConnectionStatsTemplate();

// `ShowConnectionStats`: shows the dialog modally on `host` for `connectionName`, with
// "Messages Sent" chosen; the list follows the choice and its last line is selected.
void ShowConnectionStats(ui::Host& host, const std::string& connectionName);

// The list lines for one direction, from 2000 to `currentYear`, for every year whose
// counter file exists: "<Month> <day>, <year>\t<count> messages" for each day with a
// non-zero count, and after each month with any messages
// "   TOTAL - <Month> <year>\t<sum> messages".
std::vector<std::string> ConnectionStatsLines(const std::string& connectionName, bool received,
                                              int currentYear);

}  // namespace config
