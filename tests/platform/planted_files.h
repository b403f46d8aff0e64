// Playing a local attacker against a root console: files planted by the unprivileged user
// "nobody" in a scratch data directory, and a guard that turns a read which never returns
// into a test failure instead of a hung test run.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <thread>

namespace zella_test {

// Both sides of the attack need root: the victim is root, and only root can become nobody.
inline bool RunningAsRoot() { return geteuid() == 0; }

// Runs a shell command as nobody (no supplementary groups); true when it exits 0.
inline bool AsNobody(const std::string& command) {
    const std::string line =
        "setpriv --reuid=nobody --regid=nogroup --clear-groups sh -c '" + command + "'";
    return std::system(line.c_str()) == 0;
}

// Makes a directory writable by everybody, as a data directory shared with an
// unprivileged group member is for the attacker.
inline bool OpenToEverybody(const std::string& dir) { return chmod(dir.c_str(), 0777) == 0; }

// Runs `work` on its own thread and gives its result, or nothing when it has not returned
// well after any sane read would have (the thread is then abandoned: it owns copies of
// everything it uses, so it may stay blocked until the process ends).
template <class Result>
std::optional<Result> WithinHangGuard(std::function<Result()> work) {
    auto promise = std::make_shared<std::promise<Result>>();
    std::future<Result> done = promise->get_future();
    std::thread([promise, work = std::move(work)] { promise->set_value(work()); }).detach();
    if (done.wait_for(std::chrono::seconds(30)) != std::future_status::ready) return std::nullopt;
    return done.get();
}

}  // namespace zella_test
