// The service's view of ZELLA.INI: the gateway-wide keys it acts on and one record per
// SMSC connection, read from one snapshot of the file so a reload sees one consistent
// configuration. Protocol keys are looked up by each link through Key().
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ini_snapshot.h"

namespace gateway {

enum class LinkKind { Smpp, Ucp, Cimd, Http, GsmModem, IpModem, NetworkModem };

// The kind of a connection by the prefix of its name (ignoring case); a name without a
// typed prefix is a GSM modem.
LinkKind KindOfConnection(std::string_view name);
const char* LinkKindName(LinkKind kind);

// Hours 0-23 in which nothing is sent; the range may wrap midnight (22 to 6).
struct QuietHours {
    int start = -1, end = -1;  // -1: none
    bool Contains(int hour) const;
};

// At most `count` messages in any `seconds` seconds; 0 = no limit.
struct SendLimit {
    unsigned count = 0, seconds = 0;
};
// "N/S" as the connection dialog stores it; anything else is no limit.
SendLimit ParseSendLimit(std::string_view text);

// A port number 1..65535 from an INI value; 0 for empty, malformed or out of range.
unsigned ParsePort(std::string_view text);
// A whole number from an INI value within [low, high]; `def` when empty or malformed,
// clamped when out of range.
long ParseBounded(std::string_view text, long def, long low, long high);

class ConnectionSettings {
public:
    ConnectionSettings(std::shared_ptr<const platform::IniSnapshot> ini, std::string name);

    const std::string& Name() const { return name_; }
    const std::string& Section() const { return section_; }
    // The name as part of file names (".ERR", counters, queue sub-directory).
    const std::string& FileName() const { return fileName_; }
    LinkKind Kind() const { return kind_; }
    // "host[#n]:port" of a typed name, host without the "#n" suffix; port 0 when none.
    const std::string& Host() const { return host_; }
    unsigned Port() const { return port_; }

    // A key of the connection's section, cut to `size`-1 characters; `def` when absent.
    std::string Key(std::string_view key, std::string_view def = {}, std::size_t size = 500) const;
    bool Yes(std::string_view key, bool def = false) const;

    std::string routeName;
    bool offline = false;
    long creditLimitDay = 0, creditLimitMonth = 0;  // 0: none
    int creditLimitResetDay = 1;
    QuietHours quiet;
    SendLimit sendLimit;
    bool routePrefOnly = false, allowedUserOnly = false;
    std::vector<std::string> routePrefixes, allowedUsers;

private:
    std::shared_ptr<const platform::IniSnapshot> ini_;
    std::string name_, section_, fileName_, host_;
    unsigned port_ = 0;
    LinkKind kind_;
};

struct GatewaySettings {
    std::string configPath;  // ZELLA.INI
    std::string queueDir, smsInDir, logDir, dataDir;
    bool cacheQSize = false;
    bool debug = false;
    bool receiveSms = true;
    std::string alertRecipients, alertSender, alertSmtpServer, alertSmtpUser, alertSmtpPassword;
    std::string alertSmtpCertificate;  // fingerprint of a server certificate the operator trusts
    unsigned alertSmtpPort = 25;
    bool alertSmtpSsl = false;
    bool alertInfo = true, alertWarning = true, alertError = true;
    long alertQueueSize = 0;  // 0: off
    std::string reloadTrigger;
    std::vector<ConnectionSettings> connections;

    // The connection named `route` by its name or its RouteName, ignoring case.
    const ConnectionSettings* FindRoute(std::string_view route) const;
};

// Reads ZELLA.INI at `configPath` (the data directories through the shared store).
GatewaySettings LoadSettings(const std::string& configPath);

}  // namespace gateway
