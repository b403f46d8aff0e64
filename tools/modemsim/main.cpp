// modemsim: a GSM modem on a pseudo-terminal, for tests and demos.
//
//   modemsim [--speeds=115200,9600] [--pin=1234] [--reject-pin] [--cfun=0]
//            [--register-after=N] [--reject-csms] [--reject-pdu]
//            [--cmgs=prompt|error|ok] [--stuck] [--silent] [--garbage]
//            [--vanish-on=AT+CSMS] [--flood-on=AT+CMGF] [--log=FILE] [--link=PATH]
//            [--part-ms=MS] [--storage=N] [--hang-on-part=N] [--hang-ms=MS] [--control=FILE]
//            [--refuse-number=+NUMBER]
//
// Prints the slave device path on its first line of output, then serves until killed.
// It answers only while the console has set one of its speeds on the line (read from
// the terminal settings the console applied). --link makes PATH a symbolic link to the
// device (for example DATA/COMPORTS/COM7). --log writes every command line it received
// and every message body ("PDU <hex>" or "TEXT <number> <text>"). --part-ms is how long
// the network takes per part; --hang-on-part makes the n-th message body go unanswered
// and the modem silent for --hang-ms (or until told). --control names a file the
// simulator follows: each line appended is a command ("silent", "answer",
// "deliver <sender> <part order or -> <text>"). Messages in PDU mode to --refuse-number
// are refused for good ("+CMS ERROR: 21").
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

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

bool Parse(int argc, char** argv, modemsim::Options& o, std::string& log, std::string& link, std::string& control) {
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
        else if (Flag(a, "reject-pdu")) o.rejectPdu = o.sms.rejectPdu = true;
        else if (Flag(a, "part-ms", &v)) o.sms.partMs = std::strtoull(v.c_str(), nullptr, 10);
        else if (Flag(a, "refuse-number", &v)) o.sms.refuseNumber = v;
        else if (Flag(a, "storage", &v)) o.sms.capacity = static_cast<unsigned>(std::atoi(v.c_str()));
        else if (Flag(a, "hang-on-part", &v)) o.hangOnPart = static_cast<unsigned>(std::atoi(v.c_str()));
        else if (Flag(a, "hang-ms", &v)) o.hangMs = std::strtoull(v.c_str(), nullptr, 10);
        else if (Flag(a, "control", &v)) control = v;
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

std::uint64_t NowMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::uint64_t>(ts.tv_sec) * 1000 + static_cast<std::uint64_t>(ts.tv_nsec) / 1'000'000;
}

// Lines appended to the control file since the last look.
class ControlFile {
public:
    explicit ControlFile(std::string path) : path_(std::move(path)) {}
    std::vector<std::string> Take() {
        std::vector<std::string> lines;
        if (path_.empty()) return lines;
        std::ifstream in(path_);
        in.seekg(static_cast<std::streamoff>(offset_));
        std::string line;
        while (std::getline(in, line) && !in.eof()) {
            offset_ += line.size() + 1;
            lines.push_back(line);
        }
        return lines;
    }

private:
    std::string path_;
    std::size_t offset_ = 0;
};

// Serves the line until the engine says the modem vanishes.
void Serve(int master, modemsim::Engine& engine, bool garbage, ControlFile& control) {
    std::string out;
    unsigned seed = 12345;
    bool attached = false;
    char buffer[4096];
    for (;;) {
        if (garbage && out.size() < 65536) out += modemsim::GarbageBytes(4096, seed);
        pollfd p{master, static_cast<short>(POLLIN | (out.empty() ? 0 : POLLOUT)), 0};
        const std::uint64_t next = engine.NextDue(), now = NowMs();
        const int timeout = next <= now ? 0 : static_cast<int>(std::min<std::uint64_t>(next - now, 100));
        if (poll(&p, 1, timeout) < 0 && errno != EINTR) return;
        for (const std::string& line : control.Take()) out += engine.Control(line, NowMs());
        out += engine.Due(NowMs());
        const ssize_t n = (p.revents & POLLIN) ? read(master, buffer, sizeof buffer) : 0;
        if (n > 0) {
            attached = true;
            out += engine.Feed(std::string(buffer, static_cast<std::size_t>(n)),
                               modem::LineSpeed(master), NowMs());
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
    std::string logPath, link, controlPath;
    if (!Parse(argc, argv, options, logPath, link, controlPath)) {
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
    ControlFile control(controlPath);
    Serve(master, engine, options.garbage, control);
    close(master);
    return 0;
}
