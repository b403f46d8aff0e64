#include "gateway/links/cimd_link.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <list>
#include <map>
#include <optional>

#include "cimdlnk/cimd_errors.h"
#include "cimdlnk/cimd_frame.h"
#include "gateway/links/cimd_text.h"
#include "platform/event_loop.h"
#include "platform/io_wait.h"

namespace gateway {
namespace {

constexpr unsigned kWindow = 10;
// No CIMD2 packet the link expects comes near this; a longer one is a fault.
constexpr std::size_t kMaxPacket = 65536;

// Error codes that say "not now": the SMSC's connection or congestion, a failed
// operation the SMSC did not blame on the message.
bool TemporaryCimdError(int code) {
    switch (code) {
        case 4: case 5: case 6: case 9: case 10: return true;
        default: return false;
    }
}

// The SMSC refuses more than one outstanding packet.
bool WindowRefusal(int code) { return code == 1 || code == 104 || code == 105; }

struct Job {
    OutboundMessage message;
    std::vector<CimdParameters> submits;
    std::size_t next = 0, outstanding = 0;
    std::deque<std::size_t> again;  // parts to send once more (the SMSC took fewer at once)
    std::vector<std::string> ids;
    bool failed = false;
    Outcome outcome = Outcome::Sent;
    std::string error;
};

struct Pending {
    Job* job = nullptr;  // null: an alive packet
    std::size_t part = 0;
    std::uint64_t sentAt = 0;
    bool crowded = false;  // sent while others were waiting for their answers
};

class CimdLink final : public ThreadedLink {
public:
    CimdLink(const ConnectionSettings& settings, LinkEvents& events, const SessionTimings& t)
        : ThreadedLink(settings, events), events_(events), t_(t) {}
    unsigned Capacity() const override { return kWindow; }

protected:
    void Run() override;

private:
    std::string Login();
    std::string Await(int operation, int number, cimd::Packet& answer, std::uint64_t ms);
    std::string Serve();
    std::string Exchange();
    std::string TakePackets();
    void TakeLastAnswers();
    void Logout();
    std::string SendPacket(const cimd::Packet& p);
    std::string HandlePacket(const std::string& text);
    void HandleResponse(const cimd::Packet& p);
    std::string HandleDelivery(const cimd::Packet& p);
    void Accept(std::vector<OutboundMessage> messages);
    std::string FillWindow();
    int NextNumber();
    void Finish(Job& job);
    void EndSession(const std::string& why);

