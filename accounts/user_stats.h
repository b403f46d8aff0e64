// A user's message statistics, read from the quota files (accounts/quota.h), as the
// "Statistics" dialog of the SMS Users page lists them.
#pragma once

#include <string>
#include <vector>

#include "ui/host.h"
#include "ui/template.h"

namespace accounts {

// The statistics lines of a user from 2000 through `lastYear`: one line per day with
// messages, "%s %u, %d\t%u messages", and after each month with messages
// "   TOTAL - %s %d\t%u messages".
std::vector<std::string> UserStatsLines(const std::string& user, int lastYear);

// "DIALOG_USERSTATS", title "Statistics".
ui::Template UserStatsTemplate();
// `ShowUserStats`: the modal statistics dialog of a user up to the gateway's current year,
// scrolled to its last line.
void ShowUserStats(ui::Host& host, const std::string& user);

}  // namespace accounts
