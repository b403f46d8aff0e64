// Cancelling a long operation. The UI layer runs a long operation on a worker thread with
// a CancelToken installed for that thread; the operator's Cancel sets it. Every wait of
// the platform (Clock().Sleep, port and socket waits) checks the current thread's token
// at least every kCancelSliceMs and returns early once it is set, so the operation then
// takes its ordinary failure path (time-out, no answer) and runs its release steps.
#pragma once

#include <atomic>
#include <cstdint>

namespace platform {

// Longest stretch any platform wait blocks without looking at the cancel token.
inline constexpr std::uint64_t kCancelSliceMs = 50;

class CancelToken {
public:
    // Asks the operation to end. Safe from any thread; idempotent.
    void Cancel() { cancelled_.store(true, std::memory_order_release); }
    bool Cancelled() const { return cancelled_.load(std::memory_order_acquire); }

private:
    std::atomic<bool> cancelled_{false};
};

// Installs `token` as the calling thread's token for its lifetime, restoring the previous
// one afterwards. The token must outlive the scope.
class ScopedCancelToken {
public:
    explicit ScopedCancelToken(CancelToken* token);
    ~ScopedCancelToken();
    ScopedCancelToken(const ScopedCancelToken&) = delete;
    ScopedCancelToken& operator=(const ScopedCancelToken&) = delete;

private:
    CancelToken* previous_;
};

// The calling thread's token, or nullptr when no long operation runs on this thread.
CancelToken* CurrentCancelToken();

// True when the calling thread's operation has been cancelled.
bool CancelRequested();

}  // namespace platform
