#include "viewers/spool_scan.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <string_view>
#include <thread>
#include <unordered_map>

#include "acctdb/acctdb.h"
#include "platform/cancel.h"
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

// `relative` is the path below the root, `dirFd` the open directory holding `name`,
// `folder` its index in the list's folders.
using FileVisit = std::function<void(const std::string& relative, int dirFd, const std::string& name,
                                     std::uint32_t folder)>;

// Root files and the files of each direct subdirectory that match `pattern`; with
// `removeStale`, each subdirectory is offered to RemoveStaleDirectory once walked. Each
// folder walked is kept open in `list`. A subdirectory that is a link is not walked: the
// service never makes one, and whoever planted it should not steer the console's deletes.
void WalkSpool(SpoolRowList& list, const std::string& root, const std::string& pattern,
               bool removeStale, const FileVisit& visit) {
    if (platform::CancelRequested()) return;
    auto rootDir = std::make_shared<const platform::OpenedDirectory>(platform::OpenedDirectory::Open(root));
    if (!rootDir->Valid()) return;
    std::string relative;
    auto files = [&](std::shared_ptr<const platform::OpenedDirectory> dir, const std::string& prefix) {
        const auto folder = static_cast<std::uint32_t>(list.folders.size());
        list.folders.push_back(dir);
        dir->Walk(pattern, [&](int dirFd, const platform::DirEntry& e) {
            if (e.isDirectory) return true;
            relative.assign(prefix).append(e.name);
            visit(relative, dirFd, e.name, folder);
            return !platform::CancelRequested();
        });
    };
    files(rootDir, "");
    std::vector<std::string> subdirs;
    rootDir->Walk("*", [&](int, const platform::DirEntry& e) {
        if (e.isDirectory && e.name != "." && e.name != "..")
            subdirs.push_back(e.name.substr(0, kSubdirNameSize));
        return true;
    });
    for (const std::string& sub : subdirs) {
        if (platform::CancelRequested()) return;
        auto dir = std::make_shared<const platform::OpenedDirectory>(rootDir->Sub(sub));
        if (!dir->Valid()) continue;
        files(dir, sub + "/");
        if (removeStale) RemoveStaleDirectory(root + sub);
    }
}

std::unique_ptr<SpoolRow> MakeRow(std::uint32_t folder, std::initializer_list<std::string*> fields) {
    auto row = std::make_unique<SpoolRow>();
    row->folder = folder;
    row->fields.reserve(fields.size());
    for (std::string* f : fields) row->fields.push_back(std::move(*f));
    return row;
}

std::int64_t DaysFromCivil(std::int64_t year, unsigned month, unsigned day) {
    year -= month <= 2;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const auto yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<std::int64_t>(dayOfEra) - 719468;
}

platform::SystemTime CivilFromSeconds(std::int64_t seconds) {
    const std::int64_t days = seconds >= 0 ? seconds / 86400 : -((-seconds + 86399) / 86400);
    const std::int64_t rest = seconds - days * 86400;
    const std::int64_t z = days + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto dayOfEra = static_cast<unsigned>(z - era * 146097);
    const unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned mp = (5 * dayOfYear + 2) / 153;
    platform::SystemTime t;
    t.day = static_cast<int>(dayOfYear - (153 * mp + 2) / 5 + 1);
    t.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    t.year = static_cast<int>(static_cast<std::int64_t>(yearOfEra) + era * 400 + (t.month <= 2));
    t.hour = static_cast<int>(rest / 3600);
    t.minute = static_cast<int>(rest / 60 % 60);
    t.second = static_cast<int>(rest % 60);
    return t;
}

