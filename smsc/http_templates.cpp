#include "smsc/http_templates.h"

#include <algorithm>
#include <cctype>

#include "acctdb/acctdb.h"
#include "config/config_store.h"
#include "platform/files.h"
#include "platform/ini.h"
#include "platform/text.h"

namespace smsc {
namespace {

constexpr const char* kTemplateFile = "TEMPLATE.INI";
constexpr const char* kTemplateRoot = "HTTPSMSC/";

constexpr const char* kTemplateKeys[] = {
    "HostName",      "HostPort",        "UseSSL",          "RootURL",
    "UserName",      "Password",        "HTTPUseAuth",     "RemovePlus",
    "SendLongMessage", "HTTPProxy",     "SenderAddress",   "SenderAddressOverride",
    "ThreadCount",   "LongTextAsText",  "UnicodeAsText",   "Charset",
};

std::string Lower(const std::string& text) { return platform::ToLowerAscii(text); }

bool StartsWithNoCase(const std::string& text, const std::string& prefix) {
    return text.size() >= prefix.size() && Lower(text.substr(0, prefix.size())) == prefix;
}

bool ContainsNoCase(const std::string& haystack, const char* needle) {
    return Lower(haystack).find(Lower(needle)) != std::string::npos;
}

// Template directories under one base, in listing order.
void CollectTemplateDirectories(const std::string& base, std::vector<std::string>& names) {
    for (const platform::DirEntry& entry : platform::ListDirectory(base + kTemplateRoot)) {
        if (!entry.isDirectory || entry.name.empty() || entry.name[0] == '.') continue;
        const std::string dir = base + kTemplateRoot + entry.name + "/";
        if (!platform::FileExists(dir + kTemplateFile)) continue;
        const bool listed = std::any_of(names.begin(), names.end(), [&](const std::string& n) {
            return Lower(n) == Lower(entry.name);
        });
        if (!listed) names.push_back(entry.name);
    }
}

// A directory name that stays one directory below HTTPSMSC/.
bool PlainName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of("/\\") == std::string::npos;
}

}  // namespace

ServerUrl ParseServerUrl(const std::string& text) {
    ServerUrl url;
    std::string rest = text;
    if (StartsWithNoCase(rest, "http://")) {
        rest = rest.substr(7);
    } else if (StartsWithNoCase(rest, "https://")) {
        rest = rest.substr(8);
        url.ssl = true;
    }
    url.port = url.ssl ? 443 : 80;
    const auto slash = rest.find('/');
    if (slash != std::string::npos) {
        url.rootUrl = rest.substr(slash + 1, kRootUrlMax);
        rest.resize(slash);
    }
    config::SplitHostPort(rest, url.host, url.port);
    const std::size_t close = !rest.empty() && rest[0] == '[' ? rest.find(']') : 0;
    const std::size_t colon = close == std::string::npos ? close : rest.find(':', close);
    if (colon != std::string::npos) {
        const std::string portText = rest.substr(colon + 1);
        const bool digits = !portText.empty() && portText.size() <= 5 &&
                            portText.find_first_not_of("0123456789") == std::string::npos;
        url.badPort = !digits || std::stoul(portText) == 0 || std::stoul(portText) > 65535;
    }
    return url;
}

std::string ComposeServerUrl(bool ssl, const std::string& host, unsigned port,
                             const std::string& rootUrl) {
    std::string url = ssl ? "https://" : "http://";
    url += host;
    if (port != (ssl ? 443u : 80u)) url += ":" + std::to_string(port);
    url += "/";
    url += rootUrl.empty() || rootUrl[0] != '/' ? rootUrl : rootUrl.substr(1);
    return url;
}

bool FindBuiltInServerType(const std::string& name, BuiltInServerType* type) {
    if (name == kServerTypeQuv) {
        *type = {"/?PhoneNumber=@@PhoneNumber@@&Text=@@Text@@",
                 "/?PhoneNumber=@@PhoneNumber@@&Binary=1&Data=@@Data@@&UDH=@@UDH@@&pid=@@pid@@"
                 "&dcs=@@dcs@@",
                 true};
        return true;
    }
    if (name == kServerTypeIgnite) {
        *type = {"/IgniteSolns/sms-bin/wapper.pl?user=@@UserName@@&pass=@@Password@@"
                 "&number=@@PhoneNumber@@&message=@@Text@@",
                 "/IgniteSolns/sms-bin/wapper.pl?user=@@UserName@@&pass=@@Password@@"
                 "&number=@@PhoneNumber@@&binary=1&message=@@UDH@@@@Data@@",
                 false};
        return true;
    }
    return false;
}

std::vector<std::string> ServerTypeNames() {
    std::vector<std::string> names{kServerTypeCustom, kServerTypeQuv, kServerTypeIgnite};
    for (std::string& dir : TemplateDirectories()) names.push_back(std::move(dir));
    return names;
}

std::vector<std::string> TemplateDirectories() {
    std::vector<std::string> names;
    CollectTemplateDirectories(platform::WithSlash(acctdb::GetPrivateDataDirectory()), names);
    CollectTemplateDirectories(platform::WithSlash(acctdb::GetRealProgramDirectory()), names);
    return names;
}

std::vector<std::pair<std::string, std::string>> ReadServerTemplate(const std::string& directory) {
    std::vector<std::pair<std::string, std::string>> values;
    if (!PlainName(directory)) return values;
    std::string path;
    for (const std::string& base :
         {acctdb::GetPrivateDataDirectory(), acctdb::GetRealProgramDirectory()}) {
        const std::string candidate =
            platform::WithSlash(base) + kTemplateRoot + directory + "/" + kTemplateFile;
        if (platform::FileExists(candidate)) {
            path = candidate;
            break;
        }
    }
    if (path.empty()) return values;
    for (const char* key : kTemplateKeys) {
        std::string value = platform::GetPrivateProfileString(path, "Send", key, "");
        if (value.size() >= config::kValueSize) value.resize(config::kValueSize - 1);
        if (!value.empty() || std::string(key) == "HTTPProxy") values.emplace_back(key, value);
    }
    return values;
}

std::string TemplateFault(const std::string& urlTemplate) {
    if (urlTemplate.empty()) return "Field is required";
    if (!ContainsNoCase(urlTemplate, "@@PhoneNumber@@"))
        return "Template must contain @@PhoneNumber@@ parameter!";
    if (!ContainsNoCase(urlTemplate, "@@Text@@") && !ContainsNoCase(urlTemplate, "@@Data@@") &&
        !ContainsNoCase(urlTemplate, "@@DataBin@@"))
        return "Template must contain @@Text@@ or @@Data@@ or @@DataBin@@ parameter!";
    return "";
}

}  // namespace smsc
