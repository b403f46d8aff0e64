// What the connection tests of the SMSC-link dialogs share: whether to test while the
// Gateway service runs, the "Save connection?" question after a failed test, and the
// graceful close that ends every test socket.
#pragma once

#include <functional>
#include <string>

#include "ui/host.h"

namespace smsc {

inline constexpr const char* kTestWhileActiveQuestion =
    "Gateway service is active.  Do you wish to test the SMSC connection?";

// Whether the test runs: a new connection always; an existing one unless the Gateway
// service is active (`serviceActive`, shell::IsGatewayServiceActive when empty) and the
// operator answers No to kTestWhileActiveQuestion (Yes/No, No the default).
bool ShouldTestConnection(ui::Host& host, bool existingConnection,
                          const std::function<bool()>& serviceActive = {});

// Asks `text` (a failed test's message ending in "Save connection?") as a Yes/No
// question whose default button is No; true when the operator answered Yes.
bool AskSaveConnection(ui::Host& host, const std::string& text);

// Shuts down sending on `socket`, reads and discards until the peer closes or 5 seconds
// pass, and closes it. Takes ownership; nothing for a negative descriptor.
void CloseSocketGracefully(int socket);

}  // namespace smsc
