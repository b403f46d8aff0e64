// The command side of the GSM modem simulator: bytes from the line in, the modem's
// answers out. Knows nothing about pseudo-terminals; the runner feeds it.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

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
};

class Engine {
public:
    explicit Engine(Options options) : options_(std::move(options)), deaf_(options_.stuck),
                                       functionality_(options_.functionality) {}

    // Every received command line is reported here (for the log).
    void SetLog(std::function<void(const std::string&)> log) { log_ = std::move(log); }

    // Bytes from the console at the line speed it set; returns what the modem answers.
    std::string Feed(const std::string& bytes, unsigned lineSpeed);
    // The console closed the line: a stuck modem falls back into its deaf state unless
    // it was reset meanwhile.
    void Detached();
    // True once a command named by vanishOn arrived: the line must disappear now.
    bool Vanish() const { return vanish_; }

private:
    std::string Command(const std::string& line);
    std::string Extended(const std::string& cmd);
    std::string Sending(const std::string& cmd);
    bool SpeedOk(unsigned speed) const;

    Options options_;
    bool deaf_;
    bool reset_ = false;
    bool echo_ = true;
    bool pinEntered_ = false;
    bool inBody_ = false;
    bool vanish_ = false;
    int functionality_;
    int copsPolls_ = 0;
    std::string line_;
    std::function<void(const std::string&)> log_;
};

// Bytes that can never form a final result or a line end, for the garbage mode.
std::string GarbageBytes(std::size_t count, unsigned& seed);

}  // namespace modemsim
