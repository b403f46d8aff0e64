// The Gateway service's core: one event loop on the main thread that watches the
// configuration, the wake-up files and the links, keeps the outbound queue moving through
// the connections, and records every outcome (logs, counters, error files, events). Each
// link runs its own worker (links/link.h) and reports back through Post.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "gateway/alerts.h"
#include "gateway/clients/smpp_server.h"
#include "gateway/keywords/processor.h"
#include "gateway/links/link.h"
#include "gateway/modem_lending.h"
#include "gateway/receipts.h"
#include "gateway/retry.h"
#include "gateway/routing.h"
#include "gateway/settings.h"
#include "gateway/statistics.h"
#include "gateway/web/web_interface.h"
#include "platform/event_loop.h"
#include "platform/locked_file.h"
#include "platform/shared_memory.h"

namespace gateway {

class Service : public LinkEvents {
public:
    // `block` is the status block the service created first; its stop byte is obeyed.
    explicit Service(platform::SharedMemory& block);
    ~Service() override;

    // Runs until a stop is asked for (stop byte, SIGTERM, SIGINT); `ready` is called once
    // the queue and the links are set up. Returns the process exit code.
    int Run(platform::TerminationSignals& signals, const std::function<void()>& ready);

    void Post(LinkEvent event) override;
    bool Store(const std::string& connection, const InboundMessage& message) override;
    void ExpectReceipts(const std::string& connection, const std::vector<std::string>& smscIds,
                        const std::string& requestId) override;
    ModemLoans* Loans() override { return &loans_; }

private:
    struct Connection {
        Connection(ConnectionSettings s, std::string f) : settings(std::move(s)), fingerprint(std::move(f)) {}
        ConnectionSettings settings;
        std::string fingerprint;  // the section's text, to tell an edited connection
        std::unique_ptr<SmscLink> link;
        unsigned capacity = 0, inFlight = 0;
        bool up = false;
        std::string downError;
        std::uint64_t downSinceMs = 0;
        // SMSCSendLimit as a token bucket (in parts).
        double tokens = 0;
        std::uint64_t tokensAtMs = 0;
        // Parts sent today / since the credit-limit reset day, counted from the files at
        // start and kept up to date in memory.
        std::uint32_t sentToday = 0, sentPeriod = 0;
        int countsDay = -1;
        bool downAlerted = false;  // the five-minute alert went for this outage
    };
    struct QueueEntry {
        std::string path, folder, id;
        std::int64_t modifiedMs = 0;
        std::uint64_t inode = 0;
        std::uint64_t notBeforeMs = 0;
        bool inFlight = false, queued = false, seen = true;
        bool known = false;  // smscRoute/recipient/user below were read from the file
        bool waitsForLink = false;  // its connection was down: try again as soon as one comes up
        std::string smscRoute, recipient, user;
        std::string waitReason;  // the reason last written to the request
    };
    struct Attempt {
        std::string path, connection;
        platform::LockedFile file;
        std::string id, recipient, user, validity;
        unsigned retryCount = 0, parts = 1;
        bool chargedOnSubmit = false;
        std::string firstAttemptTime;
    };

    // configuration and links (service.cpp)
    void Reload(bool initial);
    void ApplyConnections(const GatewaySettings& next);
    void StopLinks();
    Connection* FindConnection(const std::string& name);
    static Connection* FindConnectionIn(std::vector<std::unique_ptr<Connection>>& list, const std::string& name);
    void HandleEvents();
    void Handle(LinkEvent& event);
    void LinkUp(Connection& c);
    void LinkDown(Connection& c, const std::string& error);
    void Received(Connection& c, const LinkEvent& event);
    void RemoveStaleErrorFiles();
    // Starts, restarts (its keys changed) or stops the SMPP server for user accounts.
    void ConfigureClients();
    void Tick();
    void ReportLosses(std::uint64_t now);

    // the queue (queue.cpp)
    void Scan();
    void Enqueue(QueueEntry& entry);
    void Dispatch();
    // Tries to start an attempt for the entry; false when nothing has room at all.
    bool TryDispatch(QueueEntry& entry, std::vector<RouteCandidate>& candidates);
    std::vector<RouteCandidate> Candidates();
    std::string BlockedReason(Connection& c, unsigned parts);
    void Wait(QueueEntry& entry, const std::string& reason, std::uint64_t forMs, platform::LockedFile& file);
    void Finished(Attempt& attempt, Connection* c, const SendResult& result);
    void Retry(Attempt& attempt, const std::string& error);
    void FinalFailure(Attempt& attempt, const std::string& route, const std::string& error);
    void FailUnreadable(QueueEntry& entry, platform::LockedFile& file, const std::string& error);
    void Forget(const std::string& path);
    void UpdateQueueSize();

    platform::SharedMemory& block_;
    platform::EventLoop loop_;
    platform::Wakeup linkWake_;
    std::mutex eventsMutex_;
    std::vector<LinkEvent> events_;
    GatewaySettings settings_;
    RetryPolicy retry_;
    Statistics stats_;
    ReceiptBook receipts_;
    Alerts alerts_;
    std::string smsInDir_;  // for Store, which link threads call: set before links start
    std::vector<std::unique_ptr<Connection>> connections_;
    std::unordered_map<std::string, QueueEntry> entries_;
    std::deque<std::string> ready_;
    std::unordered_map<std::uint64_t, Attempt> attempts_;
    std::uint64_t nextToken_ = 1;
    std::size_t turn_ = 0;
    std::uint8_t reference_ = 0;
    bool stopping_ = false;
    bool scanWanted_ = true, reloadWanted_ = false;
    std::uint64_t reloadAtMs_ = 0, nextScanMs_ = 0, lastScanMs_ = 0, nextRetryCheckMs_ = 0, nextWatchdogMs_ = 0;
    std::uint64_t nextQueueSizeMs_ = 0, nextLenderMs_ = 0, nextLossReportMs_ = 0, nextCounterFlushMs_ = 0;
    std::unique_ptr<web::WebInterface> web_;
    std::unique_ptr<clients::SmppServer> smppServer_;
    std::unique_ptr<keywords::KeywordProcessor> keywords_;
    ModemLoans loans_;
    std::unique_ptr<ModemLender> lender_;
    std::uint32_t lastQueueSize_ = UINT32_MAX;
};

}  // namespace gateway
