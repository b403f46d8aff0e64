// The console's one HTTP exchange with a network modem (an Android phone running the
// modem app): "GET /init" and the identity and MMS headers of its answer, with the
// header helpers it is built on.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/tcp_socket.h"

namespace modem {

inline constexpr const char* kNetworkModemPrefix = "QuvSMSModem - ";
inline constexpr const char* kDeviceHostPrefix = "quvsmsmodem_";
// The discovery cache keeps a device text in 116 bytes with its NUL.
inline constexpr std::size_t kMaxDeviceText = 115;
// Identity and MMS header values are kept in 150-byte buffers with their NUL.
inline constexpr std::size_t kHeaderValueCapacity = 150;
// The most of one response kept. A phone answers /init with a few hundred bytes of
// headers; a peer that sends more (a runaway body, a false Content-length) is cut here
// so that it cannot make the console grow without bound.
inline constexpr std::size_t kMaxHttpResponse = 4u * 1024 * 1024;

// The request bytes of the /init exchange for `device`.
std::string InitRequest(const std::string& device);

// Whether `device` can be sent to a phone: 1 to 115 characters, none below 32 (a CR or
// LF would add headers of its own to the request).
bool IsUsableDeviceText(const std::string& device);

// The short device name: the device text up to its first ":" (all of it without one);
// a bracketed IPv6 literal ("[::1]:8990") keeps its brackets ("[::1]").
std::string ShortDeviceName(const std::string& device);

// Position just after the blank line that ends the headers of `text` (LF CR LF or
// LF LF, found scanning from the start), or 0 when the text ends first.
std::size_t FindHttpHeaderEnd(std::string_view text);

// The value of header `name` (compared ignoring case, at the start of the text or just
// after a LF, within the header part only; "" when there is no header end): spaces after
// the name skipped, then the bytes up to the first one below 32, at most capacity - 1 of
// them. The first match wins.
std::string GetHttpHeaderValue(std::string_view text, std::string_view name,
                               std::size_t capacity);

// Replaces every occurrence of `placeholder` (ignoring case) in `text` by `value`,
// searching on after each inserted value (never inside it), the text cut to
// maximumLength - 1 characters after each replacement.
std::string ReplaceAllNoCase(std::string text, std::string_view placeholder,
                             std::string_view value, std::size_t maximumLength);

// Reads one HTTP response from `socket`: until the headers and the body their
// Content-length announces are in (a length of 0: the headers alone), the peer has
// closed, 121 seconds pass without data (platform clock), a wait fails, or
// kMaxHttpResponse bytes are in. Returns what arrived.
std::string ReadHttpResponse(platform::TcpSocket& socket);

// The /init exchange: connects to "quvsmsmodem_" + `device` (port 0: the device text's
// own, else 8990), sends InitRequest and reads the answer into `response`. False when
// the device text is unusable or the connection or the send fails.
bool ExchangeInit(const std::string& device, std::string* response);

// `ProbeNetworkModem`: true when the phone answered /init with a non-empty
// "X-QuvSMS-DeviceName:" and a non-empty "X-QuvSMS-DeviceID:".
bool ProbeNetworkModem(const std::string& device);

// `QuvsmsModemHasDefaultSettings`: true when the phone reported a non-empty
// "X-QuvSMS-MMSURL:" (then in `url`, its "X-QuvSMS-MMSProxy:" in `proxy`); else false
// with both empty.
bool QuvsmsModemHasDefaultSettings(const std::string& device, std::string* url,
                                   std::string* proxy);

}  // namespace modem
