// What the UCP/EMI and CIMD2 links (and, for the timings, the HTTP link) share: their
// bounds and back-off, opening the TCP connection with an error text an operator can act
// on, the originator a message goes out with, and cutting STX..ETX frames out of what
// the SMSC sends.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "gateway/links/link.h"
#include "gateway/message_parts.h"
#include "platform/tcp_socket.h"

namespace gateway {

// The bounds of a session. The defaults suit real SMSCs; tests shorten them.
struct SessionTimings {
    std::uint64_t connectMs = 15000;   // one connect attempt
    std::uint64_t responseMs = 30000;  // an operation without its answer ends the session
    std::uint64_t backoffMs = 2000;    // first wait before reconnecting, doubled each time
    std::uint64_t backoffMaxMs = 60000;
    std::uint64_t goodbyeMs = 2000;  // the polite logout at stop
};

// Connects to `host`:`port` from `localPort` (0: any). On failure a closed socket and
// `error` = "Unable to connect to host:port: <reason>".
platform::TcpSocket OpenSmscConnection(const std::string& host, unsigned port, unsigned localPort,
                                       std::uint64_t timeoutMs, std::string& error);

// The originator of `message`: its own sender when the connection lets requests choose
// one (SenderAddressOverride, empty meaning yes) and it has one, else SenderAddress.
std::string ChooseSender(const ConnectionSettings& settings, const OutboundMessage& message);

// True for "+"? and 1..20 digits: an originator that goes as a number.
bool IsNumericAddress(const std::string& address);

// The keep-alive interval in milliseconds from the leading number of `KeepAlive`; 0 = off.
std::uint64_t KeepAliveMs(const ConnectionSettings& settings);

// The message cut into parts for a UCP or CIMD2 submit, and the data coding a binary
// message (its own, else 8-bit) or a text that leaves the GSM alphabet (UCS-2) takes.
// False with the operator's `error` when it cannot be encoded.
bool EncodeForSubmit(const OutboundMessage& m, unsigned char reference, EncodedMessage& encoded, int& dcs,
                     std::string& error);

// Collects bytes from an SMSC and hands out complete STX..ETX frames. Anything between
// frames other than line ends and blanks, or a frame longer than `maxFrame`, is a fault
// the session cannot recover from.
class FrameCutter {
public:
    explicit FrameCutter(std::size_t maxFrame) : max_(maxFrame) {}
    void Add(const char* data, std::size_t size) { buffer_.append(data, size); }
    enum class Cut { Frame, NeedMore, Garbage, TooLong };
    // The next frame into `frame` (STX and ETX included).
    Cut Next(std::string& frame);

private:
    std::size_t max_;
    std::string buffer_;
};

// The wait before the next reconnect: doubles from the first back-off up to the maximum,
// back to the first once a session came up.
class Backoff {
public:
    explicit Backoff(const SessionTimings& t) : t_(t), next_(t.backoffMs) {}
    std::uint64_t Take() {
        const std::uint64_t now = next_;
        next_ = next_ * 2 > t_.backoffMaxMs ? t_.backoffMaxMs : next_ * 2;
        return now;
    }
    void Reset() { next_ = t_.backoffMs; }

private:
    SessionTimings t_;
    std::uint64_t next_;
};

}  // namespace gateway
