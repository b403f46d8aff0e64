#include "modem/engine/port_wait.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "platform/clock.h"

namespace modem {
namespace {

std::atomic<std::uint64_t> gGraceMs{200};

WaitResult FromWait(platform::WaitStatus w) {
    switch (w) {
        case platform::WaitStatus::Ready: return WaitResult::Ready;
        case platform::WaitStatus::Error: return WaitResult::Error;
        case platform::WaitStatus::TimedOut:
        case platform::WaitStatus::Cancelled: break;
    }
    return WaitResult::TimedOut;
}

platform::WaitStatus WaitOn(ModemPort& port, platform::IoEvent event, std::uint64_t ms) {
    switch (port.GetKind()) {
        case ModemPort::Kind::Serial: return port.Line().Wait(event, ms);
        case ModemPort::Kind::Socket: return port.Socket().Wait(event, ms);
        case ModemPort::Kind::None: break;
    }
    return platform::WaitStatus::Error;
}

}  // namespace

void SetVirtualTimeGrace(std::uint64_t ms) { gGraceMs = ms; }

std::uint64_t RealMillis() { return platform::SteadyMillis(); }

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

WaitResult WaitFor(ModemPort& port, platform::IoEvent event, std::uint64_t ms, bool grace) {
    if (!ClockFollowsRealTime()) {
        const std::uint64_t now = RealMillis();
        const std::uint64_t graceEnd = port.LastActivity() + gGraceMs.load();
        const std::uint64_t realWait = grace && graceEnd > now ? graceEnd - now : 0;
        const platform::WaitStatus w = WaitOn(port, event, realWait);
        if (w == platform::WaitStatus::Ready || w == platform::WaitStatus::Error)
            return FromWait(w);
        if (w == platform::WaitStatus::TimedOut) platform::Clock().Sleep(ms);
        return WaitResult::TimedOut;
    }
    return FromWait(WaitOn(port, event, ms));
}

}  // namespace modem
