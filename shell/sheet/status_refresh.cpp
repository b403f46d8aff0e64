#include "shell/sheet/status_refresh.h"

#include <cstdlib>
#include <limits>
#include <unordered_map>

#include "acctdb/acctdb.h"
#include "config/config_store.h"
#include "config/counters.h"
#include "platform/files.h"
#include "platform/ini_snapshot.h"
#include "platform/text.h"
#include "platform/shared_memory.h"
#include "shell/core/console_state.h"
#include "shell/core/link_libraries.h"
#include "shell/core/service_control.h"

namespace shell {

const std::array<StatusCounterRow, kStatusCounterRows> kStatusCounters = {{
    {"SMS Submitted:", "submitted", "SMSSUBMIT", nullptr},
    {"SMS Sent:", "sent", "SMSSENT", nullptr},
    {"SMS Received:", "received", "SMSRECEIVED", nullptr},
    {"SMS Failed:", "failed", "SMSFAILED", nullptr},
    {"SMS Retried:", "retried", "SMSRETRY", nullptr},
    {"MMS Processed (User):", "mmsUser", "MMSIN-USER", nullptr},
    {"MMS Processed (VASP):", "mmsVasp", "MMSIN-VASP", "MMSIN-MODEM"},
    {"MMS Sent (MMSC):", "mmsOutMmsc", "MMSOUT-MMSC", nullptr},
    {"MMS Sent (VASP):", "mmsOutVasp", "MMSOUT-VASP", nullptr},
    {"MMS Sent (SMTP):", "mmsOutSmtp", "MMSOUT-SMTP", nullptr},
    {"MMS Retrieved (User):", "mmsRetrieved", "MMSRETRIEVED", nullptr},
}};

namespace {

using platform::EqualsNoCase;
using platform::IniSnapshot;

// Appends one line; false once the detail text is full.
bool AppendCapped(std::string& detail, const std::string& line) {
    if (detail.size() >= kConnectionDetailLimit) return false;
    detail.append(line, 0, kConnectionDetailLimit - detail.size());
    return detail.size() < kConnectionDetailLimit;
}

std::string ConnectionErrors(IniSnapshot& zella) {
    const std::string dataDir = acctdb::GetPrivateDataDirectory();
    std::string detail;
    for (const std::string& name : config::ListConnections(zella)) {
        std::string text = ReadErrorFileText(dataDir + config::ConnectionFileName(name) + ".ERR");
        if (text.empty()) continue;
        std::string route = zella.Get(config::ConnectionSectionName(name), "RouteName");
        if (route.empty()) route = name;
        std::string line = route;
        if (!EqualsNoCase(route, name)) line += " (" + name + ")";
        if (!AppendCapped(detail, line + " : " + text + "\r\n")) return detail;
    }
    std::string vaspOut = config::VaspConfigDirectory() + "VASPOUT/";
    bool full = false;
    platform::WalkDirectory(vaspOut, "*", [&](const platform::DirEntry& e) {
        if (!e.isDirectory || e.name.empty() || e.name[0] == '.') return true;
        std::string path = dataDir + "MMSCROUTE--" + config::ConnectionFileName(e.name) + ".ERR";
        std::string text = ReadErrorFileText(path);
        if (!text.empty()) full = !AppendCapped(detail, "MMSC Route " + e.name + " : " + text + "\r\n");
        return !full;
    });
    return detail;
}

void FillGatewayLine(GatewayStatus& s) {
    s.gatewayInstalled = IsGatewayServiceInstalled();
    s.gatewayActive = s.gatewayInstalled && IsGatewayServiceActive();
    if (!s.gatewayInstalled) {
        s.gatewayLine = "Service is NOT Installed";
    } else if (!s.gatewayActive) {
        s.gatewayLine = "Service is NOT Active";
    } else {
        platform::GatewayStatusBytes bytes = platform::ReadGatewayStatus();
        s.gatewayLine = bytes.webPortInUse    ? "ERROR:  Web Port already in use"
                        : bytes.smppPortInUse ? "ERROR:  SMPP Server Port already in use"
                                              : "Service is Active";
        s.smppClientsCounted = bytes.smppServerRunning;
    }
    s.gatewayAlarm = s.gatewayLine != "Service is Active";
}

void FillMmscLine(GatewayStatus& s) {
    MmscServiceState mmsc = QueryMmscService();
    s.mmscAvailable = mmsc.available;
    if (!mmsc.available) return;
    s.mmscInstalled = mmsc.installed;
    s.mmscActive = mmsc.installed && mmsc.active;
    if (!s.mmscInstalled) {
        s.mmscLine = "Service is NOT Installed";
    } else if (!s.mmscActive) {
        s.mmscLine = "Service is NOT Active";
    } else {
        platform::MmscStatusBytes bytes = platform::ReadMmscStatus();
        s.mmscLine = bytes.httpPortInUse    ? "ERROR:  HTTP Port already in use"
                     : bytes.smtpPortInUse ? "ERROR:  SMTP Port already in use"
                                           : "Service is Active";
    }
    s.mmscAlarm = s.mmscLine != "Service is Active";
}

std::uint32_t SaturatingAdd(std::uint32_t a, std::uint32_t b) {
    return b > std::numeric_limits<std::uint32_t>::max() - a ? std::numeric_limits<std::uint32_t>::max()
                                                              : a + b;
}

std::uint32_t ParseCount(const std::string& text) {
    std::size_t start = text.find_first_not_of(" \t");
    if (start == std::string::npos || text[start] == '-') return 0;
    char* end = nullptr;
    unsigned long long value = std::strtoull(text.c_str() + start, &end, 10);
    if (end == text.c_str() + start) return 0;
    return value > std::numeric_limits<std::uint32_t>::max() ? std::numeric_limits<std::uint32_t>::max()
                                                             : static_cast<std::uint32_t>(value);
}

std::uint32_t CountFlagFiles() {
    std::uint32_t count = 0;
    platform::WalkDirectory(acctdb::GetPrivateDataDirectory() + "SMPPData/ActiveUsers/", "*.FLG",
                            [&](const platform::DirEntry& e) {
                                if (!e.isDirectory) ++count;
                                return true;
                            });
    return count;
}

}  // namespace

std::string ReadErrorFileText(const std::string& path) {
    // Only the head of the file is read: this runs for every connection every second.
    std::string text;
    if (!platform::ReadFileHead(path, kErrorFileLimit, text)) return {};
    text.resize(text.find('\0') == std::string::npos ? text.size() : text.find('\0'));
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ' ||
                             text.back() == '\t')) {
        text.pop_back();
    }
    return text;
}

