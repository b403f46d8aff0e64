#include "gateway/web/message_lists.h"

#include <algorithm>
#include <cstdio>

#include "gateway/request.h"
#include "gateway/spool.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/ini_snapshot.h"
#include "platform/text.h"

namespace gateway::web {

namespace {

constexpr std::size_t kMaxFileBytes = 64 * 1024;

std::string TimeText(std::int64_t unixMillis) {
    const platform::SystemTime t = platform::LocalSystemTime(unixMillis);
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute,
                  t.second);
    return text;
}

bool SameUser(const std::string& wanted, const std::string& user) {
    return wanted.empty() || platform::EqualsNoCase(wanted, user);
}

std::string StatusOf(const OutboundRequest& r) {
    if (r.retryCount == 0) return "Queued";
    return "Retry - " + std::to_string(r.retryCount) + " attempt(s) - " + r.lastErrorInfo;
}

// Splits one SMSOUT line into its fields.
std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> out;
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = line.find(',', start);
        out.push_back(line.substr(start, comma - start));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return out;
}

// The day's log name "<prefix>-YYYYMMDD.LOG" `back` days ago.
std::string DailyLogName(const char* prefix, int back) {
    const std::int64_t at = platform::Clock().UnixMillis() - static_cast<std::int64_t>(back) * 86'400'000;
    const platform::SystemTime t = platform::LocalSystemTime(at);
    char name[64];
    std::snprintf(name, sizeof name, "%s-%04d%02d%02d.LOG", prefix, t.year, t.month, t.day);
    return name;
}

// Calls `visit(relative path, entry)` for the received files in the folder and its direct
// sub-directories.
template <typename Visit>
void WalkReceived(const std::string& smsInDir, Visit visit) {
    auto files = [&](const std::string& sub) {
        for (const char* pattern : {"*.IN", "*.REC", "*.SMS"})
            for (const platform::DirEntry& e : platform::ListDirectory(smsInDir + sub, pattern))
                if (!e.isDirectory && e.name[0] != '.') visit(sub + e.name, e);
    };
    files("");
    for (const platform::DirEntry& d : platform::ListDirectory(smsInDir))
        if (d.isDirectory && d.name[0] != '.') files(d.name + "/");
}

}  // namespace

bool IsRequestId(const std::string& id) {
    if (id.empty() || id.size() > 100) return false;
    return std::all_of(id.begin(), id.end(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == '-';
    });
}

std::vector<QueuedMessage> ListQueued(const std::string& queueDir, const std::string& user, std::size_t limit) {
    std::vector<QueuedMessage> rows;
    std::vector<SpoolFile> files;
    ScanSpool(queueDir, [&](const SpoolFile& f) {
        files.push_back(f);
        return files.size() < 20'000;
    });
    std::sort(files.begin(), files.end(),
              [](const SpoolFile& a, const SpoolFile& b) { return a.modifiedUnixMillis < b.modifiedUnixMillis; });
    for (const SpoolFile& f : files) {
        if (rows.size() >= limit) break;
        std::string text, error;
        OutboundRequest r;
        if (!platform::ReadFile(f.path, text, kMaxFileBytes) || !ParseRequest(text, r, error)) continue;
        if (!SameUser(user, r.User())) continue;
        rows.push_back({f.id, r.phoneNumber, r.sender, r.binary ? "(binary data)" : r.data, r.User(), r.smscRoute,
                        TimeText(f.modifiedUnixMillis), StatusOf(r)});
    }
    return rows;
}

std::vector<ReceivedMessage> ListReceived(const std::string& smsInDir, const std::string& user, std::size_t limit,
                                          const std::function<std::string(const std::string&)>& ownerOf) {
    std::vector<std::pair<std::int64_t, ReceivedMessage>> found;
    WalkReceived(smsInDir, [&](const std::string& relative, const platform::DirEntry& e) {
        if (found.size() >= 20'000) return;
        std::string text;
        if (!platform::ReadFile(smsInDir + relative, text, kMaxFileBytes)) return;
        const platform::IniSnapshot ini = platform::IniSnapshot::FromText(std::move(text));
        const char* section = "SMS-IN";
        ReceivedMessage m;
        m.file = relative;
        m.sender = ini.Get(section, "Sender");
        m.recipient = ini.Get(section, "PhoneNumber");
        m.text = platform::EqualsNoCase(ini.Get(section, "binary"), "Yes") ? "(binary data)"
                                                                           : UnescapeLineBreaks(ini.Get(section, "Data"));
        m.user = ini.Get(section, "RouteToLocalUser");
        m.receiptFor = ini.Get(section, "ReceiptMessageId");
        m.received = TimeText(e.modifiedUnixMillis);
        if (!user.empty()) {
            const bool routed = !m.user.empty() && platform::EqualsNoCase(m.user, user);
            const bool receipt = !m.receiptFor.empty() && ownerOf && platform::EqualsNoCase(ownerOf(m.receiptFor), user);
            if (!routed && !receipt) return;
        }
        found.emplace_back(e.modifiedUnixMillis, std::move(m));
    });
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    std::vector<ReceivedMessage> rows;
    for (auto& [when, m] : found) {
        if (rows.size() >= limit) break;
        rows.push_back(std::move(m));
    }
    return rows;
}

MessageState FindMessageState(const std::string& queueDir, const std::string& logDir, const std::string& smsInDir,
                              const std::string& id, const std::string& user, int days) {
    MessageState state{"unknown", "", ""};
    if (!IsRequestId(id)) return state;
    bool queued = false;
    ScanSpool(queueDir, [&](const SpoolFile& f) {
        if (!platform::EqualsNoCase(f.id, id)) return true;
        std::string text, error;
        OutboundRequest r;
        if (platform::ReadFile(f.path, text, kMaxFileBytes) && ParseRequest(text, r, error) && SameUser(user, r.User())) {
            queued = true;
            state = {"queued", StatusOf(r), ""};
        }
        return false;
    });
    if (queued) return state;
    for (int back = 0; back < days && state.state == "unknown"; ++back) {
        std::string log;
        if (!platform::ReadFile(logDir + DailyLogName("SMSOUT", back), log, 64 * 1024 * 1024)) continue;
        std::size_t at = 0;
        while ((at = log.find("," + id + ",", at)) != std::string::npos) {
            const std::size_t start = log.rfind('\n', at) == std::string::npos ? 0 : log.rfind('\n', at) + 1;
            std::string line = log.substr(start, log.find_first_of("\r\n", at) - start);
            at += id.size() + 2;
            const std::vector<std::string> f = Fields(line);
            if (f.size() < 5 || f[1] != id) continue;
            if (f.size() >= 7 && !SameUser(user, f[6])) continue;
            const bool ok = f[4].rfind("OK", 0) == 0;
            state = {ok ? "sent" : "failed", ok ? (f.size() >= 6 ? f[5] : "") : f[4], ""};
        }
    }
    if (state.state == "sent") {
        WalkReceived(smsInDir, [&](const std::string& relative, const platform::DirEntry&) {
            std::string text;
            if (!state.receipt.empty() || !platform::ReadFile(smsInDir + relative, text, kMaxFileBytes)) return;
            const platform::IniSnapshot ini = platform::IniSnapshot::FromText(std::move(text));
            if (ini.Get("SMS-IN", "ReceiptMessageId") != id) return;
            auto yes = [&](const char* key) { return platform::EqualsNoCase(ini.Get("SMS-IN", key), "Yes"); };
            state.receipt = yes("ReceiptDelivered") ? "delivered" : yes("ReceiptFailed") ? "failed" : "in transit";
        });
    }
    return state;
}

}  // namespace gateway::web
