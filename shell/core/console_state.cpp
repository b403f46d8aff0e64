#include "shell/core/console_state.h"

#include <mutex>

namespace shell {
namespace {
std::mutex baselineMutex;
std::string baseline;
}  // namespace

ConsoleState& Console() {
    static ConsoleState state;
    return state;
}

std::string RestartTriggerBaseline() {
    std::lock_guard lock(baselineMutex);
    return baseline;
}

void SetRestartTriggerBaseline(const std::string& value) {
    std::lock_guard lock(baselineMutex);
    // The trigger is read into a 50-character buffer everywhere.
    baseline = value.substr(0, 49);
}

}  // namespace shell
