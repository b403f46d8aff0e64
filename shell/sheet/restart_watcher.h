// The restart watcher: a thread that runs while the sheet is open. Every 500 ms it ends
// the process when the exit file appears in the program directory, relaunches the
// console when ConfigurationUpdateTriggerRestart grows past the baseline, and keeps the
// outbound queue size current (every 3 seconds with CacheQSize, else every 10).
#pragma once

#include <cstdint>

namespace shell {

// What one round of the watcher found.
enum class WatchResult { Continue, Restart };

// What the watcher remembers between rounds: when it last counted the queue.
struct QueueRecount {
    bool counted = false;
    std::uint64_t lastCountMs = 0;
};

// One round of the watcher without the exit file and the sleep: Restart when
// ConfigurationUpdateTriggerRestart compares greater than the baseline (ignoring case);
// otherwise recounts the outbound queue into the console state on the first round and
// whenever the period since the last count has passed: 3 seconds while CacheQSize is a
// yes value, 10 otherwise, read again every round so a change applies while running.
WatchResult WatchRound(QueueRecount& recount);

// Starts the watcher thread (detached; it reports its end through watcherEnded).
void StartRestartWatcher();

// Asks the watcher to stop and waits at most 30 seconds for it.
void StopRestartWatcher();

}  // namespace shell
