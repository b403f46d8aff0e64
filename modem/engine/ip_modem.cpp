#include "modem/engine/ip_modem.h"

#include <algorithm>
#include <cctype>

#include "acctdb/acctdb.h"
#include "config/config_store.h"
#include "modem/engine/port_wait.h"
#include "modem/engine/telnet.h"
#include "platform/cancel.h"
#include "platform/clock.h"
#include "platform/ini.h"
#include "platform/text.h"

namespace modem {
namespace {

constexpr std::size_t kPromptBuffer = 2048;
constexpr std::size_t kExpectLimit = 1023;

std::string SectionKey(const std::string& section, const std::string& key) {
    return platform::GetPrivateProfileString(config::ConfigurationPath(), section, key, "", 500);
}

bool ContainsNoCase(const std::string& text, std::string_view what) {
    return platform::FindNoCase(text, what) != std::string_view::npos;
}

// The server may buffer the first bytes while the socket is still tuned for bulk
// transfer; every byte of a modem command should go out at once.
void TuneSocket(platform::TcpSocket& socket) {
    socket.SetSendBuffer(0);
    socket.SetNoDelay(true);
}

bool Prompt(ModemPort& port, std::string& buffer, std::string_view expect, unsigned seconds) {
    return WaitForPrompt(port, buffer, kPromptBuffer, expect, seconds) > 0;
}

// Login name, password and the prompt script; false after a message.
bool LogIn(const FailureSink& fail, ModemPort& port, const std::string& section) {
    std::string buffer;
    const std::string user = SectionKey(section, "Username");
    if (!user.empty()) {
        if (!Prompt(port, buffer, kLoginPrompts, 10)) {
            fail("IP Modem connection failed, waiting for login/username prompt");
            return false;
        }
        PortWrite(port, user + "\r\n");
    }
    const std::string password = SectionKey(section, "Password");
    if (!password.empty()) {
        if (!Prompt(port, buffer, kPasswordPrompts, 10)) {
            fail("IP Modem connection failed, waiting for password prompt");
            return false;
        }
        PortWrite(port, password + "\r\n");
    }
    for (unsigned n = 1; n <= 1000; ++n) {
        std::string waitFor = SectionKey(section, "IPModemInitWaitFor" + std::to_string(n));
        if (waitFor.empty()) break;
        UnescapeCrLf(waitFor);
        if (!Prompt(port, buffer, waitFor, 30)) {
            fail("IP Modem connection failed, waiting for prompt:  " + waitFor);
            return false;
        }
        std::string send = SectionKey(section, "IPModemInitSend" + std::to_string(n));
        if (!send.empty()) {
            UnescapeCrLf(send);
            PortWrite(port, send);
            platform::Clock().Sleep(1000);
        }
    }
    return true;
}

// Wakes the modem and checks that it answers; false after a message.
bool CheckModem(const FailureSink& fail, ModemPort& port, const std::string& section) {
    platform::ClockSource& clock = platform::Clock();
    clock.Sleep(3000);
    PortDrain(port);
    PortWrite(port, "\r");
    clock.Sleep(1000);
    PortWrite(port, "\r");
    clock.Sleep(1000);
    PortWrite(port, "ATE1\r");
    clock.Sleep(100);
    std::string buffer;
    const char* kNoOk = "IP Modem connection failed, waiting for prompt:  OK";
    if (!Prompt(port, buffer, "OK", 30)) {
        if (ContainsNoCase(buffer, "user") || ContainsNoCase(buffer, "login")) {
            fail("IP Modem requires username for connection.\r\nEdit ZELLA.INI, and add "
                 "Username= setting under [" + section + "] header.");
            return false;
        }
        fail(kNoOk);
    }
    PortWrite(port, "AT\r");
    if (!Prompt(port, buffer, "OK", 30)) {
        fail(kNoOk);
        return false;
    }
    return true;
}

}  // namespace

bool IsIpModemName(std::string_view name) {
    return platform::StartsWithNoCase(name, kIpModemPrefix);
}

bool ParseIpModemAddress(std::string_view text, std::string& host, unsigned& port) {
    std::size_t colon;
    if (!text.empty() && text[0] == '[') {
        const std::size_t close = text.find(']');
        if (close == std::string_view::npos) return false;
        host = std::string(text.substr(0, close + 1));
        if (close + 1 >= text.size() || text[close + 1] != ':') return false;
        colon = close + 1;
    } else {
        colon = text.find(':');
        if (colon == std::string_view::npos) return false;
        host = std::string(text.substr(0, colon));
    }
    unsigned long value = 0;
    std::size_t digits = 0;
    for (std::size_t i = colon + 1; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        value = value * 10 + static_cast<unsigned long>(text[i] - '0');
        if (++digits > 5) return false;
    }
    if (value == 0 || value > 65535) return false;
    port = static_cast<unsigned>(value);
    return true;
}

ModemPort ConnectIpModem(const std::string& name, const FailureSink& fail) {
    const std::string rest = name.size() > 10 ? name.substr(10) : std::string();
    std::string address;
    unsigned tcpPort = 0;
    if (!ParseIpModemAddress(rest, address, tcpPort)) {
        fail("Cannot parse port number for IP Modem - " + rest);
        return {};
    }
    const int fd = acctdb::IPV6OpenSocket(0, 0, 0);
    if (fd < 0) {
        fail("IP Modem Failure -- General Socket Error");
        return {};
    }
    platform::UniqueFd owned(fd);
    if (acctdb::IPV6ConnectToINetServer(fd, address, tcpPort) != 0) {
        fail("Cannot connect to IP Modem at " + address + ":" + std::to_string(tcpPort));
        return {};
    }
    SetSocketSeen();
    platform::TcpSocket socket(std::move(owned));  // non-blocking from here on
    TuneSocket(socket);
    ModemPort port(std::move(socket), name);
    const std::string section = config::ConnectionSectionName(name);
    if (!LogIn(fail, port, section) || !CheckModem(fail, port, section)) return {};
    return port;
}

std::size_t WaitForPrompt(ModemPort& port, std::string& buffer, std::size_t capacity,
                          std::string_view expect, unsigned timeoutSeconds) {
    const std::string alternatives(expect.substr(0, kExpectLimit));
    const std::size_t keep = std::max<std::size_t>(telnet::LongestAlternative(alternatives), 1) - 1;
    buffer.clear();
    if (capacity < 2) return 0;
    const std::uint64_t start = ClockSeconds();
    const std::uint64_t waitMs = std::max<std::uint64_t>(std::uint64_t{timeoutSeconds} * 1000, 50);
    bool negotiated = false;
    char chunk[kPromptBuffer];
    while (ClockSeconds() - start <= timeoutSeconds && !platform::CancelRequested()) {
        if (buffer.size() + 1 >= capacity) buffer.erase(0, buffer.size() - std::min(keep, buffer.size()));
        const std::size_t room = std::min(capacity - 1 - buffer.size(), sizeof chunk);
        const long n = ReadRequest(port, chunk, room, waitMs);
        if (n < 0) return 0;
        buffer.append(chunk, static_cast<std::size_t>(n));
        std::string replies;
        telnet::HandleCommands(buffer, negotiated, replies);
        for (std::size_t i = 0; i + 3 <= replies.size(); i += 3) PortWrite(port, replies.substr(i, 3));
        if (!buffer.empty() && telnet::MatchesExpectList(buffer, alternatives)) return buffer.size();
    }
    return 0;
}

}  // namespace modem
