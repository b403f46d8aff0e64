// The SMPP connection test the "SMPP Connection" dialog runs before it accepts its
// settings: a transmitter (or transceiver) bind and, for a receiving connection on
// separate sessions, a receiver bind, each on a socket of its own, through the SMPP link
// library and, for "Use SSL/TLS", the TLS library.
#pragma once

#include <string>

#include "ui/host.h"

namespace smsc {

// What the test needs from the dialog and the connection's advanced settings.
struct SmppTestSettings {
    std::string host;  // with any "#n" suffix; the link library strips it
    unsigned port = 0;
    bool useTls = false;  // honoured only while TLS is available
    int version = 0x34;   // 0x33 or 0x34
    std::string userName, password, addressRange, systemType;
    bool receive = false;
    std::string receiveSingleConnection;  // IsYes: one transceiver session
    std::string transmitterCount;         // "" or not a number counts as 1
    std::string senderPort;    // "local[:remote]" of the transmitter connection
    std::string receiverPort;  // the same for the receiver connection
    std::string bindTon, bindNpi;
};

// The outcome: passed, or the failure message (ending in "Save connection?").
struct SmppTestResult {
    bool passed = false;
    std::string failure;
};

// Runs the transmitter test (left out when receiving on separate sessions with a
// transmitter count of 0) and then, when receiving on separate sessions, the receiver
// test, stopping at the first failure. During each bind the section "SMPP" of ZELLA.INI
// carries the address range and bind TON/NPI that are not empty; it is restored before
// the test goes on. Every session is freed and every socket closed gracefully. Runs as
// a long operation of `host` (the busy cursor during the transmitter test). Without the
// SMPP link library nothing is tried and the result is passed.
SmppTestResult RunSmppTest(ui::Host& host, const SmppTestSettings& settings);

// The "local[:remote]" text of SenderPort/ReceiverPort: local port 0 (any) and remote
// port 0 (the connection's) when absent or not a number.
void SplitLocalRemotePort(const std::string& text, unsigned& local, unsigned& remote);

}  // namespace smsc
