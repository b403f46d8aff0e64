// "/php/": PHP scripts of the PHP folder run through php-cgi (CGI/1.1), for loopback
// clients unless remote ones are allowed. Only ".php" files below the folder run; a path
// that climbs out of it, names a hidden entry or leads out through a link is refused.
// php-cgi gets a fixed environment, runs with a time and output bound, and never as root.
#pragma once

#include <string>

#include "gateway/web/http_message.h"
#include "gateway/web/web_settings.h"

namespace gateway::web {

// The script a "/php/..." path names below `phpDir` ("" when refused): "index.php" for
// the folder itself or a sub-folder.
std::string PhpScriptPath(const std::string& phpDir, const std::string& requestPath);

struct CgiOutcome {
    HttpResponse response;
    bool ok = false;
};

// Turns a CGI program's output (headers, blank line, body) into a response; a program
// output without a header block is a 502.
CgiOutcome ParseCgiOutput(const std::string& output);

// Serves one "/php/" request. `phpCgi` is the located program ("" when none was found).
HttpResponse ServePhp(const HttpRequest& request, const std::string& clientAddress, bool tls,
                      const WebSettings& settings, const std::string& phpCgi);

}  // namespace gateway::web
