// termserver: a telnet terminal server on loopback in front of a modem line, for tests.
//
//   termserver --modem=DEVICE [--baud=115200] [--user=NAME] [--password=PW]
//              [--login-prompt="Username: "] [--script=PROMPT=REPLY]...
//              [--unterminated-sb] [--flood] [--log=FILE]
//
// Prints the TCP port it listens on (127.0.0.1) on its first line, then serves one
// connection after another. Each session negotiates (IAC DO ECHO first), asks for the
// login and password when configured, runs the prompt script (sends PROMPT, waits for
// REPLY), and then relays bytes between the client and the modem device. Telnet
// commands from the client are logged as "IAC <verb> <option>" lines and never reach
// the modem; the modem's 255 bytes are doubled towards the client. Lines from the
// client end in CR LF, CR NUL, CR or LF, however the bytes are split into segments.
// --unterminated-sb sends the first login prompt inside a sub-negotiation that never
// ends; --flood sends 10 MB of text before the login.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "modem/engine/comm_ports.h"

namespace {

struct Config {
    std::string modem, user, password, loginPrompt = "Username: ", log;
    unsigned baud = 115200;
    std::vector<std::pair<std::string, std::string>> script;
    bool unterminatedSb = false, flood = false;
};

std::ofstream gLog;

void Log(const std::string& line) {
    if (gLog.is_open()) gLog << line << std::endl;
}

bool SendAll(int fd, const std::string& data) {
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = send(fd, data.data() + done, data.size() - done, MSG_NOSIGNAL);
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Client bytes without their telnet commands (logged instead).
class ClientReader {
public:
    explicit ClientReader(int fd) : fd_(fd) {}
    // The line just taken ended in CR whose partner has not arrived yet: a LF (or the
    // NUL of a bare telnet CR) coming next belongs to that line end, not to the data.
    void SwallowLineEndRest() { swallow_ = true; }
    // Appends what arrived within `ms`; false when the client went away.
    bool Read(std::string& data, int ms) {
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, ms) <= 0) return true;
        char buf[4096];
        const ssize_t n = recv(fd_, buf, sizeof buf, 0);
        if (n <= 0) return false;
        for (ssize_t i = 0; i < n; ++i) Take(static_cast<unsigned char>(buf[i]), data);
        return true;
    }

private:
    void Take(unsigned char c, std::string& data) {
        if (pending_.empty() && c != 255) {
            const bool rest = swallow_ && (c == '\n' || c == '\0');
            swallow_ = false;
            if (!rest) data += static_cast<char>(c);
            return;
        }
        pending_ += static_cast<char>(c);
        const auto verb = static_cast<unsigned char>(pending_.size() > 1 ? pending_[1] : 0);
        if (pending_.size() == 2 && verb == 255) {
            data += static_cast<char>(255);
            pending_.clear();
        } else if (pending_.size() == 2 && verb < 251) {
            Log("IAC " + std::to_string(verb));
            pending_.clear();
        } else if (pending_.size() == 3) {
            Log("IAC " + std::to_string(verb) + " " +
                std::to_string(static_cast<unsigned char>(pending_[2])));
            pending_.clear();
        }
    }
    int fd_;
    std::string pending_;
    bool swallow_ = false;
};

// Waits up to 30 s for `what` in the client's data (consumed up to and including it).
bool Expect(ClientReader& reader, std::string& data, const std::string& what) {
    for (int i = 0; i < 300; ++i) {
        const std::size_t at = data.find(what);
        if (at != std::string::npos) {
            data.erase(0, at + what.size());
            return true;
        }
        if (!reader.Read(data, 100)) return false;
    }
    return false;
}

// Takes one line ended by CR LF, CR NUL, CR or LF, waiting up to 30 s for it. The
// console sends a byte per request, so a CR LF may arrive in two reads: the LF that
// follows later must not read as an empty next line.
bool ReadLine(ClientReader& reader, std::string& data, std::string& line) {
    for (int i = 0; i < 300; ++i) {
        const std::size_t end = data.find_first_of("\r\n");
        if (end != std::string::npos) {
            line = data.substr(0, end);
            const bool cr = data[end] == '\r';
            data.erase(0, end + 1);
            if (cr && data.empty()) reader.SwallowLineEndRest();
            else if (cr && (data[0] == '\n' || data[0] == '\0')) data.erase(0, 1);
            return true;
        }
        if (!reader.Read(data, 100)) return false;
    }
    return false;
}

