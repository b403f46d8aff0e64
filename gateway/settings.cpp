#include "gateway/settings.h"

#include <cstdlib>

#include "acctdb/acctdb.h"
#include "config/config_store.h"
#include "platform/files.h"
#include "platform/text.h"

namespace gateway {

namespace {

struct Prefix {
    std::string_view text;
    LinkKind kind;
};
constexpr Prefix kPrefixes[] = {{"SMPP - ", LinkKind::Smpp},    {"UCP - ", LinkKind::Ucp},
                                {"CIMD - ", LinkKind::Cimd},    {"HTTP - ", LinkKind::Http},
                                {"IPModem - ", LinkKind::IpModem}, {"QuvSMSModem - ", LinkKind::NetworkModem}};

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

// The "Route%u" / "AllowedUser%u" lists: 1.. up to the first empty key.
std::vector<std::string> NumberedList(const ConnectionSettings& c, const char* stem) {
    std::vector<std::string> values;
    for (unsigned n = 1; n < 10000; ++n) {
        std::string value = c.Key(stem + std::to_string(n));
        if (value.empty()) break;
        values.push_back(std::move(value));
    }
    return values;
}

}  // namespace

LinkKind KindOfConnection(std::string_view name) {
    for (const Prefix& p : kPrefixes)
        if (platform::StartsWithNoCase(name, p.text)) return p.kind;
    return LinkKind::GsmModem;
}

const char* LinkKindName(LinkKind kind) {
    switch (kind) {
        case LinkKind::Smpp: return "SMPP";
        case LinkKind::Ucp: return "UCP";
        case LinkKind::Cimd: return "CIMD2";
        case LinkKind::Http: return "HTTP";
        case LinkKind::GsmModem: return "GSM modem";
        case LinkKind::IpModem: return "IP modem";
        case LinkKind::NetworkModem: return "Android modem";
    }
    return "";
}

bool QuietHours::Contains(int hour) const {
    if (start < 0 || end < 0 || start == end) return false;
    return start < end ? (hour >= start && hour < end) : (hour >= start || hour < end);
}

long ParseBounded(std::string_view text, long def, long low, long high) {
    const std::string value(Trimmed(text));
    if (value.empty()) return def;
    char* end = nullptr;
    errno = 0;
    const long long n = std::strtoll(value.c_str(), &end, 10);
    if (end == value.c_str() || *end != '\0') return def;
    if (errno == ERANGE || n < low) return n < low ? low : high;
    return n > high ? high : static_cast<long>(n);
}

unsigned ParsePort(std::string_view text) {
    const long port = ParseBounded(text, 0, -1, 65536);
    return port >= 1 && port <= 65535 ? static_cast<unsigned>(port) : 0;
}

SendLimit ParseSendLimit(std::string_view text) {
    const std::size_t slash = text.find('/');
    if (slash == std::string_view::npos) return {};
    const long count = ParseBounded(text.substr(0, slash), 0, 0, 1'000'000);
    const long seconds = ParseBounded(text.substr(slash + 1), 0, 0, 86'400);
    if (count <= 0 || seconds <= 0) return {};
    return {static_cast<unsigned>(count), static_cast<unsigned>(seconds)};
}

ConnectionSettings::ConnectionSettings(std::shared_ptr<const platform::IniSnapshot> ini, std::string name)
    : ini_(std::move(ini)), name_(std::move(name)), kind_(KindOfConnection(name_)) {
    section_ = config::ConnectionSectionName(name_);
    fileName_ = config::ConnectionFileName(name_);
    if (kind_ != LinkKind::GsmModem) {
        std::string_view rest = name_;
        for (const Prefix& p : kPrefixes)
            if (p.kind == kind_) rest.remove_prefix(p.text.size());
        std::string host;
        config::SplitHostPort(rest, host, port_);
        if (host.size() > 1 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
        host_ = platform::WithoutDuplicateSuffix(host);
    }
    routeName = Key("RouteName");
    offline = Yes("Offline");
    creditLimitDay = ParseBounded(Key("CreditLimitDay"), 0, 0, 1'000'000'000);
    creditLimitMonth = ParseBounded(Key("CreditLimitMonth"), 0, 0, 1'000'000'000);
    creditLimitResetDay = static_cast<int>(ParseBounded(Key("CreditLimitResetDay"), 1, 1, 31));
    const std::string quietStart = Key("QuietHourStart"), quietEnd = Key("QuietHourEnd");
    if (!quietStart.empty() && !quietEnd.empty()) {
        quiet.start = static_cast<int>(ParseBounded(quietStart, -1, -1, 23));
        quiet.end = static_cast<int>(ParseBounded(quietEnd, -1, -1, 23));
    }
    sendLimit = ParseSendLimit(Key("SMSCSendLimit"));
    routePrefOnly = Yes("RoutePrefOnly");
    allowedUserOnly = Yes("AllowedUserOnly");
    routePrefixes = NumberedList(*this, "Route");
    allowedUsers = NumberedList(*this, "AllowedUser");
}

std::string ConnectionSettings::Key(std::string_view key, std::string_view def, std::size_t size) const {
    return ini_->Get(section_, key, def, size);
}

bool ConnectionSettings::Yes(std::string_view key, bool def) const {
    const std::string value = Key(key, "\x01");
    if (value == "\x01") return def;
    return config::IsYes(value);
}

const ConnectionSettings* GatewaySettings::FindRoute(std::string_view route) const {
    const std::string_view wanted = Trimmed(route);
    if (wanted.empty()) return nullptr;
    for (const ConnectionSettings& c : connections)
        if (platform::EqualsNoCase(c.Name(), wanted)) return &c;
    for (const ConnectionSettings& c : connections)
        if (!c.routeName.empty() && platform::EqualsNoCase(c.routeName, wanted)) return &c;
    return nullptr;
}

GatewaySettings LoadSettings(const std::string& configPath) {
    auto ini = std::make_shared<const platform::IniSnapshot>(configPath);
    GatewaySettings s;
    s.configPath = configPath;
    const auto zella = [&](std::string_view key, std::string_view def = {}) {
        return ini->Get(config::kZellaSection, key, def, config::kValueSize);
    };
    s.dataDir = acctdb::GetProgramDataDirectory();
    s.queueDir = config::QueueDirectory();
    s.smsInDir = config::InboundSmsDirectory();
    s.logDir = acctdb::GetLogDirectory();
    s.cacheQSize = config::IsYes(zella("CacheQSize"));
    s.debug = config::IsYes(zella("Debug"));
    s.receiveSms = config::IsYes(zella("ReceiveSMS", "Yes"));
    s.alertRecipients = zella("AlertEMailRecip");
    s.alertSender = zella("AlertEMailSender");
    s.alertSmtpServer = zella("AlertEMailSMTPServer");
    s.alertSmtpPort = ParsePort(zella("AlertEMailSMTPPort", "25"));
    if (s.alertSmtpPort == 0) s.alertSmtpPort = 25;
    s.alertSmtpSsl = config::IsYes(zella("AlertEMailSMTPUseSSL"));
    s.alertSmtpUser = zella("AlertEMailSMTPUser");
    s.alertSmtpPassword = zella("AlertEMailSMTPPass");
    s.alertSmtpCertificate = zella("AlertEMailSMTPCertificate");
    s.alertInfo = config::IsYes(zella("AlertEMailSendInfo", "Yes"));
    s.alertWarning = config::IsYes(zella("AlertEMailSendWarning", "Yes"));
    s.alertError = config::IsYes(zella("AlertEMailSendError", "Yes"));
    s.alertQueueSize = ParseBounded(zella("AlertEMailQueueSize"), 0, 0, 1'000'000'000);
    s.reloadTrigger = zella("ConfigurationUpdateTriggerReload");
    for (std::string& name : config::ListConnections(*ini)) s.connections.emplace_back(ini, std::move(name));
    return s;
}

}  // namespace gateway
