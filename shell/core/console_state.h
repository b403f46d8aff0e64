// Process-wide state of the console, set up at start-up and read by the pages.
// The restart watcher thread shares only the atomics and the guarded baseline below.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

namespace shell {

struct ConsoleState {
    std::string manualPath;        // ManualPath() of the program directory
    bool manualPresent = false;
    bool quiet = false;
    bool statusPageEnabled = true;  // StatusDialogEnabled, default "Yes"
    bool oldModemHandler = false;   // OldModemHandler, default "No"
    bool exitFileStuck = false;     // "helper.bat" survived the start-up deletion

    std::atomic<bool> watcherStopRequested{false};
    std::atomic<bool> watcherEnded{false};
    std::atomic<std::uint32_t> outboundQueueSize{0};
};

ConsoleState& Console();

// The value of ConfigurationUpdateTriggerRestart that counts as already seen. Written
// by the watcher when it starts and by the restart operation; guarded, because the two
// run on different threads.
std::string RestartTriggerBaseline();
void SetRestartTriggerBaseline(const std::string& value);

// The exit file: its appearance in the program directory ends the console.
inline constexpr const char* kExitFileName = "helper.bat";
inline constexpr const char* kManualFileName = "quvsms.pdf";

}  // namespace shell
