#include "modem/comm_ports.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "acctdb/acctdb.h"

namespace modem {
namespace {

struct Speed {
    unsigned bps;
    speed_t code;
};

constexpr Speed kSpeeds[] = {
    {110, B110},     {300, B300},     {600, B600},       {1200, B1200},
    {2400, B2400},   {4800, B4800},   {9600, B9600},     {19200, B19200},
    {38400, B38400}, {57600, B57600}, {115200, B115200}, {230400, B230400},
    {460800, B460800}, {921600, B921600},
};

bool StartsWithCom(const std::string& name) {
    return name.size() >= 3 && std::toupper(static_cast<unsigned char>(name[0])) == 'C' &&
           std::toupper(static_cast<unsigned char>(name[1])) == 'O' &&
           std::toupper(static_cast<unsigned char>(name[2])) == 'M';
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
    if (error != nullptr) *error = 0;
    if (path.empty()) {
        if (error != nullptr) *error = ENOENT;
        return {};
    }
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (error != nullptr) *error = errno;
        return {};
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int why = errno == EWOULDBLOCK ? EBUSY : errno;
        close(fd);
        if (error != nullptr) *error = why;
        return {};
    }
    return ModemPort(fd, ModemPort::Kind::Serial, path);
}

ModemPort OpenCommPort(ui::Host& host, const std::string& name, OpenPurpose purpose) {
    const std::string shown = CommPortDisplayName(name);
    int error = 0;
    ModemPort port = TryOpenDevice(ResolveCommPort(shown), &error);
    if (!port.IsOpen()) {
        std::string text = "Unable to access modem at " + shown + " -- Error " +
                           Hex(static_cast<unsigned>(error)) + " -- " + std::strerror(error);
        // Unlike Windows, "access denied" here is a permission problem; a device held
        // by another program shows up as busy, and only that gets the note.
        if (error == EBUSY) text += "\r\nAnother application is already using this device.";
        ui::MessageBoxSpec spec;
        spec.text = text.substr(0, 499);
        spec.caption = host.Caption();
        spec.icon = ui::Icon::Error;
        spec.foreground = true;
        host.MessageBox(spec);
        return {};
    }
    termios tio{};
    if (tcgetattr(port.Descriptor(), &tio) != 0) {
        port.Close();
        if (purpose == OpenPurpose::Modem) ui::MessageBox(host, "GetCommState Failed");
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
    speed_t code = 0;
    bool known = false;
    for (const Speed& s : kSpeeds) {
        if (s.bps == bitsPerSecond) {
            code = s.code;
            known = true;
        }
    }
    termios tio{};
    if (!known || tcgetattr(port.Descriptor(), &tio) != 0) return false;
    cfmakeraw(&tio);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    cfsetispeed(&tio, code);
    cfsetospeed(&tio, code);
    (void)tcsetattr(port.Descriptor(), TCSANOW, &tio);
    return true;
}

unsigned LineSpeed(int fd) {
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) return 0;
    const speed_t code = cfgetospeed(&tio);
    for (const Speed& s : kSpeeds) {
        if (s.code == code) return s.bps;
    }
    return 0;
}

}  // namespace modem