std::string FormatTime(const platform::SystemTime& t) {
    // The common case without printf: four-digit years and in-range fields.
    if (t.year >= 0 && t.year <= 9999 && t.month >= 0 && t.month <= 99 && t.day >= 0 && t.day <= 99 &&
        t.hour >= 0 && t.hour <= 99 && t.minute >= 0 && t.minute <= 99 && t.second >= 0 && t.second <= 99) {
        std::string text = "0000-00-00 00:00:00";
        auto put = [&](std::size_t at, int value, int digits) {
            for (int i = digits - 1; i >= 0; --i, value /= 10) text[at + static_cast<std::size_t>(i)] += static_cast<char>(value % 10);
        };
        put(0, t.year, 4);
        put(5, t.month, 2);
        put(8, t.day, 2);
        put(11, t.hour, 2);
        put(14, t.minute, 2);
        put(17, t.second, 2);
        return text;
    }
    char text[48];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour,
                  t.minute, t.second);
    return text;
}

// Time texts for the many files of one scan. Each conversion re-reads the zone, which
// costs more than reading a spool file, so the zone's offset is looked up once per hour
// of file time, at both ends of the hour; an hour whose ends differ (a clock change or
// leap second inside it) is converted second by second as before.
class SpoolTimeCache {
public:
    std::string Text(std::int64_t unixMillis) {
        if (unixMillis < 0) return SpoolTimeText(unixMillis);
        const std::int64_t seconds = unixMillis / 1000;
        const std::int64_t hour = seconds / 3600;
        auto [at, added] = hours_.try_emplace(hour);
        if (added) {
            at->second.offset = OffsetAt(hour * 3600);
            at->second.uniform = at->second.offset == OffsetAt(hour * 3600 + 3599);
        }
        if (!at->second.uniform) return SpoolTimeText(unixMillis);
        return FormatTime(CivilFromSeconds(seconds + at->second.offset));
    }

private:
    static std::int64_t OffsetAt(std::int64_t seconds) {
        const platform::SystemTime t = acctdb::TZFileTimeToLocalSystemTime(
            static_cast<std::uint64_t>(seconds) * 10'000'000 + 116444736000000000ull);
        const std::int64_t local = DaysFromCivil(t.year, static_cast<unsigned>(t.month),
                                                 static_cast<unsigned>(t.day)) * 86400 +
                                   t.hour * 3600 + t.minute * 60 + t.second;
        return local - seconds;
    }

    struct Hour {
        std::int64_t offset = 0;
        bool uniform = false;
    };
    std::unordered_map<std::int64_t, Hour> hours_;  // by hours since 1970
};

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
        value = value.substr(0, platform::FindNoCase(value, "/TYPE="));
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
    return FormatTime(acctdb::TZFileTimeToLocalSystemTime(fileTime));
}

void ScanOutboundQueue(SpoolRowList& list) {
    list.rows.clear();
    list.folders.clear();
    list.matched = 0;
    const std::string root = config::QueueDirectory();
    std::string buffer;
    SpoolTimeCache times;
    WalkSpool(list, root, "*.REQ", false, [&](const std::string& relative, int dirFd, const std::string& name,
                                              std::uint32_t folder) {
        ++list.matched;
        if (list.rows.size() >= kMaxSpoolRows) return;
        bool opened = false;
        std::int64_t modified = 0;
        RequestDetail d = ReadRequestDetailAt(dirFd, name.c_str(), buffer, opened, modified);
        if (d.phoneNumber.empty()) return;
        std::string status = "Queued";
        if (d.retryCount != 0) {
            char text[64];
            std::snprintf(text, sizeof text, "Retry - %2u attempt(s)", static_cast<unsigned>(d.retryCount));
            status = text;
            if (!d.lastErrorInfo.empty()) status.append(" - ").append(d.lastErrorInfo);
        }
        std::string path = relative, id = name, time = times.Text(modified);
        list.rows.push_back(MakeRow(folder, {&path, &id, &d.submitUser, &d.phoneNumber, &time, &status}));
    });
}