void Relay(int client, ClientReader& reader, std::string& data, const Config& cfg) {
    modem::ModemPort line = modem::TryOpenDevice(modem::ResolveCommPort(cfg.modem));
    if (!line.IsOpen()) {
        SendAll(client, "\r\nNO CARRIER\r\n");
        return;
    }
    modem::SetLineSettings(line, cfg.baud);
    for (;;) {
        if (!data.empty()) {
            if (write(line.Descriptor(), data.data(), data.size()) < 0) return;
            data.clear();
        }
        pollfd p[2] = {{client, POLLIN, 0}, {line.Descriptor(), POLLIN, 0}};
        if (poll(p, 2, 1000) < 0) return;
        if ((p[0].revents & (POLLIN | POLLHUP)) && !reader.Read(data, 0)) return;
        if (p[1].revents & (POLLIN | POLLHUP)) {
            char buf[4096];
            const ssize_t n = read(line.Descriptor(), buf, sizeof buf);
            if (n <= 0) return;
            std::string out;
            for (ssize_t i = 0; i < n; ++i) {
                out += buf[i];
                if (static_cast<unsigned char>(buf[i]) == 255) out += buf[i];
            }
            if (!SendAll(client, out)) return;
        }
    }
}

void Session(int client, const Config& cfg) {
    const std::string iac = "\xFF";
    SendAll(client, iac + "\xFD\x01" + iac + "\xFB\x01" + iac + "\xFD\x03");
    // The broken sub-negotiation carries the first login prompt and nothing follows it
    // until the client speaks: a prompt sent after it would reach the client in the
    // same read or in a later one depending on scheduling, and only the later read
    // shows it.
    if (cfg.unterminatedSb) SendAll(client, iac + "\xFA\x18\x01" + cfg.loginPrompt);
    if (cfg.flood) SendAll(client, std::string(10 * 1024 * 1024, 'x'));
    ClientReader reader(client);
    std::string data, line;
    if (!cfg.user.empty()) {
        // Like a login program, ask again after a wrong name, a few times.
        bool known = false;
        for (int attempt = 0; attempt < 5 && !known; ++attempt) {
            if (attempt > 0 || !cfg.unterminatedSb) SendAll(client, cfg.loginPrompt);
            if (!ReadLine(reader, data, line)) return;
            known = line == cfg.user;
        }
        if (!known) return;
    }
    if (!cfg.password.empty()) {
        SendAll(client, "Password: ");
        if (!ReadLine(reader, data, line) || line != cfg.password) {
            SendAll(client, "\r\nLogin incorrect\r\n");
            return;
        }
    }
    for (const auto& [prompt, reply] : cfg.script) {
        SendAll(client, prompt);
        if (!Expect(reader, data, reply)) return;
    }
    Relay(client, reader, data, cfg);
}

bool Parse(int argc, char** argv, Config& cfg) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&](const char* name, std::string& out) {
            const std::string prefix = std::string("--") + name + "=";
            if (a.rfind(prefix, 0) != 0) return false;
            out = a.substr(prefix.size());
            return true;
        };
        std::string v;
        if (value("modem", cfg.modem) || value("user", cfg.user) ||
            value("password", cfg.password) || value("login-prompt", cfg.loginPrompt) ||
            value("log", cfg.log)) continue;
        if (value("baud", v)) cfg.baud = static_cast<unsigned>(std::strtoul(v.c_str(), nullptr, 10));
        else if (value("script", v) && v.find('=') != std::string::npos)
            cfg.script.emplace_back(v.substr(0, v.find('=')), v.substr(v.find('=') + 1));
        else if (a == "--unterminated-sb") cfg.unterminatedSb = true;
        else if (a == "--flood") cfg.flood = true;
        else return false;
    }
    return !cfg.modem.empty() || cfg.unterminatedSb || cfg.flood;
}

}  // namespace

int main(int argc, char** argv) {
    Config cfg;
    if (!Parse(argc, argv, cfg)) {
        std::fprintf(stderr, "termserver: unknown or malformed option (--modem is needed)\n");
        return 2;
    }
    if (!cfg.log.empty()) gLog.open(cfg.log, std::ios::app);
    const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int one = 1;
    setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        listen(listener, 4) != 0 ||
        getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        std::perror("termserver: listen");
        return 1;
    }
    std::printf("%u\n", ntohs(addr.sin_port));
    std::fflush(stdout);
    for (;;) {
        const int client = accept(listener, nullptr, nullptr);
        if (client < 0) continue;
        // A modem's answers are a few bytes each; Nagle would hold them for the
        // client's delayed acknowledgement.
        setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        Session(client, cfg);
        close(client);
    }
}
