// One SMPP client connection of the gateway's SMPP server, without any I/O: bytes the
// client sent go in, PDUs to send come out, and what needs the rest of the service
// (checking a bind, taking a message in) is asked of the host. The server (smpp_server.h)
// owns the socket and feeds it.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "gateway/clients/smpp_text.h"
#include "gateway/clients/submission.h"
#include "smpplnk/smpp_pdu.h"

namespace gateway::clients {

// The flag-file letters of the bind kinds.
enum class BindKind : char { None = 0, Transceiver = 'T', Transmitter = 'S', Receiver = 'R' };

// The longest PDU a client may send; anything longer is refused unread and ends the session.
inline constexpr std::uint32_t kMaxClientPdu = 8 * 1024;

class SmppSession;

class SmppSessionHost {
public:
    virtual ~SmppSessionHost() = default;
    // Checks a bind: the command status to answer (0 = bound). When bound, `user` and
    // `charset` describe the account.
    virtual std::uint32_t CheckBind(SmppSession& session, const smpplnk::BindRequest& bind, acctdb::UserRecord& user,
                                    ClientCoding& charset, unsigned& window) = 0;
    virtual SubmitResult SubmitMessage(SmppSession& session, const ClientMessage& message) = 0;
    // The client answered a delivery (deliver_sm_resp) with `status`.
    virtual void DeliveryAnswered(SmppSession& session, const std::string& deliveryKey, std::uint32_t status) = 0;
    // True when accepted messages are made durable in groups: their answers wait in the
    // session until ReleaseAnswers.
    virtual bool GroupsAnswers() const { return false; }
};

class SmppSession {
public:
    SmppSession(SmppSessionHost& host, std::string peer, std::uint64_t id);

    // Takes bytes the client sent and handles every complete PDU among them.
    void Received(std::string_view bytes);
    // What is to be sent to the client; the caller removes what it sent.
    std::string& Output() { return output_; }
    // True once the session is to end (after its output was sent).
    bool Closing() const { return closing_; }

    std::uint64_t Id() const { return id_; }
    const std::string& Peer() const { return peer_; }
    BindKind Kind() const { return kind_; }
    bool Bound() const { return kind_ != BindKind::None; }
    bool Receives() const { return kind_ == BindKind::Receiver || kind_ == BindKind::Transceiver; }
    const acctdb::UserRecord& User() const { return user_; }
    std::string UserName() const { return user_.UserName(); }

    // Room for one more delivery: bound to receive, the window not full, not ending.
    bool CanDeliver() const;
    bool Delivering(const std::string& deliveryKey) const;
    // Sends a deliver_sm; `deliveryKey` comes back through DeliveryAnswered. False when
    // the message cannot be encoded (it is then not sent).
    bool Deliver(const DeliveryText& message, const std::string& deliveryKey);
    // Keep-alive: an enquire_link when nothing was sent for a while (the server's call).
    void EnquireLink();
    // Ends the session from our side (a suspended account, the service stopping):
    // unbind is sent and the session closes.
    void Unbind();
    // Answers held for messages not yet durable (GroupsAnswers), with what came after them.
    bool HoldsAnswers() const { return !held_.empty(); }
    // Sends the held answers in order; a message whose request id is in `failed` is
    // answered with a system error instead.
    void ReleaseAnswers(const std::vector<std::string>& failed);
    // Deliveries still unanswered, to be offered again to another session.
    std::vector<std::string> UnansweredDeliveries() const;

private:
    void Handle(const std::string& pdu);
    void HandleBind(const smpplnk::Header& h, const std::string& pdu);
    void HandleMessage(const smpplnk::Header& h, const std::string& pdu);
    void HandleResponse(const smpplnk::Header& h);
    void Send(const std::string& pdu);
    void Nack(std::uint32_t status, std::uint32_t sequence);
    std::uint32_t NextSequence();

    SmppSessionHost& host_;
    std::string peer_;
    std::uint64_t id_;
    std::string input_, output_;
    bool closing_ = false;
    BindKind kind_ = BindKind::None;
    acctdb::UserRecord user_;
    ClientCoding charset_;
    unsigned window_ = 1;
    std::uint32_t sequence_ = 0;
    std::unordered_map<std::uint32_t, std::string> deliveries_;  // sequence -> delivery key
    struct Held {
        std::string pdu;  // ready to send, or empty for an accepted message's answer:
        std::uint32_t commandId = 0, sequence = 0;
        std::string requestId;
    };
    std::vector<Held> held_;
};

}  // namespace gateway::clients
