// The UCP/EMI link: one TCP session to the SMSC, logged in with operation 60 when the
// connection has a user name; submits (51) with a small window of transactions matched
// by their numbers, alerts (31) as keep-alive, and deliveries (52) and notifications (53)
// from the SMSC stored before they are acknowledged.
#pragma once

#include <memory>

#include "gateway/links/link.h"
#include "gateway/links/ucp_cimd_common.h"

namespace gateway {

// As CreateLink does for a "UCP - " connection, with the session's bounds given.
std::unique_ptr<SmscLink> CreateUcpLink(const ConnectionSettings& settings, LinkEvents& events,
                                        const SessionTimings& timings);

}  // namespace gateway
