// TLS for the SMPP server: the TLS library works on blocking sessions, so each TLS client
// gets a thread that completes the handshake and then moves bytes between the session
// and one end of a local socket pair; the other end joins the event loop as an ordinary
// client with the real client's address.
#include "gateway/clients/smpp_server_impl.h"
#include "gateway/logs.h"
#include "gateway/tls_library.h"
#include "platform/tcp_listener.h"

namespace gateway::clients {

namespace {

constexpr unsigned kMaxTlsSessions = 256;
constexpr int kPollMs = 500;
constexpr std::uint64_t kInnerSendMs = 60'000;

void Pump(const shell::TlsLinkTable* tls, platform::UniqueFd net, platform::UniqueFd innerFd,
          const std::atomic<bool>& stop, const std::string& peer) {
    char text[512] = "";
    void* session = tls->sslAcceptSessionApp(net.Get(), text, sizeof text);
    if (!session) {
        ServiceLogs().Debug("SMPPDEBUG.LOG", "TLS handshake with " + peer + " failed: " + text);
        return;  // the inner end closes: the server sees the client leave
    }
    platform::TcpSocket inner(std::move(innerFd));
    char data[16 * 1024];
    while (!stop) {
        const bool pending = tls->sslDataPending(session) > 0;
        const unsigned ready = pending ? 1u : platform::WaitForInput(net.Get(), inner.Descriptor(), kPollMs);
        if (ready & 1u) {
            const int n = tls->sslRecv(session, data, sizeof data);
            if (n <= 0 || !inner.SendAll(std::string_view(data, static_cast<std::size_t>(n)), kInnerSendMs).Ok()) break;
        }
        if (ready & 2u) {
            const platform::IoResult r = inner.ReceiveAvailable(data, sizeof data);
            if (!r.Ok()) break;
            if (r.bytes > 0 && tls->sslSend(session, data, static_cast<int>(r.bytes)) < static_cast<int>(r.bytes)) break;
        }
    }
    tls->sslFreeSession(session);
}

}  // namespace

bool SmppServer::Impl::TlsAvailable() { return ServiceTlsServer() != nullptr; }

void SmppServer::Impl::StartTls(platform::UniqueFd fd, const std::string& peer) {
    // Finished pumps are joined here, so their number stays bounded.
    for (auto it = tlsThreads_.begin(); it != tlsThreads_.end();) {
        if (it->done->load()) {
            it->thread.join();
            it = tlsThreads_.erase(it);
        } else {
            ++it;
        }
    }
    const shell::TlsLinkTable* tls = ServiceTlsServer();
    platform::UniqueFd outer, inner;
    if (!tls || tlsThreads_.size() >= kMaxTlsSessions || !platform::StreamPair(outer, inner)) {
        ServiceLogs().Debug("SMPPDEBUG.LOG", "TLS connection from " + peer + " refused");
        return;
    }
    // The accepted socket is non-blocking; the library's sessions wait on it themselves.
    TlsThread t;
    t.done = std::make_shared<std::atomic<bool>>(false);
    auto done = t.done;
    t.socket = fd.Get();
    auto net = std::make_shared<platform::UniqueFd>(std::move(fd));
    auto innerEnd = std::make_shared<platform::UniqueFd>(std::move(inner));
    t.thread = std::thread([this, tls, net, innerEnd, done, peer] {
        Pump(tls, std::move(*net), std::move(*innerEnd), stop_, peer);
        done->store(true);
    });
    tlsThreads_.push_back(std::move(t));
    Adopt(std::move(outer), peer);
}

void SmppServer::Impl::JoinTls() {
    // A handshake or a read waiting on the client ends at once.
    for (TlsThread& t : tlsThreads_)
        if (!t.done->load()) platform::ShutdownSocket(t.socket);
    for (TlsThread& t : tlsThreads_)
        if (t.thread.joinable()) t.thread.join();
    tlsThreads_.clear();
}

}  // namespace gateway::clients
