#include "gateway/links/http_link.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "config/config_store.h"
#include "gateway/links/http_request.h"
#include "gateway/links/http_transport.h"
#include "platform/io_wait.h"
#include "ucplnk/link_support.h"

namespace gateway {
namespace {

constexpr long kMaxThreads = 32;

class HttpLink final : public ThreadedLink {
public:
    // The worker runs this object's code until Stop returns.
    ~HttpLink() override { Stop(); }
    HttpLink(const ConnectionSettings& settings, LinkEvents& events, const SessionTimings& t)
        : ThreadedLink(settings, events), t_(t),
          threads_(static_cast<unsigned>(ParseBounded(settings.Key("ThreadCount"), 1, 1, kMaxThreads))) {}
    unsigned Capacity() const override { return threads_; }

protected:
    void Run() override;

private:
    void Work(platform::CancelToken* token);
    SendResult Deliver(const OutboundMessage& m);
    void Reached(bool reached, const std::string& error);
    bool Down() {
        std::lock_guard<std::mutex> lock(mutex_);
        return down_;
    }
    // Whether the server (or the proxy) takes a connection now; `error` tells why not.
    bool Probe(std::string& error);

    SessionTimings t_;
    unsigned threads_;
    HttpTemplates templates_;
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<OutboundMessage> queue_;
    bool done_ = false;
    bool down_ = false;  // guarded by mutex_
};

void HttpLink::Run() {
    templates_ = LoadHttpTemplates(Settings());
    PostUp();  // no session to open: up until a server cannot be reached
    std::vector<std::thread> workers;
    platform::CancelToken* token = platform::CurrentCancelToken();
    for (unsigned i = 0; i < threads_; ++i) workers.emplace_back([this, token] { Work(token); });
    Backoff backoff(t_);
    std::uint64_t nextProbe = 0;
    while (!Stopping()) {
        platform::WaitForIo(WakeFd(), platform::IoEvent::Readable, 1000);
        // While down the service hands over nothing, so the link itself looks for the
        // server's return.
        if (Down()) {
            const std::uint64_t now = platform::SteadyMillis();
            if (nextProbe == 0) nextProbe = now + backoff.Take();
            if (now >= nextProbe) {
                std::string error;
                Reached(Probe(error), error);
                nextProbe = 0;
            }
        } else {
            backoff.Reset();
            nextProbe = 0;
        }
        std::vector<OutboundMessage> taken = TakeInbox();
        std::lock_guard<std::mutex> lock(mutex_);
        for (OutboundMessage& m : taken) queue_.push_back(std::move(m));
        ready_.notify_all();
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        done_ = true;
        ready_.notify_all();
    }
    for (std::thread& w : workers) w.join();
    std::vector<OutboundMessage> left(queue_.begin(), queue_.end());
    queue_.clear();
    Unsent(left, "Service stopping");
}

void HttpLink::Work(platform::CancelToken* token) {
    // A stop cancels the requests in flight as it does the link's own waits.
    platform::ScopedCancelToken scope(token);
    for (;;) {
        OutboundMessage m;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            ready_.wait(lock, [&] { return done_ || !queue_.empty(); });
            if (done_) return;
            m = std::move(queue_.front());
            queue_.pop_front();
        }
        PostResult(Deliver(m));
    }
}

void HttpLink::Reached(bool reached, const std::string& error) {
    bool changed = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        changed = down_ == reached;
        down_ = !reached;
    }
    if (!changed) return;
    if (reached) PostUp();
    else PostDown(error);
}

bool HttpLink::Probe(std::string& error) {
    std::string proxyHost;
    unsigned proxyPort = 80;
    const std::string proxy = Settings().Key("HTTPProxy");
    if (!proxy.empty()) config::SplitHostPort(proxy, proxyHost, proxyPort);
    platform::TcpSocket socket =
        proxyHost.empty()
            ? OpenSmscConnection(Settings().Host(), Settings().Port(), 0, t_.connectMs, error)
            : OpenSmscConnection(proxyHost, proxyPort, 0, t_.connectMs, error);
    if (!proxyHost.empty() && !socket.IsOpen()) error = "Proxy server: " + error;
    return socket.IsOpen();
}

SendResult HttpLink::Deliver(const OutboundMessage& m) {
    SendResult r;
    r.token = m.token;
    std::vector<HttpCall> calls;
    if (!BuildHttpCalls(Settings(), templates_, m, calls, r.error)) {
        r.outcome = Outcome::Permanent;
        return r;
    }
    r.parts = static_cast<unsigned>(calls.size());
    for (const HttpCall& call : calls) {
        HttpAnswer answer;
        std::string error;
        const HttpReach reach = SendHttpCall(Settings(), call, t_, answer, error);
        if (reach != HttpReach::Answered && Stopping()) {
            r.outcome = Outcome::NotSent;
            r.error = "Service stopping";
            return r;
        }
        if (reach == HttpReach::Unreachable) {
            // A server out of reach costs the message no attempt: the link is down.
            Reached(false, error);
            r.outcome = Outcome::NotSent;
            r.error = error;
            return r;
        }
        Reached(true, "");
        if (reach == HttpReach::Failed) {
            r.outcome = Outcome::Temporary;
            r.error = error;
            return r;
        }
        if (answer.status < 200 || answer.status > 299) {
            r.outcome = answer.status >= 400 && answer.status <= 499 ? Outcome::Permanent
                                                                     : Outcome::Temporary;
            r.error = "The HTTP server refused the message: " + answer.statusLine;
            return r;
        }
        // The answer's first line, where providers put their message id.
        std::string id = answer.body.substr(0, answer.body.find_first_of("\r\n"));
        r.partIds.push_back(smsc_link::Printable(id, 64));
    }
    r.outcome = Outcome::Sent;
    r.smscId = r.partIds.empty() ? std::string() : r.partIds.back();
    return r;
}

}  // namespace

std::unique_ptr<SmscLink> CreateHttpLink(const ConnectionSettings& settings, LinkEvents& events,
                                         const SessionTimings& timings) {
    return std::make_unique<HttpLink>(settings, events, timings);
}

std::unique_ptr<SmscLink> CreateHttpLink(const ConnectionSettings& settings, LinkEvents& events) {
    return CreateHttpLink(settings, events, SessionTimings());
}

}  // namespace gateway