void ScanReceivedSms(SpoolRowList& list) {
    list.rows.clear();
    list.folders.clear();
    list.matched = 0;
    const std::string root = config::InboundSmsDirectory();
    std::string buffer;
    SpoolTimeCache times;
    for (const char* pattern : {"*.IN", "*.REC", "*.SMS"}) {
        const bool received = std::string(pattern) == "*.SMS";
        WalkSpool(list, root, pattern, true, [&](const std::string& relative, int dirFd, const std::string& name,
                                                 std::uint32_t folder) {
            if (list.rows.size() >= kMaxSpoolRows) {
                ++list.matched;
                return;
            }
            bool opened = false;
            std::int64_t modified = 0;
            RequestDetail d = ReadRequestDetailAt(dirFd, name.c_str(), buffer, opened, modified);
            if (!opened) return;
            ++list.matched;
            std::string path = relative, id = name;
            std::string time = times.Text(modified);
            std::string status = received ? "Received" : "Queued", text = DisplayText(d);
            list.rows.push_back(MakeRow(folder, {&path, &id, &d.sender, &d.phoneNumber, &time, &status, &text}));
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
    list.folders.clear();
    list.matched = 0;
    const std::string root = config::InboundMmsDirectory();
    std::string text;
    SpoolTimeCache times;
    WalkSpool(list, root, "*.HDR", true, [&](const std::string& relative, int dirFd, const std::string& name,
                                             std::uint32_t folder) {
        if (list.rows.size() >= kMaxSpoolRows) {
            ++list.matched;
            return;
        }
        std::int64_t modified = 0;
        if (!platform::ReadFileHeadAt(dirFd, name.c_str(), kHeaderBytes, text, &modified)) return;
        ++list.matched;
        std::vector<std::string> h = ParseMmsHeader(text);
        std::string path = relative, id = name;
        std::string time = times.Text(modified);
        list.rows.push_back(MakeRow(folder, {&path, &id, &h[0], &h[1], &time, &h[2]}));
    });
}

void SortRows(SpoolRowList& list, int state) {
    if (state == 0) return;
    const std::size_t k = static_cast<std::size_t>(state < 0 ? -state : state);
    // Each key is lower-cased once into one shared buffer, so a comparison is a plain
    // byte compare (the same order as CompareNoCase) on memory that sits together.
    struct Key {
        std::size_t offset;
        std::size_t length;
        std::size_t index;
    };
    std::string keys;
    std::vector<Key> order;
    order.reserve(list.rows.size());
    for (std::size_t i = 0; i < list.rows.size(); ++i) {
        const std::string& field = list.rows[i]->Field(k);
        order.push_back({keys.size(), field.size(), i});
        for (char c : field) keys.push_back(c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c);
    }
    const std::string_view all(keys);
    std::stable_sort(order.begin(), order.end(), [&](const Key& a, const Key& b) {
        const int c = all.substr(a.offset, a.length).compare(all.substr(b.offset, b.length));
        return state > 0 ? c < 0 : c > 0;
    });
    std::vector<std::unique_ptr<SpoolRow>> sorted;
    sorted.reserve(order.size());
    for (const Key& key : order) sorted.push_back(std::move(list.rows[key.index]));
    list.rows.swap(sorted);
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

void StartDeleteRetryWorker(std::shared_ptr<const platform::OpenedDirectory> folder,
                            const std::string& name) {
    std::thread([folder = std::move(folder), name] {
        platform::ClockSource& clock = platform::Clock();
        const std::uint64_t start = clock.TickCount();
        while (!folder->DeleteFile(name) && folder->Has(name) &&
               clock.TickCount() - start < 120'000) {
            clock.Sleep(5000);
        }
    }).detach();
}

bool DeleteRowFile(const SpoolRowList& list, const SpoolRow& row) {
    if (row.folder >= list.folders.size()) return false;
    return list.folders[row.folder]->DeleteFile(row.Field(1));
}

void DeleteRowPartsFolder(const SpoolRowList& list, const SpoolRow& row) {
    if (row.folder >= list.folders.size()) return;
    const std::string& name = row.Field(1);
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0) return;
    list.folders[row.folder]->DeleteTree(name.substr(0, dot));
}

}  // namespace viewers
