// The outbound queue's side of the service: finding requests, choosing their connection,
// handing them to links and recording what became of them.
#include <algorithm>

#include "acctdb/acctdb.h"
#include "config/counters.h"
#include "config/credit.h"
#include "gateway/logs.h"
#include "gateway/message_parts.h"
#include "gateway/request.h"
#include "gateway/service.h"
#include "gateway/spool.h"
#include "platform/io_wait.h"
#include "platform/text.h"

namespace gateway {

namespace {

constexpr std::uint64_t kBusyRetryMs = 200;        // all connections full: look again soon
constexpr std::uint64_t kWaitRecheckMs = 30'000;   // offline, quiet, over a limit, no route
constexpr std::uint64_t kLockedRetryMs = 2'000;    // the console holds the request
constexpr std::size_t kDispatchScanLimit = 2'000;  // entries looked at per round

// The parts a message takes on an SMSC link, for limits and credit.
unsigned CountParts(const OutboundRequest& r) {
    std::string octets, udh;
    if (r.binary) HexToOctets(r.data, octets);
    HexToOctets(r.udh, udh);
    return CountMessageParts(r.data, octets, udh, r.binary);
}

OutboundMessage MessageOf(const OutboundRequest& r, const std::string& id) {
    OutboundMessage m;
    m.id = id;
    m.recipient = r.phoneNumber;
    m.sender = r.sender;
    m.binary = r.binary;
    if (r.binary) HexToOctets(r.data, m.octets);
    else m.text = r.data;
    HexToOctets(r.udh, m.udh);
    m.pid = r.pid;
    m.dcs = r.dcs;
    m.receiptRequested = r.receiptRequested;
    m.serviceType = r.serviceType;
    return m;
}

}  // namespace

void Service::Scan() {
    for (auto& [path, entry] : entries_) entry.seen = entry.inFlight;
    std::vector<QueueEntry*> added;
    ScanSpool(settings_.queueDir, [&](const SpoolFile& f) {
        auto [it, isNew] = entries_.try_emplace(f.path);
        QueueEntry& e = it->second;
        e.seen = true;
        if (isNew || e.inode != f.inode) {
            // A new request, or one the console replaced by another under the same name.
            const bool inFlight = e.inFlight;
            e = QueueEntry();
            e.path = f.path;
            e.folder = f.folder;
            e.id = f.id;
            e.inode = f.inode;
            e.modifiedMs = f.modifiedUnixMillis;
            e.inFlight = inFlight;
            if (!inFlight) added.push_back(&e);
        }
        return true;
    });
    for (auto it = entries_.begin(); it != entries_.end();)
        it = (!it->second.seen && !it->second.inFlight) ? entries_.erase(it) : std::next(it);
    // Oldest first, as they were submitted.
    std::sort(added.begin(), added.end(), [](const QueueEntry* a, const QueueEntry* b) {
        return a->modifiedMs != b->modifiedMs ? a->modifiedMs < b->modifiedMs : a->path < b->path;
    });
    for (QueueEntry* e : added) Enqueue(*e);
    ready_.erase(std::remove_if(ready_.begin(), ready_.end(), [&](const std::string& p) { return !entries_.count(p); }),
                 ready_.end());
    for (auto& [path, entry] : entries_) entry.queued = false;
    for (const std::string& p : ready_) entries_[p].queued = true;
}

void Service::Enqueue(QueueEntry& entry) {
    if (entry.queued || entry.inFlight) return;
    entry.queued = true;
    ready_.push_back(entry.path);
}

void Service::Forget(const std::string& path) { entries_.erase(path); }

std::string Service::BlockedReason(Connection& c, unsigned parts) {
    const ConnectionSettings& s = c.settings;
    if (s.offline) return "Connection is off-line";
    const platform::SystemTime now = LocalNow();
    if (s.quiet.Contains(now.hour)) return "Quiet hours";
    const int day = config::CounterDayIndex(now.year, now.month, now.day);
    if ((s.creditLimitDay > 0 || s.creditLimitMonth > 0) && c.countsDay != day) {
        c.sentToday = stats_.SentToday(s.Name());
        c.sentPeriod = stats_.SentSinceReset(s.Name(), s.creditLimitResetDay);
        c.countsDay = day;
    }
    if (s.creditLimitDay > 0 && c.sentToday + parts > static_cast<std::uint64_t>(s.creditLimitDay))
        return "Daily credit limit reached";
    if (s.creditLimitMonth > 0 && c.sentPeriod + parts > static_cast<std::uint64_t>(s.creditLimitMonth))
        return "Monthly credit limit reached";
    if (s.sendLimit.count > 0) {
        const std::uint64_t ms = platform::SteadyMillis();
        const double rate = static_cast<double>(s.sendLimit.count) / (s.sendLimit.seconds * 1000.0);
        if (c.tokensAtMs == 0) c.tokens = s.sendLimit.count;
        c.tokens = std::min<double>(s.sendLimit.count, c.tokens + (ms - c.tokensAtMs) * rate);
        c.tokensAtMs = ms;
        if (c.tokens < 1.0) return "Send limit";
    }
    return {};
}

std::vector<RouteCandidate> Service::Candidates() {
    std::vector<RouteCandidate> list;
    list.reserve(connections_.size());
    for (auto& c : connections_) {
        RouteCandidate rc;
        rc.settings = &c->settings;
        rc.driven = c->link != nullptr || c->settings.offline;
        rc.up = c->up;
        rc.hasRoom = c->inFlight < c->capacity;
        rc.blockedReason = BlockedReason(*c, 1);
        rc.downError = c->downError;
        list.push_back(std::move(rc));
    }
    return list;
}

void Service::Dispatch() {
    if (ready_.empty()) return;
    std::vector<RouteCandidate> candidates = Candidates();
    const auto anyRoom = [&] {
        for (const RouteCandidate& c : candidates)
            if (c.driven && c.up && c.hasRoom && c.blockedReason.empty()) return true;
        return false;
    };
    std::size_t looked = 0;
    std::vector<std::string> busy;
    const std::uint64_t now = platform::SteadyMillis();
    while (!ready_.empty() && looked++ < kDispatchScanLimit) {
        std::string path = std::move(ready_.front());
        ready_.pop_front();
        auto it = entries_.find(path);
        if (it == entries_.end()) continue;
        QueueEntry& entry = it->second;
        entry.queued = false;
        if (entry.inFlight || entry.notBeforeMs > now) continue;
        if (TryDispatch(entry, candidates)) continue;
        busy.push_back(std::move(path));
        // Every connection full: the rest of the line could only be found busy too.
        if (!anyRoom()) break;
    }
    // Requests that found every suitable connection full keep their place in the line.
    for (auto it = busy.rbegin(); it != busy.rend(); ++it) {
        auto e = entries_.find(*it);
        if (e == entries_.end() || e->second.queued || e->second.inFlight) continue;
        e->second.queued = true;
        ready_.push_front(*it);
    }
}

bool Service::TryDispatch(QueueEntry& entry, std::vector<RouteCandidate>& candidates) {
    platform::LockedFile file;
    OutboundRequest request;  // read once per attempt, when the file is claimed
    std::string error;
    bool parsed = false;
    if (!entry.known) {
        const auto claim = file.Claim(entry.path, kMaxRequestBytes);
        if (claim == platform::LockedFile::ClaimResult::Missing) {
            Forget(entry.path);
            return true;
        }
        if (claim == platform::LockedFile::ClaimResult::Busy) {
            entry.notBeforeMs = platform::SteadyMillis() + kLockedRetryMs;
            return true;
        }
        if (claim != platform::LockedFile::ClaimResult::Claimed) {
            FailUnreadable(entry, file, claim == platform::LockedFile::ClaimResult::TooLarge
                                            ? "Request file is too large"
                                            : "Request is not a readable file");
            return true;
        }
        if (!ParseRequest(file.Text(), request, error)) {
            FailUnreadable(entry, file, error);
            return true;
        }
        parsed = true;
        entry.smscRoute = request.smscRoute;
        entry.recipient = request.phoneNumber;
        entry.user = request.User();
        entry.known = true;
    }
    RouteQuery query{entry.smscRoute, entry.folder, entry.recipient, entry.user};
    if (platform::StartsWithNoCase(entry.folder, "USER__")) query.folder.clear();
    const RouteChoice choice = ChooseRoute(query, candidates, turn_);
    if (choice.kind == RouteChoice::Kind::Busy) return false;
    if (choice.kind == RouteChoice::Kind::Down) {
        // No attempt: the connection's error file tells why the message waits.
        entry.notBeforeMs = platform::SteadyMillis() + kWaitRecheckMs;
        entry.waitsForLink = true;
        return true;
    }
    if (choice.kind == RouteChoice::Kind::Wait) {
        Wait(entry, choice.reason, kWaitRecheckMs, file);
        return true;
    }
    Connection& c = *connections_[choice.index];
    if (!file.Valid()) {
        const auto claim = file.Claim(entry.path, kMaxRequestBytes);
        if (claim == platform::LockedFile::ClaimResult::Missing) {
            Forget(entry.path);
            return true;
        }
        if (claim != platform::LockedFile::ClaimResult::Claimed) {
            entry.notBeforeMs = platform::SteadyMillis() + kLockedRetryMs;
            entry.known = false;
            return true;
        }
    }
    if (!parsed && !ParseRequest(file.Text(), request, error)) {
        FailUnreadable(entry, file, error);
        return true;
    }
    const unsigned parts = CountParts(request);
    const std::string blocked = BlockedReason(c, parts);
    if (!blocked.empty()) {
        Wait(entry, blocked, kWaitRecheckMs, file);
        return true;
    }
    std::string creditMessage;
    if (!request.chargedOnSubmit &&
        config::DebitCredit(request.User(), &creditMessage, static_cast<std::int64_t>(parts) * 1000, true) < 0) {
        Attempt attempt;
        attempt.path = entry.path;
        attempt.file = std::move(file);
        attempt.id = entry.id;
        attempt.recipient = request.phoneNumber;
        attempt.user = request.User();
        FinalFailure(attempt, c.settings.Name(), creditMessage);
        return true;
    }
    OutboundMessage message = MessageOf(request, entry.id);
    message.token = nextToken_++;
    Attempt attempt;
    attempt.path = entry.path;
    attempt.connection = c.settings.Name();
    attempt.file = std::move(file);
    attempt.id = entry.id;
    attempt.recipient = request.phoneNumber;
    attempt.user = request.User();
    attempt.validity = request.validity;
    attempt.retryCount = request.retryCount;
    attempt.firstAttemptTime = request.firstAttemptTime;
    attempt.parts = parts;
    attempt.chargedOnSubmit = request.chargedOnSubmit;
    attempts_.emplace(message.token, std::move(attempt));
    entry.inFlight = true;
    ++c.inFlight;
    candidates[choice.index].hasRoom = c.inFlight < c.capacity;
    if (c.settings.sendLimit.count > 0) candidates[choice.index].blockedReason = BlockedReason(c, 1);
    if (c.settings.sendLimit.count > 0) c.tokens -= parts;
    ServiceLogs().Debug("SMSDEBUG.LOG", "Sending " + entry.id + " to " + request.phoneNumber + " through " + c.settings.Name());
    c.link->Send(std::move(message));
    return true;
}

void Service::Wait(QueueEntry& entry, const std::string& reason, std::uint64_t forMs, platform::LockedFile& file) {
    entry.notBeforeMs = platform::SteadyMillis() + forMs;
    if (entry.waitReason == reason) return;
    if (!file.Valid() && file.Claim(entry.path, kMaxRequestBytes) != platform::LockedFile::ClaimResult::Claimed) return;
    OutboundRequest request;
    std::string error;
    ParseRequest(file.Text(), request, error);
    if (file.Rewrite(WithErrorDetail(file.Text(), request.retryCount, request.firstAttemptTime,
                                     request.lastRetryTime, reason))) {
        entry.waitReason = reason;
        entry.inode = file.Inode();
    }
}

void Service::FailUnreadable(QueueEntry& entry, platform::LockedFile& file, const std::string& error) {
    Attempt attempt;
    attempt.path = entry.path;
    attempt.file = std::move(file);
    attempt.id = entry.id;
    FinalFailure(attempt, "", error);
}

void Service::Finished(Attempt& attempt, Connection* c, const SendResult& result) {
    auto it = entries_.find(attempt.path);
    if (it != entries_.end()) it->second.inFlight = false;
    switch (result.outcome) {
        case Outcome::Sent: {
            ServiceLogs().Daily("SMSOUT", Now14() + "," + Field(attempt.id) + "," + Field(attempt.connection) + "," +
                                              Field(attempt.recipient) + ",OK," + Field(result.smscId) + "," +
                                              Field(attempt.user));
            stats_.Count("SMSSENT");
            stats_.CountConnection(attempt.connection, false, result.parts);
            if (c) {
                c->sentToday += result.parts;
                c->sentPeriod += result.parts;
            }
            if (!attempt.chargedOnSubmit)
                config::DebitCredit(attempt.user, nullptr, static_cast<std::int64_t>(result.parts) * 1000, false);
            attempt.file.Remove();
            Forget(attempt.path);
            break;
        }
        case Outcome::Permanent:
            FinalFailure(attempt, attempt.connection, result.error);
            break;
        case Outcome::Temporary:
            Retry(attempt, result.error);
            break;
        case Outcome::NotSent:
            attempt.file.Release();
            if (it != entries_.end()) {
                it->second.notBeforeMs = platform::SteadyMillis() + 1000;
            }
            break;
    }
}

void Service::Retry(Attempt& attempt, const std::string& error) {
    const std::string now = Now14();
    const unsigned count = attempt.retryCount + 1;
    const std::string first = attempt.firstAttemptTime.empty() ? now : attempt.firstAttemptTime;
    const std::int64_t firstMs = Time14ToUnixMillis(first);
    const std::int64_t nowMs = platform::Clock().UnixMillis();
    const std::uint64_t age = firstMs > 0 && nowMs > firstMs ? static_cast<std::uint64_t>(nowMs - firstMs) : 0;
    if (GiveUp(retry_, count, age, attempt.validity)) {
        FinalFailure(attempt, attempt.connection, error);
        return;
    }
    stats_.Count("SMSRETRY");
    alerts_.Raise(AlertKind::Warning, "retry:" + attempt.connection,
                  "Message " + attempt.id + " to " + attempt.recipient + " through " + attempt.connection +
                      " will be tried again: " + error);
    auto it = entries_.find(attempt.path);
    if (attempt.file.Rewrite(WithErrorDetail(attempt.file.Text(), count, first, now, error)) && it != entries_.end()) {
        it->second.inode = attempt.file.Inode();
        it->second.waitReason.clear();
    }
    attempt.file.Release();
    if (it != entries_.end()) it->second.notBeforeMs = platform::SteadyMillis() + RetryDelayMs(retry_, count);
    ServiceLogs().Debug("SMSDEBUG.LOG", attempt.id + ": attempt " + std::to_string(count) + " failed: " + error);
}

void Service::FinalFailure(Attempt& attempt, const std::string& route, const std::string& error) {
    std::string text = OneLineField(error.empty() ? "Message failed" : error);
    // The console reads a status beginning with "OK" as sent.
    if (platform::StartsWithNoCase(text, "OK")) text = "Error: " + text;
    ServiceLogs().Daily("SMSOUT", Now14() + "," + Field(attempt.id) + "," + Field(route) + "," + Field(attempt.recipient) +
                                      "," + text + ",," + Field(attempt.user));
    stats_.Count("SMSFAILED");
    ServiceLogs().Event(platform::EventLevel::Error,
                        "Message " + attempt.id + (route.empty() ? "" : " (" + route + ")") + " failed: " + text);
    alerts_.Raise(AlertKind::Error, "failed:" + route,
                  "Message " + attempt.id + " to " + attempt.recipient + " failed for good: " + text);
    attempt.file.Remove();
    Forget(attempt.path);
}

void Service::UpdateQueueSize() {
    if (settings_.alertQueueSize > 0 && entries_.size() > static_cast<std::size_t>(settings_.alertQueueSize))
        alerts_.Raise(AlertKind::Warning, "queue",
                      "The outbound queue holds " + std::to_string(entries_.size()) + " messages (alert above " +
                          std::to_string(settings_.alertQueueSize) + ").");
    if (!settings_.cacheQSize) return;
    const auto size = static_cast<std::uint32_t>(std::min<std::size_t>(entries_.size(), UINT32_MAX));
    if (size == lastQueueSize_) return;
    if (stats_.SetQueueSize(size)) lastQueueSize_ = size;
}

}  // namespace gateway
