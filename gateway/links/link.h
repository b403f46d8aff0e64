// A connection to an SMSC as the service sees it: a worker of its own that the service
// hands messages to and that reports back through events. Every message handed over is
// answered with exactly one result; a link that goes down or stops answers the messages
// it never sent with Outcome::NotSent, which is no attempt.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "gateway/settings.h"
#include "platform/cancel.h"
#include "platform/event_loop.h"

namespace gateway {

class ModemLoans;

struct OutboundMessage {
    std::uint64_t token = 0;  // the service's handle of this attempt
    std::string id;           // the request's identifier
    std::string recipient, sender;
    std::string text;    // UTF-8, when not binary
    std::string octets;  // the payload of a binary message
    std::string udh;     // octets of a user data header given with the request
    bool binary = false;
    int pid = -1, dcs = -1;  // -1: not given
    bool receiptRequested = false;
    std::string serviceType;
};

enum class Outcome {
    Sent,       // the SMSC accepted every part
    Temporary,  // refused for now (throttled, queue full, time-out): try again later
    Permanent,  // refused for good (bad number, rejected message)
    NotSent,    // never reached the SMSC (link down or stopping): not an attempt
};

struct SendResult {
    std::uint64_t token = 0;
    Outcome outcome = Outcome::NotSent;
    std::string smscId;  // the SMSC's message id (of the last part)
    std::vector<std::string> partIds;  // every part's id, for delivery receipts
    std::string error;   // the operator's text when not sent
    unsigned parts = 1;
};

struct InboundMessage {
    std::string sender, recipient;
    std::string text;    // UTF-8 when not binary
    std::string octets;  // binary payload
    std::string udh;     // octets
    bool binary = false;
    int dcs = -1, pid = -1;
    // A delivery receipt: the SMSC's id of the message it reports on and its state
    // ("DELIVRD", "UNDELIV", "EXPIRED", "ENROUTE", ...).
    bool isReceipt = false;
    std::string receiptSmscId, receiptState;
};

struct LinkEvent {
    // Notice: news of a side session (a second connection for receiving) that does not
    // change whether the connection sends; it goes to the event log only.
    enum class Kind { Up, Down, Result, Received, Notice } kind = Kind::Up;
    std::string connection;
    std::string error;     // Down: why; Notice: the text
    bool warning = false;  // Notice: trouble rather than recovery
    SendResult result;
    InboundMessage inbound;
    std::string file;  // Received: where it was stored, relative to the received-SMS folder
};

// The service's side: called from link threads.
class LinkEvents {
public:
    virtual ~LinkEvents() = default;
    virtual void Post(LinkEvent event) = 0;
    // Stores a received message (a file on disk) before the link acknowledges it to the
    // SMSC; false when it could not be stored (the link then refuses it for now, so the
    // SMSC delivers it again). Posts the Received event itself.
    virtual bool Store(const std::string& connection, const InboundMessage& message) = 0;
    // Remembers the SMSC's ids of a message sent with a receipt requested. Called before
    // its Sent result is posted: a receipt may come in right behind the answer.
    virtual void ExpectReceipts(const std::string& connection, const std::vector<std::string>& smscIds,
                                const std::string& requestId) = 0;
    // The modems lent to the console, which modem links let go of; null when none can be.
    virtual ModemLoans* Loans() { return nullptr; }
};

class SmscLink {
public:
    virtual ~SmscLink() = default;
    virtual void Start() = 0;
    // Asks the worker to end (unbind, close) and waits for it; messages not sent are
    // answered NotSent. Bounded by a few seconds.
    virtual void Stop() = 0;
    // Hands over a message; answered later by one Result event.
    virtual void Send(OutboundMessage message) = 0;
    // How many messages the link takes at once.
    virtual unsigned Capacity() const = 0;
};

// The link for a connection of an SMSC kind (SMPP, UCP, CIMD2, HTTP); null for a kind
// this service does not drive.
std::unique_ptr<SmscLink> CreateLink(const ConnectionSettings& settings, LinkEvents& events);

// Base of the links that run one worker thread with its own event loop.
class ThreadedLink : public SmscLink {
public:
    ThreadedLink(const ConnectionSettings& settings, LinkEvents& events);
    ~ThreadedLink() override;
    void Start() override;
    void Stop() override;
    void Send(OutboundMessage message) override;

protected:
    // The worker's body; returns once Stopping() (the base answers what is left).
    virtual void Run() = 0;

    const ConnectionSettings& Settings() const { return settings_; }
    const std::string& Name() const { return settings_.Name(); }
    bool Stopping() const { return stopping_.load(); }
    // Readable while the inbox holds messages or a stop was asked for.
    int WakeFd() const { return wake_.Fd(); }
    std::vector<OutboundMessage> TakeInbox();
    // Waits up to `ms` (a back-off) or until Stop; false when stopping.
    bool Pause(std::uint64_t ms);

    void PostUp();
    void PostDown(const std::string& error);
    void PostResult(SendResult result);
    void PostReceived(InboundMessage message);
    void PostNotice(bool warning, const std::string& text);
    // Answers every message with NotSent (the link went down before sending them).
    void Unsent(std::vector<OutboundMessage>& messages, const std::string& why);

private:
    ConnectionSettings settings_;
    LinkEvents& events_;
    platform::Wakeup wake_;
    std::mutex mutex_;
    std::vector<OutboundMessage> inbox_;
    std::unordered_map<std::uint64_t, std::string> receiptsFor_;  // token -> request id
    std::atomic<bool> stopping_{false};
    platform::CancelToken cancel_;
    std::thread thread_;
};

}  // namespace gateway
