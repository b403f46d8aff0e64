#include "viewers/spool_scan.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <thread>

#include "acctdb/acctdb.h"
#include "config/config_store.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/text.h"
#include "viewers/char_convert.h"
#include "viewers/request_detail.h"

namespace viewers {

namespace {

constexpr std::size_t kSubdirNameSize = 250;
constexpr std::size_t kTextBytes = 7168;
constexpr std::size_t kHeaderBytes = 8191;

using FileVisit = std::function<void(const std::string& relative, const platform::DirEntry&)>;

// Root files and the files of each direct subdirectory that match `pattern`; with
// `removeStale`, each subdirectory is offered to RemoveStaleDirectory once walked.
void WalkSpool(const std::string& root, const std::string& pattern, bool removeStale,
               const FileVisit& visit) {
    auto files = [&](const std::string& dir, const std::string& prefix) {
        platform::WalkDirectory(dir, pattern, [&](const platform::DirEntry& e) {
            if (!e.isDirectory) visit(prefix + e.name, e);
            return true;
        });
    };
    files(root, "");
    std::vector<std::string> subdirs;
    platform::WalkDirectoryNames(root, "*", [&](const platform::DirEntry& e) {
        if (e.isDirectory && e.name != "." && e.name != "..")
            subdirs.push_back(e.name.substr(0, kSubdirNameSize));
        return true;
    });
    for (const std::string& sub : subdirs) {
        files(root + sub + "/", sub + "/");
        if (removeStale) RemoveStaleDirectory(root + sub);
    }
}

std::unique_ptr<SpoolRow> MakeRow(std::vector<std::string> fields) {
    auto row = std::make_unique<SpoolRow>();
    row->fields = std::move(fields);
    return row;
}

std::string DisplayText(const RequestDetail& d) {
    std::string text = d.data;
    if (d.binary) {
        if (IsGsm7Dcs(d.dcs)) text = acctdb::GSM7ToUTF8String(d.udh, text);
        else if (IsUcs2Dcs(d.dcs)) text = HexUcs2ToUtf8(text);
    }
    return Utf8ToAnsi(text, kTextBytes);
}

bool StartsWithIgnoreCase(const std::string& text, const char* prefix) {
    return platform::StartsWithNoCase(text, prefix);
}

std::string HeaderValue(const std::string& line, std::size_t keyLength, std::size_t width, bool address) {
    std::size_t at = line.find_first_not_of(" \t", keyLength);
    std::string value = at == std::string::npos ? std::string() : line.substr(at, width);
    if (address) {
        std::string upper = value;
        for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        value = value.substr(0, upper.find("/TYPE="));
    }
    return value;
}

}  // namespace

const std::string& SpoolRow::Field(std::size_t k) const {
    static const std::string empty;
    return k < fields.size() ? fields[k] : empty;
}

std::string SpoolTimeText(std::int64_t unixMillis) {
    const std::uint64_t fileTime = static_cast<std::uint64_t>(unixMillis) * 10000 + 116444736000000000ull;
    const platform::SystemTime t = acctdb::TZFileTimeToLocalSystemTime(fileTime);
    char text[48];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour,
                  t.minute, t.second);
    return text;
}

void ScanOutboundQueue(SpoolRowList& list) {
    list.rows.clear();
    list.matched = 0;
    const std::string root = config::QueueDirectory();
    WalkSpool(root, "*.REQ", false, [&](const std::string& relative, const platform::DirEntry& e) {
        ++list.matched;
        if (list.rows.size() >= kMaxSpoolRows) return;
        const RequestDetail d = ReadRequestDetail(root + relative);
        if (d.phoneNumber.empty()) return;
        std::string status = "Queued";
        if (d.retryCount != 0) {
            char text[64];
            std::snprintf(text, sizeof text, "Retry - %2u attempt(s)", static_cast<unsigned>(d.retryCount));
            status = text;
            if (!d.lastErrorInfo.empty()) status += " - " + d.lastErrorInfo;
        }
        list.rows.push_back(MakeRow({relative, e.name, d.submitUser, d.phoneNumber,
                                     SpoolTimeText(e.modifiedUnixMillis), status}));
    });
}

