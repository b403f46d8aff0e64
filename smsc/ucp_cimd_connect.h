// The connection tests of UCP/EMI and CIMD2 connections: a socket, the link library's
// connect and login, and the graceful close, run as a long operation so the window
// stays painted and Cancel ends a test that waits on a silent SMSC.
#pragma once

#include <string>

#include "ui/host.h"

namespace smsc {

// What a connection test found: `failure` is empty when it passed, else the whole
// question for the operator (ending in "Save connection?"), and `focus` the id of the
// field to put the focus on after the answer ("host" or "localPort").
struct LinkTestOutcome {
    std::string failure;
    std::string focus;
    bool Passed() const { return failure.empty(); }
};

struct LinkTestTarget {
    std::string host;       // as the connection name carries it, "#n" suffix included
    unsigned port = 0;
    unsigned localPort = 0;  // UCP only; 0 = any
    std::string user;
    std::string password;
};

// The UCP test through UCPLNK: socket, local bind when a local port is set, UCPConnect,
// UCPBind (UCPErrorText for a refusal), close. Call only while the library is loaded;
// without it the outcome is a failure that names the missing library.
LinkTestOutcome TestUcpConnection(ui::Host& host, const LinkTestTarget& target);

// The CIMD test through CIMDLNK: socket, CIMDConnect, CIMDBind (CIMDErrorText for a
// refusal), close. Same conditions as TestUcpConnection.
LinkTestOutcome TestCimdConnection(ui::Host& host, const LinkTestTarget& target);

}  // namespace smsc
