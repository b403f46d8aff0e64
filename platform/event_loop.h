// Readiness of many descriptors at once for long-running programs (the Gateway service
// and its links): an epoll set with a handler per descriptor, a cross-thread wake-up, a
// watch on a directory's entries and the termination signals as descriptors. Each
// object belongs to one thread, except Wakeup::Signal, which any thread may call.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/unique_fd.h"

namespace platform {

// What a descriptor became ready for: bits of kReadable, kWritable, kHangUp.
inline constexpr unsigned kReadable = 1, kWritable = 2, kHangUp = 4;

class EventLoop {
public:
    using Handler = std::function<void(unsigned ready)>;
    EventLoop();
    bool Valid() const { return epoll_.Valid(); }
    // Calls `handler` whenever `fd` is ready for what `interest` asks (kReadable,
    // kWritable; hang-ups always). Replaces an earlier watch of the same descriptor.
    bool Watch(int fd, unsigned interest, Handler handler);
    bool SetInterest(int fd, unsigned interest);
    // Forgets the descriptor (call before closing it).
    void Unwatch(int fd);
    // Waits up to `timeoutMs` (negative: without bound) and runs the handlers of what
    // became ready; the number of handlers run.
    int RunOnce(int timeoutMs);

private:
    UniqueFd epoll_;
    std::unordered_map<int, Handler> handlers_;
    std::unordered_map<int, unsigned> interests_;  // as last given, to skip changes that change nothing
};

// A descriptor that becomes readable when any thread calls Signal.
class Wakeup {
public:
    Wakeup();
    int Fd() const { return fd_.Get(); }
    void Signal();
    // Makes it unreadable again.
    void Drain();

private:
    UniqueFd fd_;
};

// Names of entries created, written, touched or renamed into one directory (inotify).
// An overflowed event queue reports the single name "*": look at everything.
class DirectoryWatch {
public:
    // Watches `directory`; Valid() is false when it cannot (missing directory).
    explicit DirectoryWatch(const std::string& directory);
    bool Valid() const { return fd_.Valid() && watch_ >= 0; }
    int Fd() const { return fd_.Get(); }
    // The names of what happened since the last call (may repeat names).
    std::vector<std::string> Take();

private:
    UniqueFd fd_;
    int watch_ = -1;
};

// SIGTERM, SIGINT and SIGHUP delivered through a descriptor instead of a handler. Blocks
// them in the calling thread; create it before any other thread starts so they inherit
// the mask.
class TerminationSignals {
public:
    TerminationSignals();
    int Fd() const { return fd_.Get(); }
    // The signal numbers that arrived since the last call.
    std::vector<int> Take();

private:
    UniqueFd fd_;
};

}  // namespace platform
