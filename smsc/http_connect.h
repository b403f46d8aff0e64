// The HTTP SMSC connection test: it connects to the provider's server (or to the HTTP
// proxy when one is set) and, for "https://" without a proxy, negotiates TLS; it sends
// no request. Run as a long operation so the window stays painted and Cancel ends a
// connect or handshake that hangs.
#pragma once

#include <string>

#include "ui/host.h"

namespace smsc {

struct HttpTestTarget {
    std::string host;  // as the connection name carries it, "#n" suffix included
    unsigned port = 80;
    bool ssl = false;
    std::string proxy;  // "host" or "host:port" (port 80 when none); empty: no proxy
};

// What the test found: `failure` empty when it passed, else the operator's message
// ("General socket error", "Unable to connect to proxy server %s:%u", "Unable to
// connect to server %s:%u", "Unable to negotiate SSL/TLS connection with server\r\n\r\n"
// and the TLS library's reason) and `focus`, the id of the field at fault ("url" or
// "proxy"). TLS is negotiated only while TLS is available.
struct HttpTestOutcome {
    std::string failure;
    std::string focus;
    bool Passed() const { return failure.empty(); }
};
HttpTestOutcome TestHttpConnection(ui::Host& host, const HttpTestTarget& target);

}  // namespace smsc
