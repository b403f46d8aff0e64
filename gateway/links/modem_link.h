// A GSM modem (serial line, COMPORTS/ link or MODEMS.INI name) or an IP modem behind a
// terminal server as a link: one worker that holds the device (and its exclusive lock),
// initialises it from the connection's keys, sends in PDU mode part by part (text mode
// only for a modem that refuses PDU mode, and only single-part plain text), takes in what
// the modem receives (+CMTI, +CMT, +CDS, +CDSI and a periodic AT+CMGL sweep), and
// deletes a message from the modem only once its file is on disk. A modem that stops
// answering is re-initialised, then its port reopened, then, only with
// RebootOnModemError after ten minutes of failure and at most once an hour, the machine
// restarted; each step is an event and the connection's error text.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "gateway/links/link.h"
#include "gateway/links/modem_reassembly.h"
#include "modem/engine/at_channel.h"
#include "modem/engine/port.h"

namespace gateway {

// How long a modem may take: a command's answer, a part's acceptance by the network, and
// the pause between sweeps of its storage. $ZELLA_MODEM_ANSWER_SECONDS (1..120) sets the
// first for tests and slow modems; a part may take six times as long, and the sweep (which
// also finds a modem that fell silent while idle) comes at least that often.
struct ModemTimings {
    std::uint64_t answerMs = 10'000;
    std::uint64_t sendMs = 60'000;
    std::uint64_t sweepMs = 60'000;
};
ModemTimings ProcessModemTimings();

class ModemLink final : public ThreadedLink {
public:
    ModemLink(const ConnectionSettings& settings, LinkEvents& events);
    // The worker uses the members below: it ends before they go.
    ~ModemLink() override { Stop(); }
    unsigned Capacity() const override { return 1; }

protected:
    void Run() override;

private:
    // modem_link.cpp: the device and the recovery ladder
    std::string Open();
    std::string Initialise();
    bool Lent();
    void WaitWhileLent();
    void Recover(const std::string& error, unsigned& failures, std::uint64_t& failingSinceMs);

    // modem_traffic.cpp: a session, sending and receiving
    // Runs until the modem stops answering (its text), a loan or a stop ("").
    std::string Session();
    // Sends one message; false when the modem stopped answering mid-way.
    bool SendMessage(const OutboundMessage& m);
    SendResult SendParts(const OutboundMessage& m, bool& modemFailed);
    // Stores and clears what the modem announced; false when it stopped answering.
    bool HandleUnsolicited();
    bool Sweep();
    bool ReadStored(int index);
    // A received PDU from storage (`index`) or delivered directly (-1).
    bool Received(const std::string& pdu, int index);
    bool StoreReady(std::uint64_t nowMs);
    bool Forget(int index);
    bool Acknowledge();

    LinkEvents& events_;
    ModemTimings timings_;
    modem::ModemPort port_;
    std::unique_ptr<modem::AtChannel> at_;
    Reassembly reassembly_;
    bool textMode_ = false, acknowledge_ = false, receive_ = true, pinRefused_ = false;
    std::uint8_t reference_ = 0;
    std::uint64_t nextSweepMs_ = 0;
};

// The link of a network (phone) modem: the service cannot send through one yet, and
// says so through the connection's error text and an event.
class NetworkModemLink final : public ThreadedLink {
public:
    using ThreadedLink::ThreadedLink;
    unsigned Capacity() const override { return 1; }

protected:
    void Run() override;
};

inline constexpr const char* kNetworkModemNotYet =
    "Sending and receiving through network modems is not supported by this service yet";

}  // namespace gateway
