// Bytes from an SMPP client into the server's session: read in pieces of the sizes the
// input chooses, with a host that binds "ann"/"pw" and takes every message in. What the
// session sends back must be whole PDUs the client can frame, answers never grow beyond
// what was asked, and nothing is read after the session chose to end.
#include <cstddef>
#include <cstdint>
#include <string>

#include "gateway/clients/smpp_session.h"
#include "smpplnk/smpp_server_pdu.h"

namespace {

using namespace gateway::clients;

class Host : public SmppSessionHost {
public:
    std::uint32_t CheckBind(SmppSession&, const smpplnk::BindRequest& bind, acctdb::UserRecord& user,
                            ClientCoding& charset, unsigned& window) override {
        if (bind.systemId != "ann" || bind.password != "pw") return smpplnk::kStatusInvalidPassword;
        user.SetUserName("ann");
        charset = {};
        window = 2;
        return 0;
    }
    SubmitResult SubmitMessage(SmppSession&, const ClientMessage& message) override {
        SubmitResult r;
        if (message.to.empty()) __builtin_trap();  // the reader refuses it first
        r.requestId = "C1";
        ++submits;
        return r;
    }
    void DeliveryAnswered(SmppSession&, const std::string&, std::uint32_t) override { ++answered; }
    unsigned submits = 0, answered = 0;
};

// Every PDU in `out` is whole and its length field says so.
void CheckFraming(const std::string& out) {
    std::size_t at = 0;
    while (at < out.size()) {
        if (out.size() - at < smpplnk::kHeaderSize) __builtin_trap();
        const smpplnk::Header h = smpplnk::DecodeHeader(reinterpret_cast<const unsigned char*>(out.data() + at));
        if (h.length < smpplnk::kHeaderSize || h.length > out.size() - at) __builtin_trap();
        at += h.length;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Host host;
    SmppSession session(host, "127.0.0.1", 1);
    std::size_t at = 0, total = 0;
    // An odd first byte starts from a bound transceiver, so the rest reaches submissions
    // and deliveries without having to find the account first.
    if (size > 0 && (data[0] & 1)) {
        smpplnk::BindRequest bind;
        bind.commandId = smpplnk::kBindTransceiver;
        bind.systemId = "ann";
        bind.password = "pw";
        std::string pdu;
        if (smpplnk::EncodeBind(bind, 1, pdu) != 0) __builtin_trap();
        session.Received(pdu);
        if (!session.Bound()) __builtin_trap();
        total += pdu.size();
        at = 1;
    }
    DeliveryText delivery;
    delivery.from = "4470000001";
    delivery.text = "hello";
    while (at < size) {
        const std::size_t piece = 1 + data[at] % 64;
        const std::size_t n = std::min(piece, size - at - 1);
        const bool closingBefore = session.Closing();
        const std::size_t before = session.Output().size();
        session.Received(std::string_view(reinterpret_cast<const char*>(data + at + 1), n));
        if (closingBefore && session.Output().size() != before) __builtin_trap();
        // A bound receiver gets a delivery now and then, whose answers may come in the input.
        if (session.CanDeliver() && (data[at] & 0x80)) session.Deliver(delivery, "k" + std::to_string(at));
        total += n;
        at += 1 + n;
    }
    CheckFraming(session.Output());
    // Each request is answered at most once, and answers are no larger than the limit
    // on what a client may send each time.
    if (session.Output().size() > (total / smpplnk::kHeaderSize + 1) * (smpplnk::kHeaderSize + 1100)) __builtin_trap();
    return 0;
}
