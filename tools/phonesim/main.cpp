// phonesim: a stand-in network-modem phone for tests, an HTTP server on 127.0.0.1 that
// answers "GET /init" with the phone's identity and MMS settings.
//
//   phonesim [--port=N] [--name=TEXT] [--id=TEXT] [--mms-url=TEXT] [--mms-proxy=TEXT]
//            [--omit=name|id|mmsurl|mmsproxy]... [--slow=MS] [--close-early]
//            [--big-body] [--lie-length=N] [--html] [--no-header-end]
//            [--raw-header=LINE]... [--log=FILE]
//
// Prints the port it listens on, on its first line, then serves one connection after
// another until killed. --slow waits MS milliseconds before every 16-byte piece of the
// answer; --close-early closes after half of the headers; --big-body sends a 10 MB body
// with its true Content-length; --lie-length announces N bytes of body but sends only
// what the headers say plus 10 bytes, then keeps the connection open for 3 seconds;
// --html answers an HTML page without the identity headers; --no-header-end sends the
// headers without the blank line and closes; --raw-header adds a header line as given
// (C escapes \r \n \t \xHH are decoded, to inject control characters). Every request
// received is appended to the log file, byte for byte.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "tools/phonesim/c_escapes.h"

namespace {

struct Config {
    unsigned port = 0;
    std::string name = "Pixel 7", id = "a1b2c3d4e5f6", mmsUrl = "http://mms.example.net/mms",
                mmsProxy = "10.1.2.3:8080", log;
    bool omitName = false, omitId = false, omitUrl = false, omitProxy = false;
    int slowMs = 0;
    bool closeEarly = false, bigBody = false, html = false, noHeaderEnd = false;
    long lieLength = -1;
    std::vector<std::string> rawHeaders;
};

bool Option(const std::string& arg, const char* name, std::string* value) {
    const std::string prefix = std::string("--") + name + "=";
    if (arg.rfind(prefix, 0) != 0) return false;
    *value = arg.substr(prefix.size());
    return true;
}

bool Parse(int argc, char** argv, Config* config) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        std::string v;
        if (Option(arg, "port", &v)) config->port = static_cast<unsigned>(std::stoul(v));
        else if (Option(arg, "name", &v)) config->name = v;
        else if (Option(arg, "id", &v)) config->id = v;
        else if (Option(arg, "mms-url", &v)) config->mmsUrl = v;
        else if (Option(arg, "mms-proxy", &v)) config->mmsProxy = v;
        else if (Option(arg, "slow", &v)) config->slowMs = std::stoi(v);
        else if (Option(arg, "lie-length", &v)) config->lieLength = std::stol(v);
        else if (Option(arg, "raw-header", &v)) config->rawHeaders.push_back(phonesim::DecodeEscapes(v));
        else if (Option(arg, "log", &v)) config->log = v;
        else if (Option(arg, "omit", &v)) {
            if (v == "name") config->omitName = true;
            else if (v == "id") config->omitId = true;
            else if (v == "mmsurl") config->omitUrl = true;
            else if (v == "mmsproxy") config->omitProxy = true;
            else return false;
        } else if (arg == "--close-early") config->closeEarly = true;
        else if (arg == "--big-body") config->bigBody = true;
        else if (arg == "--html") config->html = true;
        else if (arg == "--no-header-end") config->noHeaderEnd = true;
        else return false;
    }
    return true;
}

bool SendAll(int fd, const char* data, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = send(fd, data + done, size - done, MSG_NOSIGNAL);
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool SendSlowly(int fd, const std::string& data, int slowMs) {
    if (slowMs <= 0) return SendAll(fd, data.data(), data.size());
    for (std::size_t at = 0; at < data.size(); at += 16) {
        std::this_thread::sleep_for(std::chrono::milliseconds(slowMs));
        if (!SendAll(fd, data.data() + at, std::min<std::size_t>(16, data.size() - at))) return false;
    }
    return true;
}

// Reads the request up to its blank line (at most 64 KB, 10 s).
std::string ReadRequest(int fd) {
    std::string request;
    char buf[4096];
    while (request.find("\r\n\r\n") == std::string::npos && request.size() < 65536) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 10000) <= 0) break;
        const ssize_t n = recv(fd, buf, sizeof buf, 0);
        if (n <= 0) break;
        request.append(buf, static_cast<std::size_t>(n));
    }
    return request;
}

std::string Headers(const Config& c) {
    if (c.html) {
        return "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: 60\r\n\r\n"
               "<html><body>X-QuvSMS-DeviceName: fake</body></html>        ";
    }
    std::string h = "HTTP/1.1 200 OK\r\nServer: phonesim\r\n";
    if (!c.omitName) h += "X-QuvSMS-DeviceName: " + c.name + "\r\n";
    if (!c.omitId) h += "X-QuvSMS-DeviceID: " + c.id + "\r\n";
    if (!c.omitUrl) h += "X-QuvSMS-MMSURL: " + c.mmsUrl + "\r\n";
    if (!c.omitProxy) h += "X-QuvSMS-MMSProxy: " + c.mmsProxy + "\r\n";
    for (const std::string& raw : c.rawHeaders) h += raw + "\r\n";
    return h;
}

void Serve(int fd, const Config& c) {
    const std::string request = ReadRequest(fd);
    if (!c.log.empty()) std::ofstream(c.log, std::ios::app | std::ios::binary) << request;
    std::string head = Headers(c);
    if (c.html) {
        SendSlowly(fd, head, c.slowMs);
        return;
    }
    if (c.closeEarly) {
        SendAll(fd, head.data(), head.size() / 2);
        return;
    }
    if (c.noHeaderEnd) {
        SendSlowly(fd, head, c.slowMs);
        return;
    }
    if (c.bigBody) {
        const std::size_t size = 10u * 1024 * 1024;
        head += "Content-length: " + std::to_string(size) + "\r\n\r\n";
        if (!SendAll(fd, head.data(), head.size())) return;
        const std::string block(65536, 'x');
        for (std::size_t sent = 0; sent < size; sent += block.size()) {
            if (!SendAll(fd, block.data(), block.size())) return;
        }
        return;
    }
    if (c.lieLength >= 0) {
        head += "Content-length: " + std::to_string(c.lieLength) + "\r\n\r\n0123456789";
        SendAll(fd, head.data(), head.size());
        std::this_thread::sleep_for(std::chrono::seconds(3));
        return;
    }
    head += "Content-length: 0\r\n\r\n";
    SendSlowly(fd, head, c.slowMs);
}

}  // namespace

int main(int argc, char** argv) {
    Config config;
    if (!Parse(argc, argv, &config)) {
        std::fprintf(stderr, "phonesim: bad option\n");
        return 2;
    }
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    const int on = 1;
    setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(config.port));
    socklen_t length = sizeof address;
    if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener, 8) != 0 ||
        getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        std::perror("phonesim");
        return 1;
    }
    std::printf("%u\n", ntohs(address.sin_port));
    std::fflush(stdout);
    for (;;) {
        const int fd = accept(listener, nullptr, nullptr);
        if (fd < 0) continue;
        Serve(fd, config);
        close(fd);
    }
}
