#include "modem/engine/comm_ports.h"

#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "acctdb/acctdb.h"
#include "platform/text.h"

namespace modem {
namespace {

bool StartsWithCom(const std::string& name) {
    return platform::StartsWithNoCase(name, "COM");
}

// "COM12:" -> 12; 0 when the rest is not a plain decimal number.
unsigned ComNumber(const std::string& name) {
    std::string digits = name.substr(3);
    if (!digits.empty() && digits.back() == ':') digits.pop_back();
    if (digits.empty() || digits.size() > 6) return 0;
    unsigned n = 0;
    for (char c : digits) {
        if (!std::isdigit(static_cast<unsigned char>(c))) return 0;
        n = n * 10 + static_cast<unsigned>(c - '0');
    }
    return n;
}

std::string Hex(unsigned value) {
    char text[16];
    std::snprintf(text, sizeof text, "%X", value);
    return text;
}

}  // namespace

std::string CommPortDisplayName(const std::string& name) {
    std::string result = name.substr(0, 100);
    if (StartsWithCom(result) && (result.empty() || result.back() != ':')) result += ':';
    return result;
}

std::string ResolveCommPort(const std::string& name) {
    if (!name.empty() && name[0] == '/') return name;
    if (!StartsWithCom(name)) return {};
    const unsigned n = ComNumber(name);
    if (n == 0) return {};
    const std::string link = acctdb::GetProgramDataDirectory() + "COMPORTS/COM" + std::to_string(n);
    struct stat st {};
    if (lstat(link.c_str(), &st) == 0) return link;
    return "/dev/ttyS" + std::to_string(n - 1);
}

ModemPort TryOpenDevice(const std::string& path, int* error) {
    platform::SerialPort line = platform::SerialPort::Open(path, error);
    if (!line.IsOpen()) return {};
    return ModemPort(std::move(line), path);
}

ModemPort OpenCommDevice(const std::string& name, std::string& error, bool& notALine) {
    const std::string shown = CommPortDisplayName(name);
    error.clear();
    notALine = false;
    int code = 0;
    ModemPort port = TryOpenDevice(ResolveCommPort(shown), &code);
    if (!port.IsOpen()) {
        error = "Unable to access modem at " + shown + " -- Error " + Hex(static_cast<unsigned>(code)) + " -- " +
                std::strerror(code);
        // Unlike Windows, "access denied" here is a permission problem; a device held
        // by another program shows up as busy, and only that gets the note.
        if (code == EBUSY) error += "\r\nAnother application is already using this device.";
        error = error.substr(0, 499);
        return {};
    }
    if (!port.Line().IsLine()) {
        port.Close();
        notALine = true;
        return {};
    }
    return port;
}

std::vector<std::string> ListCommPorts() {
    std::vector<std::string> ports;
    for (unsigned n = 1;; ++n) {
        const std::string name = "COM" + std::to_string(n) + ":";
        ModemPort port = TryOpenDevice(ResolveCommPort(name));
        if (port.IsOpen()) {
            ports.push_back(name);
        } else if (n > 50) {
            break;
        }
    }
    return ports;
}

bool SetLineSettings(ModemPort& port, unsigned bitsPerSecond) {
    return port.GetKind() == ModemPort::Kind::Serial && port.Line().Configure(bitsPerSecond);
}

unsigned LineSpeed(int fd) { return platform::SerialPort::LineSpeed(fd); }

}  // namespace modem
