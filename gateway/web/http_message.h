// HTTP/1.1 messages of the service's web server: a strict request parser with bounded
// sizes, the response the handlers fill, and the text helpers every handler needs
// (percent-decoding, forms, cookies, HTML escaping).
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace gateway::web {

struct HttpLimits {
    std::size_t maxRequestLine = 8 * 1024;
    std::size_t maxHeaderBytes = 16 * 1024;  // request line and headers together
    std::size_t maxHeaders = 64;
    std::size_t maxBody = 1024 * 1024;
};

struct HttpRequest {
    std::string method, target, version;
    std::string path;   // the target before "?", percent-decoded
    std::string query;  // after "?", as sent
    std::vector<std::pair<std::string, std::string>> headers;  // names in lower case
    std::string body;
    bool keepAlive = true;

    // The first header of that name (lower case), or "".
    std::string Header(std::string_view name) const;
};

enum class ParseStatus { NeedMore, Complete, Invalid };

struct ParseOutcome {
    ParseStatus status = ParseStatus::NeedMore;
    std::size_t consumed = 0;  // bytes of the input that made the request (Complete)
    int errorStatus = 0;       // HTTP status to answer with (Invalid): 400, 413, 414, 431, 501, 505
    std::string reason;        // why, for the debug log
};

// Parses one request from the start of `data` (bytes received so far on a connection).
// NeedMore while the request is incomplete and within the limits; Complete with the
// request in `out` (a chunked body decoded); Invalid for anything malformed, oversized or
// unsupported (folded headers, conflicting lengths, Content-Length beside Transfer-Encoding,
// codings other than chunked, bare LF line ends, a missing Host in 1.1).
ParseOutcome ParseHttpRequest(std::string_view data, const HttpLimits& limits, HttpRequest& out);

struct HttpResponse {
    int status = 200;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    std::string contentType = "text/html; charset=utf-8";

    void Add(std::string name, std::string value) { headers.emplace_back(std::move(name), std::move(value)); }
};

// The reason phrase of a status ("Not Found").
const char* ReasonPhrase(int status);
// The response as bytes: status line, the headers given, Content-Type, Content-Length,
// Connection, and the body (left out for HEAD, whose length still counts the body).
std::string SerializeResponse(const HttpResponse& response, bool keepAlive, bool headOnly);
// A plain-text response with a status and a one-line message.
HttpResponse TextResponse(int status, const std::string& text);

// Percent-decoding; `plusIsSpace` for form fields. False for a malformed escape.
bool PercentDecode(std::string_view text, std::string& out, bool plusIsSpace);
std::string PercentEncode(std::string_view text);
// The fields of "a=1&b=2" (form bodies and query strings); malformed escapes are kept
// as sent. A repeated name keeps every value in order.
std::multimap<std::string, std::string> ParseForm(std::string_view text);
// The cookies of a Cookie header: name -> value (the first of a repeated name).
std::map<std::string, std::string> ParseCookies(std::string_view header);
// Text made safe inside HTML elements and quoted attributes.
std::string HtmlEscape(std::string_view text);

}  // namespace gateway::web
