#include "modem/port_wait.h"

#include <poll.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <mutex>
#include <thread>

#include "platform/clock.h"

namespace modem {
namespace {

std::atomic<std::uint64_t> gGraceMs{200};

int PollOnce(int fd, short events, std::uint64_t ms, short* revents) {
    pollfd p{fd, events, 0};
    for (;;) {
        const int r = poll(&p, 1, static_cast<int>(std::min<std::uint64_t>(ms, 60'000)));
        if (r < 0 && errno == EINTR) continue;
        *revents = p.revents;
        return r;
    }
}

WaitResult FromPoll(int r, short revents) {
    if (r < 0) return WaitResult::Error;
    if (r == 0) return WaitResult::TimedOut;
    if (revents & POLLNVAL) return WaitResult::Error;
    return WaitResult::Ready;  // data, hang-up or error: the next request reports which
}

}  // namespace

void SetVirtualTimeGrace(std::uint64_t ms) { gGraceMs = ms; }

std::uint64_t RealMillis() {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

std::uint64_t ClockSeconds() {
    return static_cast<std::uint64_t>(platform::Clock().UnixMillis() / 1000);
}

bool ClockFollowsRealTime() {
    static std::mutex mutex;
    static platform::ClockSource* known = nullptr;
    static bool follows = true;
    std::lock_guard<std::mutex> lock(mutex);
    platform::ClockSource* clock = &platform::Clock();
    if (clock == known) return follows;
    // A clock that is told about sleeps but not about real time stands still while we
    // wait a moment; the real clock moves with us.
    const std::uint64_t real0 = RealMillis();
    const std::uint64_t tick0 = clock->TickCount();
    std::this_thread::sleep_for(std::chrono::milliseconds(4));
    const std::uint64_t moved = clock->TickCount() - tick0;
    const std::uint64_t real = RealMillis() - real0;
    follows = moved * 2 >= real;
    known = clock;
    return follows;
}

WaitResult WaitFor(ModemPort& port, short events, std::uint64_t ms, bool grace) {
    short revents = 0;
    platform::ClockSource& clock = platform::Clock();
    if (!ClockFollowsRealTime()) {
        const std::uint64_t now = RealMillis();
        const std::uint64_t graceEnd = port.LastActivity() + gGraceMs.load();
        const std::uint64_t realWait = grace && graceEnd > now ? graceEnd - now : 0;
        const int r = PollOnce(port.Descriptor(), events, realWait, &revents);
        if (r != 0) return FromPoll(r, revents);
        clock.Sleep(ms);
        return WaitResult::TimedOut;
    }
    const std::uint64_t start = clock.TickCount();
    for (;;) {
        const std::uint64_t elapsed = clock.TickCount() - start;
        const std::uint64_t left = elapsed >= ms ? 0 : ms - elapsed;
        const int r = PollOnce(port.Descriptor(), events, std::min<std::uint64_t>(left, 1000),
                               &revents);
        if (r != 0 || left == 0) return FromPoll(r, revents);
    }
}

}  // namespace modem
