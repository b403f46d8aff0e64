#include "gateway/web/http_message.h"

#include <cctype>

#include "platform/text.h"

namespace gateway::web {

namespace {

bool IsTokenChar(unsigned char c) {
    return std::isalnum(c) || std::string_view("!#$%&'*+-.^_`|~").find(static_cast<char>(c)) != std::string_view::npos;
}

bool IsToken(std::string_view text) {
    if (text.empty()) return false;
    for (unsigned char c : text)
        if (!IsTokenChar(c)) return false;
    return true;
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

ParseOutcome Invalid(int status, std::string reason) {
    ParseOutcome o;
    o.status = ParseStatus::Invalid;
    o.errorStatus = status;
    o.reason = std::move(reason);
    return o;
}

// The request line; "" when it is well formed.
std::string ParseRequestLine(std::string_view line, HttpRequest& out, int& status) {
    status = 400;
    const std::size_t sp1 = line.find(' ');
    const std::size_t sp2 = sp1 == std::string_view::npos ? sp1 : line.find(' ', sp1 + 1);
    if (sp2 == std::string_view::npos || line.find(' ', sp2 + 1) != std::string_view::npos)
        return "malformed request line";
    out.method = std::string(line.substr(0, sp1));
    out.target = std::string(line.substr(sp1 + 1, sp2 - sp1 - 1));
    out.version = std::string(line.substr(sp2 + 1));
    if (!IsToken(out.method)) return "malformed method";
    if (out.version != "HTTP/1.1" && out.version != "HTTP/1.0") {
        status = out.version.rfind("HTTP/", 0) == 0 ? 505 : 400;
        return "unsupported version";
    }
    if (out.target.empty() || out.target[0] != '/') return "target is not an absolute path";
    for (unsigned char c : out.target)
        if (c <= 0x20 || c >= 0x7F) return "control or non-ASCII byte in target";
    const std::size_t q = out.target.find('?');
    out.query = q == std::string::npos ? "" : out.target.substr(q + 1);
    if (!PercentDecode(std::string_view(out.target).substr(0, q), out.path, false)) return "malformed escape in path";
    if (out.path.find('\0') != std::string::npos) return "NUL in path";
    return "";
}

// A chunked body from `at`: hexadecimal sizes (extensions ignored), each chunk ended by
// CR LF, a zero size, then trailer lines up to an empty one. Complete with `end` after it.
ParseOutcome ReadChunkedBody(std::string_view data, std::size_t at, std::size_t maxBody, std::string& body,
                             std::size_t& end) {
    body.clear();
    for (;;) {
        const std::size_t eol = data.find("\r\n", at);
        if (eol == std::string_view::npos) return data.size() - at > 64 ? Invalid(400, "chunk size line too long") : ParseOutcome();
        std::string_view size = data.substr(at, eol - at);
        size = size.substr(0, size.find(';'));
        while (!size.empty() && (size.back() == ' ' || size.back() == '\t')) size.remove_suffix(1);
        if (size.empty() || size.size() > 8 || size.find_first_not_of("0123456789abcdefABCDEF") != std::string_view::npos)
            return Invalid(400, "malformed chunk size");
        const std::size_t n = std::stoul(std::string(size), nullptr, 16);
        at = eol + 2;
        if (n == 0) break;
        if (body.size() + n > maxBody) return Invalid(413, "body too large");
        if (data.size() < at + n + 2) return {};
        if (data.substr(at + n, 2) != "\r\n") return Invalid(400, "chunk not ended by CR LF");
        body.append(data.substr(at, n));
        at += n + 2;
    }
    // Trailer fields are read past, never used.
    for (std::size_t lines = 0;; ++lines) {
        const std::size_t eol = data.find("\r\n", at);
        if (eol == std::string_view::npos) return data.size() - at > 8192 ? Invalid(431, "trailer too large") : ParseOutcome();
        if (lines > 64) return Invalid(431, "too many trailer fields");
        const bool last = eol == at;
        at = eol + 2;
        if (last) break;
    }
    end = at;
    ParseOutcome done;
    done.status = ParseStatus::Complete;
    return done;
}

}  // namespace

std::string HttpRequest::Header(std::string_view name) const {
    for (const auto& [n, v] : headers)
        if (n == name) return v;
    return "";
}

ParseOutcome ParseHttpRequest(std::string_view data, const HttpLimits& limits, HttpRequest& out) {
    const std::size_t lineEnd = data.find("\r\n");
    if (lineEnd == std::string_view::npos) {
        if (data.find('\n') != std::string_view::npos) return Invalid(400, "line not ended by CR LF");
        if (data.size() > limits.maxRequestLine) return Invalid(414, "request line too long");
        return {};
    }
    if (lineEnd > limits.maxRequestLine) return Invalid(414, "request line too long");
    const std::size_t headEnd = data.find("\r\n\r\n");
    if (headEnd == std::string_view::npos) {
        if (data.size() > limits.maxHeaderBytes) return Invalid(431, "headers too large");
        return {};
    }
    if (headEnd + 4 > limits.maxHeaderBytes) return Invalid(431, "headers too large");
    out = HttpRequest();
    int status = 400;
    if (std::string why = ParseRequestLine(data.substr(0, lineEnd), out, status); !why.empty())
        return Invalid(status, why);
    std::string_view head = data.substr(lineEnd + 2, headEnd + 2 - (lineEnd + 2));
    std::string contentLength;
    bool hasLength = false;
    while (!head.empty()) {
        const std::size_t end = head.find("\r\n");
        std::string_view line = head.substr(0, end);
        head.remove_prefix(end + 2);
        if (line.find('\n') != std::string_view::npos || line.find('\r') != std::string_view::npos)
            return Invalid(400, "bare CR or LF in a header");
        if (!line.empty() && (line[0] == ' ' || line[0] == '\t')) return Invalid(400, "folded header");
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos || !IsToken(line.substr(0, colon))) return Invalid(400, "malformed header");
        std::string_view value = Trim(line.substr(colon + 1));
        for (unsigned char c : value)
            if ((c < 0x20 && c != '\t') || c == 0x7F) return Invalid(400, "control byte in a header value");
        if (out.headers.size() >= limits.maxHeaders) return Invalid(431, "too many headers");
        std::string name = platform::ToLowerAscii(std::string(line.substr(0, colon)));
        if (name == "content-length") {
            if (value.empty() || value.size() > 18 || value.find_first_not_of("0123456789") != std::string_view::npos)
                return Invalid(400, "malformed Content-Length");
            if (hasLength && contentLength != value) return Invalid(400, "conflicting Content-Length");
            hasLength = true;
            contentLength = std::string(value);
        }
        out.headers.emplace_back(std::move(name), std::string(value));
    }
    if (out.version == "HTTP/1.1" && out.Header("host").empty()) return Invalid(400, "no Host header");
    const std::size_t bodyStart = headEnd + 4;
    std::size_t end = 0;
    const std::string coding = platform::ToLowerAscii(out.Header("transfer-encoding"));
    if (!coding.empty()) {
        // Both framings at once is how requests are smuggled past proxies: refused.
        if (hasLength) return Invalid(400, "Content-Length with Transfer-Encoding");
        if (coding != "chunked") return Invalid(501, "transfer coding not supported: " + coding);
        ParseOutcome chunked = ReadChunkedBody(data, bodyStart, limits.maxBody, out.body, end);
        if (chunked.status != ParseStatus::Complete) return chunked;
    } else {
        const unsigned long long length = hasLength ? std::stoull(contentLength) : 0;
        if (length > limits.maxBody) return Invalid(413, "body too large");
        if (data.size() - bodyStart < length) return {};
        out.body = std::string(data.substr(bodyStart, length));
        end = bodyStart + length;
    }
    const std::string connection = platform::ToLowerAscii(out.Header("connection"));
    out.keepAlive = out.version == "HTTP/1.1" ? connection.find("close") == std::string::npos
                                              : connection.find("keep-alive") != std::string::npos;
    ParseOutcome done;
    done.status = ParseStatus::Complete;
    done.consumed = end;
    return done;
}

const char* ReasonPhrase(int status) {
    switch (status) {
        case 200: return "OK";
        case 201: return "Created";
        case 202: return "Accepted";
        case 204: return "No Content";
        case 301: return "Moved Permanently";
        case 302: return "Found";
        case 303: return "See Other";
        case 304: return "Not Modified";
        case 400: return "Bad Request";
        case 401: return "Unauthorized";
        case 402: return "Payment Required";
        case 403: return "Forbidden";
        case 404: return "Not Found";
        case 405: return "Method Not Allowed";
        case 408: return "Request Timeout";
        case 411: return "Length Required";
        case 413: return "Content Too Large";
        case 414: return "URI Too Long";
        case 429: return "Too Many Requests";
        case 431: return "Request Header Fields Too Large";
        case 500: return "Internal Server Error";
        case 501: return "Not Implemented";
        case 502: return "Bad Gateway";
        case 503: return "Service Unavailable";
        case 504: return "Gateway Timeout";
        case 505: return "HTTP Version Not Supported";
        default: return "Unknown";
    }
}

std::string SerializeResponse(const HttpResponse& r, bool keepAlive, bool headOnly) {
    std::string out = "HTTP/1.1 " + std::to_string(r.status) + " " + ReasonPhrase(r.status) + "\r\n";
    for (const auto& [name, value] : r.headers)
        if (name.find_first_of("\r\n:") == std::string::npos && value.find_first_of("\r\n") == std::string::npos)
            out += name + ": " + value + "\r\n";  // a header a handler took from outside never splits the answer
    if (!r.contentType.empty()) out += "Content-Type: " + r.contentType + "\r\n";
    out += "Content-Length: " + std::to_string(r.body.size()) + "\r\n";
    out += keepAlive ? "Connection: keep-alive\r\n" : "Connection: close\r\n";
    out += "\r\n";
    if (!headOnly) out += r.body;
    return out;
}

HttpResponse TextResponse(int status, const std::string& text) {
    HttpResponse r;
    r.status = status;
    r.contentType = "text/plain; charset=utf-8";
    r.body = text + "\n";
    return r;
}

bool PercentDecode(std::string_view text, std::string& out, bool plusIsSpace) {
    out.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '+' && plusIsSpace) {
            out += ' ';
        } else if (c == '%') {
            if (i + 2 >= text.size() || !std::isxdigit(static_cast<unsigned char>(text[i + 1])) ||
                !std::isxdigit(static_cast<unsigned char>(text[i + 2])))
                return false;
            out += static_cast<char>(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16));
            i += 2;
        } else {
            out += c;
        }
    }
    return true;
}