    LinkEvents& events_;
    SessionTimings t_;
    platform::TcpSocket socket_;
    std::optional<FrameCutter> cutter_;
    std::list<Job> jobs_;
    std::map<int, Pending> pending_;  // by packet number
    unsigned window_ = kWindow;
    int number_ = 1;
    unsigned char reference_ = 0;
    std::uint64_t lastSent_ = 0, drainEnd_ = 0;
};

void CimdLink::Run() {
    Backoff backoff(t_);
    while (!Stopping()) {
        std::string error;
        socket_ = OpenSmscConnection(Settings().Host(), Settings().Port(), 0, t_.connectMs, error);
        if (socket_.IsOpen()) error = Login();
        if (error.empty()) {
            PostUp();
            backoff.Reset();
            error = Serve();
            if (Stopping()) Logout();
        }
        EndSession(error);
        if (Stopping()) break;
        PostDown(error);
        if (!Pause(backoff.Take())) break;
    }
}

int CimdLink::NextNumber() {
    // Requests of the client use the odd numbers 1 to 255.
    for (int i = 0; i < 128; ++i) {
        const int n = number_;
        number_ = number_ >= 255 ? 1 : number_ + 2;
        if (!pending_.count(n)) return n;
    }
    return -1;
}

std::string CimdLink::SendPacket(const cimd::Packet& p) {
    const std::string bytes = cimd::BuildPacket(p);
    if (bytes.empty()) return "A packet for the CIMD server could not be built";
    const platform::IoResult r = socket_.SendAll(bytes, t_.responseMs);
    if (r.status == platform::IoStatus::Cancelled) return "Service stopping";
    if (r.status == platform::IoStatus::Closed) return cimd::ErrorText(cimd::kClosed, "");
    if (r.status == platform::IoStatus::TimedOut)
        return "The CIMD server takes nothing more (sending timed out)";
    if (!r.Ok()) return "Unable to send to the CIMD server: " + std::string(std::strerror(r.error));
    lastSent_ = platform::SteadyMillis();
    return {};
}

std::string CimdLink::Await(int operation, int number, cimd::Packet& answer, std::uint64_t ms) {
    const std::uint64_t deadline = platform::SteadyMillis() + ms;
    std::string frame;
    for (;;) {
        const FrameCutter::Cut cut = cutter_->Next(frame);
        if (cut == FrameCutter::Cut::Garbage) return cimd::ErrorText(cimd::kReplyMalformed, "");
        if (cut == FrameCutter::Cut::TooLong) return cimd::ErrorText(cimd::kReplyTooLong, "");
        if (cut == FrameCutter::Cut::Frame) {
            const cimd::ParseError parsed = cimd::ParseFrame(frame, &answer);
            if (parsed == cimd::ParseError::BadChecksum)
                return cimd::ErrorText(cimd::kReplyChecksum, "");
            if (parsed != cimd::ParseError::None) return cimd::ErrorText(cimd::kReplyMalformed, "");
            if (answer.operation == cimd::kNack || answer.operation == cimd::kGeneralError ||
                answer.operation == operation) {
                if (answer.operation == operation && answer.number != number)
                    return cimd::ErrorText(cimd::kReplyNumber, "");
                return {};
            }
            continue;  // anything else the SMSC says meanwhile waits for the session
        }
        const std::uint64_t now = platform::SteadyMillis();
        char buffer[4096];
        const platform::IoResult r =
            socket_.Receive(buffer, sizeof buffer, now < deadline ? deadline - now : 0);
        if (!r.Ok()) return cimd::ErrorText(smsc_link::IoCode(r), "");
        cutter_->Add(buffer, r.bytes);
    }
}

std::string CimdLink::Login() {
    cutter_.emplace(kMaxPacket);
    number_ = 1;
    const std::string user = Settings().Key("UserName", "", 150);
    const std::string password = Settings().Key("Password", "", 150);
    const cimd::LoginInputError input = cimd::CheckLoginInput(user, password);
    if (input != cimd::LoginInputError::None)
        return "Login refused: " + cimd::ErrorText(smsc_link::LoginInputCode(input), "");
    const int number = NextNumber();
    if (std::string e = SendPacket({cimd::kLogin, number,
                                    {{cimd::kUserIdentity, user}, {cimd::kPassword, password}}});
        !e.empty())
        return e;
    cimd::Packet answer;
    if (std::string e = Await(cimd::kLoginResponse, number, answer, t_.responseMs); !e.empty())
        return e;
    const std::string* code = cimd::FindParameter(answer, cimd::kErrorCode);
    if (answer.operation == cimd::kLoginResponse && !code) return {};
    const std::string* words = cimd::FindParameter(answer, cimd::kErrorText);
    const int n = code ? std::atoi(code->c_str()) : 0;
    return "Login refused: " +
           (n > 0 ? cimd::ErrorText(n, words ? smsc_link::Printable(*words, 120) : "")
                  : cimd::ErrorText(cimd::kRejected, ""));
}

void CimdLink::Logout() {
    // Bounded by its own short wait: the stop has already cancelled the thread's token.
    platform::CancelToken token;
    platform::ScopedCancelToken scope(&token);
    const int number = NextNumber();
    if (number < 0 || !SendPacket({cimd::kLogout, number, {}}).empty()) return;
    cimd::Packet answer;
    Await(cimd::kLogoutResponse, number, answer, t_.goodbyeMs);
}

void CimdLink::Accept(std::vector<OutboundMessage> messages) {
    const std::string prefix = Settings().Key("SenderPrefix", "", 150);
    for (OutboundMessage& m : messages) {
        Job job;
        job.message = std::move(m);
        std::string error;
        if (!BuildCimdSubmits(job.message, ChooseSender(Settings(), job.message), prefix,
                              reference_++, job.submits, error)) {
            PostResult({job.message.token, Outcome::Permanent, {}, {}, error, 1});
            continue;
        }
        job.ids.resize(job.submits.size());
        jobs_.push_back(std::move(job));
    }
}

std::string CimdLink::FillWindow() {
    for (Job& job : jobs_) {
        while (!job.failed && (!job.again.empty() || job.next < job.submits.size())) {
            if (pending_.size() >= window_) return {};
            const int number = NextNumber();
            if (number < 0) return {};
            const bool again = !job.again.empty();
            const std::size_t part = again ? job.again.front() : job.next;
            pending_[number] = {&job, part, platform::SteadyMillis(), !pending_.empty()};
            const cimd::Packet p{cimd::kSubmit, number, job.submits[part]};
            if (again) job.again.pop_front();
            else ++job.next;
            ++job.outstanding;
            if (std::string e = SendPacket(p); !e.empty()) return e;
        }
    }
    return {};
}

void CimdLink::Finish(Job& job) {
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
    jobs_.remove_if([&](const Job& j) { return &j == &job; });
}

void CimdLink::HandleResponse(const cimd::Packet& p) {
    auto it = pending_.find(p.number);
    if (it == pending_.end()) return;  // late, or a number the SMSC made up
    const Pending pend = it->second;
    pending_.erase(it);
    if (pend.job == nullptr) return;  // the alive answer
    Job& job = *pend.job;
    --job.outstanding;
    const std::string* code = cimd::FindParameter(p, cimd::kErrorCode);
    if (p.operation == cimd::kSubmitResponse && !code) {
        // The destination and the SMSC's time stamp name the message in status reports.
        const std::string* to = cimd::FindParameter(p, cimd::kDestination);
        const std::string* stamp = cimd::FindParameter(p, cimd::kTimestamp);
        job.ids[pend.part] = (to ? *to : std::string()) + ":" + (stamp ? *stamp : std::string());
    } else {
        const int n = code ? std::atoi(code->c_str()) : 0;
        if (WindowRefusal(n) && (pend.crowded || !pending_.empty()) && !job.failed) {
            window_ = 1;
            job.again.push_back(pend.part);
            return;
        }
        if (!job.failed) {
            const std::string* words = cimd::FindParameter(p, cimd::kErrorText);
            job.failed = true;
            job.outcome = p.operation != cimd::kSubmitResponse || TemporaryCimdError(n)
                              ? Outcome::Temporary
                              : Outcome::Permanent;
            job.error = n > 0 ? cimd::ErrorText(n, words ? smsc_link::Printable(*words, 120) : "")
                              : "The CIMD server refused the message without an error code";
        }
    }
    if (job.outstanding == 0 && (job.failed || (job.next == job.submits.size() && job.again.empty())))
        Finish(job);
}

std::string CimdLink::HandleDelivery(const cimd::Packet& p) {
    InboundMessage message;
    cimd::Packet answer{p.operation + 50, p.number, {}};
    if (!ReadCimdDelivery(p, message))
        answer.parameters = {{cimd::kErrorCode, "2"}};
    else if (!events_.Store(Name(), message))
        answer.parameters = {{cimd::kErrorCode, "10"}};  // congestion: deliver it again later
    return SendPacket(answer);
}

std::string CimdLink::HandlePacket(const std::string& text) {
    cimd::Packet p;
    const cimd::ParseError parsed = cimd::ParseFrame(text, &p);
    if (parsed == cimd::ParseError::BadChecksum)
        return cimd::ErrorText(cimd::kReplyChecksum, "") + ": " + smsc_link::Printable(text, 80);
    if (parsed != cimd::ParseError::None)
        return cimd::ErrorText(cimd::kReplyMalformed, "") + ": " + smsc_link::Printable(text, 80);
    switch (p.operation) {
        case cimd::kDeliver:
        case cimd::kStatusReport: return HandleDelivery(p);
        case cimd::kAlive: return SendPacket({cimd::kAliveResponse, p.number, {}});
        case cimd::kSubmitResponse:
        case cimd::kAliveResponse:
        case cimd::kNack:
        case cimd::kGeneralError: HandleResponse(p); return {};
        default:
            if (p.operation < 50)  // a request this link does not serve
                return SendPacket({cimd::kGeneralError, p.number, {{cimd::kErrorCode, "1"}}});
            return {};
    }
}

std::string CimdLink::TakePackets() {
    std::string frame;
    for (;;) {
        switch (cutter_->Next(frame)) {
            case FrameCutter::Cut::NeedMore: return {};
            case FrameCutter::Cut::Garbage: return cimd::ErrorText(cimd::kReplyMalformed, "");
            case FrameCutter::Cut::TooLong: return cimd::ErrorText(cimd::kReplyTooLong, "");
            case FrameCutter::Cut::Frame:
                if (std::string e = HandlePacket(frame); !e.empty()) return e;
        }
    }
}

std::string CimdLink::Exchange() {
    if (std::string e = TakePackets(); !e.empty()) return e;
    Accept(TakeInbox());
    if (std::string e = FillWindow(); !e.empty()) return e;
    const std::uint64_t now = platform::SteadyMillis();
    const std::uint64_t keepAlive = KeepAliveMs(Settings());
    std::uint64_t waitMs = 1000;
    for (const auto& [number, p] : pending_) {
        if (now >= p.sentAt + t_.responseMs)
            return "No answer from the CIMD server within " +
                   std::to_string(t_.responseMs / 1000) + " seconds";
        waitMs = std::min(waitMs, p.sentAt + t_.responseMs - now);
    }
    if (keepAlive > 0 && !Stopping()) {
        const bool aliveOut = std::any_of(pending_.begin(), pending_.end(),
                                          [](const auto& e) { return e.second.job == nullptr; });
        if (!aliveOut && now >= lastSent_ + keepAlive) {
            const int number = NextNumber();
            if (number >= 0) {
                pending_[number] = {nullptr, 0, now};
                if (std::string e = SendPacket({cimd::kAlive, number, {}}); !e.empty()) return e;
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
    if (r.status == platform::IoStatus::Closed) return cimd::ErrorText(cimd::kClosed, "");
    if (!r.Ok()) return cimd::ErrorText(smsc_link::IoCode(r), "");
    cutter_->Add(buffer, r.bytes);
    return TakePackets();
}

void CimdLink::TakeLastAnswers() {
    char buffer[8192];
    for (int reads = 0; reads < 64; ++reads) {
        const platform::IoResult r = socket_.ReceiveAvailable(buffer, sizeof buffer);
        if (!r.Ok() || r.bytes == 0) break;
        cutter_->Add(buffer, r.bytes);
    }
    std::string frame;
    while (cutter_->Next(frame) == FrameCutter::Cut::Frame) {
        cimd::Packet p;
        if (cimd::ParseFrame(frame, &p) == cimd::ParseError::None && p.operation >= 50)
            HandleResponse(p);
    }
}

std::string CimdLink::Serve() {
    window_ = kWindow;
    lastSent_ = platform::SteadyMillis();
    platform::CancelToken drainToken;
    std::optional<platform::ScopedCancelToken> draining;
    for (;;) {
        if (Stopping()) {
            if (!draining) {
                // Answers already on their way are still taken, briefly, so that fewer
                // messages go out twice; nothing new is sent.
                draining.emplace(&drainToken);
                drainEnd_ = platform::SteadyMillis() + t_.goodbyeMs;
                for (Job& job : jobs_) {
                    job.next = job.submits.size();
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

void CimdLink::EndSession(const std::string& why) {
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

std::unique_ptr<SmscLink> CreateCimdLink(const ConnectionSettings& settings, LinkEvents& events,
                                         const SessionTimings& timings) {
    return std::make_unique<CimdLink>(settings, events, timings);
}

std::unique_ptr<SmscLink> CreateCimdLink(const ConnectionSettings& settings, LinkEvents& events) {
    return CreateCimdLink(settings, events, SessionTimings());
}

}  // namespace gateway
