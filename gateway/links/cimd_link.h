// The CIMD2 link: one TCP session to the SMSC, logged in (01) and out (02 at stop);
// submits (03) with a small window of packets matched by their numbers, alive (40) as
// keep-alive, and delivered messages (20) and status reports (23) stored before they are
// answered.
#pragma once

#include <memory>

#include "gateway/links/link.h"
#include "gateway/links/ucp_cimd_common.h"

namespace gateway {

// As CreateLink does for a "CIMD - " connection, with the session's bounds given.
std::unique_ptr<SmscLink> CreateCimdLink(const ConnectionSettings& settings, LinkEvents& events,
                                         const SessionTimings& timings);

}  // namespace gateway
