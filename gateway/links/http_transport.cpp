#include "gateway/links/http_transport.h"

#include <cstring>
#include <mutex>

#include "config/config_store.h"
#include "platform/dynlib.h"
#include "platform/io_wait.h"
#include "platform/text.h"
#include "twoway/smtp_client.h"
#include "tlslnk/tlslnk.h"
#include "ucplnk/link_support.h"

namespace gateway {
namespace {

constexpr std::size_t kMaxHead = 16384;

struct Tls {
    decltype(&::sslInitSession) init = nullptr;
    decltype(&::sslFreeSession) free = nullptr;
    decltype(&::sslSend) send = nullptr;
    decltype(&::sslRecv) recv = nullptr;
};

// The TLS library of the program directory, loaded and made ready once; null when it
// is missing or not ready.
const Tls* TlsLibrary() {
    static std::once_flag once;
    static platform::DynamicLibrary library;
    static Tls tls;
    static bool ready = false;
    std::call_once(once, [] {
        if (!library.Load("TLSLNK.DLL")) return;
        auto initLib = library.Function<decltype(&::sslInitLib)>("sslInitLib");
        tls.init = library.Function<decltype(&::sslInitSession)>("sslInitSession");
        tls.free = library.Function<decltype(&::sslFreeSession)>("sslFreeSession");
        tls.send = library.Function<decltype(&::sslSend)>("sslSend");
        tls.recv = library.Function<decltype(&::sslRecv)>("sslRecv");
        ready = initLib && tls.init && tls.free && tls.send && tls.recv && initLib() != 0;
    });
    return ready ? &tls : nullptr;
}

// A connection that is plain TCP or a TLS session over it.
class Channel {
public:
    explicit Channel(platform::TcpSocket socket) : socket_(std::move(socket)) {}
    ~Channel() {
        if (session_) tls_->free(session_);
    }
    Channel(const Channel&) = delete;
    Channel& operator=(const Channel&) = delete;

