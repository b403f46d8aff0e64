// The gateway's group inside the account-store library: the group whose members (the
// operators and the services) share the data directory.
#pragma once

#include <sys/types.h>

#include <string>

namespace acctdb {

// The id of the group "quvsms"; false when the machine has no such group.
bool GatewayGroupId(gid_t& gid);

// The group-access pass with an explicit group: below `directory` (followed by nothing
// but real directories, never a link), every directory and file owned by this process's
// user gets `group`; directories get group read/write/search and the set-group-ID bit;
// files that already grant their group something get group read/write, private files
// (no group bits) stay private. Entries of other users, links, special files and the
// supervisor's "SERVICES" folder at the top are left alone.
void GrantGatewayGroupAccess(const std::string& directory, gid_t group);

}  // namespace acctdb
