// The web server of the service: plain and TLS listeners on their own thread, one thread
// per connection (bounded in number), strict request reading with time bounds (a client
// that sends its request too slowly is cut off), keep-alive, the access lists, and the
// redirect of plain requests to the TLS port. Requests go to a handler the service gives.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "gateway/web/http_message.h"
#include "gateway/web/web_settings.h"
#include "platform/event_loop.h"
#include "platform/unique_fd.h"

namespace gateway::web {

struct ClientInfo {
    std::string address;  // the peer's address (dotted IPv4 or IPv6 text)
    bool tls = false;
};

// Called on connection threads, concurrently: must be thread-safe.
using RequestHandler = std::function<HttpResponse(const HttpRequest&, const ClientInfo&)>;

struct ServerTimes {
    int headMs = 10'000;       // a request's line and headers, from its first byte
    int bodyMs = 30'000;       // the whole request
    int idleMs = 15'000;       // waiting for the next request on a kept-alive connection
    int sendMs = 30'000;       // writing one answer
    unsigned maxConnections = 128;
    unsigned maxRequestsPerConnection = 1000;
    int retryBindMs = 5'000;   // how often a port that could not be bound is tried again
};

class HttpServer {
public:
    // `portInUse` is called (from the listener thread) with true while a configured port
    // cannot be bound and false once every one is.
    HttpServer(RequestHandler handler, std::function<void(bool)> portInUse, ServerTimes times = {});
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // Starts listening as `settings` say, or restarts when the listeners changed; other
    // settings (access lists, redirect) take effect for the next connection.
    void Configure(const WebSettings& settings);
    // Closes the listeners and every connection; returns when all threads have ended.
    void Stop();

    // The settings of the last Configure (for handlers).
    std::shared_ptr<const WebSettings> Settings() const;

private:
    struct Shared;
    void StartListener(const WebSettings& settings);
    void StopListener();
    void ListenLoop(std::shared_ptr<const WebSettings> settings);
    void Serve(int fd, std::string peer, bool tls);
    void ServeConnection(platform::UniqueFd fd, const std::string& peer, bool tls, const WebSettings& settings);

    RequestHandler handler_;
    std::function<void(bool)> portInUse_;
    ServerTimes times_;
    mutable std::mutex mutex_;
    std::shared_ptr<const WebSettings> settings_;
    std::thread listener_;
    std::unique_ptr<platform::Wakeup> stopListener_;
    std::atomic<bool> listenerStopping_{false};
    std::shared_ptr<Shared> shared_;
};

}  // namespace gateway::web
