// Waiting on a modem port under platform::Clock(). Internal to modem/.
#pragma once

#include <cstdint>

#include "modem/engine/port.h"
#include "platform/io_wait.h"

namespace modem {

enum class WaitResult { Ready, TimedOut, Error };

// Waits until the port can be read or written (a hang-up or error also counts as Ready,
// so the following read or write reports it), or until `ms` of clock time have passed.
// A cancelled operation ends the wait as a time-out. `grace` false: under a virtual
// clock, check only what is already there before charging the time.
WaitResult WaitFor(ModemPort& port, platform::IoEvent event, std::uint64_t ms,
                   bool grace = true);

// Milliseconds of the process's steady clock (real time, for the virtual-clock grace).
std::uint64_t RealMillis();

// Whether platform::Clock() advances with real time (false for a test's fake clock).
bool ClockFollowsRealTime();

// Whole seconds of the clock's time of day.
std::uint64_t ClockSeconds();

}  // namespace modem
