// The "SMPP Client Connections" monitor. The Gateway service keeps one flag file open (and
// locked) per live SMPP client connection in "SMPPData/ActiveUsers/" of the private data
// directory, named "<address>-<connection>-<bind letter>-<user>.FLG"; a flag file that can
// be deleted belongs to an ended connection and is removed on sight.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "ui/host.h"
#include "ui/template.h"

namespace accounts {

inline constexpr std::size_t kMaxMonitorUsers = 10000;
inline constexpr const char* kSuspendedText =
    "SMPP access disabled for account.\r\nCredit balance for account reset.\r\n\r\nNo more "
    "messages may be submitted by this user, but it may take up to 60 seconds to complete "
    "disconnection.\r\n\r\nTo re-enable account, edit user from SMS Users page.";

struct FlagFile {
    std::string address;
    char bind = 0;  // 'T', 'S' or 'R' as named
    std::string user;
};
// The parts of a flag file name; nothing when it has fewer than three "-" before ".FLG".
// The user name is everything after the third "-", so it may hold "-" itself.
std::optional<FlagFile> ParseFlagFileName(const std::string& name);

// The flag directory: GetPrivateDataDirectory() + "SMPPData/ActiveUsers/".
std::string ActiveUsersDirectory();

// One walk over the flag files: stale ones deleted, the live ones in directory order.
std::vector<FlagFile> LiveFlagFiles();

// "user\t1 connection" / "user\t%u connections" per user (names compared ignoring case),
// sorted by text, at most 10,000 users.
std::vector<std::string> MonitorEntries(const std::vector<FlagFile>& live);

// The details text of one user: quota use, then one line per client address.
std::string MonitorDetails(const std::string& user, const std::vector<FlagFile>& live);

// "DIALOG_SMPPCLIENTS", title "SMPP Client Connections".
ui::Template SmppClientsTemplate();
// The modal monitor, refreshed every 5 seconds.
void ShowSmppClientMonitor(ui::Host& host);

}  // namespace accounts
