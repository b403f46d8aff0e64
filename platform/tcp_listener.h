// Listening TCP sockets for the services' servers: bound to one local address or to all,
// accepting connections together with the peer's address as text.
#pragma once

#include <string>

#include "platform/unique_fd.h"

namespace platform {

// A listening, non-blocking stream socket on `port` of `address` ("" = every local
// address, IPv6 dual-stack where the system has it; else an IPv4 or IPv6 literal).
// Invalid on failure with `error` set to the errno (EADDRINUSE, EACCES, EINVAL for a
// malformed address or a port outside 1..65535).
UniqueFd ListenStream(const std::string& address, unsigned port, int* error = nullptr);

// The local port a listening socket is bound to (0 when unknown).
unsigned LocalPort(int fd);

// Takes one waiting connection from a listening socket, blocking mode, close-on-exec.
// Invalid when none is waiting. `peer` receives the peer's address: dotted IPv4 (also
// for IPv4 reaching a dual-stack socket) or IPv6 text.
UniqueFd AcceptStream(int listenFd, std::string& peer);

// True when `address` is a loopback address (127.0.0.0/8 or ::1), as AcceptStream writes it.
bool IsLoopbackAddress(const std::string& address);

}  // namespace platform

namespace platform {

// Shuts a connected socket down in both directions, so that a thread blocked on it
// returns at once; the descriptor stays open for its owner to close.
void ShutdownStream(int fd);

}  // namespace platform