std::string ReadConnectionErrors() {
    IniSnapshot zella(config::ConfigurationPath());
    return ConnectionErrors(zella);
}

std::string CounterCellText(std::uint32_t value) { return value == 0 ? std::string() : std::to_string(value); }

GatewayStatus ReadGatewayStatus() {
    GatewayStatus s;
    IniSnapshot zella(config::ConfigurationPath());
    FillGatewayLine(s);
    if (s.gatewayActive) {
        s.connectionDetail = ConnectionErrors(zella);
        s.connectionHeadline = s.connectionDetail.empty() ? "All Connections OK" : "ERROR";
        s.connectionAlarm = !s.connectionDetail.empty();
    } else {
        s.connectionHeadline = "Service is NOT active";
        s.connectionAlarm = true;
    }
    FillMmscLine(s);

    s.queueSize = Console().outboundQueueSize.load();
    s.queueText = s.queueSize == 0 ? "Empty" : std::to_string(s.queueSize);
    std::uint32_t alertSize = ParseCount(zella.Get(config::kZellaSection, "AlertEMailQueueSize"));
    s.queueAlarm = alertSize != 0 && alertSize < s.queueSize;

    if (s.smppClientsCounted) s.smppClients = CountFlagFiles();
    // One read of the date and the statistics directory for all the counter files.
    static const std::vector<std::string> names = [] {
        std::vector<std::string> list;
        for (const StatusCounterRow& row : kStatusCounters) {
            list.push_back(row.counter);
            if (row.extra != nullptr) list.push_back(row.extra);
        }
        return list;
    }();
    std::vector<config::StatCounts> read = config::ReadStatCounters(names);
    std::size_t next = 0;
    for (std::size_t i = 0; i < kStatusCounterRows; ++i) {
        config::StatCounts counts = read[next++];
        if (kStatusCounters[i].extra != nullptr) {
            const config::StatCounts& more = read[next++];
            counts.today = SaturatingAdd(counts.today, more.today);
            counts.last7 = SaturatingAdd(counts.last7, more.last7);
            counts.last30 = SaturatingAdd(counts.last30, more.last30);
        }
        s.counters[i] = counts;
    }
    return s;
}

}  // namespace shell
