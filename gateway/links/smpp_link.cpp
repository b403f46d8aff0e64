// The SMPP client link: transmitter, receiver or transceiver sessions as the connection's
// keys ask, each with a window of outstanding submits, enquire_link while idle, and
// reconnection with back-off. One worker thread drives every session of the connection.
//
// A message's parts go out on one session; the message is answered once every part is.
// Throttling and queue-full answers put the part back and slow the session down rather
// than failing the message. A session that drops answers its unanswered messages NotSent:
// they go again, so a message whose answer was lost may reach the phone twice (at most
// the messages of one window).
#include <cstring>
#include <deque>
#include <map>
#include <memory>

#include "gateway/links/link.h"
#include "gateway/links/smpp_parts.h"
#include "gateway/logs.h"
#include "platform/event_loop.h"
#include "platform/io_wait.h"
#include "platform/tcp_socket.h"
#include "smpplnk/smpp_codes.h"
#include "smpplnk/smpp_pdu.h"
#include "smpplnk/smpp_session.h"
#include "smpplnk/smpplnk.h"

namespace gateway {

namespace {

constexpr std::uint64_t kConnectTimeoutMs = 15'000;
constexpr std::uint64_t kResponseTimeoutMs = 30'000;
constexpr std::uint64_t kFirstBackoffMs = 1'000, kMaxBackoffMs = 60'000;
constexpr std::uint64_t kFirstThrottleMs = 500, kMaxThrottleMs = 10'000;
constexpr std::size_t kMaxBufferedInput = 4 * smpplnk::kMaxPduLength;

std::string StatusText(std::uint32_t status) {
    char text[200];
    SMPPErrorText(smpplnk::StatusCode(status), text, sizeof text);  // names the status and its number
    return text;
}

// Refusals that another attempt later may get past; everything else is final.
bool TemporaryStatus(std::uint32_t status) {
    switch (status) {
        case 0x08:  // system error
        case 0x14:  // queue full
        case 0x45:  // submit failed
        case 0x58:  // throttled
        case 0x64:  // temporary application error
        case 0x04:  // incorrect bind status (the session is going)
            return true;
        default:
            return status >= 0x400;  // vendor statuses: we cannot tell, so try again
    }
}

struct Pending {
    OutboundMessage message;
    std::size_t parts = 0, answered = 0;
    std::vector<std::string> ids;
    bool failed = false, permanent = false;
    std::string error;
};

struct Part {
    std::shared_ptr<Pending> owner;
    std::size_t index = 0;
    smpplnk::MessageRequest request;
};

struct Session {
    enum class Role { Transmitter, Receiver, Transceiver } role = Role::Transmitter;
    enum class State { Idle, Binding, Bound } state = State::Idle;
    platform::TcpSocket socket;
    void* tls = nullptr;  // a TLS session of the TLS library over the socket, when UseSSL
    std::string in, out;
    std::uint64_t nextConnectMs = 0, backoffMs = kFirstBackoffMs;
    std::uint64_t bindDeadlineMs = 0, lastTrafficMs = 0, enquireDeadlineMs = 0;
    std::uint32_t bindSequence = 0, enquireSequence = 0;
    std::map<std::uint32_t, std::pair<Part, std::uint64_t>> window;  // sequence -> part, deadline
    std::deque<Part> queue;
    std::uint64_t throttledUntilMs = 0, throttleMs = kFirstThrottleMs;
    bool Sends() const { return role != Role::Receiver; }
};

class SmppLink : public ThreadedLink {
public:
    SmppLink(const ConnectionSettings& settings, LinkEvents& events, LinkEvents& store)
        : ThreadedLink(settings, events), store_(store), options_(ReadSmppOptions(settings)) {
        const bool trx = options_.transceiver && options_.receive;
        for (unsigned i = 0; i < options_.transmitters; ++i)
            sessions_.emplace_back(std::make_unique<Session>())->role =
                trx ? Session::Role::Transceiver : Session::Role::Transmitter;
        if (options_.receive && !trx)
            for (unsigned i = 0; i < options_.receivers; ++i)
                sessions_.emplace_back(std::make_unique<Session>())->role = Session::Role::Receiver;
    }
    ~SmppLink() override { Stop(); }

