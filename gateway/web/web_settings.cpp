#include "gateway/web/web_settings.h"

#include "acctdb/acctdb.h"
#include "config/config_store.h"
#include "gateway/clients/access.h"
#include "platform/files.h"
#include "platform/ini.h"
#include "server/address_pattern.h"

namespace gateway::web {

WebSettings LoadWebSettings(const std::string& configPath, bool certificateExists) {
    WebSettings s;
    auto get = [&](const char* key, const char* def = "") {
        return platform::GetPrivateProfileString(configPath, config::kZellaSection, key, def, 300);
    };
    auto yes = [&](const char* key, bool def) {
        const std::string v = get(key, "\n");
        return v == "\n" ? def : config::IsYes(v);
    };
    s.configPath = configPath;
    s.sslPort = certificateExists ? server::NormalisedNumber(get("WebPortSSL")) : 0;
    const std::string web = get("WebPort", "\n");
    if (web == "\n")
        s.port = s.sslPort != 0 ? 0 : kDefaultWebPort;
    else
        s.port = server::NormalisedNumber(web);
    s.sslRedirect = s.sslPort != 0 && config::IsYes(get("SSLRedirect"));
    s.address = get("IPAddress");
    const clients::AddressLists lists = clients::ReadAddressLists(configPath);
    s.allowed = lists.allowed;
    s.blocked = lists.blocked;
    s.auth = yes("WebAuth", true);
    s.menu = yes("WebMenu", true);
    s.displaySender = yes("WebDisplaySender", true);
    s.displayRoute = yes("WebDisplayRoute", true);
    s.disableMms = yes("WebDisableMMS", false);
    s.disableMmWap = yes("WebDisableMMWAP", false);
    s.disableAdvanced = yes("WebDisableAdvOption", false);
    s.phpEnable = yes("PHPEnable", false);
    s.phpAllowRemote = yes("PHPAllowRemote", false);
    s.phpDir = config::PhpDirectory();
    s.dataDir = acctdb::GetProgramDataDirectory();
    s.queueDir = config::QueueDirectory();
    s.smsInDir = config::InboundSmsDirectory();
    s.logDir = acctdb::GetLogDirectory();
    return s;
}

}  // namespace gateway::web
