// The stand-in service's side of the modem hand-over (the "[ModemAllocate]" section of
// ZELLA.INI; protocol in libs/waplnk/modem_handover.h).
//
// A new request is answered "Granted", with Port set to n for a modem name beginning
// "COMn" (0 otherwise), unless the data directory holds a file "STANDIN-MODEM-BUSY":
// then "InUse". While the modem is lent, a file "STANDIN-MODEM-WANTED" makes it ask for
// the modem back ("Return=Yes"). It takes the modem back when the section goes, when its
// RequestId changes, or when the console's process is gone (then it removes the section
// itself). Lending and taking back are Info events: "Modem <name> lent to the console",
// "Modem <name> taken back".
#pragma once

#include <cstdint>
#include <string>

namespace standin {

class ModemLender {
public:
    ModemLender();
    // Answers and watches the request; call it every 100 ms or so.
    void Tick();

private:
    void TakeBack();

    std::string ini_;
    std::string dataDir_;
    std::string lentId_;  // empty while the modem is home
    std::string lentModem_;
    long consolePid_ = 0;
};

}  // namespace standin
