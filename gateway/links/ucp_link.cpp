#include "gateway/links/ucp_link.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <list>
#include <map>
#include <optional>

#include "gateway/links/ucp_text.h"
#include "platform/event_loop.h"
#include "platform/io_wait.h"
#include "ucplnk/ucp_errors.h"
#include "ucplnk/ucp_frame.h"

namespace gateway {
namespace {

// UCP has no window negotiation: start with a few transactions outstanding and fall back
// to one at a time when the SMSC says it does not take them.
constexpr unsigned kWindow = 10;
// LEN allows frames of almost 100,000 characters, but no answer, delivery or notification
// comes near this; a peer that sends more without ETX is not speaking UCP.
constexpr std::size_t kMaxIncomingFrame = 16384;

// NACK codes that say "not now" rather than "never": a transmission fault, the session
// state, the SMSC's own trouble. Everything else refuses the message itself.
bool TemporaryUcpError(int code) {
    switch (code) {
        case 1: case 4: case 7: case 50: case 54: case 55: return true;
        default: return false;
    }
}

struct Job {
    OutboundMessage message;
    std::vector<std::vector<std::string>> submits;
    std::size_t next = 0;         // the next part to send
    std::size_t outstanding = 0;  // parts sent and not answered
    std::deque<std::size_t> again;  // parts to send once more (the SMSC took fewer at once)
    std::vector<std::string> ids;
    bool failed = false;
    Outcome outcome = Outcome::Sent;
    std::string error;
};

struct Pending {
    Job* job = nullptr;  // null: an alert
    std::size_t part = 0;
    std::uint64_t sentAt = 0;
    bool crowded = false;  // sent while others were waiting for their answers
};

class UcpLink final : public ThreadedLink {
public:
    UcpLink(const ConnectionSettings& settings, LinkEvents& events, const SessionTimings& t)
        : ThreadedLink(settings, events), events_(events), t_(t) {}
    unsigned Capacity() const override { return kWindow; }

protected:
    void Run() override;

private:
    std::string Login();
    std::string Serve();
    std::string Exchange();  // one turn of the session loop; "" while it goes on
    std::string SendFrame(const std::string& frame);
    std::string TakeFrames();
    void TakeLastAnswers();
    std::string HandleFrame(const std::string& text);
    std::string HandleResult(const ucp::Frame& f);
    std::string HandleDelivery(const ucp::Frame& f);
    void Accept(std::vector<OutboundMessage> messages);
    std::string FillWindow();
    int NextTrn();
    void Finish(Job& job);
    void EndSession(const std::string& why);

