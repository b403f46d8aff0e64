// Long operations (modem tests, service waits, network tests) keep the window alive: the
// host runs them with a progress line and a Cancel button (the Qt host on a worker
// thread, the headless host inline), and Cancel reaches every platform wait through the
// cancel token (platform/cancel.h). Code inside an operation uses only the host it is
// handed and reports cancellation by taking its ordinary failure path.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <utility>

#include "ui/host.h"

namespace ui {

// Runs `operation` through host.RunLongOperation and returns what it returned. Inside
// another long operation it runs inline under the same token and only replaces the
// progress line.
template <class T>
T RunLong(Host& host, const std::string& progress, const std::function<T(Host&)>& operation) {
    std::optional<T> result;
    host.RunLongOperation(progress, [&](Host& worker) { result = operation(worker); });
    return result ? std::move(*result) : T();
}

// The same for an operation without a result; returns whether it was cancelled.
inline bool RunLong(Host& host, const std::string& progress,
                    const std::function<void(Host&)>& operation) {
    return host.RunLongOperation(progress, operation);
}

}  // namespace ui