std::string PercentEncode(std::string_view text) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if (std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

std::multimap<std::string, std::string> ParseForm(std::string_view text) {
    std::multimap<std::string, std::string> fields;
    while (!text.empty()) {
        const std::size_t amp = text.find('&');
        std::string_view pair = text.substr(0, amp);
        text = amp == std::string_view::npos ? std::string_view() : text.substr(amp + 1);
        if (pair.empty()) continue;
        const std::size_t eq = pair.find('=');
        std::string_view rawName = pair.substr(0, eq);
        std::string_view rawValue = eq == std::string_view::npos ? std::string_view() : pair.substr(eq + 1);
        std::string name, value;
        if (!PercentDecode(rawName, name, true)) name = std::string(rawName);
        if (!PercentDecode(rawValue, value, true)) value = std::string(rawValue);
        fields.emplace(std::move(name), std::move(value));
    }
    return fields;
}

std::map<std::string, std::string> ParseCookies(std::string_view header) {
    std::map<std::string, std::string> cookies;
    while (!header.empty()) {
        const std::size_t semi = header.find(';');
        std::string_view pair = Trim(header.substr(0, semi));
        header = semi == std::string_view::npos ? std::string_view() : header.substr(semi + 1);
        const std::size_t eq = pair.find('=');
        if (eq == std::string_view::npos || eq == 0) continue;
        cookies.emplace(std::string(Trim(pair.substr(0, eq))), std::string(Trim(pair.substr(eq + 1))));
    }
    return cookies;
}

std::string HtmlEscape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += "&#39;"; break;
            default: out += c;
        }
    }
    return out;
}

}  // namespace gateway::web
