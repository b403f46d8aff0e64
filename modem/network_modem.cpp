#include "modem/network_modem.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <vector>

#include "acctdb/acctdb.h"
#include "mmsclnk/console_exports.h"
#include "platform/clock.h"
#include "platform/text.h"

namespace modem {

namespace {

constexpr std::uint64_t kIdleLimitMs = 121'000;
constexpr std::uint64_t kWaitLimitMs = 120'000;
constexpr std::uint64_t kSendLimitMs = 10'000;
constexpr int kClosedPasses = 6;

bool MatchesNoCase(std::string_view text, std::size_t at, std::string_view what) {
    return at + what.size() <= text.size() && platform::EqualsNoCase(text.substr(at, what.size()), what);
}

std::size_t FindNoCase(std::string_view text, std::string_view what, std::size_t from) {
    if (what.empty() || from > text.size()) return std::string_view::npos;
    const std::size_t at = platform::FindNoCase(text.substr(from), what);
    return at == std::string_view::npos ? at : at + from;
}

// The body's start when the headers end within text[from..]: "\n\n" first, then
// "\n\r\n", then "\r\r"; 0 when none is there yet.
std::size_t HeaderEndSince(std::string_view text, std::size_t from) {
    struct Mark {
        std::string_view bytes;
        std::size_t skip;
    };
    static constexpr Mark kMarks[] = {{"\n\n", 2}, {"\n\r\n", 3}, {"\r\r", 2}};
    for (const Mark& mark : kMarks) {
        const std::size_t at = text.find(mark.bytes, from);
        if (at != std::string_view::npos) return at + mark.skip;
    }
    return 0;
}

// The announced body length after "Content-length:" in the headers; -1 when there is
// none or no digits follow. Lengths beyond the response cap are clipped to it.
long long ContentLength(std::string_view headers) {
    std::size_t at = FindNoCase(headers, "Content-length:", 0);
    if (at == std::string_view::npos) return -1;
    at += std::strlen("Content-length:");
    while (at < headers.size() && headers[at] == ' ') ++at;
    if (at >= headers.size() || !std::isdigit(static_cast<unsigned char>(headers[at]))) return -1;
    long long length = 0;
    for (; at < headers.size() && std::isdigit(static_cast<unsigned char>(headers[at])); ++at) {
        length = std::min<long long>(length * 10 + (headers[at] - '0'), kMaxHttpResponse);
    }
    return length;
}

}  // namespace

std::string InitRequest(const std::string& device) {
    return "GET /init HTTP/1.1\r\nHost: " + std::string(kDeviceHostPrefix) + device +
           "\r\nX-QuvSMS-Timeout: 5\r\n\r\n";
}

bool IsUsableDeviceText(const std::string& device) {
    if (device.empty() || device.size() > kMaxDeviceText) return false;
    return std::none_of(device.begin(), device.end(),
                        [](char c) { return static_cast<unsigned char>(c) < 32; });
}

std::string ShortDeviceName(const std::string& device) {
    if (!device.empty() && device[0] == '[') {
        const std::size_t close = device.find(']');
        if (close != std::string::npos) return device.substr(0, close + 1);
    }
    return device.substr(0, device.find(':'));
}

std::size_t FindHttpHeaderEnd(std::string_view text) {
    for (std::size_t at = text.find('\n'); at != std::string_view::npos;
         at = text.find('\n', at + 1)) {
        if (at + 2 < text.size() && text[at + 1] == '\r' && text[at + 2] == '\n') return at + 3;
        if (at + 1 < text.size() && text[at + 1] == '\n') return at + 2;
    }
    return 0;
}

std::string GetHttpHeaderValue(std::string_view text, std::string_view name,
                               std::size_t capacity) {
    const std::size_t end = FindHttpHeaderEnd(text);
    if (end == 0 || capacity == 0 || name.empty()) return {};
    const std::string_view headers = text.substr(0, end);
    for (std::size_t line = 0; line < headers.size();) {
        if (MatchesNoCase(headers, line, name)) {
            std::size_t at = line + name.size();
            while (at < headers.size() && headers[at] == ' ') ++at;
            std::size_t stop = at;
            while (stop < headers.size() && static_cast<unsigned char>(headers[stop]) >= 32 &&
                   stop - at < capacity - 1) {
                ++stop;
            }
            return std::string(headers.substr(at, stop - at));
        }
        const std::size_t lf = headers.find('\n', line);
        if (lf == std::string_view::npos) break;
        line = lf + 1;
    }
    return {};
}

std::string ReplaceAllNoCase(std::string text, std::string_view placeholder,
                             std::string_view value, std::size_t maximumLength) {
    const std::size_t limit = maximumLength == 0 ? 0 : maximumLength - 1;
    if (text.size() > limit) text.resize(limit);
    for (std::size_t at = FindNoCase(text, placeholder, 0); at != std::string::npos;
         at = FindNoCase(text, placeholder, at + value.size())) {
        text.replace(at, placeholder.size(), value);
        if (text.size() > limit) text.resize(limit);
        if (at + value.size() >= text.size()) break;
    }
    return text;
}

std::string ReadHttpResponse(platform::TcpSocket& socket) {
    std::string response;
    std::vector<char> chunk(64 * 1024);
    std::size_t expected = 0, scanned = 0;
    bool expectedSet = false, headersDone = false;
    int closedPasses = 0;
    platform::ClockSource& clock = platform::Clock();
    std::uint64_t lastData = clock.TickCount();
    while (clock.TickCount() - lastData < kIdleLimitMs && response.size() < kMaxHttpResponse) {
        if (!headersDone) {
            // Only the bytes new since the last look (and the two before them, for a
            // mark split across arrivals) are searched: the read stays linear however
            // finely the response arrives.
            const std::size_t bodyStart = HeaderEndSince(response, scanned);
            scanned = response.size() < 2 ? 0 : response.size() - 2;
            if (bodyStart != 0) {
                headersDone = true;
                const long long length = ContentLength(std::string_view(response).substr(0, bodyStart));
                if (length == 0) break;
                if (length > 0) {
                    expected = bodyStart + static_cast<std::size_t>(length);
                    expectedSet = true;
                }
            }
        }
        if (expectedSet && response.size() >= expected) break;
        if (socket.Wait(platform::IoEvent::Readable, kWaitLimitMs) != platform::WaitStatus::Ready) break;
        const std::size_t room = std::min(chunk.size(), kMaxHttpResponse - response.size());
        const platform::IoResult got = socket.ReceiveAvailable(chunk.data(), room);
        if (got.status == platform::IoStatus::Error) break;
        if (got.bytes > 0) {
            response.append(chunk.data(), got.bytes);
            lastData = clock.TickCount();
        } else {
            if (++closedPasses >= kClosedPasses) break;
            clock.Sleep(1);
        }
    }
    return response;
}

bool ExchangeInit(const std::string& device, std::string* response) {
    if (!IsUsableDeviceText(device)) return false;
    platform::UniqueFd fd(acctdb::IPV6OpenSocket(0, 0, 0));
    if (!fd.Valid()) return false;
    if (acctdb::IPV6ConnectToINetServer(fd.Get(), kDeviceHostPrefix + device, 0) != 0) return false;
    platform::TcpSocket socket(std::move(fd));
    if (!socket.SendAll(InitRequest(device), kSendLimitMs).Ok()) return false;
    *response = ReadHttpResponse(socket);
    socket.Close();
    return true;
}

bool ProbeNetworkModem(const std::string& device) {
    std::string response;
    if (!ExchangeInit(device, &response)) return false;
    if (GetHttpHeaderValue(response, "X-QuvSMS-DeviceName:", kHeaderValueCapacity).empty()) {
        return false;
    }
    return !GetHttpHeaderValue(response, "X-QuvSMS-DeviceID:", kHeaderValueCapacity).empty();
}

bool QuvsmsModemHasDefaultSettings(const std::string& device, std::string* url,
                                   std::string* proxy) {
    url->clear();
    proxy->clear();
    std::string response;
    if (!ExchangeInit(device, &response)) return false;
    *url = GetHttpHeaderValue(response, "X-QuvSMS-MMSURL:", kHeaderValueCapacity);
    if (url->empty()) return false;
    *proxy = GetHttpHeaderValue(response, "X-QuvSMS-MMSProxy:", kHeaderValueCapacity);
    return true;
}

}  // namespace modem

extern "C" int QuvsmsModemHasDefaultSettings(const char* device, char* url, int urlSize, char* proxy,
                                             int proxySize) {
    const auto copyOut = [](const std::string& text, char* buffer, int size) {
        if (buffer == nullptr || size <= 0) return;
        const std::size_t n = std::min(text.size(), static_cast<std::size_t>(size - 1));
        std::memcpy(buffer, text.data(), n);
        buffer[n] = '\0';
    };
    std::string foundUrl, foundProxy;
    const bool found = device != nullptr && modem::QuvsmsModemHasDefaultSettings(device, &foundUrl, &foundProxy);
    copyOut(foundUrl, url, urlSize);
    copyOut(foundProxy, proxy, proxySize);
    return found ? 1 : 0;
}
