// TCP client connections for every network test: a bounded connect by host and port
// (names, IPv4 and IPv6 literals, bracketed or not), bounded sends and receives, frame
// reads up to a delimiter or a byte count, and the graceful close every test ends with.
// The descriptor is non-blocking; every wait is bounded and cancellable.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/io_wait.h"
#include "platform/unique_fd.h"

namespace platform {

// A stream socket, IPv6 dual-stack where the system has IPv6, else IPv4, bound to
// `localPort` (0: any) and not connected. Invalid on failure (`error` receives errno).
UniqueFd OpenStreamSocket(unsigned localPort, int* error = nullptr);

// Address family of OpenStreamSocketOf: dual-stack IPv6 (IPv4 reaches it mapped), or
// one family alone for peers whose link code builds plain IPv4 or IPv6 addresses.
enum class AddressFamily { Dual, IPv4, IPv6 };

// A stream socket of `family`, unbound and not connected. Invalid on failure (`error`
// receives errno).
UniqueFd OpenStreamSocketOf(AddressFamily family, int* error = nullptr);

// Binds the unbound stream socket `fd` to `localPort` (1..65535) on every local address,
// reusable at once after an earlier close. Returns 0 or the errno (EINVAL for port 0 or
// above 65535, EADDRINUSE, EACCES, ...).
int BindStreamSocket(int fd, unsigned localPort);

// While it lives, a cancel of the calling thread's long operation shuts the socket down
// in both directions, so that code blocked on it in a way that does not look at the
// cancel token (a loaded link library's own reads) returns at once. Without a long
// operation on the calling thread it does nothing.
class ShutdownOnCancel {
public:
    explicit ShutdownOnCancel(int fd);
    ~ShutdownOnCancel();
    ShutdownOnCancel(const ShutdownOnCancel&) = delete;
    ShutdownOnCancel& operator=(const ShutdownOnCancel&) = delete;

private:
    struct Watch;
    std::unique_ptr<Watch> watch_;
};

// Connects the open stream socket `fd` to `host`:`port`: resolves the name and tries
// each address in turn, each attempt bounded by `timeoutMs`; an IPv4 address reaches a
// dual-stack socket as ::ffff:a.b.c.d. The socket keeps its blocking mode. Returns 0 or
// the errno of the last attempt: ECONNREFUSED, ETIMEDOUT, EHOSTUNREACH (name not
// resolved), EAGAIN (resolver not answering), ECANCELED, ENOTSOCK.
int ConnectStreamSocket(int fd, const std::string& host, unsigned port, std::uint64_t timeoutMs);

class TcpSocket {
public:
    TcpSocket() = default;
    // Adopts a connected stream socket; made non-blocking.
    explicit TcpSocket(UniqueFd fd);

    // Opens a socket and connects it (see ConnectStreamSocket; `host` without brackets
    // or with them). A closed socket on failure, `error` receiving the errno.
    static TcpSocket Connect(const std::string& host, unsigned port, std::uint64_t timeoutMs,
                             int* error = nullptr);

    bool IsOpen() const { return fd_.Valid(); }
    int Descriptor() const { return fd_.Get(); }
    // Closes at once (an unsent tail may be lost; see CloseGracefully).
    void Close();

    // Sends every byte of small writes at once instead of gathering them.
    void SetNoDelay(bool on);
    // Sets the kernel send buffer (the kernel's minimum applies).
    void SetSendBuffer(int bytes);

    // Waits up to `ms` for the socket to become readable or writable (cancellable).
    WaitStatus Wait(IoEvent event, std::uint64_t ms) const;

    // Sends what fits now, never waiting: Ok with the bytes (0 = no room), Closed when
    // the peer reset the connection, Error otherwise.
    IoResult SendSome(const char* data, std::size_t size);
    // Sends every byte of `data`, within `timeoutMs` in all: Ok, or TimedOut, Cancelled,
    // Closed or Error with the bytes sent before.
    IoResult SendAll(std::string_view data, std::uint64_t timeoutMs);

    // Takes what has arrived, never waiting: Ok with bytes (0 = nothing yet), Closed
    // when the peer has closed and nothing is left, Error otherwise.
    IoResult ReceiveAvailable(char* data, std::size_t size);
    // Waits up to `timeoutMs` for the first byte, then takes up to `size` bytes.
    IoResult Receive(char* data, std::size_t size, std::uint64_t timeoutMs);

    // Appends to `frame` until it ends with `delimiter` (empty delimiter: until it holds
    // exactly `maxBytes`), within `timeoutMs` in all; bytes that arrive after the end are
    // kept for the next receive. Ok when the delimiter or the count was reached (`bytes`
    // = frame size); Error EMSGSIZE when `maxBytes` came without the delimiter;
    // TimedOut, Cancelled, Closed (the peer closed mid-frame) or Error otherwise, the
    // partial frame left in `frame`.
    IoResult ReceiveUntil(std::string& frame, std::string_view delimiter, std::size_t maxBytes,
                          std::uint64_t timeoutMs);

    // Ends the sending direction; the peer reads end-of-stream after what was sent.
    void ShutdownSend();
    // Reads and discards until the peer closes or `timeoutMs` passes; the bytes thrown.
    std::size_t Drain(std::uint64_t timeoutMs);
    // Shuts down sending, drains for up to `drainMs` so the peer sees everything sent
    // before the close, and closes.
    void CloseGracefully(std::uint64_t drainMs = 5000);

private:
    std::size_t TakePending(char* data, std::size_t size);

    UniqueFd fd_;
    std::string pending_;  // received past the end of the last frame
};

}  // namespace platform
