// The HTTP link: each message is one request (one per part when it is cut into parts)
// built from the connection's URL templates, sent directly or through the proxy, over
// TLS for https, by ThreadCount workers at once. A 2xx answer is success, 4xx a refusal
// for good, anything else a refusal for now; a server that cannot be reached at all
// marks the link down until one answers again.
#pragma once

#include <memory>

#include "gateway/links/link.h"
#include "gateway/links/ucp_cimd_common.h"

namespace gateway {

// As CreateLink does for an "HTTP - " connection, with the bounds given (connectMs and
// responseMs bound each request).
std::unique_ptr<SmscLink> CreateHttpLink(const ConnectionSettings& settings, LinkEvents& events,
                                         const SessionTimings& timings);

}  // namespace gateway
