// The console's side of opening a COM port: the engine's open (modem/engine/comm_ports.h)
// with its failure shown to the operator.
#pragma once

#include <string>

#include "modem/engine/comm_ports.h"
#include "ui/host.h"

namespace modem {

// Who opens: the modem test shows "SetupComm Failed"/"GetCommState Failed" for a
// device that is not a serial line; the recovery path stays silent about that.
enum class OpenPurpose { Modem, Recover };

// Shows a modem failure as the modem pages do: console caption, error icon, foreground.
void ShowModemFailure(ui::Host& host, const std::string& text);

// Opens the port read/write and exclusively. On failure shows the engine's text (error
// icon, foreground), or "GetCommState Failed" for a device that is not a serial line,
// and returns a closed port.
ModemPort OpenCommPort(ui::Host& host, const std::string& name, OpenPurpose purpose = OpenPurpose::Modem);

}  // namespace modem
