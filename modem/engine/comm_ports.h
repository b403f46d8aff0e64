// COM ports on Linux. "COMn" names resolve through links in the COMPORTS/ folder of the
// program data directory ("COMPORTS/COM3" -> /dev/ttyUSB0), else to /dev/ttyS(n-1).
// An opened port holds an exclusive advisory lock (flock) on its device, the lock the
// Gateway service keeps on the modems it drives, so two programs never share a modem.
#pragma once

#include <string>
#include <vector>

#include "modem/engine/port.h"

namespace modem {

// The device path behind a port name: "COM3", "com3:" (link or /dev/ttyS2); a name
// beginning with "/" is a device path already. Empty when the name is neither.
std::string ResolveCommPort(const std::string& name);

// "COM3" gains its ":" (any case of "COM"); other names stay as they are.
std::string CommPortDisplayName(const std::string& name);

// Opens the port read/write and exclusively. On failure returns a closed port and sets
// `error`: "Unable to access modem at %s -- Error %X -- " with the system's error text,
// adding "\r\nAnother application is already using this device." when another holder
// has the device locked; `notALine` is set instead (and `error` left empty) when the
// device opened but is not a serial line.
ModemPort OpenCommDevice(const std::string& name, std::string& error, bool& notALine);

// Opens without any message; `error` receives errno (EBUSY when another program holds
// the device). For listing and for the friendly-named modems.
ModemPort TryOpenDevice(const std::string& path, int* error = nullptr);

// "COM%u:" for n = 1, 2, ... of the ports that open right now (and are not held by
// another program); below 51 a missing port is skipped, above 50 the first one ends
// the search.
std::vector<std::string> ListCommPorts();

// Raw 8N1 at `bitsPerSecond`, no flow control. False when the speed is not a standard
// serial speed; the line state is then unchanged. Not a serial line: false as well.
bool SetLineSettings(ModemPort& port, unsigned bitsPerSecond);

// The input speed the other side of a line sees (0 when unknown); for the simulators.
unsigned LineSpeed(int fd);

}  // namespace modem
