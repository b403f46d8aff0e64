#include "modem/engine/port.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <string_view>
#include <utility>

#include "acctdb/acctdb.h"
#include "config/config_store.h"
#include "modem/engine/port_wait.h"
#include "platform/cancel.h"
#include "platform/clock.h"

namespace modem {
namespace {

std::atomic<bool> gOldModemHandler{false};
std::atomic<bool> gSocketSeen{false};

constexpr std::uint64_t kWriteInactivityMs = 11'000;

bool HasFinalResult(std::string_view text) {
    return text.find("\nOK") != std::string_view::npos ||
           text.find("\rOK") != std::string_view::npos ||
           text.find("ERROR") != std::string_view::npos;
}

// A read of what is there, never waiting: bytes, 0 when nothing is pending, -1 on an
// error or a hang-up (a pseudo-terminal whose other side closed, a socket at its end).
long ReadAvailable(ModemPort& port, char* data, std::size_t size) {
    platform::IoResult r;
    switch (port.GetKind()) {
        case ModemPort::Kind::Serial: r = port.Line().ReadAvailable(data, size); break;
        case ModemPort::Kind::Socket: r = port.Socket().ReceiveAvailable(data, size); break;
        case ModemPort::Kind::None: return -1;
    }
    if (!r.Ok()) return -1;
    if (r.bytes > 0) port.Touch();
    return static_cast<long>(r.bytes);
}

// What of `size` bytes the line or socket takes now: the count, 0 when it has no room,
// -1 when it is gone.
long WriteSome(ModemPort& port, const char* data, std::size_t size) {
    platform::IoResult r;
    switch (port.GetKind()) {
        case ModemPort::Kind::Serial: r = port.Line().WriteSome(data, size); break;
        case ModemPort::Kind::Socket: r = port.Socket().SendSome(data, size); break;
        case ModemPort::Kind::None: return -1;
    }
    if (!r.Ok()) return -1;
    if (r.bytes > 0) port.Touch();
    return static_cast<long>(r.bytes);
}

long WriteByte(ModemPort& port, const char* byte) { return WriteSome(port, byte, 1); }

bool IsAltSet(const CommTimeouts& t) {
    return t.readInterval == kMaxDword && t.readTotalMultiplier == 0 &&
           t.readTotalConstant == 0;
}

// Gathers bytes of one serial read request: after the first byte, more arrive until a
// gap longer than the interval time-out, the total limit, or a full buffer.
long GatherInterval(ModemPort& port, char* data, std::size_t size, long got,
                    std::uint64_t deadline) {
    const std::uint32_t interval = port.Timeouts().readInterval;
    platform::ClockSource& clock = platform::Clock();
    while (static_cast<std::size_t>(got) < size && !platform::CancelRequested()) {
        const std::uint64_t now = clock.TickCount();
        if (now >= deadline) break;
        std::uint64_t wait = deadline - now;
        if (interval != 0) wait = std::min<std::uint64_t>(wait, interval);
        // The rest of a reply is written together with its start, so under a virtual
        // clock there is no need to give the peer real time here.
        if (WaitFor(port, platform::IoEvent::Readable, wait, false) != WaitResult::Ready) {
            if (interval != 0) break;
            continue;
        }
        const long n = ReadAvailable(port, data + got, size - got);
        if (n <= 0) break;  // a hang-up after data: keep what arrived
        got += n;
    }
    return got;
}

}  // namespace

ModemPort::ModemPort(int fd, Kind kind, std::string device) : device_(std::move(device)) {
    platform::UniqueFd owned(fd);
    if (!owned) return;
    if (kind == Kind::Serial) line_ = platform::SerialPort(std::move(owned));
    if (kind == Kind::Socket) socket_ = platform::TcpSocket(std::move(owned));
    if (kind == Kind::None) return;  // nothing to drive it with: closed
    kind_ = kind;
    Touch();
}

ModemPort::ModemPort(platform::SerialPort line, std::string device)
    : line_(std::move(line)),
      kind_(line_.IsOpen() ? Kind::Serial : Kind::None),
      device_(std::move(device)) {
    Touch();
}

ModemPort::ModemPort(platform::TcpSocket socket, std::string device)
    : socket_(std::move(socket)),
      kind_(socket_.IsOpen() ? Kind::Socket : Kind::None),
      device_(std::move(device)) {
    Touch();
}

ModemPort::ModemPort(ModemPort&& other) noexcept
    : line_(std::move(other.line_)),
      socket_(std::move(other.socket_)),
      kind_(std::exchange(other.kind_, Kind::None)),
      device_(std::move(other.device_)),
      timeouts_(other.timeouts_),
      hasTimeouts_(other.hasTimeouts_),
      lastActivity_(other.lastActivity_) {}

ModemPort& ModemPort::operator=(ModemPort&& other) noexcept {
    if (this != &other) {
        line_ = std::move(other.line_);
        socket_ = std::move(other.socket_);
        kind_ = std::exchange(other.kind_, Kind::None);
        device_ = std::move(other.device_);
        timeouts_ = other.timeouts_;
        hasTimeouts_ = other.hasTimeouts_;
        lastActivity_ = other.lastActivity_;
    }
    return *this;
}

int ModemPort::Descriptor() const {
    if (kind_ == Kind::Serial) return line_.Descriptor();
    if (kind_ == Kind::Socket) return socket_.Descriptor();
    return -1;
}

void ModemPort::Close() {
    line_.Close();  // also drops the lock taken when the device was opened
    socket_.Close();
    kind_ = Kind::None;
}

void ModemPort::Touch() { lastActivity_ = RealMillis(); }

void SetOldModemHandler(bool on) { gOldModemHandler = on; }
bool OldModemHandler() { return gOldModemHandler; }
void LoadModemSwitches() {
    SetOldModemHandler(config::IsYes(config::ReadZellaKey("OldModemHandler", "No")));
}
void SetSocketSeen() { gSocketSeen = true; }
bool SocketSeen() { return gSocketSeen; }

long ReadRequest(ModemPort& port, char* data, std::size_t size, std::uint64_t waitMs,
                 bool* immediate) {
    if (immediate != nullptr) *immediate = false;
    if (!port.IsOpen()) return -1;
    if (size == 0) {
        if (immediate != nullptr) *immediate = true;
        return 0;
    }
    const bool serialLimits = port.GetKind() == ModemPort::Kind::Serial && port.HasTimeouts();
    const CommTimeouts& t = port.Timeouts();
    if (serialLimits && IsAltSet(t)) {
        // The line hands over what it holds at once; nothing yet is 0, not a hang-up.
        if (immediate != nullptr) *immediate = true;
        long n = ReadAvailable(port, data, size);
        // A zero wait is only a look under the real clock; under a virtual one it gives
        // the peer its grace to answer.
        if (n == 0 && WaitFor(port, platform::IoEvent::Readable, 0) == WaitResult::Ready)
            n = ReadAvailable(port, data, size);
        return n;
    }
    std::uint64_t limit = waitMs;
    if (serialLimits && (t.readTotalConstant != 0 || t.readTotalMultiplier != 0)) {
        const std::uint64_t total =
            t.readTotalConstant + static_cast<std::uint64_t>(t.readTotalMultiplier) * size;
        limit = std::min(limit, total);
    }
    const std::uint64_t deadline = platform::Clock().TickCount() + limit;
    const WaitResult w = WaitFor(port, platform::IoEvent::Readable, limit);
    if (w == WaitResult::Error) return -1;
    if (w == WaitResult::TimedOut) return 0;
    const long n = ReadAvailable(port, data, size);
    if (n <= 0) return n;
    if (!serialLimits) return n;
    return GatherInterval(port, data, size, n, deadline);
}

bool PortWrite(ModemPort& port, const std::string& text) {
    if (text.empty()) return true;
    if (!port.IsOpen()) return false;
    platform::ClockSource& clock = platform::Clock();
    const bool serial = port.GetKind() == ModemPort::Kind::Serial;
    std::uint64_t perByte = kWriteInactivityMs;
    bool commLimit = false;
    if (serial && port.HasTimeouts()) {
        const CommTimeouts& t = port.Timeouts();
        const std::uint64_t total = t.writeTotalConstant + std::uint64_t{t.writeTotalMultiplier};
        if (total != 0 && total < perByte) {
            perByte = total;
            commLimit = true;
        }
    }
    std::uint64_t start = clock.TickCount();
    std::size_t sent = 0;
    while (sent < text.size() && clock.TickCount() - start < kWriteInactivityMs &&
           !platform::CancelRequested()) {
        const long n = WriteByte(port, text.data() + sent);
        if (n < 0) return false;
        if (n == 1) {
            ++sent;
            start = clock.TickCount();
            continue;
        }
        const WaitResult w = WaitFor(port, platform::IoEvent::Writable, perByte);
        if (w == WaitResult::Error) return false;
        // A byte that could not leave within the serial write time-out ends the write
        // as a request completing with nothing written does.
        if (w == WaitResult::TimedOut) {
            if (commLimit) break;
            return false;
        }
    }
    return sent == text.size();
}

bool PortWriteText(ModemPort& port, const std::string& text) {
    if (!port.IsOpen()) return false;
    std::size_t sent = 0;
    std::uint64_t last = RealMillis();
    while (sent < text.size()) {
        const long n = WriteSome(port, text.data() + sent, text.size() - sent);
        if (n < 0) return false;
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
            last = RealMillis();
            continue;
        }
        const std::uint64_t idle = RealMillis() - last;
        if (idle >= kWriteInactivityMs ||
            WaitFor(port, platform::IoEvent::Writable, kWriteInactivityMs - idle) != WaitResult::Ready)
            return false;
    }
    return true;
}

