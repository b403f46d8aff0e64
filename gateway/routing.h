// Which connection carries a request. A request names its connection (SMSCRoute, by name
// or RouteName, or the queue sub-directory it was put in) or leaves the choice to the
// service. Without a name, the candidates are the connections that may send now; a
// connection with AllowedUserOnly takes only its listed users. Preference goes to a
// connection that lists the request's user, then to the longest matching recipient
// prefix, then to any connection not restricted to its preferred prefixes (RoutePrefOnly);
// equals take turns.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "gateway/settings.h"

namespace gateway {

// What the service knows of a connection at the moment of choosing.
struct RouteCandidate {
    const ConnectionSettings* settings = nullptr;
    bool driven = false;  // this service has a link for it
    bool up = false;
    bool hasRoom = false;       // the link takes another message now
    std::string blockedReason;  // offline, quiet hours, over a limit: why it may not send
    std::string downError;      // why it is down
};

struct RouteQuery {
    std::string smscRoute;  // SMSCRoute of the request
    std::string folder;     // the queue sub-directory ("" for the root)
    std::string recipient;
    std::string user;
};

struct RouteChoice {
    enum class Kind {
        Send,  // `index` takes it now
        Busy,  // some connection could take it once it has room: try again soon
        Wait,  // nothing may take it now; `reason` says why (for the request's error detail)
        Down,  // the connection it needs is down: waits without an error of its own
    } kind = Kind::Wait;
    std::size_t index = 0;
    std::string reason;
};

// Chooses among `candidates`; `turn` is advanced to rotate among equals.
RouteChoice ChooseRoute(const RouteQuery& query, const std::vector<RouteCandidate>& candidates, std::size_t& turn);

// The length of the prefix of `recipient` that `prefix` matches (a leading "+" of
// either ignored), or 0 when it does not.
std::size_t PrefixMatch(const std::string& recipient, const std::string& prefix);

}  // namespace gateway
