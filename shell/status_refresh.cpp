#include "shell/status_refresh.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <limits>
#include <unordered_map>

#include "acctdb/acctdb.h"
#include "config/config_store.h"
#include "config/counters.h"
#include "platform/files.h"
#include "platform/ini_document.h"
#include "platform/shared_memory.h"
#include "shell/console_state.h"
#include "shell/link_libraries.h"
#include "shell/service_control.h"

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

namespace ini = platform::ini;

// ASCII case-insensitive hashing and comparison of INI names, without building
// lower-case copies: a refresh looks up hundreds of names.
struct NoCaseHash {
    std::size_t operator()(std::string_view text) const {
        std::size_t h = 14695981039346656037ull;
        for (unsigned char c : text) h = (h ^ static_cast<unsigned char>(c | 0x20)) * 1099511628211ull;
        return h;
    }
};
struct NoCaseEqual {
    bool operator()(std::string_view a, std::string_view b) const { return ini::EqualsIgnoreCase(a, b); }
};

// ZELLA.INI read once and indexed as far as it is asked. The connection walk asks for
// 201 keys and a route name per failing connection; reading the file for each of them
// would cost hundreds of file reads per refresh. The first pass only finds the section
// headers; a section's keys are indexed when it is first asked for. Lookups follow the
// private-profile rules: the first section of a name and the first key of a name win,
// names compare ignoring case.
class IniSnapshot {
public:
    explicit IniSnapshot(const std::string& path) {
        if (!platform::ReadFile(path, content_)) return;
        // Only lines whose first non-blank character is "[" can be section headers, and
        // there are few of them: jump from "[" to "[" instead of visiting every line.
        const std::string_view text(content_);
        Section* current = nullptr;
        for (std::size_t pos = text.find('['); pos != std::string_view::npos;
             pos = text.find('[', pos + 1)) {
            std::size_t lineStart = text.rfind('\n', pos);
            lineStart = lineStart == std::string_view::npos ? 0 : lineStart + 1;
            if (!ini::TrimBlanks(text.substr(lineStart, pos - lineStart)).empty()) continue;
            std::size_t newline = text.find('\n', pos);
            std::size_t lineEnd = newline == std::string_view::npos ? text.size() : newline;
            std::string_view raw = text.substr(lineStart, lineEnd - lineStart);
            if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
            ini::LineView line = ini::ClassifyLine(raw);
            if (line.kind != ini::LineKind::Section) continue;
            if (current != nullptr) current->body = Body(current->body.data(), text.data() + lineStart);
            auto [it, fresh] = sections_.try_emplace(line.name);
            current = fresh ? &it->second : nullptr;
            std::size_t bodyStart = newline == std::string_view::npos ? text.size() : newline + 1;
            if (current != nullptr) current->body = text.substr(bodyStart);
            if (newline == std::string_view::npos) break;
            pos = newline;
        }
    }
    IniSnapshot(const IniSnapshot&) = delete;
    IniSnapshot& operator=(const IniSnapshot&) = delete;

    // As GetPrivateProfileString with a buffer of `size` characters and an empty default.
    std::string Get(std::string_view section, std::string_view key,
                    std::size_t size = config::kValueSize) {
        auto s = sections_.find(ini::TrimBlanks(section));
        if (s == sections_.end() || size == 0) return {};
        const Keys& keys = KeysOf(s->second);
        auto k = keys.find(ini::TrimBlanks(key));
        if (k == keys.end()) return {};
        return std::string(k->second.substr(0, size - 1));
    }

private:
    using Keys = std::unordered_map<std::string_view, std::string_view, NoCaseHash, NoCaseEqual>;
    struct Section {
        std::string_view body;  // the lines after the header, up to the next header
        bool indexed = false;
        Keys keys;
    };

    static std::string_view Body(const char* from, const char* to) {
        return std::string_view(from, static_cast<std::size_t>(to - from));
    }
    const Keys& KeysOf(Section& section) {
        if (section.indexed) return section.keys;
        section.indexed = true;
        ini::ForEachLine(section.body, [&](std::string_view raw, std::string_view) {
            ini::LineView line = ini::ClassifyLine(raw);
            if (line.kind == ini::LineKind::Key) section.keys.try_emplace(line.name, ini::StripQuotes(line.value));
            return true;
        });
        return section.keys;
    }

    std::string content_;  // every view points into it
    std::unordered_map<std::string_view, Section, NoCaseHash, NoCaseEqual> sections_;
};

// The connection list as config::ListConnections walks it, from the snapshot.
std::vector<std::string> ConnectionNames(IniSnapshot& zella) {
    std::vector<std::string> names;
    bool previousHadValue = true;
    for (unsigned n = 1; n <= 201 || previousHadValue; ++n) {
        std::string name = zella.Get(config::kZellaSection, "Modem" + std::to_string(n));
        previousHadValue = !name.empty();
        if (previousHadValue) names.push_back(std::move(name));
    }
    return names;
}

bool EqualsNoCase(std::string_view a, std::string_view b) { return ini::EqualsIgnoreCase(a, b); }

// Appends one line; false once the detail text is full.
bool AppendCapped(std::string& detail, const std::string& line) {
    if (detail.size() >= kConnectionDetailLimit) return false;
    detail.append(line, 0, kConnectionDetailLimit - detail.size());
    return detail.size() < kConnectionDetailLimit;
}

std::string ConnectionErrors(IniSnapshot& zella) {
    const std::string dataDir = acctdb::GetPrivateDataDirectory();
    std::string detail;
    for (const std::string& name : ConnectionNames(zella)) {
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
    // Plain descriptor I/O: this runs for every connection every second.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return {};
    std::string text(kErrorFileLimit, '\0');
    ssize_t got = ::read(fd, text.data(), text.size());
    ::close(fd);
    text.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
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