    platform::TcpSocket& Socket() { return socket_; }
    // Starts TLS for `host`; false with the library's words in `error`.
    bool StartTls(const std::string& host, std::string& error) {
        tls_ = TlsLibrary();
        if (!tls_) {
            error = "TLS is not available (the TLS library could not be loaded)";
            return false;
        }
        char buffer[1024] = {};
        host.copy(buffer, sizeof buffer - 1);
        platform::ShutdownOnCancel watch(socket_.Descriptor());
        session_ = tls_->init(socket_.Descriptor(), buffer, sizeof buffer);
        if (!session_) {
            buffer[sizeof buffer - 1] = '\0';
            error = std::string("Unable to negotiate SSL/TLS connection with server: ") + buffer;
        }
        return session_ != nullptr;
    }
    bool Send(const std::string& data, std::uint64_t ms) {
        if (session_) return tls_->send(session_, data.data(), static_cast<int>(data.size())) >=
                             static_cast<int>(data.size());
        return socket_.SendAll(data, ms).Ok();
    }
    // Some bytes into `out`: > 0 received, 0 closed, -1 failed or timed out.
    int Receive(std::string& out, std::uint64_t ms) {
        char buffer[4096];
        if (session_) {
            const int n = tls_->recv(session_, buffer, sizeof buffer);
            if (n > 0) out.append(buffer, static_cast<std::size_t>(n));
            return n;
        }
        const platform::IoResult r = socket_.Receive(buffer, sizeof buffer, ms);
        if (r.status == platform::IoStatus::Closed) return 0;
        if (!r.Ok()) return -1;
        out.append(buffer, r.bytes);
        return static_cast<int>(r.bytes);
    }

private:
    platform::TcpSocket socket_;
    const Tls* tls_ = nullptr;
    void* session_ = nullptr;
};

std::string HostHeader(const ConnectionSettings& s, bool ssl) {
    const std::string host = s.Host().find(':') != std::string::npos && s.Host()[0] != '['
                                 ? "[" + s.Host() + "]"
                                 : s.Host();
    return s.Port() == (ssl ? 443u : 80u) ? host : host + ":" + std::to_string(s.Port());
}

// Reads the answer until the server closes, its length is complete or a bound is hit.
HttpReach ReadAnswer(Channel& channel, std::uint64_t deadline, HttpAnswer& answer,
                     std::string& error) {
    std::string data;
    std::size_t headEnd = std::string::npos, length = std::string::npos;
    bool chunked = false;
    for (;;) {
        if (headEnd == std::string::npos) {
            headEnd = data.find("\r\n\r\n");
            if (headEnd == std::string::npos && data.size() > kMaxHead) {
                error = "The HTTP server's answer has too long a header";
                return HttpReach::Failed;
            }
            if (headEnd != std::string::npos) {
                const std::string head = platform::ToLowerAscii(data.substr(0, headEnd + 2));
                const std::size_t at = head.find("\r\ncontent-length:");
                if (at != std::string::npos) length = std::strtoull(head.c_str() + at + 17, nullptr, 10);
                chunked = head.find("\r\ntransfer-encoding: chunked") != std::string::npos;
            }
        }
        if (headEnd != std::string::npos &&
            (data.size() - headEnd - 4 >= std::min(length, kMaxHttpBody)))
            break;
        const std::uint64_t now = platform::SteadyMillis();
        if (now >= deadline) {
            error = "No answer from the HTTP server (timed out)";
            return HttpReach::Failed;
        }
        const int n = channel.Receive(data, deadline - now);
        if (n == 0) break;
        if (n < 0) {
            error = platform::CancelRequested() ? "Service stopping"
                                                : "No answer from the HTTP server (timed out)";
            return HttpReach::Failed;
        }
    }
    const std::string line = data.substr(0, data.find("\r\n"));
    answer.status = HttpStatus(line);
    if (answer.status == 0) {
        error = data.empty() ? "The HTTP server closed the connection without an answer"
                             : "The HTTP server's answer is not HTTP: " + smsc_link::Printable(line, 60);
        return HttpReach::Failed;
    }
    answer.statusLine = smsc_link::Printable(line, 120);
    if (headEnd != std::string::npos) answer.body = data.substr(headEnd + 4, kMaxHttpBody);
    if (chunked) answer.body = Dechunk(answer.body);
    return HttpReach::Answered;
}

}  // namespace

HttpReach SendHttpCall(const ConnectionSettings& s, const HttpCall& call, const SessionTimings& t,
                       HttpAnswer& answer, std::string& error) {
    const bool ssl = config::IsYes(s.Key("UseSSL"));
    std::string proxyHost;
    unsigned proxyPort = 80;
    const std::string proxy = s.Key("HTTPProxy");
    if (!proxy.empty()) config::SplitHostPort(proxy, proxyHost, proxyPort);
    const bool viaProxy = !proxyHost.empty();
    std::string connectError;
    platform::TcpSocket socket =
        viaProxy ? OpenSmscConnection(proxyHost, proxyPort, 0, t.connectMs, connectError)
                 : OpenSmscConnection(s.Host(), s.Port(), 0, t.connectMs, connectError);
    if (!socket.IsOpen()) {
        error = viaProxy ? "Proxy server: " + connectError : connectError;
        return HttpReach::Unreachable;
    }
    Channel channel(std::move(socket));
    const std::uint64_t deadline = platform::SteadyMillis() + t.responseMs;
    const std::string host = HostHeader(s, ssl);
    if (viaProxy && ssl) {
        // Through the proxy, https is a tunnel to the server.
        const std::string target = s.Host() + ":" + std::to_string(s.Port());
        if (!channel.Send("CONNECT " + target + " HTTP/1.1\r\nHost: " + target + "\r\n\r\n", t.responseMs)) {
            error = "Unable to send to the proxy server";
            return HttpReach::Unreachable;
        }
        std::string head;
        const platform::IoResult r = channel.Socket().ReceiveUntil(head, "\r\n\r\n", kMaxHead, t.responseMs);
        const int status = r.Ok() ? HttpStatus(head.substr(0, head.find("\r\n"))) : 0;
        if (status < 200 || status > 299) {
            error = "The proxy server did not open a tunnel to " + target +
                    (status ? ": " + smsc_link::Printable(head.substr(0, head.find("\r\n")), 80) : "");
            return HttpReach::Unreachable;
        }
    }
    if (ssl && !channel.StartTls(s.Host(), error)) return HttpReach::Unreachable;
    std::string request = call.method + " ";
    if (viaProxy && !ssl) request += "http://" + host;
    request += call.target + " HTTP/1.1\r\nHost: " + host +
               "\r\nUser-Agent: zellant\r\nAccept: */*\r\nConnection: close\r\n";
    if (config::IsYes(s.Key("HTTPUseAuth")))
        request += "Authorization: Basic " +
                   twoway::Base64Encode(s.Key("UserName", "", 150) + ":" + s.Key("Password", "", 150)) + "\r\n";
    if (call.method == "POST")
        request += "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
                   std::to_string(call.body.size()) + "\r\n";
    request += "\r\n" + call.body;
    if (!channel.Send(request, t.responseMs)) {
        error = platform::CancelRequested() ? "Service stopping" : "Unable to send the request to the HTTP server";
        return HttpReach::Failed;
    }
    return ReadAnswer(channel, deadline, answer, error);
}

}  // namespace gateway
