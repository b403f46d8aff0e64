// The session both the UCP/EMI and the CIMD2 links run: connect and log in, keep a small
// window of submits numbered by the protocol, match their answers, keep the session
// alive, take what the SMSC sends, reconnect with back-off, and at stop wait briefly for
// the answers already on their way. Each protocol supplies its frames through the hooks.
#pragma once

#include <algorithm>
#include <cstring>
#include <deque>
#include <list>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "gateway/links/link.h"
#include "gateway/links/ucp_cimd_common.h"
#include "platform/event_loop.h"
#include "platform/io_wait.h"
#include "ucplnk/link_errors.h"

namespace gateway {

// How an SMSC answered one submitted part.
struct PartAnswer {
    bool accepted = false;
    std::string id;          // accepted: the SMSC's id of the part
    bool temporary = false;  // refused: for now rather than for good
    bool tooMany = false;    // refused because other operations were outstanding
    std::string error;       // refused: the operator's text
};

// `Submit` is one part as the protocol describes it before it gets its number.
template <typename Submit>
class WindowedSmscLink : public ThreadedLink {
public:
    static constexpr unsigned kWindow = 10;
    unsigned Capacity() const override { return kWindow; }

protected:
    // `server` names the SMSC in texts ("UCP"); numbers run from `first` by `step` up to
    // `last`, then wrap; incoming frames longer than `maxFrame` end the session.
    WindowedSmscLink(const ConnectionSettings& settings, LinkEvents& events, const SessionTimings& t,
                     const char* server, int first, int step, int last, std::size_t maxFrame)
        : ThreadedLink(settings, events), events_(events), t_(t), server_(server), first_(first),
          step_(step), last_(last), maxFrame_(maxFrame) {}

    // Logs in on the open connection ("" when done); may read with AwaitFrame.
    virtual std::string Login() = 0;
    // Polite words before the connection closes at stop (bounded by goodbyeMs).
    virtual void Logout() {}
    virtual unsigned LocalPort() const { return 0; }
    // The SMSC's port this session connects to.
    virtual unsigned RemotePort() const { return Settings().Port(); }
    // A session came up, or ended with `error` (the link's state by default).
    virtual void SessionUp() { PostUp(); }
    virtual void SessionDown(const std::string& error) { PostDown(error); }
    // The parts of `message`, or false with the operator's `error`.
    virtual bool Build(const OutboundMessage& message, unsigned char reference, std::vector<Submit>& parts,
                       std::string& error) = 0;
    // The bytes of a part as operation `number`; "" when the protocol cannot carry it.
    virtual std::string Encode(int number, const Submit& part) = 0;
    virtual std::string EncodeKeepAlive(int number) = 0;
    // Handles one frame from the SMSC: answers go to Answered, deliveries to Deliver.
    // With `answersOnly`, everything but answers is ignored (the session is ending).
    // Returns "" or the fault that ends the session.
    virtual std::string HandleFrame(const std::string& frame, bool answersOnly) = 0;
    // The text of a fault found on this side (closed, malformed, too long, ...).
    virtual std::string LocalError(int code) = 0;

    // The answer to operation `number` (ignored when nothing waits for it).
    void Answered(int number, const PartAnswer& answer);
    // Stores a message the SMSC delivered; false when it could not be (refuse it for now).
    bool Store(const InboundMessage& message) { return events_.Store(Name(), message); }
    std::string SendBytes(const std::string& bytes);
    int NextNumber();
    // Reads until one whole frame is there, within `ms`; "" and the frame, or the fault.
    std::string AwaitFrame(std::string& frame, std::uint64_t ms);
    const SessionTimings& Timings() const { return t_; }
    void ResetNumbers() { number_ = first_; }

private:
    struct Job {
        OutboundMessage message;
        std::vector<Submit> parts;
        std::size_t next = 0, outstanding = 0;
        std::deque<std::size_t> again;  // parts to send once more (the SMSC took fewer at once)
        std::vector<std::string> ids;
        bool failed = false;
        Outcome outcome = Outcome::Sent;
        std::string error;
    };
    struct Pending {
        Job* job = nullptr;  // null: the keep-alive
        std::size_t part = 0;
        std::uint64_t sentAt = 0;
        bool crowded = false;  // sent while others were waiting for their answers
    };