    LinkEvents& events_;
    SessionTimings t_;
    platform::TcpSocket socket_;
    std::optional<FrameCutter> cutter_;
    std::list<Job> jobs_;
    std::map<int, Pending> pending_;  // by TRN
    unsigned window_ = kWindow;
    int trn_ = 0;
    unsigned char reference_ = 0;
    std::uint64_t lastSent_ = 0;
    std::uint64_t drainEnd_ = 0;  // at stop: when to stop waiting for answers
    std::string account_;  // the address alerts name
};

void UcpLink::Run() {
    Backoff backoff(t_);
    while (!Stopping()) {
        std::string error;
        const unsigned localPort = ParsePort(Settings().Key("LocalPort"));
        socket_ = OpenSmscConnection(Settings().Host(), Settings().Port(), localPort,
                                     t_.connectMs, error);
        if (socket_.IsOpen()) error = Login();
        if (error.empty()) {
            PostUp();
            backoff.Reset();
            error = Serve();
        }
        EndSession(error);
        if (Stopping()) break;
        PostDown(error);
        if (!Pause(backoff.Take())) break;
    }
}

int UcpLink::NextTrn() {
    for (int i = 0; i < 100; ++i) {
        const int trn = trn_;
        trn_ = (trn_ + 1) % 100;
        if (!pending_.count(trn)) return trn;
    }
    return -1;
}

std::string UcpLink::SendFrame(const std::string& frame) {
    const platform::IoResult r = socket_.SendAll(frame, t_.responseMs);
    if (r.status == platform::IoStatus::Cancelled) return "Service stopping";
    if (r.status == platform::IoStatus::Closed) return ucp::ErrorText(ucp::kClosed, "");
    if (r.status == platform::IoStatus::TimedOut)
        return "The UCP server takes nothing more (sending timed out)";
    if (!r.Ok()) return "Unable to send to the UCP server: " + std::string(std::strerror(r.error));
    lastSent_ = platform::SteadyMillis();
    return {};
}

std::string UcpLink::Login() {
    cutter_.emplace(kMaxIncomingFrame);
    trn_ = 0;
    const std::string user = Settings().Key("UserName", "", 150);
    const std::string password = Settings().Key("Password", "", 150);
    account_ = user.empty() ? Settings().Key("SenderAddress") : user;
    if (user.empty()) return {};
    const ucp::LoginInputError input = ucp::CheckLoginInput(user, password);
    if (input != ucp::LoginInputError::None)
        return "Login refused: " + ucp::ErrorText(smsc_link::LoginInputCode(input), "");
    const int trn = NextTrn();
    if (std::string e = SendFrame(ucp::BuildLoginFrame(trn, user, password)); !e.empty()) return e;
    const std::uint64_t deadline = platform::SteadyMillis() + t_.responseMs;
    std::string frame;
    for (;;) {
        const FrameCutter::Cut cut = cutter_->Next(frame);
        if (cut == FrameCutter::Cut::Garbage) return ucp::ErrorText(ucp::kReplyMalformed, "");
        if (cut == FrameCutter::Cut::TooLong) return ucp::ErrorText(ucp::kReplyTooLong, "");
        if (cut == FrameCutter::Cut::Frame) break;
        const std::uint64_t now = platform::SteadyMillis();
        char buffer[4096];
        const platform::IoResult r =
            socket_.Receive(buffer, sizeof buffer, now < deadline ? deadline - now : 0);
        if (!r.Ok()) return ucp::ErrorText(smsc_link::IoCode(r), "");
        cutter_->Add(buffer, r.bytes);
    }
    ucp::Frame f;
    const ucp::ParseError parsed = ucp::ParseFrame(frame, &f);
    if (parsed == ucp::ParseError::BadChecksum) return ucp::ErrorText(ucp::kReplyChecksum, "");
    if (parsed != ucp::ParseError::None) return ucp::ErrorText(ucp::kReplyMalformed, "");
    if (f.kind != 'R' || f.ot != 60) return ucp::ErrorText(ucp::kReplyUnexpected, "");
    if (f.trn != trn) return ucp::ErrorText(ucp::kReplyTrn, "");
    if (ucp::FieldAt(f, 0) == "A") return {};
    const int code = std::atoi(ucp::FieldAt(f, 1).c_str());
    return "Login refused: " +
           (code > 0 ? ucp::ErrorText(code, smsc_link::Printable(ucp::FieldAt(f, 2), 120))
                     : ucp::ErrorText(ucp::kRefusedNoCode, ""));
}

void UcpLink::Accept(std::vector<OutboundMessage> messages) {
    for (OutboundMessage& m : messages) {
        Job job;
        job.message = std::move(m);
        std::string error;
        if (!BuildUcpSubmits(job.message, ChooseSender(Settings(), job.message), reference_++,
                             job.submits, error)) {
            PostResult({job.message.token, Outcome::Permanent, {}, {}, error, 1});
            continue;
        }
        job.ids.resize(job.submits.size());
        jobs_.push_back(std::move(job));
    }
}

std::string UcpLink::FillWindow() {
    for (Job& job : jobs_) {
        while (!job.failed && (!job.again.empty() || job.next < job.submits.size())) {
            if (pending_.size() >= window_) return {};
            const int trn = NextTrn();
            if (trn < 0) return {};
            const bool again = !job.again.empty();
            const std::size_t part = again ? job.again.front() : job.next;
            const std::string frame = ucp::BuildFrame({trn, 'O', 51, job.submits[part]});
            if (frame.empty()) {  // only an oversized part gets here
                job.failed = true;
                job.outcome = Outcome::Permanent;
                job.error = "The message is too long for UCP";
                break;
            }
            pending_[trn] = {&job, part, platform::SteadyMillis(), !pending_.empty()};
            if (again) job.again.pop_front();
            else ++job.next;
            ++job.outstanding;
            if (std::string e = SendFrame(frame); !e.empty()) return e;
        }
    }
    // Jobs refused before any part went out are finished here.
    for (auto it = jobs_.begin(); it != jobs_.end();) {
        Job& job = *it++;
        if (job.failed && job.outstanding == 0) Finish(job);
    }
    return {};
}

void UcpLink::Finish(Job& job) {
    SendResult r;
    r.token = job.message.token;
    r.parts = static_cast<unsigned>(job.submits.size());
    if (job.failed) {
        r.outcome = job.outcome;
        r.error = job.error;
    } else {
        r.outcome = Outcome::Sent;
        r.partIds = job.ids;
        r.smscId = job.ids.empty() ? std::string() : job.ids.back();
    }
    PostResult(std::move(r));
    for (auto it = jobs_.begin(); it != jobs_.end(); ++it)
        if (&*it == &job) {
            jobs_.erase(it);
            break;
        }
}

std::string UcpLink::HandleResult(const ucp::Frame& f) {
    auto it = pending_.find(f.trn);
    if (it == pending_.end()) return {};  // a late answer to a transaction already given up
    const Pending p = it->second;
    pending_.erase(it);
    if (p.job == nullptr) return {};  // the alert's answer: the session is alive
    Job& job = *p.job;
    --job.outstanding;
    const bool ack = ucp::FieldAt(f, 0) == "A";
    if (ack) {
        // ACK "A/MVP/SM/": SM is "recipient:timestamp", what notifications name again.
        job.ids[p.part] = f.fields.size() >= 3 ? f.fields[2] : ucp::FieldAt(f, 1);
    } else {
        const int code = std::atoi(ucp::FieldAt(f, 1).c_str());
        if (code == 4 && (p.crowded || !pending_.empty()) && !job.failed) {
            // Too many transactions for this SMSC: one at a time, and this part again.
            window_ = 1;
            job.again.push_back(p.part);
            return {};
        }
        if (!job.failed) {
            job.failed = true;
            job.outcome = TemporaryUcpError(code) ? Outcome::Temporary : Outcome::Permanent;
            job.error = code > 0 ? ucp::ErrorText(code, smsc_link::Printable(ucp::FieldAt(f, 2), 120))
                                 : ucp::ErrorText(ucp::kRefusedNoCode, "");
        }
    }
    if (job.outstanding == 0 && (job.failed || (job.next == job.submits.size() && job.again.empty())))
        Finish(job);
    return {};
}

std::string UcpLink::HandleDelivery(const ucp::Frame& f) {
    InboundMessage message;
    ucp::Frame answer{f.trn, 'R', f.ot, {"A", "", ""}};
    if (!ReadUcpDelivery(f, message))
        answer.fields = {"N", "02", "Syntax error"};
    else if (!events_.Store(Name(), message))
        answer.fields = {"N", "04", "Temporarily unable to store the message"};
    return SendFrame(ucp::BuildFrame(answer));
}

std::string UcpLink::HandleFrame(const std::string& text) {
    ucp::Frame f;
    const ucp::ParseError parsed = ucp::ParseFrame(text, &f);
    if (parsed == ucp::ParseError::BadChecksum)
        return ucp::ErrorText(ucp::kReplyChecksum, "") + ": " + smsc_link::Printable(text, 80);
    if (parsed != ucp::ParseError::None)
        return ucp::ErrorText(ucp::kReplyMalformed, "") + ": " + smsc_link::Printable(text, 80);
    if (f.kind == 'R') return HandleResult(f);
    if (f.ot == 52 || f.ot == 53) return HandleDelivery(f);
    // An alert or anything else the SMSC asks: alive, or not supported here.
    const ucp::Frame answer =
        f.ot == 31 ? ucp::Frame{f.trn, 'R', 31, {"A", ""}}
                   : ucp::Frame{f.trn, 'R', f.ot, {"N", "03", "Operation not supported"}};
    return SendFrame(ucp::BuildFrame(answer));
}

std::string UcpLink::Exchange() {
    // What came with the login's answer, or before a stop, is taken first.
    if (std::string e = TakeFrames(); !e.empty()) return e;
    Accept(TakeInbox());
    if (std::string e = FillWindow(); !e.empty()) return e;
    const std::uint64_t now = platform::SteadyMillis();
    const std::uint64_t keepAlive = KeepAliveMs(Settings());
    std::uint64_t waitMs = 1000;
    for (const auto& [trn, p] : pending_)
        if (now >= p.sentAt + t_.responseMs)
            return "No answer from the UCP server within " + std::to_string(t_.responseMs / 1000) +
                   " seconds";
        else
            waitMs = std::min(waitMs, p.sentAt + t_.responseMs - now);
    if (keepAlive > 0 && !Stopping()) {
        const bool alertOut = std::any_of(pending_.begin(), pending_.end(),
                                          [](const auto& e) { return e.second.job == nullptr; });
        if (!alertOut && now >= lastSent_ + keepAlive) {
            const int trn = NextTrn();
            if (trn >= 0) {
                pending_[trn] = {nullptr, 0, now};
                if (std::string e = SendFrame(ucp::BuildAlertFrame(trn, account_)); !e.empty())
                    return e;
            }
        } else if (!alertOut) {
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
    if (r.status == platform::IoStatus::Closed) return ucp::ErrorText(ucp::kClosed, "");
    if (!r.Ok()) return ucp::ErrorText(smsc_link::IoCode(r), "");
    cutter_->Add(buffer, r.bytes);
    return TakeFrames();
}

std::string UcpLink::TakeFrames() {
    std::string frame;
    for (;;) {
        switch (cutter_->Next(frame)) {
            case FrameCutter::Cut::NeedMore: return {};
            case FrameCutter::Cut::Garbage: return ucp::ErrorText(ucp::kReplyMalformed, "");
            case FrameCutter::Cut::TooLong: return ucp::ErrorText(ucp::kReplyTooLong, "");
            case FrameCutter::Cut::Frame:
                if (std::string e = HandleFrame(frame); !e.empty()) return e;
        }
    }
}

std::string UcpLink::Serve() {
    window_ = kWindow;
    lastSent_ = platform::SteadyMillis();
    // At stop the answers already on their way are still taken, for a short while and
    // with waits of their own, so that fewer messages go out twice.
    platform::CancelToken drainToken;
    std::optional<platform::ScopedCancelToken> draining;
    for (;;) {
        if (Stopping()) {
            if (!draining) {
                draining.emplace(&drainToken);
                drainEnd_ = platform::SteadyMillis() + t_.goodbyeMs;
                for (Job& job : jobs_) {
                    job.next = job.submits.size();
                    job.again.clear();
                }  // nothing new goes out
            }
            if (pending_.empty() || platform::SteadyMillis() >= drainEnd_) return "Service stopping";
        }
        if (std::string e = Exchange(); !e.empty()) {
            TakeLastAnswers();
            return e;
        }
    }
}

void UcpLink::TakeLastAnswers() {
    // A server that closes or resets after answering part of the window: the answers
    // that arrived before still count, so those messages are not sent twice.
    char buffer[8192];
    for (int reads = 0; reads < 64; ++reads) {
        const platform::IoResult r = socket_.ReceiveAvailable(buffer, sizeof buffer);
        if (!r.Ok() || r.bytes == 0) break;
        cutter_->Add(buffer, r.bytes);
    }
    std::string frame;
    while (cutter_->Next(frame) == FrameCutter::Cut::Frame) {
        ucp::Frame f;
        if (ucp::ParseFrame(frame, &f) == ucp::ParseError::None && f.kind == 'R') HandleResult(f);
    }
}

void UcpLink::EndSession(const std::string& why) {
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

}  // namespace

std::unique_ptr<SmscLink> CreateUcpLink(const ConnectionSettings& settings, LinkEvents& events,
                                        const SessionTimings& timings) {
    return std::make_unique<UcpLink>(settings, events, timings);
}

std::unique_ptr<SmscLink> CreateUcpLink(const ConnectionSettings& settings, LinkEvents& events) {
    return CreateUcpLink(settings, events, SessionTimings());
}

}  // namespace gateway
