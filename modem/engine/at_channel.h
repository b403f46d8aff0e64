// An AT conversation with a modem that stays open for long: a command out, its answer
// lines in up to the final result, and the results the modem sends unasked (+CMTI, +CDS,
// ...) set aside for the caller. Lines are bounded: a modem that sends an endless line
// or a flood of results costs bounded memory, never a crash.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "modem/engine/port.h"

namespace modem {

struct AtAnswer {
    enum class Status {
        Ok,        // "OK"
        Error,     // "ERROR", "+CMS ERROR: n" or "+CME ERROR: n" (in `error`)
        Prompt,    // "> ": the modem waits for a message body
        TimedOut,  // no final result in time
        Gone,      // the line or socket failed or hung up
    } status = Status::TimedOut;
    std::vector<std::string> lines;  // information lines before the final result
    std::string error;               // the final result of an Error
    int cmsError = -1;               // n of "+CMS ERROR: n", else -1
    bool Ok() const { return status == Status::Ok; }
};

// A result line the modem sent on its own; for "+CMT:" and "+CDS:" `pdu` is the line
// that followed it.
struct Unsolicited {
    std::string line, pdu;
};

class AtChannel {
public:
    static constexpr std::size_t kMaxLine = 1024;        // longer lines are cut to this
    static constexpr std::size_t kMaxUnsolicited = 256;  // older ones are dropped beyond this

    explicit AtChannel(ModemPort& port) : port_(port) {}

    // Writes `command` and CR, then reads to its final result, at most `timeoutMs`.
    AtAnswer Command(const std::string& command, std::uint64_t timeoutMs);
    // Writes a message body and Ctrl-Z after a prompt, then reads to the final result.
    AtAnswer Body(const std::string& body, std::uint64_t timeoutMs);
    // Reads what arrives within `waitMs` and sets aside the unsolicited results among it.
    // False when the line failed.
    bool Poll(std::uint64_t waitMs);
    std::vector<Unsolicited> TakeUnsolicited();
    // Lines cut or dropped so far, for the operator.
    std::size_t Dropped() const { return dropped_; }

private:
    AtAnswer Exchange(const std::string& text, std::uint64_t timeoutMs);
    AtAnswer Await(std::uint64_t timeoutMs);
    // Reads once (up to `waitMs`) into complete lines; false when the line failed.
    bool Fill(std::uint64_t waitMs);
    bool NextLine(std::string& line);
    bool IsUnsolicited(const std::string& line) const;
    void SetAside(const std::string& line);

    ModemPort& port_;
    std::string partial_;
    std::deque<std::string> lines_;
    std::vector<Unsolicited> unsolicited_;
    bool pduFollows_ = false;
    bool prompt_ = false;
    std::size_t dropped_ = 0;
};

// Whether an unsolicited line is followed by a PDU line (+CMT, +CDS in PDU mode).
bool CarriesPdu(const std::string& line);

}  // namespace modem
