#include "gateway/clients/smpp_server.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "gateway/clients/local_delivery.h"
#include "gateway/clients/smpp_server_impl.h"
#include "gateway/logs.h"
#include "gateway/settings.h"
#include "platform/files.h"
#include "platform/ini.h"
#include "platform/io_wait.h"
#include "platform/tcp_listener.h"
#include "platform/text.h"

namespace gateway::clients {

namespace {

namespace sb = platform::status_block;

constexpr int kTickMs = 250;
constexpr std::uint64_t kListenRetryMs = 10'000;
constexpr std::uint64_t kDeliveryScanMs = 2'000;
constexpr std::uint64_t kRefusedRetryMs = 30'000;
constexpr std::size_t kReadChunk = 16 * 1024;
// A client that does not read its answers gets no more of its requests read once this
// much waits for it, and is dropped when nothing moves for kStalledMs.
constexpr std::size_t kMaxPendingOutput = 256 * 1024;
constexpr std::uint64_t kStalledMs = 60'000;
// Before a bind, a connection has this long to send one.
constexpr std::uint64_t kBindWaitMs = 30'000;
constexpr std::size_t kDeliveriesPerScan = 500;

}  // namespace

SmppServerSettings ReadSmppServerSettings(const std::string& iniPath) {
    const platform::IniSnapshot ini(iniPath);
    SmppServerSettings s;
    s.iniPath = iniPath;
    s.port = ParsePort(ini.Get("ZELLA", "SMPPPort"));
    s.tlsPort = ParsePort(ini.Get("ZELLA", "SMPPPortSSL"));
    s.enquireLinkSeconds = static_cast<unsigned>(ParseBounded(ini.Get("ZELLA", "SMPPServerEnquireLink"), 120, 0, 86'400));
    s.maxConnectionsPerUser =
        static_cast<unsigned>(ParseBounded(ini.Get("ZELLA", "SMPPServerMaxConnectionsPerUser"), 4, 1, 10'000));
    s.defaultWindow = static_cast<unsigned>(ParseBounded(ini.Get("ZELLA", "SMPPServerAsyncWindowSize"), 0, 0, 1000));
    return s;
}

SmppServer::SmppServer(platform::SharedMemory& block, SmppServerSettings settings)
    : block_(block), settings_(std::move(settings)) {}

SmppServer::~SmppServer() { Stop(); }

void SmppServer::Start() {
    if (impl_) return;
    impl_ = std::make_unique<Impl>(block_, settings_);
    // Listening before the service reports itself ready; the thread retries what failed.
    impl_->OpenListeners();
    thread_ = std::thread([this] { impl_->Run(); });
}

void SmppServer::Stop() {
    if (!impl_) return;
    impl_->RequestStop();
    if (thread_.joinable()) thread_.join();
    impl_.reset();
}

void SmppServer::Wake() {
    if (impl_) impl_->Wake();
}

SmppServer::Impl::Impl(platform::SharedMemory& block, const SmppServerSettings& settings)
    : block_(block), settings_(settings) {}

SmppServer::Impl::~Impl() = default;

void SmppServer::Impl::RequestStop() {
    stop_ = true;
    wake_.Signal();
}

void SmppServer::Impl::Run() {
    lists_ = ReadAddressLists(settings_.iniPath);
    loop_.Watch(wake_.Fd(), platform::kReadable, [this](unsigned) {
        wake_.Drain();
        deliveryWanted_ = true;
    });
    while (!stop_) {
        loop_.RunOnce(kTickMs);
        CommitBatch();
        Tick();
    }
    CommitBatch();
    std::vector<std::uint64_t> ids;
    for (auto& [id, client] : clients_) {
        client->session.Unbind();
        Flush(*client);  // best effort: the connection closes right after
        ids.push_back(id);
    }
    for (std::uint64_t id : ids) Close(id);
    JoinTls();
    for (Listener& l : listeners_) loop_.Unwatch(l.fd.Get());
    listeners_.clear();
    block_.SetByte(sb::kSmppServerRunning, 0);
    block_.SetByte(sb::kSmppPortInUse, 0);
}

void SmppServer::Impl::OpenListeners() {
    bool failed = false;
    const auto open = [&](unsigned port, bool tls) {
        if (port == 0) return;
        for (const Listener& l : listeners_)
            if (l.port == port) return;
        int error = 0;
        platform::UniqueFd fd = platform::ListenStream("", port, 128, &error);
        if (!fd.Valid()) {
            failed = true;
            ServiceLogs().Event(platform::EventLevel::Error, "SMPP server cannot listen on port " + std::to_string(port) +
                                                                 ": " + std::string(std::strerror(error)));
            return;
        }
        Listener l;
        l.port = port;
        l.tls = tls;
        const int raw = fd.Get();
        l.fd = std::move(fd);
        listeners_.push_back(std::move(l));
        loop_.Watch(raw, platform::kReadable, [this, raw](unsigned) {
            for (Listener& x : listeners_)
                if (x.fd.Get() == raw) Accept(x);
        });
        ServiceLogs().Debug("SMPPDEBUG.LOG", "SMPP server listening on port " + std::to_string(port));
    };
    open(settings_.port, false);
    // TLS sessions need the gateway's certificate and the TLS library.
    if (settings_.tlsPort != 0 && TlsAvailable()) open(settings_.tlsPort, true);
    bool plainUp = false;
    for (const Listener& l : listeners_) plainUp = plainUp || !l.tls;
    block_.SetByte(sb::kSmppServerRunning, plainUp ? 1 : 0);
    block_.SetByte(sb::kSmppPortInUse, failed ? 1 : 0);
    nextListenMs_ = failed ? platform::SteadyMillis() + kListenRetryMs : UINT64_MAX;
}

void SmppServer::Impl::Accept(Listener& listener) {
    for (int i = 0; i < 64; ++i) {
        std::string peer;
        int error = 0;
        platform::UniqueFd fd = platform::AcceptStream(listener.fd.Get(), peer, &error);
        if (!fd.Valid()) {
            if (error == EMFILE || error == ENFILE) {
                // Out of descriptors: the waiting client stays queued in the kernel, and
                // the listener is left alone for a moment instead of waking us at once.
                loop_.SetInterest(listener.fd.Get(), 0);
                nextListenerResumeMs_ = platform::SteadyMillis() + 1000;
                ServiceLogs().Debug("SMPPDEBUG.LOG", "Out of descriptors: new connections wait");
            }
            return;
        }
        if (!lists_.Admits(peer)) {
            ServiceLogs().Debug("SMPPDEBUG.LOG", "Connection from " + peer + " refused by the IP restrictions");
            continue;
        }
        if (clients_.size() >= settings_.maxConnections) {
            ServiceLogs().Debug("SMPPDEBUG.LOG", "Connection from " + peer + " refused: too many connections");
            continue;
        }
        if (listener.tls) StartTls(std::move(fd), peer);
        else Adopt(std::move(fd), peer);
    }
}

void SmppServer::Impl::Adopt(platform::UniqueFd fd, const std::string& peer) {
    const std::uint64_t id = nextId_++;
    const int raw = fd.Get();
    auto client = std::make_unique<Client>(*this, std::move(fd), peer, id);
    client->lastInMs = client->lastOutMs = platform::SteadyMillis();
    client->interest = platform::kReadable;
    platform::SetSocketSendBuffer(raw, 64 * 1024);
    clients_.emplace(id, std::move(client));
    loop_.Watch(raw, platform::kReadable, [this, id](unsigned ready) { OnReady(id, ready); });
}

void SmppServer::Impl::OnReady(std::uint64_t id, unsigned ready) {
    auto it = clients_.find(id);
    if (it == clients_.end()) return;
    Client& c = *it->second;
    if (ready & platform::kReadable) {
        char buffer[kReadChunk];
        const platform::IoResult r = c.socket.ReceiveAvailable(buffer, sizeof buffer);
        if (!r.Ok()) {
            Close(id);
            return;
        }
        if (r.bytes > 0) {
            c.lastInMs = platform::SteadyMillis();
            const bool wasBound = c.session.Bound();
            c.session.Received(std::string_view(buffer, r.bytes));
            if (!wasBound && c.session.Bound()) {
                WriteFlag(c);
                deliveryWanted_ = true;
            }
        }
    } else if (ready & platform::kHangUp) {
        Close(id);
        return;
    }
    Settle(id);
}

void SmppServer::Impl::Settle(std::uint64_t id) {
    auto it = clients_.find(id);
    if (it == clients_.end()) return;
    Client& c = *it->second;
    Flush(c);
    // A session that ended still gets the answers waiting for the next commit.
    if (c.session.Closing() && c.session.Output().empty() && !c.session.HoldsAnswers()) {
        Close(id);
        return;
    }
    UpdateInterest(c);
}

void SmppServer::Impl::Flush(Client& c) {
    std::string& out = c.session.Output();
    while (!out.empty()) {
        const platform::IoResult r = c.socket.SendSome(out.data(), out.size());
        if (!r.Ok()) {
            out.clear();
            c.stalledSinceMs = 1;  // dropped at the next tick
            return;
        }
        if (r.bytes == 0) break;
        out.erase(0, r.bytes);
        c.lastOutMs = platform::SteadyMillis();
    }
    c.stalledSinceMs = out.empty() ? 0 : (c.stalledSinceMs ? c.stalledSinceMs : platform::SteadyMillis());
}

void SmppServer::Impl::UpdateInterest(Client& c) {
    unsigned interest = 0;
    if (c.session.Output().size() < kMaxPendingOutput && !c.session.Closing()) interest |= platform::kReadable;
    if (!c.session.Output().empty()) interest |= platform::kWritable;
    if (interest == c.interest) return;
    c.interest = interest;
    loop_.SetInterest(c.socket.Descriptor(), interest);
}

void SmppServer::Impl::Close(std::uint64_t id) {
    auto it = clients_.find(id);
    if (it == clients_.end()) return;
    Client& c = *it->second;
    loop_.Unwatch(c.socket.Descriptor());
    if (c.flag.Valid()) c.flag.Remove();
    if (c.session.Bound())
        ServiceLogs().Debug("SMPPDEBUG.LOG", "Session " + std::to_string(id) + " of " + c.session.UserName() +
                                                 " from " + c.session.Peer() + " ended");
    // What this client still had unconfirmed goes to the next receiver of the account.
    if (!c.session.UnansweredDeliveries().empty()) deliveryWanted_ = true;
    clients_.erase(it);
}

void SmppServer::Impl::Tick() {
    const std::uint64_t now = platform::SteadyMillis();
    if (now >= nextListenMs_) OpenListeners();
    if (now >= nextListenerResumeMs_) {
        nextListenerResumeMs_ = UINT64_MAX;
        for (Listener& l : listeners_) loop_.SetInterest(l.fd.Get(), platform::kReadable);
    }
    std::vector<std::uint64_t> drop, settle;
    const std::uint64_t keepAliveMs = settings_.enquireLinkSeconds * 1000ull;
    for (auto& [id, client] : clients_) {
        Client& c = *client;
        if (c.stalledSinceMs != 0 && now - std::min(now, c.stalledSinceMs) > kStalledMs) drop.push_back(id);
        else if (!c.session.Bound() && now - c.lastInMs > kBindWaitMs) drop.push_back(id);
        else if (keepAliveMs > 0 && c.session.Bound() && now - c.lastInMs > 3 * keepAliveMs) drop.push_back(id);
        else if (keepAliveMs > 0 && c.session.Bound() && now - c.lastOutMs > keepAliveMs && c.session.Output().empty()) {
            c.session.EnquireLink();
            settle.push_back(id);
        }
    }
    for (std::uint64_t id : drop) Close(id);
    for (std::uint64_t id : settle) Settle(id);
    if (now >= nextAccountsMs_) {
        nextAccountsMs_ = now + 30'000;
        lists_ = ReadAddressLists(settings_.iniPath);
        CheckAccounts();
    }
    if (now >= nextRetryMs_) {
        nextRetryMs_ = now + kRefusedRetryMs;
        retryLater_.clear();
        deliveryWanted_ = true;
    }
    if (deliveryWanted_ || now >= nextDeliveryMs_) {
        deliveryWanted_ = false;
        nextDeliveryMs_ = now + kDeliveryScanMs;
        DeliverWaiting();
    }
}

void SmppServer::Impl::CommitBatch() {
    if (batch_.Empty()) return;
    const std::vector<std::string> failed = CommitSubmissions(batch_);
    for (const std::string& id : failed)
        ServiceLogs().Event(platform::EventLevel::Error, "Message " + id + " could not be written to the queue");
    std::vector<std::uint64_t> held;
    for (auto& [id, c] : clients_)
        if (c->session.HoldsAnswers()) held.push_back(id);
    for (std::uint64_t id : held) {
        clients_[id]->session.ReleaseAnswers(failed);
        Settle(id);
    }
}

void SmppServer::Impl::DeliverWaiting() {
    bool anyReceiver = false;
    for (auto& [id, c] : clients_) anyReceiver = anyReceiver || c->session.CanDeliver();
    if (!anyReceiver) return;
    for (const WaitingDelivery& w : FindWaitingDeliveries(settings_.smsInDir, kDeliveriesPerScan)) {
        if (retryLater_.count(w.path)) continue;
        Client* target = nullptr;
        bool taken = false;
        for (auto& [id, c] : clients_) {
            if (!platform::EqualsNoCase(c->session.UserName(), w.user)) continue;
            if (c->session.Delivering(w.path)) taken = true;
            if (!target && c->session.CanDeliver()) target = c.get();
        }
        if (taken || !target) continue;
        DeliveryText message;
        if (!ReadDelivery(w.path, message) || !target->session.Deliver(message, w.path)) {
            retryLater_.insert(w.path);
            continue;
        }
        Settle(target->session.Id());
    }
}

void SmppServer::Impl::DeliveryAnswered(SmppSession& session, const std::string& key, std::uint32_t status) {
    if (status == 0) {
        if (!MarkDelivered(key)) ServiceLogs().Debug("SMPPDEBUG.LOG", "Delivered " + key + " but could not mark it");
        deliveryWanted_ = true;
        return;
    }
    ServiceLogs().Debug("SMPPDEBUG.LOG", "Session " + std::to_string(session.Id()) + " refused " + key + " (status " +
                                             std::to_string(status) + ")");
    retryLater_.insert(key);
}

}  // namespace gateway::clients
