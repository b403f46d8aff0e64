#include "config/config_store.h"

#include <cstdio>

#include "acctdb/acctdb.h"
#include "platform/ini.h"
#include "platform/ini_snapshot.h"
#include "platform/text.h"

namespace config {

namespace {

using platform::EqualsNoCase;
using platform::StartsWithNoCase;

std::string ModemKey(unsigned n) { return "Modem" + std::to_string(n); }

// The escapes a connection name gets inside a section header. "\x5C" exists only to keep
// a literal backslash from being read back as one of the other two.
constexpr std::string_view kOpenEscape = "\\x5B";
constexpr std::string_view kCloseEscape = "\\x5D";
constexpr std::string_view kBackslashEscape = "\\x5C";

bool IsEscapeAt(std::string_view text, std::size_t i) {
    std::string_view rest = text.substr(i);
    return rest.starts_with(kOpenEscape) || rest.starts_with(kCloseEscape) ||
           rest.starts_with(kBackslashEscape);
}

}  // namespace

// The account-store library holds the one name of each file; this module keeps no copy,
// so its readers and the library's can never look at two different files.
std::string ConfigurationPath() {
    std::string handed = acctdb::SMSIniFilename();
    if (!handed.empty()) return handed;
    return acctdb::GetProgramDataDirectory() + "ZELLA.INI";
}

void SetConfigurationPath(const std::string& path) { acctdb::SMSIniSetFilename(path); }

std::string MmscIniPath() {
    std::string handed = acctdb::MMSCIniFilename();
    if (!handed.empty()) return handed;
    return acctdb::GetProgramDataDirectory() + "MMSC.INI";
}

std::string ReadZellaKey(std::string_view key, std::string_view def, std::size_t size) {
    return platform::GetPrivateProfileString(ConfigurationPath(), kZellaSection, key, def, size);
}

bool WriteZellaKey(std::string_view key, std::optional<std::string_view> value) {
    return platform::WritePrivateProfileString(ConfigurationPath(), kZellaSection, key, value);
}

bool IsYes(std::string_view text) {
    if (text.empty()) return false;
    if (text[0] == 'Y' || text[0] == 'y' || text[0] == '1') return true;
    return EqualsNoCase(text, "TRUE");
}

std::vector<std::string> ListConnections() { return ListConnections(platform::IniSnapshot(ConfigurationPath())); }

std::vector<std::string> ListConnections(const platform::IniSnapshot& zella) {
    std::vector<std::string> names;
    bool previousHadValue = true;
    for (unsigned n = 1; n <= 201 || previousHadValue; ++n) {
        std::string name = zella.Get(kZellaSection, ModemKey(n), "", kValueSize);
        previousHadValue = !name.empty();
        if (previousHadValue) names.push_back(std::move(name));
    }
    return names;
}

unsigned FindConnection(std::string_view name) {
    const platform::IniSnapshot zella(ConfigurationPath());
    for (unsigned n = 1;; ++n) {
        std::string value = zella.Get(kZellaSection, ModemKey(n), "", kValueSize);
        if (value.empty()) return 0;
        if (EqualsNoCase(value, name)) return n;
    }
}

std::string ConnectionSectionName(std::string_view name) {
    static constexpr std::string_view kTypedPrefixes[] = {
        "SMPP - ", "HTTP - ", "UCP - ", "CIMD - ", "IPModem - ", "QuvSMSModem - "};
    std::string plain;
    bool typed = false;
    for (std::string_view prefix : kTypedPrefixes) typed = typed || StartsWithNoCase(name, prefix);
    if (!typed) plain = "Modem - ";
    plain.append(name);

    std::string section;
    section.reserve(plain.size() + 8);
    for (std::size_t i = 0; i < plain.size(); ++i) {
        char c = plain[i];
        if (c == '[') {
            section += kOpenEscape;
        } else if (c == ']') {
            section += kCloseEscape;
        } else if (c == '\\' && IsEscapeAt(plain, i)) {
            section += kBackslashEscape;
        } else {
            section += c;
        }
    }
    return section;
}

std::string ConnectionNameFromSection(std::string_view section) {
    std::string name;
    name.reserve(section.size());
    for (std::size_t i = 0; i < section.size();) {
        std::string_view rest = section.substr(i);
        if (rest.starts_with(kOpenEscape)) {
            name += '[';
            i += kOpenEscape.size();
        } else if (rest.starts_with(kCloseEscape)) {
            name += ']';
            i += kCloseEscape.size();
        } else if (rest.starts_with(kBackslashEscape)) {
            name += '\\';
            i += kBackslashEscape.size();
        } else {
            name += section[i++];
        }
    }
    return name;
}

bool SplitHostPort(std::string_view text, std::string& host, unsigned& port) {
    std::string_view portText;
    bool hasPort = false;
    if (text.starts_with('[')) {
        std::size_t close = text.find(']');
        if (close == std::string_view::npos) {
            host.assign(text);
            return false;
        }
        host.assign(text.substr(0, close + 1));
        if (close + 1 < text.size() && text[close + 1] == ':') {
            portText = text.substr(close + 2);
            hasPort = true;
        }
    } else {
        std::size_t colon = text.find(':');
        host.assign(text.substr(0, colon));
        if (colon != std::string_view::npos) {
            portText = text.substr(colon + 1);
            hasPort = true;
        }
    }
    if (!hasPort) return false;
    unsigned long value = 0;
    std::size_t digits = 0;
    while (digits < portText.size() && portText[digits] >= '0' && portText[digits] <= '9') {
        value = value * 10 + static_cast<unsigned long>(portText[digits] - '0');
        if (value > 65535) return false;
        ++digits;
    }
    if (digits == 0) return false;
    port = static_cast<unsigned>(value);
    return true;
}

std::optional<std::string> FindRecordValue(std::string_view record, std::string_view key) {
    std::size_t start = 0;
    while (start <= record.size()) {
        std::size_t tab = record.find('\t', start);
        std::string_view field = record.substr(
            start, tab == std::string_view::npos ? std::string_view::npos : tab - start);
        if (field.size() > key.size() && field[key.size()] == '=' && StartsWithNoCase(field, key)) {
            return std::string(field.substr(key.size() + 1));
        }
        if (tab == std::string_view::npos) break;
        start = tab + 1;
    }
    return std::nullopt;
}

std::string ConnectionFileName(std::string_view name) {
    std::string file(name);
    for (char& c : file) {
        if (c == ':' || c == '/' || c == '\\') c = '-';
    }
    return file;
}

std::string RestartTriggerNow() {
    platform::SystemTime now = acctdb::TZGetLocalTime();
    char text[64];
    std::snprintf(text, sizeof text, "%04d%02d%02d%02d%02d%02d", now.year, now.month, now.day,
                  now.hour, now.minute, now.second);
    return text;
}

std::string WriteRestartTrigger(const std::function<void(const std::string&)>& beforeStore) {
    std::string value = RestartTriggerNow();
    if (beforeStore) beforeStore(value);
    if (!WriteZellaKey("ConfigurationUpdateTriggerRestart", value)) return {};
    return value;
}

bool WriteReloadTrigger() {
    return WriteZellaKey("ConfigurationUpdateTriggerReload", std::string_view("Yes"));
}

bool IsKnownRoute(const std::string& route) {
    const std::string ini = ConfigurationPath();
    for (const std::string& c : ListConnections()) {
        if (platform::EqualsNoCase(c, route)) return true;
        const std::string alias = platform::GetPrivateProfileString(ini, ConnectionSectionName(c), "RouteName", "");
        if (!alias.empty() && platform::EqualsNoCase(alias, route)) return true;
    }
    return false;
}

}  // namespace config
