#include "gateway/web/php_gateway.h"

#include <cctype>
#include <filesystem>

#include "gateway/logs.h"
#include "platform/restricted_command.h"
#include "platform/files.h"
#include "platform/tcp_listener.h"
#include "platform/text.h"

namespace gateway::web {

namespace {

constexpr std::string_view kPrefix = "/php";
// A stop waits for the requests being served, and the service must be gone within ten
// seconds of being asked: a script gets eight.
constexpr int kPhpTimeoutMs = 8'000;

bool Inside(const std::filesystem::path& root, const std::filesystem::path& path) {
    auto r = root.begin(), p = path.begin();
    for (; r != root.end() && !r->empty(); ++r, ++p)
        if (p == path.end() || *r != *p) return false;
    return true;
}

std::vector<std::string> CgiEnvironment(const HttpRequest& request, const std::string& clientAddress, bool tls,
                                        const std::string& script, const std::string& scriptName,
                                        const std::string& phpDir) {
    std::vector<std::string> env{
        "GATEWAY_INTERFACE=CGI/1.1",
        "SERVER_SOFTWARE=zellant",
        "SERVER_PROTOCOL=" + request.version,
        "REQUEST_METHOD=" + request.method,
        "REQUEST_URI=" + request.target,
        "SCRIPT_FILENAME=" + script,
        "SCRIPT_NAME=" + scriptName,
        "DOCUMENT_ROOT=" + phpDir,
        "QUERY_STRING=" + request.query,
        "REMOTE_ADDR=" + clientAddress,
        "REDIRECT_STATUS=200",  // php-cgi refuses to run a script without it
        "PATH=/usr/local/bin:/usr/bin:/bin",
    };
    if (tls) env.push_back("HTTPS=on");
    if (!request.body.empty() || request.method == "POST") {
        env.push_back("CONTENT_LENGTH=" + std::to_string(request.body.size()));
        env.push_back("CONTENT_TYPE=" + request.Header("content-type"));
    }
    const std::string host = request.Header("host");
    env.push_back("SERVER_NAME=" + host.substr(0, host.rfind(':') == std::string::npos ? host.size() : host.rfind(':')));
    for (const auto& [name, value] : request.headers) {
        // "Proxy" would become HTTP_PROXY, which HTTP clients inside scripts obey.
        if (name == "proxy" || name == "content-length" || name == "content-type") continue;
        std::string key = "HTTP_";
        for (char c : name) key += c == '-' ? '_' : platform::UpperAscii(c);
        env.push_back(key + "=" + value);
    }
    return env;
}

}  // namespace

std::string PhpScriptPath(const std::string& phpDir, const std::string& requestPath) {
    if (requestPath.rfind(kPrefix, 0) != 0) return "";
    std::string rest = requestPath.substr(kPrefix.size());
    if (!rest.empty() && rest[0] != '/') return "";
    std::string relative;
    std::size_t start = rest.empty() ? 0 : 1;
    while (start < rest.size()) {
        std::size_t slash = rest.find('/', start);
        if (slash == std::string::npos) slash = rest.size();
        const std::string part = rest.substr(start, slash - start);
        if (part.empty() || part[0] == '.' || part.find('\\') != std::string::npos ||
            part.find('\0') != std::string::npos)
            return "";
        relative += (relative.empty() ? "" : "/") + part;
        start = slash + 1;
    }
    std::string path = platform::WithSlash(phpDir) + relative;
    if (relative.empty() || platform::DirectoryExists(path)) path = platform::WithSlash(path) + "index.php";
    if (path.size() < 4 || !platform::EqualsNoCase(path.substr(path.size() - 4), ".php")) return "";
    std::error_code error;
    const auto root = std::filesystem::canonical(phpDir, error);
    if (error) return "";
    const auto real = std::filesystem::canonical(path, error);
    if (error || !Inside(root, real) || !std::filesystem::is_regular_file(real, error)) return "";
    return real.string();
}

CgiOutcome ParseCgiOutput(const std::string& output) {
    CgiOutcome out;
    std::size_t end = output.find("\r\n\r\n");
    std::size_t bodyAt = end == std::string::npos ? std::string::npos : end + 4;
    const std::size_t lfEnd = output.find("\n\n");
    if (lfEnd != std::string::npos && (end == std::string::npos || lfEnd < end)) {
        end = lfEnd;
        bodyAt = lfEnd + 2;
    }
    if (end == std::string::npos) {
        out.response = TextResponse(502, "The PHP program gave no answer");
        return out;
    }
    HttpResponse& r = out.response;
    r.contentType.clear();
    std::size_t start = 0;
    while (start < end) {
        std::size_t eol = output.find('\n', start);
        if (eol == std::string::npos || eol > end) eol = end;
        std::string line = output.substr(start, eol - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        start = eol + 1;
        const std::size_t colon = line.find(':');
        if (colon == std::string::npos || colon == 0) continue;
        const std::string name = line.substr(0, colon);
        std::string value = line.substr(colon + 1);
        value.erase(0, value.find_first_not_of(" \t"));
        if (platform::EqualsNoCase(name, "Status")) {
            const int status = std::atoi(value.c_str());
            r.status = status >= 100 && status <= 599 ? status : 500;
        } else if (platform::EqualsNoCase(name, "Content-Type")) {
            r.contentType = value;
        } else if (!platform::EqualsNoCase(name, "Content-Length") && !platform::EqualsNoCase(name, "Connection") &&
                   !platform::EqualsNoCase(name, "Transfer-Encoding")) {
            if (platform::EqualsNoCase(name, "Location") && r.status == 200) r.status = 302;
            r.Add(name, value);
        }
    }
    if (r.contentType.empty()) r.contentType = "text/html; charset=utf-8";
    r.body = output.substr(std::min(bodyAt, output.size()));
    out.ok = true;
    return out;
}

HttpResponse ServePhp(const HttpRequest& request, const std::string& clientAddress, bool tls,
                      const WebSettings& settings, const std::string& phpCgi) {
    if (!settings.phpEnable) return TextResponse(404, "PHP is not enabled");
    if (!settings.phpAllowRemote && !platform::IsLoopbackAddress(clientAddress))
        return TextResponse(403, "PHP pages are served to this computer only");
    if (phpCgi.empty()) return TextResponse(503, "PHP support not available, unable to locate php-cgi");
    const std::string script = PhpScriptPath(settings.phpDir, request.path);
    if (script.empty()) return TextResponse(404, "Not found");
    platform::RestrictedRun run;
    run.argv = {phpCgi};
    run.env = CgiEnvironment(request, clientAddress, tls, script, request.path, settings.phpDir);
    run.workingDir = script.substr(0, script.rfind('/'));
    run.input = request.body;
    run.maxOutput = 8 * 1024 * 1024;
    run.mergeErrors = false;  // PHP's warnings on standard error would break the CGI head
    run.timeoutMs = kPhpTimeoutMs;
    run.runAsUser = platform::GatewayProgramAccount();
    const platform::RestrictedResult result = platform::RunRestricted(run);
    if (!result.started) {
        ServiceLogs().Event(platform::EventLevel::Error, "php-cgi could not be started: " + result.error);
        return TextResponse(502, "The PHP program could not be started");
    }
    if (result.timedOut) return TextResponse(504, "The PHP program took too long");
    if (result.truncated) return TextResponse(502, "The PHP program's answer is too large");
    return ParseCgiOutput(result.output).response;
}

}  // namespace gateway::web
