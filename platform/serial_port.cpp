#include "platform/serial_port.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

namespace platform {
namespace {

struct Speed {
    unsigned bps;
    speed_t code;
};

constexpr Speed kSpeeds[] = {
    {110, B110},       {300, B300},       {600, B600},       {1200, B1200},
    {2400, B2400},     {4800, B4800},     {9600, B9600},     {19200, B19200},
    {38400, B38400},   {57600, B57600},   {115200, B115200}, {230400, B230400},
    {460800, B460800}, {921600, B921600},
};

void MakeNonBlocking(int fd) {
    const int flags = fcntl(fd, F_GETFL, 0);
    if (flags >= 0) (void)fcntl(fd, F_SETFL, flags | O_NONBLOCK);
}

// A line in raw mode with VMIN and VTIME 0 answers a read with nothing pending by 0
// bytes, as a hung-up line does; only the line's poll state tells the two apart.
bool HungUp(int fd) {
    pollfd p{fd, POLLIN, 0};
    return poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR)) != 0;
}

}  // namespace

SerialPort::SerialPort(UniqueFd fd) : fd_(std::move(fd)) {
    if (fd_) MakeNonBlocking(fd_.Get());
}

SerialPort SerialPort::Open(const std::string& path, int* error) {
    if (error != nullptr) *error = 0;
    if (path.empty()) {
        if (error != nullptr) *error = ENOENT;
        return {};
    }
    UniqueFd fd(open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!fd) {
        if (error != nullptr) *error = errno;
        return {};
    }
    if (flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) {
        if (error != nullptr) *error = errno == EWOULDBLOCK ? EBUSY : errno;
        return {};
    }
    return SerialPort(std::move(fd));
}

bool SerialPort::IsLine() const {
    termios tio{};
    return fd_ && tcgetattr(fd_.Get(), &tio) == 0;
}

bool SerialPort::Configure(unsigned bitsPerSecond) {
    const Speed* speed = nullptr;
    for (const Speed& s : kSpeeds) {
        if (s.bps == bitsPerSecond) speed = &s;
    }
    termios tio{};
    if (speed == nullptr || !fd_ || tcgetattr(fd_.Get(), &tio) != 0) return false;
    cfmakeraw(&tio);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    cfsetispeed(&tio, speed->code);
    cfsetospeed(&tio, speed->code);
    (void)tcsetattr(fd_.Get(), TCSANOW, &tio);
    return true;
}

WaitStatus SerialPort::Wait(IoEvent event, std::uint64_t ms) const {
    return WaitForIo(fd_.Get(), event, ms);
}

IoResult SerialPort::ReadAvailable(char* data, std::size_t size) {
    if (!fd_) return {IoStatus::Error, 0, EBADF};
    if (size == 0) return {};
    for (;;) {
        const ssize_t n = read(fd_.Get(), data, size);
        if (n > 0) return {IoStatus::Ok, static_cast<std::size_t>(n), 0};
        if (n == 0) return HungUp(fd_.Get()) ? IoResult{IoStatus::Closed, 0, 0} : IoResult{};
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return {};
        // A pseudo-terminal whose other side closed reports EIO.
        if (errno == EIO) return {IoStatus::Closed, 0, EIO};
        return {IoStatus::Error, 0, errno};
    }
}

IoResult SerialPort::Read(char* data, std::size_t size, std::uint64_t ms) {
    const std::uint64_t deadline = SteadyMillis() + ms;
    for (;;) {
        IoResult r = ReadAvailable(data, size);
        if (!r.Ok() || r.bytes > 0 || size == 0) return r;
        const std::uint64_t now = SteadyMillis();
        const WaitStatus w = Wait(IoEvent::Readable, now >= deadline ? 0 : deadline - now);
        if (w == WaitStatus::TimedOut) return {IoStatus::TimedOut, 0, 0};
        if (w == WaitStatus::Cancelled) return {IoStatus::Cancelled, 0, 0};
        if (w == WaitStatus::Error) return {IoStatus::Error, 0, EBADF};
    }
}

IoResult SerialPort::WriteSome(const char* data, std::size_t size) {
    if (!fd_) return {IoStatus::Error, 0, EBADF};
    if (size == 0) return {};
    for (;;) {
        const ssize_t n = write(fd_.Get(), data, size);
        if (n >= 0) return {IoStatus::Ok, static_cast<std::size_t>(n), 0};
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return {};
        if (errno == EIO) return {IoStatus::Closed, 0, EIO};
        return {IoStatus::Error, 0, errno};
    }
}

IoResult SerialPort::WriteAll(const char* data, std::size_t size, std::uint64_t ms) {
    std::size_t sent = 0;
    while (sent < size) {
        IoResult r = WriteSome(data + sent, size - sent);
        if (!r.Ok()) return {r.status, sent, r.error};
        sent += r.bytes;
        if (r.bytes > 0) continue;
        const WaitStatus w = Wait(IoEvent::Writable, ms);
        if (w == WaitStatus::TimedOut) return {IoStatus::TimedOut, sent, 0};
        if (w == WaitStatus::Cancelled) return {IoStatus::Cancelled, sent, 0};
        if (w == WaitStatus::Error) return {IoStatus::Error, sent, EBADF};
    }
    return {IoStatus::Ok, sent, 0};
}

unsigned SerialPort::LineSpeed(int fd) {
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) return 0;
    const speed_t code = cfgetospeed(&tio);
    for (const Speed& s : kSpeeds) {
        if (s.code == code) return s.bps;
    }
    return 0;
}

}  // namespace platform