    unsigned Capacity() const override {
        unsigned senders = 0;
        for (const auto& s : sessions_) senders += s->Sends() ? 1 : 0;
        return std::max(1u, senders) * options_.window;
    }

protected:
    void Run() override;

private:
    void Connect(Session& s);
    void Drop(Session& s, const std::string& error, bool quietly = false);
    void Assign(std::vector<OutboundMessage>& messages);
    void Pump(Session& s);
    void Read(Session& s);
    void Dispatch(Session& s, const std::string& pdu);
    void Answer(Session& s, std::uint32_t sequence, std::uint32_t status, const std::string& messageId);
    void Delivered(Session& s, const std::string& pdu, const smpplnk::Header& h);
    void PartDone(const Part& part, bool ok, bool permanent, const std::string& id, const std::string& error);
    void Timers(Session& s, std::uint64_t now);
    void Queue(Session& s, std::uint32_t id, std::uint32_t status, std::uint32_t sequence);
    void Send(Session& s, const std::string& pdu);
    void UpdateState(const std::string& error);
    void Unbind();
    void Trace(const char* direction, const std::string& pdu);

    LinkEvents& store_;
    SmppOptions options_;
    std::vector<std::unique_ptr<Session>> sessions_;
    platform::EventLoop loop_;
    bool up_ = false, reportedDown_ = false;
    std::string lastError_;
    std::uint8_t reference_ = 0;
    std::size_t nextSession_ = 0;
};

void SmppLink::Trace(const char* direction, const std::string& pdu) {
    if (!ServiceLogs().DebugOn() || pdu.size() < smpplnk::kHeaderSize) return;
    const smpplnk::Header h = smpplnk::DecodeHeader(reinterpret_cast<const unsigned char*>(pdu.data()));
    char text[128];
    std::snprintf(text, sizeof text, " status=0x%08X seq=%u len=%u", h.status, h.sequence, h.length);
    ServiceLogs().Debug("SMPPDEBUG.LOG", Name() + " " + direction + " " + smpplnk::CommandName(h.id) + text);
}

void SmppLink::Send(Session& s, const std::string& pdu) {
    Trace(">", pdu);
    s.out += pdu;
    s.lastTrafficMs = platform::SteadyMillis();
}

void SmppLink::Queue(Session& s, std::uint32_t id, std::uint32_t status, std::uint32_t sequence) {
    std::string pdu;
    if (smpplnk::EncodeHeaderOnly(id, status, sequence, pdu) == 0) Send(s, pdu);
}

void SmppLink::Connect(Session& s) {
    const bool receiver = s.role == Session::Role::Receiver;
    const unsigned port = receiver && options_.receiverPort ? options_.receiverPort : Settings().Port();
    const unsigned local = receiver ? options_.receiverLocalPort : options_.localPort;
    int error = 0;
    platform::UniqueFd fd = platform::OpenStreamSocket(local, &error);
    if (fd) error = platform::ConnectStreamSocket(fd.Get(), Settings().Host(), port, kConnectTimeoutMs);
    if (!fd || error != 0) {
        if (Stopping()) return;
        Drop(s, "Unable to connect to " + Settings().Host() + ":" + std::to_string(port) + ": " +
                    std::strerror(error ? error : EIO));
        return;
    }
    if (options_.useSsl) {
        const smpplnk::TlsFunctions* tls = smpplnk::TlsLibrary();
        if (tls == nullptr || tls->initSession == nullptr || tls->freeSession == nullptr) {
            s.backoffMs = kMaxBackoffMs;
            Drop(s, "SSL/TLS is not available (the TLS library is missing)");
            return;
        }
        char text[512] = {};
        std::snprintf(text, sizeof text, "%s", Settings().Host().c_str());
        s.tls = tls->initSession(fd.Get(), text, sizeof text);
        if (s.tls == nullptr) {
            Drop(s, std::string("Unable to negotiate SSL/TLS connection with the SMSC: ") + text);
            return;
        }
    }
    s.socket = platform::TcpSocket(std::move(fd));
    s.socket.SetNoDelay(true);
    s.in.clear();
    s.out.clear();
    smpplnk::BindRequest bind;
    bind.commandId = s.role == Session::Role::Receiver      ? smpplnk::kBindReceiver
                     : s.role == Session::Role::Transceiver ? smpplnk::kBindTransceiver
                                                            : smpplnk::kBindTransmitter;
    bind.systemId = options_.systemId;
    bind.password = options_.password;
    bind.systemType = options_.systemType;
    bind.addressRange = options_.addressRange;
    bind.version = options_.version;
    bind.ton = static_cast<std::uint8_t>(std::max(0, options_.bindTon));
    bind.npi = static_cast<std::uint8_t>(std::max(0, options_.bindNpi));
    std::string pdu;
    s.bindSequence = smpplnk::NextSequence();
    if (const int rc = smpplnk::EncodeBind(bind, s.bindSequence, pdu); rc != 0) {
        char text[200];
        SMPPErrorText(rc, text, sizeof text);
        s.backoffMs = kMaxBackoffMs;  // a setting the operator must change
        Drop(s, std::string("Bind not possible: ") + text);
        return;
    }
    Send(s, pdu);
    s.state = Session::State::Binding;
    s.bindDeadlineMs = platform::SteadyMillis() + kResponseTimeoutMs;
    const int fdNumber = s.socket.Descriptor();
    Session* session = &s;
    loop_.Watch(fdNumber, platform::kReadable | platform::kWritable, [this, session](unsigned ready) {
        if (ready & platform::kReadable) Read(*session);
        if (session->socket.IsOpen() && (ready & platform::kWritable)) Pump(*session);
    });
}

void SmppLink::Drop(Session& s, const std::string& error, bool quietly) {
    if (s.tls != nullptr) {
        smpplnk::TlsLibrary()->freeSession(s.tls);
        s.tls = nullptr;
    }
    if (s.socket.IsOpen()) {
        loop_.Unwatch(s.socket.Descriptor());
        s.socket.Close();
    }
    // What was in flight on this session may or may not have reached the SMSC: it goes
    // again (NotSent), and the service sends it once more.
    std::vector<std::shared_ptr<Pending>> owners;
    for (auto& [sequence, entry] : s.window) owners.push_back(entry.first.owner);
    for (Part& p : s.queue) owners.push_back(p.owner);
    s.window.clear();
    s.queue.clear();
    for (auto& owner : owners) {
        if (owner->answered == owner->parts) continue;
        owner->answered = owner->parts;
        SendResult r;
        r.token = owner->message.token;
        r.outcome = Outcome::NotSent;
        r.error = error;
        PostResult(std::move(r));
    }
    s.state = Session::State::Idle;
    s.in.clear();
    s.out.clear();
    s.nextConnectMs = platform::SteadyMillis() + s.backoffMs;
    s.backoffMs = std::min(s.backoffMs * 2, kMaxBackoffMs);
    if (!quietly) UpdateState(error);
}

void SmppLink::UpdateState(const std::string& error) {
    bool anyBound = false;
    for (const auto& s : sessions_)
        if (s->state == Session::State::Bound && (s->Sends() || options_.transmitters == 0)) anyBound = true;
    if (anyBound && !up_) {
        up_ = true;
        reportedDown_ = false;
        PostUp();
    } else if (!anyBound && (up_ || !reportedDown_ || error != lastError_) && !error.empty()) {
        up_ = false;
        reportedDown_ = true;
        lastError_ = error;
        PostDown(error);
    }
}

void SmppLink::Assign(std::vector<OutboundMessage>& messages) {
    for (OutboundMessage& m : messages) {
        std::vector<Session*> ready;
        for (auto& s : sessions_)
            if (s->Sends() && s->state == Session::State::Bound) ready.push_back(s.get());
        if (ready.empty()) {
            std::vector<OutboundMessage> one{std::move(m)};
            Unsent(one, lastError_.empty() ? "Connection down" : lastError_);
            continue;
        }
        std::vector<smpplnk::MessageRequest> requests;
        std::string error;
        auto pending = std::make_shared<Pending>();
        pending->message = std::move(m);
        if (!BuildSmppParts(pending->message, options_, ++reference_, requests, error)) {
            SendResult r;
            r.token = pending->message.token;
            r.outcome = Outcome::Permanent;
            r.error = error;
            PostResult(std::move(r));
            continue;
        }
        pending->parts = requests.size();
        pending->ids.resize(requests.size());
        // The session with the fewest messages waiting takes all of the message's parts.
        Session* target = ready[nextSession_++ % ready.size()];
        for (Session* s : ready)
            if (s->window.size() + s->queue.size() < target->window.size() + target->queue.size()) target = s;
        for (std::size_t i = 0; i < requests.size(); ++i) target->queue.push_back(Part{pending, i, std::move(requests[i])});
    }
}

void SmppLink::Pump(Session& s) {
    const std::uint64_t now = platform::SteadyMillis();
    if (s.state == Session::State::Bound && now >= s.throttledUntilMs) {
        while (!s.queue.empty() && s.window.size() < options_.window) {
            Part part = std::move(s.queue.front());
            s.queue.pop_front();
            const std::uint32_t sequence = smpplnk::NextSequence();
            std::string pdu;
            if (const int rc = smpplnk::EncodeMessage(part.request, sequence, pdu); rc != 0) {
                char text[200];
                SMPPErrorText(rc, text, sizeof text);
                PartDone(part, false, true, "", text);
                continue;
            }
            Send(s, pdu);
            s.window.emplace(sequence, std::make_pair(std::move(part), now + kResponseTimeoutMs));
        }
    }
    if (s.tls != nullptr && !s.out.empty()) {
        // The TLS library sends a whole buffer or fails, within its own bound.
        if (smpplnk::TlsLibrary()->send(s.tls, s.out.data(), static_cast<int>(s.out.size())) <
            static_cast<int>(s.out.size())) {
            Drop(s, "Connection to the SMSC lost while sending");
            return;
        }
        s.out.clear();
    }
    while (!s.out.empty() && s.socket.IsOpen()) {
        const platform::IoResult r = s.socket.SendSome(s.out.data(), s.out.size());
        if (!r.Ok()) {
            Drop(s, "Connection to the SMSC lost while sending");
            return;
        }
        if (r.bytes == 0) break;
        s.out.erase(0, r.bytes);
    }
    if (s.socket.IsOpen())
        loop_.SetInterest(s.socket.Descriptor(), platform::kReadable | (s.out.empty() ? 0u : platform::kWritable));
}

void SmppLink::Read(Session& s) {
    char buffer[65536];
    if (s.tls != nullptr) {
        const smpplnk::TlsFunctions* tls = smpplnk::TlsLibrary();
        do {
            const int got = tls->recv(s.tls, buffer, static_cast<int>(sizeof buffer));
            if (got <= 0) {
                Drop(s, "The SMSC closed the connection");
                return;
            }
            s.in.append(buffer, static_cast<std::size_t>(got));
        } while (tls->pending(s.tls) > 0 && s.in.size() <= kMaxBufferedInput);
    }
    for (; s.tls == nullptr;) {
        const platform::IoResult r = s.socket.ReceiveAvailable(buffer, sizeof buffer);
        if (r.status == platform::IoStatus::Closed || !r.Ok()) {
            Drop(s, "The SMSC closed the connection");
            return;
        }
        if (r.bytes == 0) break;
        s.in.append(buffer, r.bytes);
        if (s.in.size() > kMaxBufferedInput) break;
    }
    std::size_t at = 0;
    while (s.socket.IsOpen() && s.in.size() - at >= smpplnk::kHeaderSize) {
        const smpplnk::Header h = smpplnk::DecodeHeader(reinterpret_cast<const unsigned char*>(s.in.data() + at));
        if (!smpplnk::LengthInBounds(h.length)) {
            s.in.clear();
            Drop(s, "The SMSC sent a malformed PDU (length " + std::to_string(h.length) + ")");
            return;
        }
        if (s.in.size() - at < h.length) break;
        const std::string pdu = s.in.substr(at, h.length);
        at += h.length;
        Dispatch(s, pdu);
    }
    if (s.socket.IsOpen()) s.in.erase(0, at);
    if (s.socket.IsOpen()) Pump(s);
}

void SmppLink::Dispatch(Session& s, const std::string& pdu) {
    Trace("<", pdu);
    const smpplnk::Header h = smpplnk::DecodeHeader(reinterpret_cast<const unsigned char*>(pdu.data()));
    s.lastTrafficMs = platform::SteadyMillis();
    using namespace smpplnk;
    switch (h.id) {
        case kBindReceiver | kResponseBit:
        case kBindTransmitter | kResponseBit:
        case kBindTransceiver | kResponseBit:
            if (s.state != Session::State::Binding || h.sequence != s.bindSequence) return;
            if (h.status != 0) {
                s.backoffMs = std::max<std::uint64_t>(s.backoffMs, 10'000);
                Drop(s, "Bind refused: " + StatusText(h.status));
                return;
            }
            s.state = Session::State::Bound;
            s.backoffMs = kFirstBackoffMs;
            UpdateState("");
            return;
        case kSubmitSm | kResponseBit:
        case kDataSm | kResponseBit: {
            std::string id;
            if (h.status == 0 && DecodeMessageResponse(pdu, &id) != 0) {
                Drop(s, "The SMSC sent a malformed submit response");
                return;
            }
            Answer(s, h.sequence, h.status, id);
            return;
        }
        case kGenericNack:
            Answer(s, h.sequence, h.status == 0 ? 0x08 : h.status, "");
            return;
        case kDeliverSm:
        case kDataSm:
            Delivered(s, pdu, h);
            return;
        case kEnquireLink:
            Queue(s, kEnquireLink | kResponseBit, 0, h.sequence);
            return;
        case kEnquireLink | kResponseBit:
            if (h.sequence == s.enquireSequence) s.enquireDeadlineMs = 0;
            return;
        case kUnbind:
            Queue(s, kUnbind | kResponseBit, 0, h.sequence);
            Pump(s);
            Drop(s, "The SMSC ended the session (unbind)");
            return;
        case kUnbind | kResponseBit:
            return;
        default:
            if ((h.id & kResponseBit) == 0) Queue(s, kGenericNack, kStatusInvalidCommandId, h.sequence);
            return;
    }
}

void SmppLink::Answer(Session& s, std::uint32_t sequence, std::uint32_t status, const std::string& messageId) {
    auto it = s.window.find(sequence);
    if (it == s.window.end()) return;
    Part part = std::move(it->second.first);
    s.window.erase(it);
    if (status == smpplnk::kStatusThrottled || status == smpplnk::kStatusMessageQueueFull) {
        // The SMSC asks us to slow down: the part waits and goes again, no attempt lost.
        s.queue.push_front(std::move(part));
        s.throttledUntilMs = platform::SteadyMillis() + s.throttleMs;
        s.throttleMs = std::min(s.throttleMs * 2, kMaxThrottleMs);
        return;
    }
    s.throttleMs = kFirstThrottleMs;
    if (status == 0) PartDone(part, true, false, messageId, "");
    else PartDone(part, false, !TemporaryStatus(status), "", "SMSC refused the message: " + StatusText(status));
}

void SmppLink::PartDone(const Part& part, bool ok, bool permanent, const std::string& id, const std::string& error) {
    Pending& p = *part.owner;
    if (p.answered == p.parts) return;
    ++p.answered;
    if (ok) {
        p.ids[part.index] = id;
    } else if (!p.failed || permanent) {
        p.failed = true;
        p.permanent = p.permanent || permanent;
        p.error = error;
    }
    if (p.answered < p.parts) return;
    SendResult r;
    r.token = p.message.token;
    r.parts = static_cast<unsigned>(p.parts);
    r.outcome = !p.failed ? Outcome::Sent : p.permanent ? Outcome::Permanent : Outcome::Temporary;
    r.error = p.error;
    r.partIds = p.ids;
    r.smscId = p.ids.empty() ? "" : p.ids.back();
    PostResult(std::move(r));
}

void SmppLink::Delivered(Session& s, const std::string& pdu, const smpplnk::Header& h) {
    smpplnk::MessageDelivery delivery;
    std::uint32_t status = 0;
    if (smpplnk::DecodeDelivery(pdu, delivery) != 0) {
        status = 0x08;
        ServiceLogs().Event(platform::EventLevel::Warning, Name() + ": a malformed message from the SMSC was refused");
    } else if (!store_.Store(Name(), ReadSmppDelivery(delivery, options_))) {
        status = smpplnk::kStatusReceiverTemporaryError;  // delivered again later
    }
    std::string response;
    if (smpplnk::EncodeDeliveryResponse(h.id, status, h.sequence, response) == 0) Send(s, response);
}

void SmppLink::Timers(Session& s, std::uint64_t now) {
    if (s.state == Session::State::Binding && now >= s.bindDeadlineMs) {
        Drop(s, "The SMSC did not answer the bind");
        return;
    }
    if (s.state != Session::State::Bound) return;
    for (const auto& [sequence, entry] : s.window) {
        if (now >= entry.second) {
            Drop(s, "The SMSC did not answer a submitted message within 30 seconds");
            return;
        }
    }
    if (s.enquireDeadlineMs != 0 && now >= s.enquireDeadlineMs) {
        Drop(s, "The SMSC did not answer enquire_link");
        return;
    }
    if (options_.keepAliveSeconds > 0 && s.enquireDeadlineMs == 0 &&
        now >= s.lastTrafficMs + options_.keepAliveSeconds * 1000ull) {
        s.enquireSequence = smpplnk::NextSequence();
        Queue(s, smpplnk::kEnquireLink, 0, s.enquireSequence);
        s.enquireDeadlineMs = now + kResponseTimeoutMs;
    }
}

void SmppLink::Unbind() {
    for (auto& s : sessions_) {
        if (s->state != Session::State::Bound) continue;
        Queue(*s, smpplnk::kUnbind, 0, smpplnk::NextSequence());
        // A polite unbind: sent within a second, its answer not awaited.
        s->socket.SendAll(s->out, 1000);
        s->out.clear();
    }
    for (auto& s : sessions_) Drop(*s, "Service stopping", true);
}

void SmppLink::Run() {
    loop_.Watch(WakeFd(), platform::kReadable, [](unsigned) {});
    while (!Stopping()) {
        const std::uint64_t now = platform::SteadyMillis();
        for (auto& s : sessions_)
            if (s->state == Session::State::Idle && now >= s->nextConnectMs && !Stopping()) Connect(*s);
        std::vector<OutboundMessage> inbox = TakeInbox();
        if (!inbox.empty()) Assign(inbox);
        std::uint64_t wait = 200;
        for (auto& s : sessions_) {
            if (!s->socket.IsOpen()) continue;
            Timers(*s, now);
            if (s->socket.IsOpen()) Pump(*s);
            if (!s->queue.empty() && s->throttledUntilMs > now) wait = std::min(wait, s->throttledUntilMs - now);
        }
        loop_.RunOnce(static_cast<int>(wait));
    }
    Unbind();
}

}  // namespace

std::unique_ptr<SmscLink> CreateSmppLink(const ConnectionSettings& settings, LinkEvents& events) {
    return std::make_unique<SmppLink>(settings, events, events);
}

}  // namespace gateway
