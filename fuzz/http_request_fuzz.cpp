// What a web client sends the service: the request parser, fed whole and in two pieces,
// and the form, cookie and escaping helpers the handlers run on its fields.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "gateway/web/http_message.h"
#include "gateway/web/php_gateway.h"

using namespace gateway::web;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    HttpLimits limits;
    limits.maxBody = 4096;
    HttpRequest whole;
    const ParseOutcome a = ParseHttpRequest(input, limits, whole);
    if (a.status == ParseStatus::Complete) {
        // A complete request never claims more than it was given, and its body is what
        // Content-Length announced (or what the chunks held, never more than the bound).
        if (a.consumed > input.size() || whole.body.size() > limits.maxBody) std::abort();
        const std::string length = whole.Header("content-length");
        if (!length.empty() && whole.body.size() != std::stoull(length)) std::abort();
        if (length.empty() && whole.Header("transfer-encoding").empty() && !whole.body.empty()) std::abort();
        // One byte less is never a complete request: the parser waits for the whole of it.
        HttpRequest part;
        if (ParseHttpRequest(std::string_view(input).substr(0, a.consumed - 1), limits, part).status ==
            ParseStatus::Complete)
            std::abort();
        for (const auto& [name, value] : ParseForm(whole.query)) {
            if (HtmlEscape(name).find('<') != std::string::npos || HtmlEscape(value).find('"') != std::string::npos)
                std::abort();
        }
        ParseCookies(whole.Header("cookie"));
        const std::string script = PhpScriptPath("/nonexistent-php-root/", whole.path);
        if (!script.empty()) std::abort();  // nothing exists below a missing folder
    } else if (a.status == ParseStatus::Invalid) {
        if (a.errorStatus < 400 || a.errorStatus > 505) std::abort();
    }
    ParseCgiOutput(input);
    std::string decoded;
    PercentDecode(input, decoded, true);
    if (decoded.size() > input.size()) std::abort();
    return 0;
}
