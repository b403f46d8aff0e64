#include "gateway/web/http_server.h"

#include <cstring>
#include <system_error>
#include <vector>

#include "gateway/logs.h"
#include "gateway/tls_library.h"
#include "gateway/web/web_channel.h"
#include "platform/io_wait.h"
#include "platform/tcp_listener.h"
#include "gateway/clients/access.h"

namespace gateway::web {

// What the listener and the connection threads share, kept alive by each of them.
struct HttpServer::Shared {
    std::mutex mutex;
    std::condition_variable idle;
    unsigned active = 0;
    bool stopping = false;
    std::set<int> open;  // descriptors of live connections, shut down at Stop
};

namespace {

struct Listener {
    platform::UniqueFd fd;
    unsigned port = 0;
    bool tls = false;
};

// The address a browser is sent to for the TLS port, from the Host it used.
std::string RedirectTarget(const HttpRequest& request, unsigned sslPort) {
    std::string host = request.Header("host");
    if (host.empty()) host = "localhost";
    if (host.front() == '[') {
        host = host.substr(0, host.find(']') + 1);
    } else if (host.find(':') != std::string::npos && host.find(':') == host.rfind(':')) {
        host = host.substr(0, host.find(':'));
    }
    for (char c : host)
        if (c == '\r' || c == '\n' || c == '/' || c == '@') return "";
    return "https://" + host + (sslPort == 443 ? "" : ":" + std::to_string(sslPort)) + request.target;
}

}  // namespace

HttpServer::HttpServer(RequestHandler handler, std::function<void(bool)> portInUse, ServerTimes times)
    : handler_(std::move(handler)), portInUse_(std::move(portInUse)), times_(times), shared_(std::make_shared<Shared>()) {}

HttpServer::~HttpServer() { Stop(); }

std::shared_ptr<const WebSettings> HttpServer::Settings() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return settings_;
}

void HttpServer::Configure(const WebSettings& settings) {
    auto next = std::make_shared<const WebSettings>(settings);
    std::shared_ptr<const WebSettings> previous;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        previous = settings_;
        settings_ = next;
    }
    if (previous && previous->SameListeners(settings) && listener_.joinable()) return;
    StopListener();
    StartListener(settings);
}

void HttpServer::StartListener(const WebSettings& settings) {
    listenerStopping_ = false;
    stopListener_ = std::make_unique<platform::Wakeup>();
    listener_ = std::thread([this, s = std::make_shared<const WebSettings>(settings)] { ListenLoop(s); });
}

void HttpServer::StopListener() {
    if (!listener_.joinable()) return;
    listenerStopping_ = true;
    stopListener_->Signal();
    listener_.join();
}

void HttpServer::Stop() {
    StopListener();
    std::unique_lock<std::mutex> lock(shared_->mutex);
    shared_->stopping = true;
    for (int fd : shared_->open) platform::ShutdownSocket(fd);
    shared_->idle.wait(lock, [&] { return shared_->active == 0; });
}

void HttpServer::ListenLoop(std::shared_ptr<const WebSettings> settings) {
    std::vector<Listener> listeners;
    bool reported = false, lastInUse = false;
    platform::EventLoop loop;
    loop.Watch(stopListener_->Fd(), platform::kReadable, [&](unsigned) { stopListener_->Drain(); });
    std::uint64_t nextBindMs = 0;
    while (!listenerStopping_) {
        // Bind what is not bound yet; a port taken by another program is tried again.
        if (platform::SteadyMillis() >= nextBindMs) {
            bool inUse = false;
            for (auto [port, tls] : {std::pair{settings->port, false}, std::pair{settings->sslPort, true}}) {
                if (port == 0) continue;
                bool have = false;
                for (const Listener& l : listeners) have |= l.port == port && l.tls == tls;
                if (have) continue;
                int error = 0;
                Listener l{platform::ListenStream(settings->address, port, 128, &error), port, tls};
                if (!l.fd.Valid()) {
                    inUse = true;
                    if (!reported || !lastInUse)
                        ServiceLogs().Event(platform::EventLevel::Error,
                                            "Web port " + std::to_string(port) + " cannot be opened: " +
                                                std::string(std::strerror(error)));
                    continue;
                }
                const int fd = l.fd.Get();
                loop.Watch(fd, platform::kReadable, [this, fd, tls = l.tls](unsigned) {
                    std::string peer;
                    platform::UniqueFd client = platform::AcceptStream(fd, peer);
                    if (client.Valid()) Serve(client.Release(), std::move(peer), tls);
                });
                listeners.push_back(std::move(l));
            }
            if (!reported || inUse != lastInUse) portInUse_(inUse);
            reported = true;
            lastInUse = inUse;
            nextBindMs = inUse ? platform::SteadyMillis() + times_.retryBindMs : UINT64_MAX;
        }
        loop.RunOnce(lastInUse ? 250 : 1000);
    }
    for (Listener& l : listeners) loop.Unwatch(l.fd.Get());
    if (lastInUse) portInUse_(false);
}

