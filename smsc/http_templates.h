// What the HTTP SMSC dialog knows about a provider's web server apart from its controls:
// the server URL text and its parts, the built-in server types with their URL
// templates, the template directories on disk with their TEMPLATE.INI, and the checks a
// URL template must pass.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace smsc {

inline constexpr const char* kServerTypeCustom = "Custom";
inline constexpr const char* kServerTypeQuv = "Quv SMS";
inline constexpr const char* kServerTypeIgnite = "BT Ignite";
inline constexpr std::size_t kRootUrlMax = 249;

// The server URL split into the parts a connection stores.
struct ServerUrl {
    std::string host;      // as typed (a bracketed IPv6 literal keeps its brackets)
    unsigned port = 80;    // 80 for plain, 443 for TLS when the text gives none
    bool ssl = false;      // "https://"
    std::string rootUrl;   // after the first "/", at most 249 characters
    bool badPort = false;  // a port was given that is not 1..65535 in decimal
};

// Parses the "Server Host Name or Address:" text: a leading "http://" (any case) is
// dropped; else a leading "https://" is dropped and TLS is on; any other text is host,
// port and path without a scheme over plain HTTP. Cut at the first "/"; the front goes
// through SplitHostPort. A port text that is not a decimal number from 1 to 65535
// (which SplitHostPort would pass over, leaving the scheme's port) sets `badPort`.
ServerUrl ParseServerUrl(const std::string& text);

// The text the URL field shows: scheme, host, ":" and the port unless it is the
// scheme's own, "/", and `rootUrl` without its leading "/".
std::string ComposeServerUrl(bool ssl, const std::string& host, unsigned port,
                             const std::string& rootUrl);

// The URL templates a built-in server type sets, and whether it sends the login in
// HTTP Authorization headers; false for any other name.
struct BuiltInServerType {
    const char* text;
    const char* binary;
    bool httpAuth;
};
bool FindBuiltInServerType(const std::string& name, BuiltInServerType* type);

// "Custom", "Quv SMS", "BT Ignite", then the template directories.
std::vector<std::string> ServerTypeNames();

// Every sub-directory of "HTTPSMSC/" under the private data directory holding a
// "TEMPLATE.INI", then those under the program directory whose names are not listed
// yet; in directory-listing order, names beginning with "." left out.
std::vector<std::string> TemplateDirectories();

// The non-empty keys of section "Send" of the directory's TEMPLATE.INI (looked up under
// the private data directory first, then the program directory) that prefill the
// dialog, in file-key order; "HTTPProxy" is always present (possibly empty). Nothing
// when the directory has no TEMPLATE.INI.
std::vector<std::pair<std::string, std::string>> ReadServerTemplate(const std::string& directory);

// "" when the URL template is acceptable, else the message for the operator: "Field is
// required", "Template must contain @@PhoneNumber@@ parameter!" or "Template must contain
// @@Text@@ or @@Data@@ or @@DataBin@@ parameter!". Placeholders match in any case.
std::string TemplateFault(const std::string& urlTemplate);

}  // namespace smsc
