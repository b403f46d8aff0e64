// The Gateway service's submit interface over HTTP: messages accepted per second from
// CLIENTS programs (default 4), each on one kept-alive connection, every message written
// to the queue before its answer, one recipient per request or BATCH recipients per
// request; zellant's CPU per message against the clients'.
//
//   web_submit_bench [--messages N] [--clients C] [--batch B]
//
// The account has no credit file (no limit) and no SMSC is configured, so every accepted
// message stays in the queue: what is measured is the acceptance alone. Target: at least
// 2,000 messages per second, and below the clients' CPU per message.
#include <atomic>
#include <cstring>

#include "acctdb/acctdb.h"
#include "bench/gateway_bench_support.h"
#include "platform/tcp_socket.h"

namespace {

using namespace gwbench;

struct Options {
    int messages = 20'000, clients = 4, batch = 1;
};

// One kept-alive connection; false when an answer was not "200" with the lines expected.
// The server ends a kept-alive connection after 1,000 requests ("Connection: close"):
// the client then opens the next one.
bool Client(unsigned port, int first, int count, int batch, std::atomic<int>& accepted) {
    platform::TcpSocket socket = platform::TcpSocket::Connect("127.0.0.1", port, 5'000);
    if (!socket.IsOpen()) return false;
    std::string in;
    char buffer[65536];
    for (int i = 0; i < count; i += batch) {
        std::string body = "user=bench&password=pw&text=Benchmark+message&to=";
        const int n = std::min(batch, count - i);
        for (int k = 0; k < n; ++k) body += (k ? "," : "") + std::string("%2B4477") + std::to_string(10'000'000 + first + i + k);
        const std::string request = "POST /api/send HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: "
                                    "application/x-www-form-urlencoded\r\nContent-Length: " +
                                    std::to_string(body.size()) + "\r\n\r\n" + body;
        if (!socket.SendAll(request, 30'000).Ok()) return false;
        // The answer: head, then Content-Length bytes.
        std::size_t end = std::string::npos, length = 0;
        for (;;) {
            end = in.find("\r\n\r\n");
            if (end != std::string::npos) {
                const std::size_t at = in.find("Content-Length: ");
                length = at == std::string::npos || at > end ? 0 : std::strtoul(in.c_str() + at + 16, nullptr, 10);
                if (in.size() >= end + 4 + length) break;
            }
            const platform::IoResult got = socket.Receive(buffer, sizeof buffer, 30'000);
            if (!got.Ok() || got.bytes == 0) return false;
            in.append(buffer, got.bytes);
        }
        const std::string answer = in.substr(end + 4, length);
        const bool ok = in.rfind("HTTP/1.1 200 ", 0) == 0;
        if (!ok) {
            std::fprintf(stderr, "refused: %s\n", in.substr(0, 200).c_str());
            return false;
        }
        const bool closing = in.substr(0, end).find("Connection: close") != std::string::npos;
        in.erase(0, end + 4 + length);
        if (closing && !(socket = platform::TcpSocket::Connect("127.0.0.1", port, 5'000)).IsOpen()) return false;
        for (std::size_t at = answer.find("OK "); at != std::string::npos; at = answer.find("\nOK ", at + 1)) ++accepted;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--messages")) o.messages = std::atoi(argv[i + 1]);
        if (!std::strcmp(argv[i], "--clients")) o.clients = std::max(1, std::atoi(argv[i + 1]));
        if (!std::strcmp(argv[i], "--batch")) o.batch = std::max(1, std::atoi(argv[i + 1]));
    }
    Zellant z("web");
    const unsigned port = FreePort();
    if (!z.Valid() || !WriteText(z.Dir() + "ZELLA.INI", "[ZELLA]\r\nWebPort=" + std::to_string(port) + "\r\n")) return 1;
    setenv("ZELLA_DATA_DIR", z.Dir().c_str(), 1);
    acctdb::UserRecord user;
    user.SetUserName("bench");
    user.SetPassword("pw");
    acctdb::UserHandle store = 0;
    if (!acctdb::SMSOpenUserFile(&store, acctdb::GENERIC_READ | acctdb::GENERIC_WRITE) || !acctdb::SMSAddUser(store, user))
        return 1;
    acctdb::SMSCloseUserFile(store);
    if (!z.Start() || !WaitFor([&] { return Listening(port); }, 10'000)) {
        std::fprintf(stderr, "zellant did not start\n");
        return 1;
    }
    std::atomic<int> accepted{0};
    std::atomic<bool> failed{false};
    const double cpu0 = bench::CpuMs(), service0 = bench::ProcessCpu(z.Pid()), wall0 = bench::WallMs();
    std::vector<std::thread> clients;
    const int each = o.messages / o.clients;
    for (int c = 0; c < o.clients; ++c)
        clients.emplace_back([&, c] {
            if (!Client(port, c * each, each, o.batch, accepted)) failed = true;
        });
    for (auto& t : clients) t.join();
    const double wall = (bench::WallMs() - wall0) / 1e3;
    const double clientCpu = (bench::CpuMs() - cpu0) / 1e3, serviceCpu = bench::ProcessCpu(z.Pid()) - service0;
    const std::size_t files = CountFiles(z.Dir() + "Q/USER__bench/", ".REQ");
    std::printf("web submit: %d clients, %d recipient(s) per request: %d accepted in %.2f s = %.0f messages/s\n",
                o.clients, o.batch, accepted.load(), wall, accepted / wall);
    std::printf("  CPU per message: zellant %.1f us, clients %.1f us; %zu request files in the queue\n",
                serviceCpu * 1e6 / std::max(1, accepted.load()), clientCpu * 1e6 / std::max(1, accepted.load()), files);
    z.Stop();
    return failed || files != static_cast<std::size_t>(accepted.load()) ? 1 : 0;
}
