#include "gateway/links/ucp_link.h"

#include <cstdlib>

#include "gateway/links/ucp_cimd_session.h"
#include "gateway/links/ucp_text.h"
#include "ucplnk/ucp_errors.h"
#include "ucplnk/ucp_frame.h"

namespace gateway {
namespace {

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

using UcpSubmit = std::vector<std::string>;  // the 33 fields of operation 51

class UcpLink : public WindowedSmscLink<UcpSubmit> {
public:
    // The worker runs this object's code until Stop returns.
    ~UcpLink() override { Stop(); }
    UcpLink(const ConnectionSettings& settings, LinkEvents& events, const SessionTimings& t)
        // Transaction numbers 00 to 99.
        : WindowedSmscLink(settings, events, t, "UCP", 0, 1, 99, kMaxIncomingFrame) {}

protected:
    std::string Login() override;
    unsigned LocalPort() const override { return ParsePort(Settings().Key("LocalPort")); }
    bool Build(const OutboundMessage& m, unsigned char reference, std::vector<UcpSubmit>& parts,
               std::string& error) override {
        return BuildUcpSubmits(m, ChooseSender(Settings(), m), reference, parts, error);
    }
    std::string Encode(int trn, const UcpSubmit& part) override {
        return ucp::BuildFrame({trn, 'O', 51, part});
    }
    std::string EncodeKeepAlive(int trn) override { return ucp::BuildAlertFrame(trn, account_); }
    std::string HandleFrame(const std::string& frame, bool answersOnly) override;
    std::string LocalError(int code) override { return ucp::ErrorText(code, ""); }

private:
    std::string Deliver(const ucp::Frame& f);