void ScanReceivedSms(SpoolRowList& list) {
    list.rows.clear();
    list.matched = 0;
    const std::string root = config::InboundSmsDirectory();
    for (const char* pattern : {"*.IN", "*.REC", "*.SMS"}) {
        const bool received = std::string(pattern) == "*.SMS";
        WalkSpool(root, pattern, true, [&](const std::string& relative, const platform::DirEntry& e) {
            ++list.matched;
            if (list.rows.size() >= kMaxSpoolRows) return;
            const RequestDetail d = ReadRequestDetail(root + relative);
            list.rows.push_back(MakeRow({relative, e.name, d.sender, d.phoneNumber,
                                         SpoolTimeText(e.modifiedUnixMillis),
                                         received ? "Received" : "Queued", DisplayText(d)}));
        });
    }
}

std::vector<std::string> ParseMmsHeader(const std::string& text) {
    std::vector<std::string> fields(3);
    std::size_t pos = 0;
    const std::string body = text.substr(0, text.find('\0'));
    while (pos < body.size()) {
        while (pos < body.size() && static_cast<unsigned char>(body[pos]) <= 32) ++pos;
        std::size_t end = body.find_first_of("\r\n", pos);
        if (end == std::string::npos) end = body.size();
        const std::string line = body.substr(pos, end - pos);
        pos = end;
        if (StartsWithIgnoreCase(line, "From:")) fields[0] = HeaderValue(line, 5, 149, true);
        else if (StartsWithIgnoreCase(line, "To:")) fields[1] = HeaderValue(line, 3, 149, true);
        else if (StartsWithIgnoreCase(line, "Subject:")) fields[2] = HeaderValue(line, 8, 499, false);
    }
    return fields;
}

void ScanReceivedMms(SpoolRowList& list) {
    list.rows.clear();
    list.matched = 0;
    const std::string root = config::InboundMmsDirectory();
    WalkSpool(root, "*.HDR", true, [&](const std::string& relative, const platform::DirEntry& e) {
        ++list.matched;
        if (list.rows.size() >= kMaxSpoolRows) return;
        std::string text;
        platform::ReadFileHead(root + relative, kHeaderBytes, text);
        std::vector<std::string> h = ParseMmsHeader(text);
        list.rows.push_back(MakeRow({relative, e.name, h[0], h[1], SpoolTimeText(e.modifiedUnixMillis), h[2]}));
    });
}

void SortRows(SpoolRowList& list, int state) {
    if (state == 0) return;
    const std::size_t k = static_cast<std::size_t>(state < 0 ? -state : state);
    std::stable_sort(list.rows.begin(), list.rows.end(), [&](const auto& a, const auto& b) {
        const int c = platform::CompareNoCase(a->Field(k), b->Field(k));
        return state > 0 ? c < 0 : c > 0;
    });
}

int ToggleSortState(int state, int column) {
    const int k = column + 1;
    return state == k ? -k : k;
}

void RemoveStaleDirectory(const std::string& directory) {
    const std::size_t slash = directory.rfind('/');
    if (slash == std::string::npos) return;
    const std::string name = directory.substr(slash + 1);
    const std::int64_t limit = platform::Clock().UnixMillis() - 5 * 60 * 1000;
    for (const platform::DirEntry& e : platform::ListDirectory(directory.substr(0, slash + 1), name)) {
        if (e.name == name && e.isDirectory && e.modifiedUnixMillis < limit)
            platform::RemoveDirectory(directory);
    }
}

void StartDeleteRetryWorker(const std::string& path) {
    std::thread([path] {
        platform::ClockSource& clock = platform::Clock();
        const std::uint64_t start = clock.TickCount();
        while (platform::FileExists(path) && clock.TickCount() - start < 120'000) {
            platform::DeleteFileChecked(path);
            if (platform::FileExists(path)) clock.Sleep(5000);
        }
    }).detach();
}

}  // namespace viewers
