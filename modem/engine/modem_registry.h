// Modems known by a friendly name. Linux has no telephony interface that lists modems,
// so the console keeps a modem registry file, "MODEMS.INI" in the program data
// directory, that maps each friendly name to the device it is attached to:
//
//   ; One section per modem, listed in file order. The section name is the modem's
//   ; friendly name, as the add-modem dialog shows it and ZELLA.INI stores it (it
//   ; cannot contain "]"; names compare ignoring case).
//   [USB LTE Modem]
//   Port=/dev/ttyUSB2      ; device of the modem's AT channel: a path or a COM name
//   AttachedTo=COM4        ; COM port used to reset the modem when it does not answer;
//                          ; also the device when Port is absent
//   Speed=115200           ; line speed of the AT channel (default 115200)
//   DataModem=Yes          ; "No" hides a device that cannot carry data (default Yes)
//
// A friendly-named modem is opened on its Port at its Speed, without speed probing,
// and its AttachedTo port is what the modem test recovers through.
#pragma once

#include <string>
#include <vector>

#include "modem/engine/port.h"

namespace modem {

// Full path of the registry file.
std::string ModemRegistryPath();

// The friendly names of the data modems, in file order (empty without the file).
std::vector<std::string> ListTapiModems();

// The modem's non-empty AttachedTo value, or "" when the modem or the value is absent.
std::string FindModemPortInRegistry(const std::string& name);

// Opens the friendly-named modem. `comPort` receives its COM port name whenever one is
// known (AttachedTo, else a COM-named Port). A device that fails to open leaves the
// operator's text in `noted`; an unknown name leaves it empty.
ModemPort OpenRegisteredDevice(const std::string& name, std::string& comPort, std::string& noted);

}  // namespace modem
