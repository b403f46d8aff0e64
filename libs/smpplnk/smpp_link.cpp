#include "smpplnk/smpp_link.h"

#include <dlfcn.h>
#include <sys/socket.h>
#include <sys/types.h>

#include <cerrno>
#include <mutex>

#include "platform/dynlib.h"
#include "platform/io_wait.h"
#include "smpplnk/smpp_codes.h"
#include "smpplnk/smpp_pdu.h"
#include "tlslnk/tlslnk.h"

namespace smpplnk {
namespace {

// The directory this library was loaded from: the TLS library is its sibling in the
// program directory, and loading that exact path hands back the handle the console
// already holds, so the sessions it made are ours to use.
std::string OwnDirectory() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&TlsLibrary), &info) == 0 || !info.dli_fname) return "";
    std::string path = info.dli_fname;
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}

int WaitFor(int fd, platform::IoEvent event, std::uint64_t deadlineMs) {
    const std::uint64_t now = platform::SteadyMillis();
    if (now >= deadlineMs) return kErrTimedOut;
    switch (platform::WaitForIo(fd, event, deadlineMs - now)) {
        case platform::WaitStatus::Ready:
            return 0;
        case platform::WaitStatus::TimedOut:
            return kErrTimedOut;
        case platform::WaitStatus::Cancelled:
            return kErrCancelled;
        default:
            return kErrNotSocket;
    }
}

}  // namespace

const TlsFunctions* TlsLibrary() {
    static std::once_flag once;
    static platform::DynamicLibrary library;
    static TlsFunctions functions;
    static bool complete = false;
    std::call_once(once, [] {
        if (!library.LoadPath(OwnDirectory() + platform::SharedLibraryFileName("TLSLNK.DLL"))) {
            return;
        }
        functions.send = library.Function<decltype(&::sslSend)>("sslSend");
        functions.recv = library.Function<decltype(&::sslRecv)>("sslRecv");
        functions.pending = library.Function<decltype(&::sslDataPending)>("sslDataPending");
        functions.report = library.Function<decltype(&::sslPeerReport)>("sslPeerReport");
        functions.initSession = library.Function<decltype(&::sslInitSession)>("sslInitSession");
        functions.freeSession = library.Function<decltype(&::sslFreeSession)>("sslFreeSession");
        complete = functions.send && functions.recv && functions.pending;
    });
    return complete ? &functions : nullptr;
}

Link::Link(int socket, void* tlsSession) : fd_(socket), tls_(tlsSession) {
    if (tls_) tlsFns_ = TlsLibrary();
}

int Link::Check() const {
    if (tls_ && !tlsFns_) return kErrNoTls;
    int type = 0;
    socklen_t size = sizeof type;
    if (fd_ < 0 || getsockopt(fd_, SOL_SOCKET, SO_TYPE, &type, &size) != 0 || type != SOCK_STREAM) {
        return kErrNotSocket;
    }
    return 0;
}

int Link::Send(const std::string& pdu, std::uint64_t deadlineMs) {
    if (tls_) {
        const int sent = tlsFns_->send(tls_, pdu.data(), static_cast<int>(pdu.size()));
        return sent >= static_cast<int>(pdu.size()) ? 0 : kErrSend;
    }
    std::size_t done = 0;
    while (done < pdu.size()) {
        const ssize_t n =
            ::send(fd_, pdu.data() + done, pdu.size() - done, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (const int rc = WaitFor(fd_, platform::IoEvent::Writable, deadlineMs)) return rc;
            continue;
        }
        return (errno == EPIPE || errno == ECONNRESET) ? kErrClosed : kErrSend;
    }
    return 0;
}

int Link::ReadSome(char* data, std::size_t size, std::uint64_t deadlineMs, std::size_t* got) {
    *got = 0;
    bool waited = false;
    for (;;) {
        // A reply that has already arrived is taken without a poll first; TLS records
        // are waited for unless the session holds decrypted bytes, which do not make
        // the socket readable.
        const bool mayRead = tls_ ? (waited || tlsFns_->pending(tls_) > 0) : true;
        if (!mayRead) {
            if (const int rc = WaitFor(fd_, platform::IoEvent::Readable, deadlineMs)) return rc;
            waited = true;
            continue;
        }
        ssize_t n;
        if (tls_) {
            // A readable socket may hold only TLS records without data (session
            // tickets), and sslRecv then waits for data under its own bound; a failure
            // after our deadline passed is that wait running out.
            n = tlsFns_->recv(tls_, data, static_cast<int>(size));
            if (n < 0) return platform::SteadyMillis() >= deadlineMs ? kErrTimedOut : kErrReceive;
        } else {
            n = ::recv(fd_, data, size, MSG_DONTWAIT);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                if (const int rc = WaitFor(fd_, platform::IoEvent::Readable, deadlineMs)) return rc;
                continue;
            }
            if (n < 0) return errno == ECONNRESET ? kErrClosed : kErrReceive;
        }
        if (n == 0) return kErrClosed;
        *got = static_cast<std::size_t>(n);
        return 0;
    }
}

int Link::ReadExact(char* data, std::size_t size, std::uint64_t deadlineMs) {
    std::size_t done = 0;
    while (done < size) {
        std::size_t got = 0;
        if (const int rc = ReadSome(data + done, size - done, deadlineMs, &got)) return rc;
        done += got;
    }
    return 0;
}

int Link::Receive(std::string& pdu, std::uint64_t deadlineMs) {
    pdu.assign(kHeaderSize, '\0');
    if (const int rc = ReadExact(pdu.data(), kHeaderSize, deadlineMs)) return rc;
    const Header h = DecodeHeader(reinterpret_cast<const unsigned char*>(pdu.data()));
    if (!LengthInBounds(h.length)) return kErrLength;
    pdu.resize(h.length);
    return ReadExact(pdu.data() + kHeaderSize, h.length - kHeaderSize, deadlineMs);
}

}  // namespace smpplnk
