#include "modem/comm_ports.h"

namespace modem {

void ShowModemFailure(ui::Host& host, const std::string& text) {
    ui::MessageBoxSpec spec;
    spec.text = text;
    spec.caption = host.Caption();
    spec.icon = ui::Icon::Error;
    spec.foreground = true;
    host.MessageBox(spec);
}

ModemPort OpenCommPort(ui::Host& host, const std::string& name, OpenPurpose purpose) {
    std::string error;
    bool notALine = false;
    ModemPort port = OpenCommDevice(name, error, notALine);
    if (port.IsOpen()) return port;
    if (!error.empty()) {
        ShowModemFailure(host, error);
    } else if (notALine && purpose == OpenPurpose::Modem) {
        ui::MessageBox(host, "GetCommState Failed");
    }
    return {};
}

}  // namespace modem
