#include "smsc/connection_status.h"

#include <cctype>

#include "acctdb/acctdb.h"
#include "config/config_store.h"
#include "platform/files.h"
#include "platform/ini.h"
#include "platform/text.h"
#include "smsc/connection_list.h"

namespace smsc {

namespace {

bool EqualsIgnoreCase(const std::string& a, const std::string& b) { return platform::EqualsNoCase(a, b); }

std::string SectionValue(const std::string& name, const char* key) {
    return platform::GetPrivateProfileString(config::ConfigurationPath(),
                                             config::ConnectionSectionName(name), key, "",
                                             config::kValueSize);
}

}  // namespace

std::string CloudLineText() {
    bool cloud = false;
    for (unsigned n = 1; !cloud; ++n) {
        const std::string name = config::ReadZellaKey("Modem" + std::to_string(n));
        if (name.empty()) break;
        cloud = HasPrefix(name, "QuvSMSModem - ") && config::IsYes(SectionValue(name, "Cloud"));
    }
    if (!cloud) return {};
    const std::string server = config::ReadZellaKey("CloudServer");
    return server.empty() ? std::string() : "QuvSMS Modem Cloud Server ID: " + server;
}

std::string QueueLineText(std::uint32_t queued) {
    if (queued == 0) return "Outbound Message Queue:  Empty";
    return "Outbound Message Queue:  " + std::to_string(queued) + " message" +
           (queued > 1 ? "s" : "");
}

std::string ConnectionErrorText(const std::string& connectionName) {
    const std::string path =
        acctdb::GetPrivateDataDirectory() + config::ConnectionFileName(connectionName) + ".ERR";
    std::string text;
    if (!platform::ReadFileHead(path, kErrorFileBytes, text)) return {};
    const std::size_t nul = text.find('\0');
    if (nul != std::string::npos) text.resize(nul);
    // The service ends its text with a line break; the lists add their own.
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ' ||
                             text.back() == '\t'))
        text.pop_back();
    return text;
}

std::string ConnectionErrorLines(std::size_t capacity) {
    std::string lines;
    for (const std::string& name : config::ListConnections()) {
        const std::string error = ConnectionErrorText(name);
        if (error.empty()) continue;
        std::string route = SectionValue(name, "RouteName");
        if (route.empty()) route = name;
        lines += route;
        if (!EqualsIgnoreCase(route, name)) lines += " (" + name + ")";
        lines += " : " + error + "\r\n";
        if (lines.size() >= capacity) break;
    }
    if (capacity > 0 && lines.size() > capacity - 1) lines.resize(capacity - 1);
    return lines;
}

SmscStatus StatusText(bool serviceInstalledAndActive) {
    if (!serviceInstalledAndActive) return {"SMSC Status:  Service is NOT active", ""};
    std::string lines = ConnectionErrorLines();
    if (lines.empty()) return {"SMSC Status:  All Connections OK", ""};
    return {"SMSC Status:  ERROR", std::move(lines)};
}

}  // namespace smsc
