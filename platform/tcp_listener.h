// Listening TCP sockets for the gateway's servers: one listener per port (dual-stack
// where the system has IPv6, or one address), and non-blocking accepts that tell who
// connected.
#pragma once

#include <string>

#include "platform/unique_fd.h"

namespace platform {

// A non-blocking listening socket on `port` (1..65535) of `address` ("" = every local
// address, IPv6 dual-stack when available), reusable at once after an earlier close.
// Invalid on failure, `error` receiving the errno (EADDRINUSE, EACCES, EINVAL, ...).
UniqueFd ListenStream(const std::string& address, unsigned port, int backlog, int* error = nullptr);

// The port a listening socket is bound to (useful after binding port 0 in tests); 0 on error.
unsigned ListeningPort(int listenFd);

// Takes one waiting connection off a listener, made non-blocking; invalid when none is
// waiting (or the accept failed: `error` receives the errno, EAGAIN for none waiting).
// `peer` receives the client's address as text ("127.0.0.1", "::1"; an IPv4 client of
// a dual-stack listener as "127.0.0.1", not its mapped form).
UniqueFd AcceptStream(int listenFd, std::string& peer, int* error = nullptr);

// Limits what the kernel buffers for sending on a socket (bytes; the kernel's minimum applies).
void SetSocketSendBuffer(int fd, int bytes);

// Shuts a socket down in both directions: whoever waits on it wakes up.
void ShutdownSocket(int fd);

// A connected pair of local stream sockets (both blocking); false when none could be made.
bool StreamPair(UniqueFd& a, UniqueFd& b);

// Waits up to `ms` for input (or a hang-up) on `a` or `b`: bit 1 for `a`, bit 2 for `b`,
// 0 when nothing came.
unsigned WaitForInput(int a, int b, int ms);

// True when `address` is a loopback address (127.0.0.0/8 or ::1), as AcceptStream writes it.
bool IsLoopbackAddress(const std::string& address);

}  // namespace platform
