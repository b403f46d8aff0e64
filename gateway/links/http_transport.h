// One HTTP exchange with the provider's server: connect (directly, or through the proxy,
// tunnelled for https), TLS through the TLS library, the request, and the answer read
// with bounds on its size and its time.
#pragma once

#include <string>

#include "gateway/links/http_request.h"
#include "gateway/links/ucp_cimd_common.h"

namespace gateway {

struct HttpAnswer {
    int status = 0;
    std::string statusLine;
    std::string body;  // at most kMaxHttpBody bytes of it
};

inline constexpr std::size_t kMaxHttpBody = 16384;

enum class HttpReach {
    Answered,     // an answer with a status came back
    Unreachable,  // the server or proxy could not be reached, or TLS failed
    Failed,       // reached, but no usable answer (time-out, close, not HTTP, too long)
};

// Sends `call` as the connection's settings say; `error` tells why when not Answered.
HttpReach SendHttpCall(const ConnectionSettings& settings, const HttpCall& call,
                       const SessionTimings& timings, HttpAnswer& answer, std::string& error);

}  // namespace gateway
