// Random bytes from a terminal server into the prompt wait and its telnet handling.
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "modem/ip_modem.h"
#include "modem/engine/telnet.h"
#include "platform/clock.h"
#include "ui/host.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static platform::FakeClock clock;
    platform::SetClock(&clock);
    modem::SetVirtualTimeGrace(0);

    // The pure handling, fed in two pieces as reads would deliver it.
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::size_t cut = size == 0 ? 0 : data[0] % (size + 1);
    std::string buffer = input.substr(0, cut), replies;
    bool negotiated = false;
    modem::telnet::HandleCommands(buffer, negotiated, replies);
    buffer += input.substr(cut);
    modem::telnet::HandleCommands(buffer, negotiated, replies);
    if (replies.size() % 3 != 0) __builtin_trap();
    (void)modem::telnet::MatchesExpectList(buffer, input.substr(0, 40));

    // The whole wait over a real socket whose peer sent the bytes and closed.
    if (size > 60000) return 0;
    int fds[2];
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0) return 0;
    if (write(fds[1], data, size) != static_cast<ssize_t>(size)) {
        close(fds[0]);
        close(fds[1]);
        return 0;
    }
    shutdown(fds[1], SHUT_WR);
    fcntl(fds[0], F_SETFL, fcntl(fds[0], F_GETFL, 0) | O_NONBLOCK);
    modem::ModemPort port(fds[0], modem::ModemPort::Kind::Socket, "fuzz");
    std::string received;
    const std::size_t got = modem::WaitForPrompt(port, received, 256, modem::kLoginPrompts, 2);
    if (got != 0 && got != received.size()) __builtin_trap();
    if (received.size() >= 256) __builtin_trap();
    close(fds[1]);
    return 0;
}
