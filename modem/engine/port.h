// The byte channel to a modem: one time-limited write and the reads of every modem
// conversation, over a serial line, a friendly-named modem's device or a connected TCP
// socket to a terminal server. Every wait goes through platform::Clock().
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/serial_port.h"
#include "platform/tcp_socket.h"

namespace modem {

// The five comm time-out values, milliseconds, in the classic COMMTIMEOUTS order. On a
// serial line they bound each read and write request; a socket ignores them.
struct CommTimeouts {
    std::uint32_t readInterval = 0;
    std::uint32_t readTotalMultiplier = 0;
    std::uint32_t readTotalConstant = 0;
    std::uint32_t writeTotalMultiplier = 0;
    std::uint32_t writeTotalConstant = 0;
    bool operator==(const CommTimeouts&) const = default;
};

inline constexpr std::uint32_t kMaxDword = 0xFFFFFFFFu;
// Applied when a COM port is opened for speed probing.
inline constexpr CommTimeouts kProbeTimeouts{200, 0, 1000, 0, 2000};
// Applied to every opened modem just before the AT test.
inline constexpr CommTimeouts kTestTimeouts{200, 0, 1000, 0, 15000};
// Used instead of either when AltModemTimeouts is on: reads return at once with what
// is buffered, writes have no limit of their own.
inline constexpr CommTimeouts kAltTimeouts{kMaxDword, 0, 0, 0, 0};

// An open modem channel: a serial line (with the exclusive device lock that came with
// it) or a connected socket to a terminal server. Closing or destroying the port
// releases it. Move-only.
class ModemPort {
public:
    enum class Kind { None, Serial, Socket };

    ModemPort() = default;
    // Takes ownership of `fd`, which is made non-blocking; `device` is the path for
    // messages.
    ModemPort(int fd, Kind kind, std::string device = {});
    ModemPort(platform::SerialPort line, std::string device);
    ModemPort(platform::TcpSocket socket, std::string device);
    ModemPort(ModemPort&& other) noexcept;
    ModemPort& operator=(ModemPort&& other) noexcept;
    ModemPort(const ModemPort&) = delete;
    ModemPort& operator=(const ModemPort&) = delete;

    bool IsOpen() const { return kind_ != Kind::None; }
    int Descriptor() const;
    Kind GetKind() const { return kind_; }
    const std::string& Device() const { return device_; }
    void Close();

    // The services behind the port; only the one of the port's kind is open.
    platform::SerialPort& Line() { return line_; }
    platform::TcpSocket& Socket() { return socket_; }

    // The comm time-outs in force (none until SetModemTimeouts).
    const CommTimeouts& Timeouts() const { return timeouts_; }
    void SetTimeouts(const CommTimeouts& t) { timeouts_ = t; hasTimeouts_ = true; }
    bool HasTimeouts() const { return hasTimeouts_; }

    // Real time (steady clock, ms) of the last byte that went out or came in; see
    // SetVirtualTimeGrace.
    std::uint64_t LastActivity() const { return lastActivity_; }
    void Touch();

private:
    platform::SerialPort line_;
    platform::TcpSocket socket_;
    Kind kind_ = Kind::None;
    std::string device_;
    CommTimeouts timeouts_{};
    bool hasTimeouts_ = false;
    std::uint64_t lastActivity_ = 0;
};

// ---- process-wide switches -------------------------------------------------------------
// OldModemHandler: PortRead uses PortReadLegacy instead of PortReadResponse. Read once at
// start-up by the shell (LoadModemSwitches does it from [ZELLA]).
void SetOldModemHandler(bool on);
bool OldModemHandler();
// Reads OldModemHandler from [ZELLA] of ZELLA.INI (default "No") and applies it.
void LoadModemSwitches();
// Set once an IP-modem socket has been connected; never cleared.
void SetSocketSeen();
bool SocketSeen();

// Under a clock that does not follow real time (a test's fake clock) a wait cannot block
// for its whole length in real time. Such a wait gives the peer `ms` of real time after
// the port's last activity to answer, then charges the rest of its length to the clock
// at once. Default 200 ms. Has no effect under the real clock.
void SetVirtualTimeGrace(std::uint64_t ms);

// ---- operations ----------------------------------------------------------------------------
// Writes the text one byte per request. Each byte restarts an 11-second inactivity limit;
// on a serial line a byte that cannot leave within the write time-out fails the write.
// True when every byte went out; an empty text succeeds without a request.
bool PortWrite(ModemPort& port, const std::string& text);

// Writes the text in as few requests as the line or socket takes, for a program that
// talks to a modem for long (the service): false when a byte could not leave for 11
// seconds, the port failed or the wait was cancelled.
bool PortWriteText(ModemPort& port, const std::string& text);

// The read of every modem conversation: PortReadLegacy when OldModemHandler is on, else
// PortReadResponse. `buffer` receives the text (always terminated in `capacity`).
// Returns the number of bytes read (0 = nothing usable).
std::size_t PortRead(ModemPort& port, char* buffer, std::size_t capacity,
                     unsigned timeoutSeconds);
// Collects bytes until the text contains "\nOK", "\rOK" or "ERROR", or the seconds clock
// has moved more than `timeoutSeconds` past the start. A read error gives 0 even when
// bytes had arrived. A full buffer also ends the read (with what it holds).
std::size_t PortReadResponse(ModemPort& port, char* buffer, std::size_t capacity,
                             unsigned timeoutSeconds);
// Up to three read requests; the first that delivers bytes is the response, without a
// search for a final result. Returns the byte count of the last request.
std::size_t PortReadLegacy(ModemPort& port, char* buffer, std::size_t capacity,
                           unsigned timeoutSeconds);
// Reads and discards up to 1024 pending bytes, waiting at most 100 ms for them.
// Returns the number discarded.
std::size_t PortDrain(ModemPort& port);

// True when the text contains LF or CR followed by "OK" (case-sensitive).
bool IsOkResponse(const std::string& response);

// Stores the requested comm time-outs on the port, or the AltModemTimeouts set when
// AltModemTimeouts in [ZELLA] is on (read through the account-store INI reader).
void SetModemTimeouts(ModemPort& port, const CommTimeouts& requested);

// One read request under the port's comm time-outs, waiting at most `waitMs`: -1 on a
// read error or hang-up, else the bytes read (0 when nothing came). `immediate` tells
// whether the request finished without waiting (the AltModemTimeouts behaviour: what
// the line holds, nothing yet being 0 and no hang-up). A cancelled operation reads 0.
long ReadRequest(ModemPort& port, char* data, std::size_t size, std::uint64_t waitMs,
                 bool* immediate = nullptr);

// Every CR becomes backslash "r" and every LF backslash "n".
void EscapeCrLf(std::string& text);
// Backslash "r" becomes CR, then backslash "n" becomes LF.
void UnescapeCrLf(std::string& text);

}  // namespace modem