std::size_t PortReadResponse(ModemPort& port, char* buffer, std::size_t capacity,
                             unsigned timeoutSeconds) {
    if (capacity == 0) return 0;
    std::memset(buffer, 0, capacity);
    const std::uint64_t start = ClockSeconds();
    const std::uint64_t waitMs = std::max<std::uint64_t>(std::uint64_t{timeoutSeconds} * 1000, 50);
    std::size_t got = 0;
    while (ClockSeconds() - start <= timeoutSeconds && !platform::CancelRequested()) {
        // A full buffer can take nothing more; waiting on would only spin until the
        // time-out.
        if (got + 1 >= capacity) break;
        bool immediate = false;
        const long n = ReadRequest(port, buffer + got, capacity - 1 - got, waitMs, &immediate);
        if (n < 0) return 0;
        if (n == 0 && immediate) {
            platform::Clock().Sleep(1);
            continue;
        }
        got += static_cast<std::size_t>(n);
        buffer[got] = '\0';
        if (got > 0 && HasFinalResult(std::string_view(buffer, got))) return got;
    }
    return got;
}

std::size_t PortReadLegacy(ModemPort& port, char* buffer, std::size_t capacity,
                           unsigned timeoutSeconds) {
    if (capacity == 0) return 0;
    long n = 0;
    for (int attempt = 0; attempt < 3; ++attempt) {
        buffer[0] = '\0';
        n = ReadRequest(port, buffer, capacity - 1, std::uint64_t{timeoutSeconds} * 1000);
        if (n < 0) return 0;
        buffer[n] = '\0';
        if (n > 0) break;
    }
    return static_cast<std::size_t>(n);
}