void HttpServer::Serve(int rawFd, std::string peer, bool tls) {
    platform::UniqueFd fd(rawFd);
    std::shared_ptr<const WebSettings> settings = Settings();
    if (!clients::AddressLists{settings->allowed, settings->blocked}.Admits(peer)) {
        // Refused before anything is read: a short answer, then the close.
        platform::TcpSocket(std::move(fd)).SendAll(SerializeResponse(TextResponse(403, "Access denied"), false, false), 1000);
        ServiceLogs().Debug("WEBDEBUG.LOG", "Refused " + peer + " by the access lists");
        return;
    }
    std::shared_ptr<Shared> shared = shared_;
    {
        std::lock_guard<std::mutex> lock(shared->mutex);
        if (shared->stopping) return;
        if (shared->active >= times_.maxConnections) {
            platform::TcpSocket(std::move(fd)).SendAll(
                SerializeResponse(TextResponse(503, "Too many connections"), false, false), 1000);
            return;
        }
        ++shared->active;
        shared->open.insert(fd.Get());
    }
    const int raw = fd.Get();
    auto done = [shared, raw] {
        std::lock_guard<std::mutex> lock(shared->mutex);
        shared->open.erase(raw);
        if (--shared->active == 0) shared->idle.notify_all();
    };
    try {
        std::thread([this, done, fd = std::move(fd), peer = std::move(peer), tls, settings]() mutable {
            ServeConnection(std::move(fd), peer, tls, *settings);
            done();
        }).detach();
    } catch (const std::system_error&) {
        // No thread to be had (the system's limit): this client goes, the server stays.
        done();
    }
}

void HttpServer::ServeConnection(platform::UniqueFd fd, const std::string& peer, bool tls, const WebSettings& settings) {
    WebChannel channel(std::move(fd), tls ? ServiceTlsLibrary() : nullptr);
    std::string error;
    if (tls && !channel.Accept(error)) {
        ServiceLogs().Debug("WEBDEBUG.LOG", "TLS handshake with " + peer + " failed: " + error);
        return;
    }
    const ClientInfo client{peer, tls};
    std::string buffer;
    const HttpLimits limits;
    for (unsigned served = 0; served < times_.maxRequestsPerConnection; ++served) {
        // The first byte of the next request may take the idle time; the head and the body
        // must then come within their bounds, however slowly they trickle in.
        bool timedOut = false;
        if (buffer.empty() && !channel.Read(buffer, platform::SteadyMillis() + times_.idleMs, timedOut)) break;
        const std::uint64_t started = platform::SteadyMillis();
        HttpRequest request;
        ParseOutcome outcome = ParseHttpRequest(buffer, limits, request);
        while (outcome.status == ParseStatus::NeedMore) {
            const bool inHead = buffer.find("\r\n\r\n") == std::string::npos;
            const std::uint64_t deadline = started + (inHead ? times_.headMs : times_.bodyMs);
            if (!channel.Read(buffer, deadline, timedOut)) break;
            outcome = ParseHttpRequest(buffer, limits, request);
        }
        if (outcome.status == ParseStatus::NeedMore) {
            if (timedOut) {
                ServiceLogs().Debug("WEBDEBUG.LOG", "Request from " + peer + " too slow: cut off");
                channel.Write(SerializeResponse(TextResponse(408, "Request took too long"), false, false), 1000);
            }
            break;
        }
        if (outcome.status == ParseStatus::Invalid) {
            ServiceLogs().Debug("WEBDEBUG.LOG", "Bad request from " + peer + ": " + outcome.reason);
            channel.Write(SerializeResponse(TextResponse(outcome.errorStatus, ReasonPhrase(outcome.errorStatus)), false,
                                            false),
                          static_cast<std::uint64_t>(times_.sendMs));
            break;
        }
        buffer.erase(0, outcome.consumed);
        HttpResponse response;
        if (!tls && settings.sslRedirect) {
            const std::string target = RedirectTarget(request, settings.sslPort);
            response = target.empty() ? TextResponse(400, "Bad Host header") : TextResponse(301, "Moved to " + target);
            if (!target.empty()) response.Add("Location", target);
        } else {
            response = handler_(request, client);
        }
        const bool keepAlive = request.keepAlive && served + 1 < times_.maxRequestsPerConnection;
        if (!channel.Write(SerializeResponse(response, keepAlive, request.method == "HEAD"),
                           static_cast<std::uint64_t>(times_.sendMs)) ||
            !keepAlive)
            break;
    }
    channel.Close();
}

}  // namespace gateway::web
