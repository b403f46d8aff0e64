// modemsim: a GSM modem on a pseudo-terminal, for tests and demos.
//
//   modemsim [--speeds=115200,9600] [--pin=1234] [--reject-pin] [--cfun=0]
//            [--register-after=N] [--reject-csms] [--reject-pdu]
//            [--cmgs=prompt|error|ok] [--stuck] [--silent] [--garbage]
//            [--vanish-on=AT+CSMS] [--flood-on=AT+CMGF] [--log=FILE] [--link=PATH]
//
// Prints the slave device path on its first line of output, then serves until killed.
// It answers only while the console has set one of its speeds on the line (read from
// the terminal settings the console applied). --link makes PATH a symbolic link to the
// device (for example DATA/COMPORTS/COM7). --log writes every command line it received.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>

#include "modem/engine/comm_ports.h"
#include "tools/modemsim/modem_engine.h"

namespace {

bool Flag(const std::string& arg, const char* name, std::string* value = nullptr) {
    const std::string prefix = std::string("--") + name;
    if (arg == prefix) return value == nullptr;
    if (value != nullptr && arg.rfind(prefix + "=", 0) == 0) {
        *value = arg.substr(prefix.size() + 1);
        return true;
    }
    return false;
}

bool Parse(int argc, char** argv, modemsim::Options& o, std::string& log, std::string& link) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        std::string v;
        if (Flag(a, "speeds", &v)) {
            o.speeds.clear();
            for (char* p = v.data(); *p != '\0';) {
                o.speeds.push_back(static_cast<unsigned>(std::strtoul(p, &p, 10)));
                if (*p == ',') ++p;
                else if (*p != '\0') return false;
            }
        } else if (Flag(a, "pin", &v)) o.pin = v;
        else if (Flag(a, "reject-pin")) o.rejectPin = true;
        else if (Flag(a, "cfun", &v)) o.functionality = std::atoi(v.c_str());
        else if (Flag(a, "register-after", &v)) o.registerAfter = std::atoi(v.c_str());
        else if (Flag(a, "reject-csms")) o.rejectCsms = true;
        else if (Flag(a, "reject-pdu")) o.rejectPdu = true;
        else if (Flag(a, "cmgs", &v)) o.cmgs = v;
        else if (Flag(a, "stuck")) o.stuck = true;
        else if (Flag(a, "silent")) o.silent = true;
        else if (Flag(a, "garbage")) o.garbage = true;
        else if (Flag(a, "vanish-on", &v)) o.vanishOn = v;
        else if (Flag(a, "flood-on", &v)) o.floodOn = v;
        else if (Flag(a, "log", &v)) log = v;
        else if (Flag(a, "link", &v)) link = v;
        else return false;
    }
    return true;
}

int OpenMaster(std::string& slave) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return -1;
    slave = ptsname(master);
    // A raw line until the console sets its own settings.
    termios tio{};
    if (tcgetattr(master, &tio) == 0) {
        cfmakeraw(&tio);
        tcsetattr(master, TCSANOW, &tio);
    }
    fcntl(master, F_SETFL, fcntl(master, F_GETFL, 0) | O_NONBLOCK);
    return master;
}

// Serves the line until the engine says the modem vanishes.
void Serve(int master, modemsim::Engine& engine, bool garbage) {
    std::string out;
    unsigned seed = 12345;
    bool attached = false;
    char buffer[4096];
    for (;;) {
        if (garbage && out.size() < 65536) out += modemsim::GarbageBytes(4096, seed);
        pollfd p{master, static_cast<short>(POLLIN | (out.empty() ? 0 : POLLOUT)), 0};
        if (poll(&p, 1, 1000) < 0 && errno != EINTR) return;
        const ssize_t n = (p.revents & POLLIN) ? read(master, buffer, sizeof buffer) : 0;
        if (n > 0) {
            attached = true;
            out += engine.Feed(std::string(buffer, static_cast<std::size_t>(n)),
                               modem::LineSpeed(master));
            if (engine.Vanish()) return;
        } else if ((p.revents & POLLHUP) || (n < 0 && errno == EIO)) {
            // Nobody has the line open: whatever was queued is lost with the line.
            if (attached) engine.Detached();
            attached = false;
            out.clear();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            continue;
        }
        if ((p.revents & POLLOUT) && !out.empty()) {
            const ssize_t w = write(master, out.data(), out.size());
            if (w > 0) out.erase(0, static_cast<std::size_t>(w));
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    modemsim::Options options;
    std::string logPath, link;
    if (!Parse(argc, argv, options, logPath, link)) {
        std::fprintf(stderr, "modemsim: unknown or malformed option\n");
        return 2;
    }
    std::string slave;
    const int master = OpenMaster(slave);
    if (master < 0) {
        std::perror("modemsim: pseudo-terminal");
        return 1;
    }
    if (!link.empty()) {
        unlink(link.c_str());
        if (symlink(slave.c_str(), link.c_str()) != 0) {
            std::perror("modemsim: link");
            return 1;
        }
    }
    std::ofstream log;
    if (!logPath.empty()) log.open(logPath, std::ios::app);
    modemsim::Engine engine(options);
    engine.SetLog([&log](const std::string& line) {
        if (log.is_open()) log << line << std::endl;
    });
    std::printf("%s\n", slave.c_str());
    std::fflush(stdout);
    Serve(master, engine, options.garbage);
    close(master);
    return 0;
}
