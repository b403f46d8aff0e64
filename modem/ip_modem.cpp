#include "modem/ip_modem.h"

#include "modem/comm_ports.h"

namespace modem {

ModemPort ConnectIpModem(ui::Host& host, const std::string& name) {
    return ConnectIpModem(name, [&host](const std::string& text) { ShowModemFailure(host, text); });
}

}  // namespace modem
