#include "shell/sheet/restart_watcher.h"

#include <thread>
#include <vector>

#include "acctdb/acctdb.h"
#include "config/config_store.h"
#include "config/queue_size.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/ini_snapshot.h"
#include "platform/process.h"
#include "platform/text.h"
#include "shell/core/console_state.h"

namespace shell {
namespace {

constexpr std::uint64_t kPollMs = 500;

std::string ReadRestartTrigger() {
    return acctdb::SMSIniGetProfileString("ZELLA", "ConfigurationUpdateTriggerRestart", "", 50);
}

// Sleeps in short slices so that a stop request is seen at once; closing the console
// must not wait for the rest of a poll period.
void SleepUnlessStopped(std::uint64_t ms) {
    constexpr std::uint64_t kSlice = 20;
    for (std::uint64_t slept = 0; slept < ms && !Console().watcherStopRequested; slept += kSlice) {
        platform::Clock().Sleep(kSlice);
    }
}

// Returns true when the console must relaunch itself, false when asked to stop.
bool WatchUntilRestart() {
    ConsoleState& console = Console();
    const std::string exitFile = acctdb::GetRealProgramDirectory() + kExitFileName;
    QueueRecount recount;
    for (;;) {
        if (console.watcherStopRequested) return false;
        if (!console.exitFileStuck && platform::FileExists(exitFile)) platform::ExitNow(0);
        if (WatchRound(recount) == WatchResult::Restart) return true;
        SleepUnlessStopped(kPollMs);
    }
}

void RestartWatcher() {
    if (WatchUntilRestart()) {
        // The new copy serves the instance this one was started for.
        const std::string instance = acctdb::MultiHost();
        std::vector<std::string> args;
        if (!instance.empty()) args = {"-multihost", instance};
        platform::StartSelfDetached(args);
        platform::ExitNow(0);
    }
    Console().watcherEnded = true;
}

}  // namespace

WatchResult WatchRound(QueueRecount& recount) {
    // One read of ZELLA.INI a round gives both keys, so following CacheQSize costs no
    // more file reads than watching the trigger alone.
    const platform::IniSnapshot zella(acctdb::SMSIniFilename());
    std::string trigger = zella.Get("ZELLA", "ConfigurationUpdateTriggerRestart", "", 50);
    if (platform::CompareNoCase(trigger, RestartTriggerBaseline()) > 0) {
        return WatchResult::Restart;
    }
    const bool cacheQSize = config::IsYes(zella.Get("ZELLA", "CacheQSize", "", 500));
    const std::uint64_t period = cacheQSize ? 3000 : 10000;
    const std::uint64_t now = platform::Clock().TickCount();
    if (!recount.counted || now - recount.lastCountMs >= period) {
        Console().outboundQueueSize =
            config::OutboundQueueSizeIn(config::QueueDirectory(), cacheQSize);
        recount.counted = true;
        recount.lastCountMs = now;
    }
    return WatchResult::Continue;
}

void StartRestartWatcher() {
    Console().watcherStopRequested = false;
    Console().watcherEnded = false;
    // The baseline is taken before the sheet can be shown, so a trigger written while
    // the console is already on screen always counts as new.
    SetRestartTriggerBaseline(ReadRestartTrigger());
    std::thread(RestartWatcher).detach();
}

void StopRestartWatcher() {
    Console().watcherStopRequested = true;
    // Polled finer than once a second so that closing the console is not held up, but
    // never longer than the 30 seconds the watcher is granted.
    for (int step = 0; step < 3000 && !Console().watcherEnded; ++step) {
        platform::Clock().Sleep(10);
    }
}

}  // namespace shell
