// WSP sessions through a WAP 2.0 gateway, which is an HTTP proxy: a session is one TCP
// connection to the gateway, a request one HTTP/1.1 exchange for an absolute URL on it.
// Every wait and every size is bounded.
#include <algorithm>
#include <charconv>
#include <memory>
#include <string>
#include <string_view>

#include "platform/tcp_socket.h"
#include "platform/text.h"
#include "waplnk/target_connect.h"
#include "waplnk/waplnk.h"

namespace {

constexpr std::uint64_t kConnectMs = 15000;
constexpr std::uint64_t kExchangeMs = 30000;
constexpr std::size_t kMaxHeader = 16 * 1024;
constexpr std::size_t kMaxBody = 1024 * 1024;

struct WspSession {
    platform::TcpSocket socket;
};

std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>((c >= 'A' && c <= 'Z') ? c + 32 : c);
    return out;
}

// The value of header `name` (lower case) in the head, or empty.
std::string Header(const std::string& head, std::string_view name) {
    std::string lower = Lower(head);
    std::string key = "\r\n" + std::string(name) + ":";
    std::size_t at = lower.find(key);
    if (at == std::string::npos) return {};
    std::size_t start = at + key.size();
    std::size_t end = head.find("\r\n", start);
    std::string_view value(head.data() + start, end - start);
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.remove_suffix(1);
    return std::string(value);
}

bool ParseNumber(std::string_view text, std::size_t& value, int base) {
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    return ec == std::errc() && end != text.data();
}

// Reads `count` bytes more onto `body`.
bool ReadExactly(platform::TcpSocket& s, std::size_t count, std::string& body) {
    if (count == 0) return true;
    std::string part;
    if (!s.ReceiveUntil(part, "", count, kExchangeMs).Ok()) return false;
    body += part;
    return true;
}

bool ReadChunked(platform::TcpSocket& s, std::size_t cap, std::string& body) {
    for (;;) {
        std::string line;
        if (!s.ReceiveUntil(line, "\r\n", 1024, kExchangeMs).Ok()) return false;
        std::size_t size = 0;
        if (!ParseNumber(line, size, 16)) return false;  // extensions after ';' are ignored
        if (size == 0) break;
        // Compared without adding: a chunk size near the top of the range would wrap the
        // sum and slip a huge chunk past the cap.
        if (size > cap - std::min(cap, body.size())) return false;
        std::string crlf;
        if (!ReadExactly(s, size, body) || !s.ReceiveUntil(crlf, "", 2, kExchangeMs).Ok() || crlf != "\r\n") {
            return false;
        }
    }
    for (;;) {  // trailer lines up to the empty one
        std::string line;
        if (!s.ReceiveUntil(line, "\r\n", 1024, kExchangeMs).Ok()) return false;
        if (line == "\r\n") return true;
    }
}

bool ReadToClose(platform::TcpSocket& s, std::size_t cap, std::string& body) {
    char buffer[4096];
    for (;;) {
        platform::IoResult r = s.Receive(buffer, sizeof buffer, kExchangeMs);
        if (r.status == platform::IoStatus::Closed) return true;
        if (!r.Ok()) return false;
        body.append(buffer, r.bytes);
        if (body.size() > cap) return false;
    }
}

// Reads one response; its body into `body` when the status is 2xx.
bool ReadResponse(platform::TcpSocket& s, const std::string& method, std::size_t cap, std::string& body) {
    std::string head;
    if (!s.ReceiveUntil(head, "\r\n\r\n", kMaxHeader, kExchangeMs).Ok()) return false;
    if (head.compare(0, 5, "HTTP/") != 0) return false;
    std::size_t space = head.find(' ');
    std::size_t status = 0;
    if (space == std::string::npos || !ParseNumber(std::string_view(head).substr(space + 1, 3), status, 10)) {
        return false;
    }
    bool noBody = method == "HEAD" || status / 100 == 1 || status == 204 || status == 304;
    if (!noBody) {
        std::string length = Header(head, "content-length");
        if (Lower(Header(head, "transfer-encoding")).find("chunked") != std::string::npos) {
            if (!ReadChunked(s, cap, body)) return false;
        } else if (!length.empty()) {
            std::size_t n = 0;
            if (!ParseNumber(length, n, 10) || n > cap || !ReadExactly(s, n, body)) return false;
        } else if (!ReadToClose(s, cap, body)) {
            return false;
        }
    }
    return status / 100 == 2;
}

// The "host[:port]" of an absolute URL, for the Host header; empty when not absolute.
std::string HostOf(std::string_view url) {
    std::size_t scheme = url.find("://");
    if (scheme == std::string_view::npos) return {};
    std::string_view rest = url.substr(scheme + 3);
    rest = rest.substr(0, rest.find_first_of("/?#"));
    if (std::size_t at = rest.rfind('@'); at != std::string_view::npos) rest.remove_prefix(at + 1);
    return std::string(rest);
}

bool Printable(std::string_view text) {
    for (char c : text) {
        if (static_cast<unsigned char>(c) < 0x21 || c == 0x7f) return false;
    }
    return !text.empty();
}

}  // namespace

extern "C" WAPLNK_API void* WSPConnect(const char* gateway) {
    waplnk::Target target;
    if (gateway == nullptr || !waplnk::ParseGateway(gateway, target)) return nullptr;
    auto session = std::make_unique<WspSession>();
    session->socket = platform::TcpSocket::Connect(target.host, target.port, kConnectMs);
    if (!session->socket.IsOpen()) return nullptr;
    return session.release();  // owned by the caller until WSPDisconnect
}

extern "C" WAPLNK_API void WSPDisconnect(void* session) {
    std::unique_ptr<WspSession> owned(static_cast<WspSession*>(session));
    if (owned) owned->socket.Close();
}

extern "C" WAPLNK_API int WSPRequest(void* session, const char* method, const char* url,
                                     const char* contentType, const unsigned char* body,
                                     int bodyLength, unsigned char* response, int responseCapacity) {
    auto* s = static_cast<WspSession*>(session);
    if (s == nullptr || !s->socket.IsOpen() || method == nullptr || url == nullptr || bodyLength < 0 ||
        (body == nullptr && bodyLength > 0) || response == nullptr || responseCapacity < 0) {
        return -1;
    }
    std::string verb = method;
    std::string host = HostOf(url);
    // Header values come from the caller: refuse anything that could split the request.
    if ((verb != "GET" && verb != "POST") || host.empty() || !Printable(url) ||
        (contentType != nullptr && std::string_view(contentType).find_first_of("\r\n") != std::string_view::npos)) {
        return -1;
    }
    std::string request = verb + " " + url + " HTTP/1.1\r\nHost: " + host + "\r\n";
    if (contentType != nullptr && *contentType != '\0') request += "Content-Type: " + std::string(contentType) + "\r\n";
    if (verb == "POST") request += "Content-Length: " + std::to_string(bodyLength) + "\r\n";
    request += "\r\n";
    if (bodyLength > 0) request.append(reinterpret_cast<const char*>(body), static_cast<std::size_t>(bodyLength));
    if (!s->socket.SendAll(request, kExchangeMs).Ok()) return -1;
    std::size_t cap = std::min(kMaxBody, static_cast<std::size_t>(responseCapacity));
    std::string content;
    if (!ReadResponse(s->socket, verb, cap, content)) {
        s->socket.Close();  // the stream position is unknown now; no further request on it
        return -1;
    }
    std::copy(content.begin(), content.end(), response);
    return static_cast<int>(content.size());
}
