// The short-message side of the modem simulator: text and PDU mode sending (every PDU it
// receives is decoded and logged), message storage with AT+CPMS/CMGL/CMGR/CMGD, new
// messages and status reports announced unsolicited (+CMTI, +CMT, +CDS, +CDSI) as
// AT+CNMI asked, and messages it is told to deliver, long ones as parts in any order.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace modemsim {

struct SmsOptions {
    bool rejectPdu = false;    // AT+CMGF=0 answers ERROR
    unsigned capacity = 30;    // storage slots
    std::uint64_t partMs = 0;  // how long the network takes for one part
    std::string refuseNumber;  // messages to it are refused for good (+CMS ERROR: 21)
};

class SmsSide {
public:
    using Log = std::function<void(const std::string&)>;
    SmsSide(SmsOptions options, Log log) : options_(options), log_(std::move(log)) {}

    // Answers an upper-cased AT+ command of the SMS set; false when it is none of them.
    bool Command(const std::string& cmd, const std::string& original, std::string& answer);
    // After AT+CMGS answered "> ": the body up to Ctrl-Z; the answer comes when the
    // network took it (after partMs, returned as `delayMs`).
    std::string Body(const std::string& body, std::uint64_t& delayMs);
    // A message from `sender` arriving from the network; `order` lists the part numbers
    // in the order they arrive ("3,1,2"; empty: in order). Returns the unsolicited results.
    std::string Deliver(const std::string& sender, const std::string& text,
                        const std::string& order);
    std::size_t Stored() const;

private:
    struct Slot {
        std::string pdu;  // empty: free
        bool read = false;
        bool report = false;
    };
    std::string Arrived(const std::string& pdu, bool report);
    std::string List(int stat);
    std::string Read(unsigned index);

    SmsOptions options_;
    Log log_;
    bool pduMode_ = false;
    int newMessages_ = 1, newReports_ = 0;  // AT+CNMI <mt> and <ds>
    std::string textRecipient_;
    int reference_ = 0;
    std::uint8_t concatReference_ = 0;
    std::vector<Slot> slots_;
};

}  // namespace modemsim
