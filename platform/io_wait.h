// Bounded, cancellable waits on a descriptor, shared by the serial port and the TCP
// socket services. Waits run on real time: they serve real peers (a line, a server).
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

enum class IoEvent { Readable, Writable };

enum class WaitStatus {
    Ready,      // the event, or a hang-up or error that the next read or write reports
    TimedOut,   // nothing within the bound
    Cancelled,  // the calling thread's long operation was cancelled (platform/cancel.h)
    Error,      // the descriptor is not open
};

// Waits up to `ms` milliseconds until `fd` is ready for `event`, looking at the calling
// thread's cancel token at least every kCancelSliceMs. `ms` 0 only looks.
WaitStatus WaitForIo(int fd, IoEvent event, std::uint64_t ms);

// The outcome of one read or write of a service.
enum class IoStatus {
    Ok,         // `bytes` moved (0 when nothing could move without waiting)
    TimedOut,   // the bound passed; `bytes` tells what moved before it
    Cancelled,  // the operation was cancelled; `bytes` tells what moved before it
    Closed,     // the other side hung up or closed; `bytes` tells what moved before it
    Error,      // a system error (`error` holds errno)
};

struct IoResult {
    IoStatus status = IoStatus::Ok;
    std::size_t bytes = 0;
    int error = 0;
    bool Ok() const { return status == IoStatus::Ok; }
};

// Milliseconds of the steady clock (real time, unaffected by platform::Clock()).
std::uint64_t SteadyMillis();

}  // namespace platform
