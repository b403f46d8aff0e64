// IP modems: a GSM modem behind a TCP terminal server, named "IPModem - host:port".
// The console and the service connect, answers the server's telnet negotiation, logs in, runs the
// prompt script of the connection's section in ZELLA.INI and checks that the modem
// answers AT.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "modem/engine/port.h"

namespace modem {

inline constexpr const char* kIpModemPrefix = "IPModem - ";
inline constexpr const char* kLoginPrompts = "Username+++User name+++User+++Login";
inline constexpr const char* kPasswordPrompts = "Password+++pass";

// True when the name begins with "IPModem - " (ignoring case).
bool IsIpModemName(std::string_view name);

// Splits the text after the prefix: "10.0.0.5:23", "[fe80::1]:2001" (the brackets stay
// in the host). False when the port is missing, zero or not a port number.
bool ParseIpModemAddress(std::string_view text, std::string& host, unsigned& port);

// Receives each failure in the operator's words, as it happens (a missing first "OK" is
// reported and the login goes on).
using FailureSink = std::function<void(const std::string& text)>;

// Connects and logs in; returns the socket as a port that answers AT, or a closed port
// after reporting the failure to `fail`.
ModemPort ConnectIpModem(const std::string& name, const FailureSink& fail);

// Reads into `buffer` (which starts empty; at most capacity-1 bytes are kept) until one
// alternative of `expect` ("+++"-separated) occurs in the data, answering the telnet
// commands that arrive at its front. Returns the number of bytes held when an
// alternative was found; 0 on time-out or read error. When the buffer fills without a
// match the oldest bytes make room, so a prompt after a long banner is still found.
std::size_t WaitForPrompt(ModemPort& port, std::string& buffer, std::size_t capacity,
                          std::string_view expect, unsigned timeoutSeconds);

}  // namespace modem
