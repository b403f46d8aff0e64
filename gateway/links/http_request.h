// The HTTP link's requests: the connection's URL templates, a message's requests built
// from them with every placeholder filled in, and the answer's status read back.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "gateway/links/link.h"

namespace gateway {

struct HttpTemplates {
    std::string text, binary;  // path and query, placeholders included
    bool post = false;         // the query goes as a form body
};

// The templates the connection sends with: its TemplateText and TemplateBinary, or,
// when ServerType names a template directory whose TEMPLATE.INI (private data
// directory first, then the program directory) has them in section "Send", those,
// with Method=POST there sending forms. A template that begins with "POST " posts too.
HttpTemplates LoadHttpTemplates(const ConnectionSettings& settings);

struct HttpCall {
    std::string method;  // "GET" or "POST"
    std::string target;  // path and query, from "/"
    std::string body;    // POST: application/x-www-form-urlencoded
};

// The requests that send `message` (one per part when it is cut into parts), or false
// with the operator's `error` when it cannot go this way.
bool BuildHttpCalls(const ConnectionSettings& settings, const HttpTemplates& templates,
                    const OutboundMessage& message, std::vector<HttpCall>& calls,
                    std::string& error);

// `text` with every byte other than letters, digits and "-._~" written %XX.
std::string PercentEncode(std::string_view text);

// `text` with each "@@name@@" of `values` replaced (names matched ignoring case).
std::string FillPlaceholders(std::string_view text,
                             const std::vector<std::pair<std::string, std::string>>& values);

// The status code of an answer's status line ("HTTP/1.1 200 OK"), or 0 when it is none.
int HttpStatus(std::string_view statusLine);

// The data of a chunked body, as far as it is complete.
std::string Dechunk(std::string_view body);


}  // namespace gateway
