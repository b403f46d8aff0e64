#include "gateway/routing.h"

#include <algorithm>

#include "platform/text.h"

namespace gateway {

namespace {

std::string_view WithoutPlus(std::string_view text) {
    while (!text.empty() && (text.front() == '+' || text.front() == ' ')) text.remove_prefix(1);
    return text;
}

bool Pinned(const RouteQuery& q, const RouteCandidate& c) {
    const ConnectionSettings& s = *c.settings;
    if (!q.smscRoute.empty())
        return platform::EqualsNoCase(s.Name(), q.smscRoute) ||
               (!s.routeName.empty() && platform::EqualsNoCase(s.routeName, q.smscRoute));
    return platform::EqualsNoCase(s.FileName(), q.folder);
}

bool ListsUser(const ConnectionSettings& s, const std::string& user) {
    for (const std::string& u : s.allowedUsers)
        if (platform::EqualsNoCase(u, user)) return true;
    return false;
}

// Preference of a connection for the query: higher is better; 0 means it may not take it.
std::size_t Rank(const RouteQuery& q, const ConnectionSettings& s) {
    const bool listed = ListsUser(s, q.user);
    if (s.allowedUserOnly && !listed) return 0;
    if (listed) return 1'000'000;
    std::size_t best = 0;
    for (const std::string& prefix : s.routePrefixes) best = std::max(best, PrefixMatch(q.recipient, prefix));
    if (best > 0) return 1000 + best;
    return s.routePrefOnly ? 0 : 1;
}

}  // namespace

std::size_t PrefixMatch(const std::string& recipient, const std::string& prefix) {
    const std::string_view r = WithoutPlus(recipient), p = WithoutPlus(prefix);
    if (p.empty() || r.size() < p.size() || r.substr(0, p.size()) != p) return 0;
    return p.size();
}

RouteChoice ChooseRoute(const RouteQuery& query, const std::vector<RouteCandidate>& candidates, std::size_t& turn) {
    RouteChoice choice;
    const bool pinned = !query.smscRoute.empty() || !query.folder.empty();
    if (pinned) {
        for (std::size_t i = 0; i < candidates.size(); ++i) {
            const RouteCandidate& c = candidates[i];
            if (!Pinned(query, c)) continue;
            choice.index = i;
            if (!c.driven) {
                choice.kind = RouteChoice::Kind::Wait;
                choice.reason = std::string(LinkKindName(c.settings->Kind())) + " connections are not served yet";
            } else if (!c.blockedReason.empty()) {
                choice.kind = RouteChoice::Kind::Wait;
                choice.reason = c.blockedReason;
            } else if (!c.up) {
                choice.kind = RouteChoice::Kind::Down;
                choice.reason = c.downError.empty() ? "Connection down" : c.downError;
            } else {
                choice.kind = c.hasRoom ? RouteChoice::Kind::Send : RouteChoice::Kind::Busy;
            }
            return choice;
        }
        choice.kind = RouteChoice::Kind::Wait;
        choice.reason = "Route not found: " + (query.smscRoute.empty() ? query.folder : query.smscRoute);
        return choice;
    }
    std::size_t bestRank = 0;
    bool anyUp = false, anyEligible = false;
    std::string lastBlock, lastDown;
    for (const RouteCandidate& c : candidates) {
        if (!c.driven) continue;
        const std::size_t rank = Rank(query, *c.settings);
        if (rank == 0) continue;
        if (!c.blockedReason.empty()) {
            lastBlock = c.blockedReason;
            continue;
        }
        anyEligible = true;
        if (!c.up) {
            lastDown = c.downError;
            continue;
        }
        anyUp = true;
        bestRank = std::max(bestRank, rank);
    }
    if (!anyUp) {
        choice.kind = anyEligible ? RouteChoice::Kind::Down : RouteChoice::Kind::Wait;
        choice.reason = anyEligible ? lastDown : lastBlock.empty() ? "No route available" : lastBlock;
        return choice;
    }
    // Take turns among the best-ranked connections that are up and have room.
    const std::size_t n = candidates.size();
    for (std::size_t k = 0; k < n; ++k) {
        const std::size_t i = (turn + k) % n;
        const RouteCandidate& c = candidates[i];
        if (!c.driven || !c.up || !c.blockedReason.empty() || !c.hasRoom) continue;
        if (Rank(query, *c.settings) != bestRank) continue;
        turn = i + 1;
        choice.kind = RouteChoice::Kind::Send;
        choice.index = i;
        return choice;
    }
    choice.kind = RouteChoice::Kind::Busy;
    return choice;
}

}  // namespace gateway