    std::string account_;  // the address alerts name
};

std::string UcpLink::Login() {
    const std::string user = Settings().Key("UserName", "", 150);
    const std::string password = Settings().Key("Password", "", 150);
    account_ = user.empty() ? Settings().Key("SenderAddress") : user;
    if (user.empty()) return {};
    const ucp::LoginInputError input = ucp::CheckLoginInput(user, password);
    if (input != ucp::LoginInputError::None)
        return "Login refused: " + ucp::ErrorText(smsc_link::LoginInputCode(input), "");
    const int trn = NextNumber();
    if (std::string e = SendBytes(ucp::BuildLoginFrame(trn, user, password)); !e.empty()) return e;
    std::string frame;
    if (std::string e = AwaitFrame(frame, Timings().responseMs); !e.empty()) return e;
    ucp::Frame f;
    const ucp::ParseError parsed = ucp::ParseFrame(frame, &f);
    if (parsed == ucp::ParseError::BadChecksum) return ucp::ErrorText(ucp::kReplyChecksum, "");
    if (parsed != ucp::ParseError::None) return ucp::ErrorText(ucp::kReplyMalformed, "");
    if (f.kind != 'R' || f.ot != 60) return ucp::ErrorText(ucp::kReplyUnexpected, "");
    if (f.trn != trn) return ucp::ErrorText(ucp::kReplyTrn, "");
    if (ucp::FieldAt(f, 0) == "A") return {};
    const int code = std::atoi(ucp::FieldAt(f, 1).c_str());
    return "Login refused: " + (code > 0 ? ucp::ErrorText(code, smsc_link::Printable(ucp::FieldAt(f, 2), 120))
                                         : ucp::ErrorText(ucp::kRefusedNoCode, ""));
}

std::string UcpLink::Deliver(const ucp::Frame& f) {
    InboundMessage message;
    ucp::Frame answer{f.trn, 'R', f.ot, {"A", "", ""}};
    if (!ReadUcpDelivery(f, message))
        answer.fields = {"N", "02", "Syntax error"};
    else if (!Store(message))
        answer.fields = {"N", "04", "Temporarily unable to store the message"};
    return SendBytes(ucp::BuildFrame(answer));
}

std::string UcpLink::HandleFrame(const std::string& text, bool answersOnly) {
    ucp::Frame f;
    const ucp::ParseError parsed = ucp::ParseFrame(text, &f);
    if (answersOnly && (parsed != ucp::ParseError::None || f.kind != 'R')) return {};
    if (parsed == ucp::ParseError::BadChecksum)
        return ucp::ErrorText(ucp::kReplyChecksum, "") + ": " + smsc_link::Printable(text, 80);
    if (parsed != ucp::ParseError::None)
        return ucp::ErrorText(ucp::kReplyMalformed, "") + ": " + smsc_link::Printable(text, 80);
    if (f.kind == 'R') {
        PartAnswer a;
        a.accepted = ucp::FieldAt(f, 0) == "A";
        // ACK "A/MVP/SM/": SM is "recipient:timestamp", what notifications name again.
        if (a.accepted) a.id = f.fields.size() >= 3 ? f.fields[2] : ucp::FieldAt(f, 1);
        const int code = std::atoi(ucp::FieldAt(f, 1).c_str());
        a.tooMany = !a.accepted && code == 4;  // not allowed at this point
        a.temporary = TemporaryUcpError(code);
        a.error = code > 0 ? ucp::ErrorText(code, smsc_link::Printable(ucp::FieldAt(f, 2), 120))
                           : ucp::ErrorText(ucp::kRefusedNoCode, "");
        Answered(f.trn, a);
        return {};
    }
    if (f.ot == 52 || f.ot == 53) return Deliver(f);
    // An alert or anything else the SMSC asks: alive, or not supported here.
    const ucp::Frame answer = f.ot == 31 ? ucp::Frame{f.trn, 'R', 31, {"A", ""}}
                                         : ucp::Frame{f.trn, 'R', f.ot, {"N", "03", "Operation not supported"}};
    return SendBytes(ucp::BuildFrame(answer));
}

// The second session of a connection whose SMSC delivers on a port of its own
// (`ReceivePort`): it logs in as the first one does and takes deliveries and
// notifications; it is handed nothing to send. Whether it is up does not decide whether
// the connection sends, so its ups and downs go to the event log only.
class UcpReceiveSession final : public UcpLink {
public:
    ~UcpReceiveSession() override { Stop(); }
    UcpReceiveSession(const ConnectionSettings& settings, LinkEvents& events, const SessionTimings& t,
                      unsigned port)
        : UcpLink(settings, events, t), port_(port) {}

protected:
    unsigned LocalPort() const override { return 0; }
    unsigned RemotePort() const override { return port_; }
    void SessionUp() override {
        down_ = false;
        PostNotice(false, "receiving on port " + std::to_string(port_));
    }
    void SessionDown(const std::string& error) override {
        if (down_) return;  // said once, not at every attempt to reconnect
        down_ = true;
        PostNotice(true, "receiving connection on port " + std::to_string(port_) + ": " + error);
    }

private:
    unsigned port_;
    bool down_ = false;
};

// A connection with a receiving session beside the one that sends.
class UcpLinkWithReceiver final : public SmscLink {
public:
    ~UcpLinkWithReceiver() override { Stop(); }
    UcpLinkWithReceiver(const ConnectionSettings& settings, LinkEvents& events, const SessionTimings& t,
                        unsigned receivePort)
        : sender_(settings, events, t), receiver_(settings, events, t, receivePort) {}
    void Start() override {
        sender_.Start();
        receiver_.Start();
    }
    void Stop() override {
        receiver_.Stop();
        sender_.Stop();
    }
    void Send(OutboundMessage message) override { sender_.Send(std::move(message)); }
    unsigned Capacity() const override { return sender_.Capacity(); }

private:
    UcpLink sender_;
    UcpReceiveSession receiver_;
};

}  // namespace

std::unique_ptr<SmscLink> CreateUcpLink(const ConnectionSettings& settings, LinkEvents& events,
                                        const SessionTimings& timings) {
    const unsigned receivePort = ParsePort(settings.Key("ReceivePort"));
    if (receivePort != 0 && settings.Yes("Receive", true))
        return std::make_unique<UcpLinkWithReceiver>(settings, events, timings, receivePort);
    return std::make_unique<UcpLink>(settings, events, timings);
}

std::unique_ptr<SmscLink> CreateUcpLink(const ConnectionSettings& settings, LinkEvents& events) {
    return CreateUcpLink(settings, events, SessionTimings());
}

}  // namespace gateway
