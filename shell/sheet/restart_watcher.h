// The restart watcher: a thread that runs while the sheet is open. Every 500 ms it ends
// the process when the exit file appears in the program directory, relaunches the
// console when ConfigurationUpdateTriggerRestart grows past the baseline, and keeps the
// outbound queue size current (every 3 seconds with CacheQSize, else every 10).
#pragma once

namespace shell {

// Starts the watcher thread (detached; it reports its end through watcherEnded).
void StartRestartWatcher();

// Asks the watcher to stop and waits at most 30 seconds for it.
void StopRestartWatcher();

}  // namespace shell
