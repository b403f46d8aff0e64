// The SMPP server's thread: its listeners, its clients and what they ask of the service.
// Internal to the server (smpp_server.cpp: sockets and the loop; smpp_accounts.cpp: binds,
// submissions, flag files and account checks; smpp_server.cpp also hands out deliveries).
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "gateway/clients/access.h"
#include "gateway/clients/smpp_server.h"
#include "gateway/clients/smpp_session.h"
#include "platform/event_loop.h"
#include "platform/files.h"
#include "platform/locked_file.h"
#include "platform/tcp_socket.h"
#include "platform/unique_fd.h"

namespace gateway::clients {

class SmppServer::Impl : public SmppSessionHost {
public:
    Impl(platform::SharedMemory& block, const SmppServerSettings& settings);
    ~Impl() override;
    void Run();
    void OpenListeners();
    void RequestStop();
    void Wake() { wake_.Signal(); }

    std::uint32_t CheckBind(SmppSession& session, const smpplnk::BindRequest& bind, acctdb::UserRecord& user,
                            ClientCoding& charset, unsigned& window) override;
    SubmitResult SubmitMessage(SmppSession& session, const ClientMessage& message) override;
    void DeliveryAnswered(SmppSession& session, const std::string& deliveryKey, std::uint32_t status) override;
    bool GroupsAnswers() const override { return true; }

private:
    struct Client {
        Client(SmppSessionHost& host, platform::UniqueFd fd, std::string peer, std::uint64_t id)
            : socket(std::move(fd)), session(host, std::move(peer), id) {}
        platform::TcpSocket socket;
        SmppSession session;
        platform::LockedFile flag;
        std::uint64_t lastInMs = 0, lastOutMs = 0, stalledSinceMs = 0;
        unsigned interest = 0;
    };
    struct Listener {
        platform::UniqueFd fd;
        unsigned port = 0;
        bool tls = false;
    };
    struct Failures {
        unsigned count = 0;
        std::uint64_t sinceMs = 0;
    };
    struct TlsThread {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
        int socket = -1;  // the client's socket, owned by the thread while it runs
    };
    struct Bucket {
        double tokens = 0;
        std::uint64_t atMs = 0;
    };

    // sockets and the loop (smpp_server.cpp)
    void Accept(Listener& listener);
    void Adopt(platform::UniqueFd fd, const std::string& peer);
    void OnReady(std::uint64_t id, unsigned ready);
    void Flush(Client& client);
    // Sends what it can; closes a session that ended and has nothing left to send.
    void Settle(std::uint64_t id);
    void UpdateInterest(Client& client);
    void Close(std::uint64_t id);
    void Tick();
    // Makes the messages taken in since the last call durable together, then answers them.
    void CommitBatch();
    // TLS sessions (smpp_tls.cpp): each runs on a thread of its own that moves the
    // decrypted bytes to and from a socket pair, whose other end is an ordinary client.
    bool TlsAvailable();
    void StartTls(platform::UniqueFd fd, const std::string& peer);
    void JoinTls();
    void DeliverWaiting();
    // accounts (smpp_accounts.cpp)
    bool TooManyFailures(const std::string& peer);
    void Failed(const std::string& peer, const std::string& user, const std::string& why);
    void WriteFlag(Client& client);
    void CheckAccounts();
    bool WithinSpeed(const acctdb::UserRecord& user);

    platform::SharedMemory& block_;
    SmppServerSettings settings_;
    platform::EventLoop loop_;
    platform::Wakeup wake_;
    std::atomic<bool> stop_{false};
    std::vector<Listener> listeners_;
    AddressLists lists_;
    std::map<std::uint64_t, std::unique_ptr<Client>> clients_;
    std::uint64_t nextId_ = 1;
    std::unordered_map<std::string, Failures> failures_;
    std::unordered_map<std::string, Bucket> speed_;
    std::set<std::string> retryLater_;  // deliveries a client refused, left for the next round
    std::uint64_t nextListenerResumeMs_ = UINT64_MAX;
    std::uint64_t nextListenMs_ = 0, nextAccountsMs_ = 0, nextDeliveryMs_ = 0, nextRetryMs_ = 0;
    bool deliveryWanted_ = true;
    std::vector<TlsThread> tlsThreads_;
    platform::FileBatch batch_;
};

}  // namespace gateway::clients