std::size_t PortRead(ModemPort& port, char* buffer, std::size_t capacity,
                     unsigned timeoutSeconds) {
    return OldModemHandler() ? PortReadLegacy(port, buffer, capacity, timeoutSeconds)
                             : PortReadResponse(port, buffer, capacity, timeoutSeconds);
}

std::size_t PortDrain(ModemPort& port) {
    char scratch[1024];
    const long n = ReadRequest(port, scratch, sizeof scratch, 100);
    return n > 0 ? static_cast<std::size_t>(n) : 0;
}

bool IsOkResponse(const std::string& response) {
    return response.find("\nOK") != std::string::npos ||
           response.find("\rOK") != std::string::npos;
}

void SetModemTimeouts(ModemPort& port, const CommTimeouts& requested) {
    CommTimeouts t = requested;
    if (config::IsYes(acctdb::SMSIniGetProfileString("ZELLA", "AltModemTimeouts", "No", 500)))
        t = kAltTimeouts;
    port.SetTimeouts(t);
}

namespace {
void ReplaceAll(std::string& text, std::string_view from, std::string_view to) {
    std::size_t pos = 0;
    while ((pos = text.find(from, pos)) != std::string::npos) {
        text.replace(pos, from.size(), to);
        pos += to.size();
    }
}
}  // namespace

void EscapeCrLf(std::string& text) {
    ReplaceAll(text, "\r", "\\r");
    ReplaceAll(text, "\n", "\\n");
}

void UnescapeCrLf(std::string& text) {
    ReplaceAll(text, "\\r", "\r");
    ReplaceAll(text, "\\n", "\n");
}

}  // namespace modem
