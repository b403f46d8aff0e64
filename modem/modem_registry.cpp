#include "modem/modem_registry.h"

#include "modem/comm_ports.h"

namespace modem {

ModemPort OpenRegisteredModem(ui::Host& host, const std::string& name, bool secondPass, std::string& comPort) {
    std::string noted;
    ModemPort port = OpenRegisteredDevice(name, comPort, noted);
    if (port.IsOpen()) return port;
    if (!noted.empty() && (comPort.empty() || secondPass)) {
        ShowModemFailure(host, noted);
    }
    return {};
}

}  // namespace modem
