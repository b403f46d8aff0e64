// Qt objects handed to a parent: the parent deletes its children, so the only owner of
// a widget built here is the widget (or layout) it is placed in.
#pragma once

#include <memory>
#include <utility>

namespace qtui {

// Constructs a T whose last constructor argument is its Qt parent, and returns it as
// owned by that parent. Never returns null.
template <typename T, typename... Args>
T* MakeChild(Args&&... args) {
    return std::make_unique<T>(std::forward<Args>(args)...).release();
}

}  // namespace qtui
