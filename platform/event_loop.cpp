#include "platform/event_loop.h"

#include <signal.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

namespace platform {

namespace {

std::uint32_t EpollEvents(unsigned interest) {
    std::uint32_t events = EPOLLRDHUP;
    if (interest & kReadable) events |= EPOLLIN;
    if (interest & kWritable) events |= EPOLLOUT;
    return events;
}

}  // namespace

EventLoop::EventLoop() : epoll_(::epoll_create1(EPOLL_CLOEXEC)) {}

bool EventLoop::Watch(int fd, unsigned interest, Handler handler) {
    if (fd < 0 || !epoll_) return false;
    epoll_event event{};
    event.events = EpollEvents(interest);
    event.data.fd = fd;
    const bool known = handlers_.count(fd) != 0;
    if (::epoll_ctl(epoll_.Get(), known ? EPOLL_CTL_MOD : EPOLL_CTL_ADD, fd, &event) != 0) return false;
    handlers_[fd] = std::move(handler);
    interests_[fd] = interest;
    return true;
}

bool EventLoop::SetInterest(int fd, unsigned interest) {
    auto known = interests_.find(fd);
    if (known != interests_.end() && known->second == interest) return true;
    epoll_event event{};
    event.events = EpollEvents(interest);
    event.data.fd = fd;
    if (::epoll_ctl(epoll_.Get(), EPOLL_CTL_MOD, fd, &event) != 0) return false;
    interests_[fd] = interest;
    return true;
}

void EventLoop::Unwatch(int fd) {
    interests_.erase(fd);
    if (handlers_.erase(fd) != 0) ::epoll_ctl(epoll_.Get(), EPOLL_CTL_DEL, fd, nullptr);
}

int EventLoop::RunOnce(int timeoutMs) {
    epoll_event events[64];
    const int count = ::epoll_wait(epoll_.Get(), events, 64, timeoutMs);
    int run = 0;
    for (int i = 0; i < count; ++i) {
        const int fd = events[i].data.fd;
        // A handler run earlier in this round may have removed this descriptor.
        auto it = handlers_.find(fd);
        if (it == handlers_.end()) continue;
        unsigned ready = 0;
        if (events[i].events & EPOLLIN) ready |= kReadable;
        if (events[i].events & EPOLLOUT) ready |= kWritable;
        if (events[i].events & (EPOLLHUP | EPOLLERR | EPOLLRDHUP)) ready |= kHangUp | kReadable;
        Handler handler = it->second;  // the handler may unwatch itself
        handler(ready);
        ++run;
    }
    return run;
}

Wakeup::Wakeup() : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

void Wakeup::Signal() {
    const std::uint64_t one = 1;
    ssize_t written = ::write(fd_.Get(), &one, sizeof one);
    (void)written;  // a full counter already wakes the reader
}

void Wakeup::Drain() {
    std::uint64_t value = 0;
    ssize_t got = ::read(fd_.Get(), &value, sizeof value);
    (void)got;
}

DirectoryWatch::DirectoryWatch(const std::string& directory) : fd_(::inotify_init1(IN_CLOEXEC | IN_NONBLOCK)) {
    if (!fd_) return;
    watch_ = ::inotify_add_watch(fd_.Get(), directory.c_str(),
                                 IN_ATTRIB | IN_CLOSE_WRITE | IN_CREATE | IN_MOVED_TO | IN_DELETE | IN_ONLYDIR);
}

std::vector<std::string> DirectoryWatch::Take() {
    std::vector<std::string> names;
    alignas(inotify_event) char buffer[16384];
    for (;;) {
        const ssize_t got = ::read(fd_.Get(), buffer, sizeof buffer);
        if (got <= 0) break;
        for (ssize_t at = 0; at < got;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            if (event->mask & IN_Q_OVERFLOW) names.emplace_back("*");
            else if (event->len > 0) names.emplace_back(event->name);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
    return names;
}

TerminationSignals::TerminationSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGHUP);
    ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
    fd_.Reset(::signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK));
    ::signal(SIGPIPE, SIG_IGN);
}

std::vector<int> TerminationSignals::Take() {
    std::vector<int> signals;
    signalfd_siginfo info{};
    while (::read(fd_.Get(), &info, sizeof info) == static_cast<ssize_t>(sizeof info))
        signals.push_back(static_cast<int>(info.ssi_signo));
    return signals;
}

}  // namespace platform
