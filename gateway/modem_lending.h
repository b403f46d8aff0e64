// The service's side of lending a modem to the console ("[ModemAllocate]" of ZELLA.INI;
// the protocol is in libs/waplnk/modem_handover.h). A request is answered only as the
// request it was read as: the answer is written in one locked rewrite that happens only
// while RequestId is still the one read and no Status was written, so a console that
// replaced its request meanwhile never gets an answer meant for the old one.
#pragma once

#include <functional>
#include <mutex>
#include <set>
#include <string>

namespace gateway {

class ModemLender {
public:
    struct Hooks {
        // True when the modem asked for is busy (answered "InUse").
        std::function<bool(const std::string& modem)> busy;
        // Asks whoever drives the modem to let its device go; true once it is free
        // (nobody drives it, or its worker closed it). Until then the request waits.
        std::function<bool(const std::string& modem)> release;
        // The modem came back from the console.
        std::function<void(const std::string& modem)> reclaim;
        // True while the service wants the lent modem back ("Return=Yes").
        std::function<bool(const std::string& modem)> wanted;
        // Called with "Modem <name> lent to the console" / "... taken back".
        std::function<void(const std::string& event)> event;
    };
    ModemLender(std::string iniPath, Hooks hooks);
    // Answers and watches the request; call it a few times a second.
    void Tick();
    // The modem lent now, or "".
    const std::string& Lent() const { return lentModem_; }
    // True while a request waits for its modem to be let go: tick again soon.
    bool Waiting() const { return waiting_; }

private:
    void TakeBack();

    std::string ini_;
    Hooks hooks_;
    std::string lentId_, lentModem_;
    long consolePid_ = 0;
    bool waiting_ = false;
};

// Which modems the console borrows, between the service's thread (asks for a modem and
// gives it back) and the modem links' threads (let the device go and take it again).
// Names compare ignoring case and a trailing ":". Safe from any thread.
class ModemLoans {
public:
    void Ask(const std::string& modem);
    void GiveBack(const std::string& modem);
    // The link must let go of its device (and keep off it) while this is true.
    bool Asked(const std::string& modem) const;
    // The link has closed its device (`released` true) or opened it again (false).
    void SetReleased(const std::string& modem, bool released);
    bool Released(const std::string& modem) const;
    // Whether two names are the same modem ("COM7:" and "com7").
    static bool Same(const std::string& a, const std::string& b) { return Key(a) == Key(b); }

private:
    static std::string Key(const std::string& modem);
    mutable std::mutex mutex_;
    std::set<std::string> asked_, released_;
};

// Answers a network-modem pairing ("[QuvSMSModemTest]" of ZELLA.INI) that waits for an
// answer with `status`, in one locked rewrite that happens only while the request read is
// still there unanswered. True when an answer was written.
bool AnswerPairing(const std::string& iniPath, const std::string& status);

// The n of a modem named "COMn..." (any case), else 0.
int ComPortNumber(const std::string& modem);

}  // namespace gateway