    void Run() final;
    std::string Serve();
    std::string Exchange();
    std::string TakeFrames(bool answersOnly);
    void TakeLastAnswers();
    void Accept(std::vector<OutboundMessage> messages);
    std::string FillWindow();
    void Finish(Job& job);
    void EndSession(const std::string& why);

    LinkEvents& events_;
    SessionTimings t_;
    const char* server_;
    int first_, step_, last_;
    std::size_t maxFrame_;
    platform::TcpSocket socket_;
    std::optional<FrameCutter> cutter_;
    std::list<Job> jobs_;
    std::map<int, Pending> pending_;  // by operation number
    unsigned window_ = kWindow;
    int number_ = 0;
    unsigned char reference_ = 0;
    std::uint64_t lastSent_ = 0, drainEnd_ = 0;
};

template <typename Submit>
void WindowedSmscLink<Submit>::Run() {
    Backoff backoff(t_);
    while (!Stopping()) {
        std::string error;
        socket_ = OpenSmscConnection(Settings().Host(), RemotePort(), LocalPort(), t_.connectMs, error);
        cutter_.emplace(maxFrame_);
        number_ = first_;
        if (socket_.IsOpen()) error = Login();
        if (error.empty()) {
            SessionUp();
            backoff.Reset();
            error = Serve();
            if (Stopping()) {
                // The stop has cancelled the thread's waits: the goodbye has its own.
                platform::CancelToken token;
                platform::ScopedCancelToken scope(&token);
                Logout();
            }
        }
        EndSession(error);
        if (Stopping()) break;
        SessionDown(error);
        if (!Pause(backoff.Take())) break;
    }
}

template <typename Submit>
int WindowedSmscLink<Submit>::NextNumber() {
    for (int i = 0; i <= (last_ - first_) / step_; ++i) {
        const int n = number_;
        number_ = number_ + step_ > last_ ? first_ : number_ + step_;
        if (!pending_.count(n)) return n;
    }
    return -1;
}

template <typename Submit>
std::string WindowedSmscLink<Submit>::SendBytes(const std::string& bytes) {
    const platform::IoResult r = socket_.SendAll(bytes, t_.responseMs);
    const std::string server = server_;
    if (r.status == platform::IoStatus::Cancelled) return "Service stopping";
    if (r.status == platform::IoStatus::Closed) return LocalError(smsc_link::kClosed);
    if (r.status == platform::IoStatus::TimedOut)
        return "The " + server + " server takes nothing more (sending timed out)";
    if (!r.Ok()) return "Unable to send to the " + server + " server: " + std::strerror(r.error);
    lastSent_ = platform::SteadyMillis();
    return {};
}

template <typename Submit>
std::string WindowedSmscLink<Submit>::AwaitFrame(std::string& frame, std::uint64_t ms) {
    const std::uint64_t deadline = platform::SteadyMillis() + ms;
    for (;;) {
        switch (cutter_->Next(frame)) {
            case FrameCutter::Cut::Frame: return {};
            case FrameCutter::Cut::Garbage: return LocalError(smsc_link::kReplyMalformed);
            case FrameCutter::Cut::TooLong: return LocalError(smsc_link::kReplyTooLong);
            case FrameCutter::Cut::NeedMore: break;
        }
        const std::uint64_t now = platform::SteadyMillis();
        char buffer[4096];
        const platform::IoResult r = socket_.Receive(buffer, sizeof buffer, now < deadline ? deadline - now : 0);
        if (!r.Ok()) return LocalError(smsc_link::IoCode(r));
        cutter_->Add(buffer, r.bytes);
    }
}

template <typename Submit>
void WindowedSmscLink<Submit>::Accept(std::vector<OutboundMessage> messages) {
    for (OutboundMessage& m : messages) {
        Job job;
        job.message = std::move(m);
        std::string error;
        if (!Build(job.message, reference_++, job.parts, error)) {
            PostResult({job.message.token, Outcome::Permanent, {}, {}, error, 1});
            continue;
        }
        job.ids.resize(job.parts.size());
        jobs_.push_back(std::move(job));
    }
}

template <typename Submit>
std::string WindowedSmscLink<Submit>::FillWindow() {
    for (Job& job : jobs_) {
        while (!job.failed && (!job.again.empty() || job.next < job.parts.size())) {
            if (pending_.size() >= window_) return {};
            const int number = NextNumber();
            if (number < 0) return {};
            const bool again = !job.again.empty();
            const std::size_t part = again ? job.again.front() : job.next;
            const std::string bytes = Encode(number, job.parts[part]);
            if (bytes.empty()) {
                job.failed = true;
                job.outcome = Outcome::Permanent;
                job.error = std::string("The message cannot be carried by ") + server_;
                break;
            }
            pending_[number] = {&job, part, platform::SteadyMillis(), !pending_.empty()};
            if (again) job.again.pop_front();
            else ++job.next;
            ++job.outstanding;
            if (std::string e = SendBytes(bytes); !e.empty()) return e;
        }
    }
    // Jobs refused before any part went out end here.
    for (auto it = jobs_.begin(); it != jobs_.end();) {
        Job& job = *it++;
        if (job.failed && job.outstanding == 0) Finish(job);
    }
    return {};
}

template <typename Submit>
void WindowedSmscLink<Submit>::Finish(Job& job) {
    SendResult r;
    r.token = job.message.token;
    r.parts = static_cast<unsigned>(job.parts.size());
    if (job.failed) {
        r.outcome = job.outcome;
        r.error = job.error;
    } else {
        r.outcome = Outcome::Sent;
        r.partIds = job.ids;
        r.smscId = job.ids.empty() ? std::string() : job.ids.back();
    }
    PostResult(std::move(r));
    jobs_.remove_if([&](const Job& j) { return &j == &job; });
}

template <typename Submit>
void WindowedSmscLink<Submit>::Answered(int number, const PartAnswer& answer) {
    auto it = pending_.find(number);
    if (it == pending_.end()) return;  // late, or a number the SMSC made up
    const Pending p = it->second;
    pending_.erase(it);
    if (p.job == nullptr) return;  // the keep-alive's answer: the session is alive
    Job& job = *p.job;
    --job.outstanding;
    if (answer.accepted) {
        job.ids[p.part] = answer.id;
    } else if (answer.tooMany && (p.crowded || !pending_.empty()) && !job.failed) {
        // More than this SMSC takes at once: one at a time from now, this part again.
        window_ = 1;
        job.again.push_back(p.part);
        return;
    } else if (!job.failed) {
        job.failed = true;
        job.outcome = answer.temporary ? Outcome::Temporary : Outcome::Permanent;
        job.error = answer.error;
    }
    if (job.outstanding == 0 && (job.failed || (job.next == job.parts.size() && job.again.empty())))
        Finish(job);
}

template <typename Submit>
std::string WindowedSmscLink<Submit>::TakeFrames(bool answersOnly) {
    std::string frame;
    for (;;) {
        switch (cutter_->Next(frame)) {
            case FrameCutter::Cut::NeedMore: return {};
            case FrameCutter::Cut::Garbage: return LocalError(smsc_link::kReplyMalformed);
            case FrameCutter::Cut::TooLong: return LocalError(smsc_link::kReplyTooLong);
            case FrameCutter::Cut::Frame:
                if (std::string e = HandleFrame(frame, answersOnly); !e.empty()) return e;
        }
    }
}

template <typename Submit>
std::string WindowedSmscLink<Submit>::Exchange() {
    // What came with the login's answer, or before a stop, is taken first.
    if (std::string e = TakeFrames(false); !e.empty()) return e;
    Accept(TakeInbox());
    if (std::string e = FillWindow(); !e.empty()) return e;
    const std::uint64_t now = platform::SteadyMillis();
    const std::uint64_t keepAlive = KeepAliveMs(Settings());
    std::uint64_t waitMs = 1000;
    for (const auto& [number, p] : pending_) {
        if (now >= p.sentAt + t_.responseMs)
            return "No answer from the " + std::string(server_) + " server within " +
                   std::to_string(t_.responseMs / 1000) + " seconds";
        waitMs = std::min(waitMs, p.sentAt + t_.responseMs - now);
    }
    if (keepAlive > 0 && !Stopping()) {
        const bool aliveOut =
            std::any_of(pending_.begin(), pending_.end(), [](const auto& e) { return e.second.job == nullptr; });
        if (!aliveOut && now >= lastSent_ + keepAlive) {
            const int number = NextNumber();
            if (number >= 0) {
                pending_[number] = {nullptr, 0, now, false};
                if (std::string e = SendBytes(EncodeKeepAlive(number)); !e.empty()) return e;
            }
        } else if (!aliveOut) {
            waitMs = std::min(waitMs, lastSent_ + keepAlive - now);
        }
    }
    if (Stopping()) waitMs = std::min(waitMs, drainEnd_ > now ? drainEnd_ - now : 0);
    platform::EventLoop loop;
    bool readable = false;
    loop.Watch(socket_.Descriptor(), platform::kReadable, [&](unsigned) { readable = true; });
    if (!Stopping()) loop.Watch(WakeFd(), platform::kReadable, [](unsigned) {});
    loop.RunOnce(static_cast<int>(waitMs) + 1);
    if (!readable) return {};
    char buffer[8192];
    const platform::IoResult r = socket_.ReceiveAvailable(buffer, sizeof buffer);
    if (r.status == platform::IoStatus::Closed) return LocalError(smsc_link::kClosed);
    if (!r.Ok()) return LocalError(smsc_link::IoCode(r));
    cutter_->Add(buffer, r.bytes);
    return TakeFrames(false);
}

template <typename Submit>
void WindowedSmscLink<Submit>::TakeLastAnswers() {
    // A server that closes or resets after answering part of the window: the answers
    // that arrived before still count, so those messages are not sent twice.
    char buffer[8192];
    for (int reads = 0; reads < 64; ++reads) {
        const platform::IoResult r = socket_.ReceiveAvailable(buffer, sizeof buffer);
        if (!r.Ok() || r.bytes == 0) break;
        cutter_->Add(buffer, r.bytes);
    }
    TakeFrames(true);
}

template <typename Submit>
std::string WindowedSmscLink<Submit>::Serve() {
    window_ = kWindow;
    lastSent_ = platform::SteadyMillis();
    // At stop the answers already on their way are still taken, for a short while and
    // with waits of their own, so that fewer messages go out twice; nothing new is sent.
    platform::CancelToken drainToken;
    std::optional<platform::ScopedCancelToken> draining;
    for (;;) {
        if (Stopping()) {
            if (!draining) {
                draining.emplace(&drainToken);
                drainEnd_ = platform::SteadyMillis() + t_.goodbyeMs;
                for (Job& job : jobs_) {
                    job.next = job.parts.size();
                    job.again.clear();
                }
            }
            if (pending_.empty() || platform::SteadyMillis() >= drainEnd_) return "Service stopping";
        }
        if (std::string e = Exchange(); !e.empty()) {
            TakeLastAnswers();
            return e;
        }
    }
}

template <typename Submit>
void WindowedSmscLink<Submit>::EndSession(const std::string& why) {
    socket_.Close();
    pending_.clear();
    std::vector<OutboundMessage> unsent;
    while (!jobs_.empty()) {
        Job& job = jobs_.front();
        if (job.failed) {
            Finish(job);
            continue;
        }
        unsent.push_back(job.message);
        jobs_.pop_front();
    }
    Unsent(unsent, why);
}

}  // namespace gateway
