// The AT capability test of a GSM modem and the opening of a modem by its connection
// name: "IPModem - host:port" (through its terminal server), "COMn:" (a serial port,
// speed found by probing) or a friendly name from the modem registry. Every outcome is
// shown to the operator through the host; every wait goes through platform::Clock().
#pragma once

#include <memory>
#include <string>

#include "modem/engine/port.h"
#include "ui/host.h"

namespace modem {

// Runs the whole test: open, full functionality and network, PIN (when given), two
// initialisations, SMS service, PDU or text sending mode, abort of the probe message.
// Shows "Modem successfully tested!" or the failure, releases the modem, and returns
// whether it passed. Runs as a long operation of the host (progress line and Cancel);
// a cancelled test takes the failure path of the step it was in (a pending probe
// message is aborted first) and returns false.
bool TestModem(ui::Host& host, const std::string& name, const std::string& pin);

// Opens the modem. A COM port or friendly-named modem that does not answer on the first
// pass is recovered through its COM port and opened once more. A closed port means
// failure, already shown by the branch that failed (except a silent unknown name).
ModemPort OpenModem(ui::Host& host, const std::string& name);

// "COM" (any case), one or more digits, ":" and nothing after it.
bool IsDirectComName(const std::string& name);

// Sets 8N1 at `bitsPerSecond`, wakes the modem and sends "ATE0V1\r"; true (after
// showing "Initialised modem at %u bps") when it answered OK at that speed.
bool InitModemAtBaud(ui::Host& host, ModemPort& port, unsigned bitsPerSecond);

// Probes the modem on its COM port through the speed walk with hang-ups, resets it
// once when it answered and lets it restart for 15 s, and probes again. True when the
// (last) walk found the modem.
bool RecoverModem(ui::Host& host, const std::string& comPort);

// Tries AT+CFUN=1,1 (when supported), AT*E2RESET, AT!RESET and AT+CFUN=1 in turn; true
// when one was accepted.
bool ResetModem(ModemPort& port);

// True only when the modem reported a reduced functionality state and accepted
// AT+CFUN=1.
bool EnsureFullFunctionality(ModemPort& port);

// True when the modem is registered on a network and its message storage answers
// (up to 18 operator polls, then up to 10 storage queries).
bool WaitForNetwork(ModemPort& port);

}  // namespace modem
