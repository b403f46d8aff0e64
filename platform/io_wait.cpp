#include "platform/io_wait.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

#include "platform/cancel.h"

namespace platform {

std::uint64_t SteadyMillis() {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

WaitStatus WaitForIo(int fd, IoEvent event, std::uint64_t ms) {
    if (fd < 0) return WaitStatus::Error;
    const short events = event == IoEvent::Readable ? POLLIN : POLLOUT;
    const std::uint64_t deadline = SteadyMillis() + ms;
    for (;;) {
        if (CancelRequested()) return WaitStatus::Cancelled;
        const std::uint64_t now = SteadyMillis();
        const std::uint64_t left = now >= deadline ? 0 : deadline - now;
        pollfd p{fd, events, 0};
        const int r = poll(&p, 1, static_cast<int>(std::min(left, kCancelSliceMs)));
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) return WaitStatus::Error;
        if (r > 0) return (p.revents & POLLNVAL) ? WaitStatus::Error : WaitStatus::Ready;
        if (left == 0) return WaitStatus::TimedOut;
    }
}

}  // namespace platform
