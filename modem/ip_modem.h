// The console's side of reaching an IP modem: the engine's login (modem/engine/ip_modem.h)
// with each failure shown to the operator.
#pragma once

#include <string>

#include "modem/engine/ip_modem.h"
#include "ui/host.h"

namespace modem {

// Connects and logs in; returns the socket as a port that answers AT, or a closed port
// after showing the failure (console caption, error icon, foreground).
ModemPort ConnectIpModem(ui::Host& host, const std::string& name);

}  // namespace modem
