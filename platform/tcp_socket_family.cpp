// Sockets of one address family, explicit local binding, and the cancel watch for
// sockets that loaded link libraries read on their own.
#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/cancel.h"
#include "platform/tcp_socket.h"

namespace platform {

UniqueFd OpenStreamSocketOf(AddressFamily family, int* error) {
    if (error != nullptr) *error = 0;
    if (family == AddressFamily::Dual) return OpenStreamSocket(0, error);
    const int domain = family == AddressFamily::IPv6 ? AF_INET6 : AF_INET;
    UniqueFd fd(socket(domain, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP));
    if (!fd && error != nullptr) *error = errno;
    return fd;
}

int BindStreamSocket(int fd, unsigned localPort) {
    if (localPort == 0 || localPort > 65535) return EINVAL;
    sockaddr_storage local{};
    socklen_t length = sizeof local;
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) != 0) return errno;
    const int on = 1;
    (void)setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    const auto port = htons(static_cast<uint16_t>(localPort));
    if (local.ss_family == AF_INET6) {
        auto* v6 = reinterpret_cast<sockaddr_in6*>(&local);
        v6->sin6_addr = in6addr_any;
        v6->sin6_port = port;
        length = sizeof(sockaddr_in6);
    } else {
        auto* v4 = reinterpret_cast<sockaddr_in*>(&local);
        v4->sin_family = AF_INET;
        v4->sin_addr.s_addr = htonl(INADDR_ANY);
        v4->sin_port = port;
        length = sizeof(sockaddr_in);
    }
    return bind(fd, reinterpret_cast<sockaddr*>(&local), length) == 0 ? 0 : errno;
}

struct ShutdownOnCancel::Watch {
    std::mutex mutex;
    std::condition_variable wake;
    bool done = false;
    std::thread thread;
};

ShutdownOnCancel::ShutdownOnCancel(int fd) {
    CancelToken* token = CurrentCancelToken();
    if (token == nullptr || fd < 0) return;
    watch_ = std::make_unique<Watch>();
    Watch* watch = watch_.get();
    watch->thread = std::thread([watch, token, fd] {
        std::unique_lock lock(watch->mutex);
        while (!watch->done) {
            if (token->Cancelled()) {
                (void)shutdown(fd, SHUT_RDWR);
                return;
            }
            watch->wake.wait_for(lock, std::chrono::milliseconds(kCancelSliceMs));
        }
    });
}

ShutdownOnCancel::~ShutdownOnCancel() {
    if (!watch_) return;
    {
        std::lock_guard lock(watch_->mutex);
        watch_->done = true;
    }
    watch_->wake.notify_all();
    watch_->thread.join();
}

}  // namespace platform
