// The console's side of opening a friendly-named modem (modem/engine/modem_registry.h).
#pragma once

#include <string>

#include "modem/engine/modem_registry.h"
#include "ui/host.h"

namespace modem {

// Opens the friendly-named modem. `comPort` receives its COM port name whenever one is
// known (AttachedTo, else a COM-named Port). Failures to open a device are shown (error
// icon, foreground) only when no COM port is known or `secondPass` is set, since the
// recovery through the COM port may still succeed. An unknown name fails silently.
ModemPort OpenRegisteredModem(ui::Host& host, const std::string& name, bool secondPass, std::string& comPort);

}  // namespace modem
