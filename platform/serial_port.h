// A serial line (or a pseudo-terminal standing in for one): opened non-blocking with an
// exclusive advisory lock, set to raw 8N1, read and written without ever blocking
// longer than asked. The lock is the one the gateway service keeps on the modems it
// drives, so two programs never talk to one modem at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/io_wait.h"
#include "platform/unique_fd.h"

namespace platform {

class SerialPort {
public:
    SerialPort() = default;
    // Adopts an open line (for example a pseudo-terminal's slave); made non-blocking.
    explicit SerialPort(UniqueFd fd);

    // Opens `path` read/write, non-blocking, without making it the controlling terminal,
    // and locks it exclusively. A closed port on failure; `error` receives errno, EBUSY
    // when another holder has the device locked.
    static SerialPort Open(const std::string& path, int* error = nullptr);

    bool IsOpen() const { return fd_.Valid(); }
    int Descriptor() const { return fd_.Get(); }
    // Closes the line, which also drops the lock.
    void Close() { fd_.Reset(); }

    // True when the descriptor is a terminal whose line state can be read.
    bool IsLine() const;

    // Raw 8N1 at `bitsPerSecond`, no flow control, reads that never wait in the driver.
    // False (line unchanged) for a speed that is not a standard serial speed or a
    // descriptor that is not a line.
    bool Configure(unsigned bitsPerSecond);

    // Waits up to `ms` for the line to become readable or writable (cancellable).
    WaitStatus Wait(IoEvent event, std::uint64_t ms) const;

    // Takes what the line holds now, never waiting: Ok with the bytes (0 = nothing yet,
    // which on a line set up by Configure is not a hang-up), Closed once the other side
    // hung up, Error otherwise.
    IoResult ReadAvailable(char* data, std::size_t size);

    // Waits up to `ms` for the first byte, then takes what is there: Ok with bytes,
    // TimedOut, Cancelled, Closed or Error.
    IoResult Read(char* data, std::size_t size, std::uint64_t ms);

    // Writes what fits now, never waiting: Ok with the bytes written (0 = line full),
    // Closed when the line is gone, Error otherwise.
    IoResult WriteSome(const char* data, std::size_t size);

    // Writes every byte, each wait for room bounded by `ms`: Ok, or TimedOut, Cancelled,
    // Closed or Error with the bytes that went out before.
    IoResult WriteAll(const char* data, std::size_t size, std::uint64_t ms);

    // The speed set on the line behind `fd` in bits per second (0 when unknown); for the
    // simulators, which read the speed the console chose from their side of the line.
    static unsigned LineSpeed(int fd);

private:
    UniqueFd fd_;
};

}  // namespace platform
