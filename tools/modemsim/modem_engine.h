// The command side of the GSM modem simulator: bytes from the line in, the modem's
// answers out. Knows nothing about pseudo-terminals; the runner feeds it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tools/modemsim/sms_side.h"

namespace modemsim {

struct Options {
    std::vector<unsigned> speeds{115200};  // line speeds it answers at
    std::string pin;                       // SIM PIN the card wants ("" = none)
    bool rejectPin = false;                // every PIN is wrong
    int functionality = 1;                 // AT+CFUN? state at power-on
    int registerAfter = 0;                 // AT+COPS? polls before it is registered
    bool rejectCsms = false;               // AT+CSMS=... and AT+CSMS? answer ERROR
    bool rejectPdu = false;                // AT+CMGF=0 answers ERROR
    std::string cmgs = "prompt";           // AT+CMGS: "prompt" ("> "), "error" or "ok"
    bool stuck = false;                    // deaf until "+++" on every open, until reset
    bool silent = false;                   // never answers
    bool garbage = false;                  // sends random bytes without end
    std::string vanishOn;                  // command prefix after which the line goes
    std::string floodOn;                   // command prefix answered with 10 MB of text
    SmsOptions sms;                        // storage, PDU mode, time per part
    unsigned hangOnPart = 0;               // the n-th message body sent makes it fall silent (0: never)
    std::uint64_t hangMs = 0;              // ... for this long (0: until told "answer")
};

class Engine {
public:
    explicit Engine(Options options)
        : options_(std::move(options)), deaf_(options_.stuck), silent_(options_.silent),
          functionality_(options_.functionality), sms_(options_.sms, [this](const std::string& l) {
              if (log_) log_(l);
          }) {}

    // Every received command line and message body is reported here (for the log).
    void SetLog(std::function<void(const std::string&)> log) { log_ = std::move(log); }

    // Bytes from the console at the line speed it set, at `nowMs` (any steady clock);
    // returns what the modem answers at once.
    std::string Feed(const std::string& bytes, unsigned lineSpeed, std::uint64_t nowMs = 0);
    // Answers that have come due by `nowMs` (a part the network took meanwhile).
    std::string Due(std::uint64_t nowMs);
    // When the next answer comes due (UINT64_MAX: none waiting).
    std::uint64_t NextDue() const;
    // A line of the control file: "silent", "answer", "deliver <sender> <order|-> <text>"
    // (the text may hold "\n"). Returns the unsolicited results it causes.
    std::string Control(const std::string& line, std::uint64_t nowMs);
    // The console closed the line: a stuck modem falls back into its deaf state unless
    // it was reset meanwhile.
    void Detached();
    // True once a command named by vanishOn arrived: the line must disappear now.
    bool Vanish() const { return vanish_; }

private:
    std::string Command(const std::string& line);
    std::string Extended(const std::string& cmd);
    bool SpeedOk(unsigned speed) const;

    Options options_;
    bool deaf_;
    bool reset_ = false;
    bool echo_ = true;
    bool pinEntered_ = false;
    bool inBody_ = false;
    bool vanish_ = false;
    bool silent_;
    std::uint64_t silentUntil_ = 0;  // 0: until told
    unsigned bodies_ = 0;
    std::string body_;
    std::uint64_t now_ = 0;
    std::vector<std::pair<std::uint64_t, std::string>> delayed_;
    int functionality_;
    int copsPolls_ = 0;
    std::string line_;
    std::function<void(const std::string&)> log_;
    SmsSide sms_;
};

// Bytes that can never form a final result or a line end, for the garbage mode.
std::string GarbageBytes(std::size_t count, unsigned& seed);

}  // namespace modemsim
