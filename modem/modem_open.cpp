#include <cctype>
#include <cstdio>
#include <cstring>

#include "modem/comm_ports.h"
#include "modem/ip_modem.h"
#include "modem/modem_registry.h"
#include "modem/modem_test.h"
#include "platform/clock.h"
#include "platform/text.h"

namespace modem {
namespace {

constexpr std::size_t kResponseSize = 500;
constexpr unsigned kOpenSpeeds[] = {115200, 57600, 38400, 19200, 9600, 2400};
// 0 is a hang-up between speeds.
constexpr unsigned kRecoverWalk[] = {115200, 0,     115200, 57600, 0, 57600, 38400, 0,
                                     38400,  19200, 0,      19200, 9600, 0, 9600};

std::string Ask(ModemPort& port, const char* command, unsigned seconds) {
    PortWrite(port, command);
    char buffer[kResponseSize];
    if (PortRead(port, buffer, sizeof buffer, seconds) == 0) return {};
    return buffer;
}

void HangUp(ModemPort& port) {
    PortWrite(port, "+++ATH0\r");
    char buffer[kResponseSize];
    PortRead(port, buffer, sizeof buffer, 1);
}

bool Walk(ui::Host& host, ModemPort& port) {
    for (unsigned speed : kRecoverWalk) {
        if (speed == 0) {
            HangUp(port);
        } else if (InitModemAtBaud(host, port, speed)) {
            return true;
        }
    }
    return false;
}

// "+CFUN: (0,1,4),(0,1)": a second parameter list means the reset parameter exists.
bool SupportsResetParameter(const std::string& answer) {
    std::size_t pos = answer.find("+CFUN:");
    if (pos == std::string::npos) return false;
    pos += 6;
    while (pos < answer.size() && answer[pos] == ' ') ++pos;
    if (pos >= answer.size() || answer[pos] != '(') return false;
    pos = answer.find(')', pos);
    if (pos == std::string::npos) return false;
    ++pos;
    while (pos < answer.size() && answer[pos] == ' ') ++pos;
    return pos < answer.size() && answer[pos] == ',';
}

// `opened` tells an unopenable port (no recovery) from a silent modem.
ModemPort OpenComPass(ui::Host& host, const std::string& name, bool& opened) {
    ModemPort port = OpenCommPort(host, name, OpenPurpose::Modem);
    opened = port.IsOpen();
    if (!opened) return {};
    SetModemTimeouts(port, kProbeTimeouts);
    for (unsigned speed : kOpenSpeeds) {
        if (InitModemAtBaud(host, port, speed)) return port;
    }
    return {};
}

}  // namespace

bool IsDirectComName(const std::string& name) {
    if (name.size() < 5 || !platform::StartsWithNoCase(name, "COM") || name.back() != ':')
        return false;
    for (std::size_t i = 3; i + 1 < name.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(name[i]))) return false;
    }
    return true;
}

bool InitModemAtBaud(ui::Host& host, ModemPort& port, unsigned bitsPerSecond) {
    if (!SetLineSettings(port, bitsPerSecond)) return false;
    char buffer[kResponseSize];
    PortWrite(port, "\r");
    PortRead(port, buffer, sizeof buffer, 1);
    PortWrite(port, "ATE0V1\r");
    if (PortRead(port, buffer, sizeof buffer, 5) == 0) return false;
    if (!IsOkResponse(buffer)) return false;
    ui::Info(host, "Initialised modem at " + std::to_string(bitsPerSecond) + " bps");
    return true;
}

bool RecoverModem(ui::Host& host, const std::string& comPort) {
    bool resetDone = false;
    for (;;) {
        ModemPort port = OpenCommPort(host, comPort, OpenPurpose::Recover);
        if (!port.IsOpen()) return false;
        SetModemTimeouts(port, kProbeTimeouts);
        const bool answered = Walk(host, port);
        if (answered && !resetDone) {
            resetDone = ResetModem(port);
            if (resetDone) {
                port.Close();
                platform::Clock().Sleep(15'000);  // the modem restarts
                continue;
            }
        }
        return answered;
    }
}

bool ResetModem(ModemPort& port) {
    std::string answer = Ask(port, "AT+CFUN=?\r", 10);
    if (IsOkResponse(answer) && SupportsResetParameter(answer) &&
        IsOkResponse(Ask(port, "AT+CFUN=1,1\r", 10)))
        return true;
    if (IsOkResponse(Ask(port, "AT*E2RESET=?\r", 10)) &&
        IsOkResponse(Ask(port, "AT*E2RESET\r", 10)))
        return true;
    if (IsOkResponse(Ask(port, "AT!RESET\r", 10))) return true;
    return IsOkResponse(Ask(port, "AT+CFUN=1\r", 10));
}

ModemPort OpenModem(ui::Host& host, const std::string& name) {
    if (IsIpModemName(name)) return ConnectIpModem(host, name);
    for (int pass = 1; pass <= 2; ++pass) {
        std::string comPort;
        ModemPort port;
        if (IsDirectComName(name)) {
            comPort = name.substr(0, 100);
            bool opened = false;
            port = OpenComPass(host, comPort, opened);
            if (!opened) return {};
        } else {
            port = OpenRegisteredModem(host, name, pass == 2, comPort);
        }
        if (port.IsOpen()) return port;
        if (pass == 2 || comPort.empty() || !RecoverModem(host, comPort)) return {};
    }
    return {};
}

}  // namespace modem
