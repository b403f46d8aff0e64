// The service's side of lending a modem to the console ("[ModemAllocate]" of ZELLA.INI;
// the protocol is in libs/waplnk/modem_handover.h). A request is answered only as the
// request it was read as: the answer is written in one locked rewrite that happens only
// while RequestId is still the one read and no Status was written, so a console that
// replaced its request meanwhile never gets an answer meant for the old one.
#pragma once

#include <functional>
#include <string>

namespace gateway {

class ModemLender {
public:
    struct Hooks {
        // True when the modem asked for is busy (answered "InUse").
        std::function<bool(const std::string& modem)> busy;
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

private:
    void TakeBack();

    std::string ini_;
    Hooks hooks_;
    std::string lentId_, lentModem_;
    long consolePid_ = 0;
};

// The n of a modem named "COMn..." (any case), else 0.
int ComPortNumber(const std::string& modem);

}  // namespace gateway
