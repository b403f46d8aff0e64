#include "gateway/receipts.h"

#include <cstdio>

#include "gateway/logs.h"
#include "gateway/request.h"
#include "platform/append_file.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/text.h"

namespace gateway {

namespace {

std::string DayName(std::int64_t unixMillis) {
    const platform::SystemTime t = platform::LocalSystemTime(unixMillis);
    char text[16];
    std::snprintf(text, sizeof text, "%04d%02d%02d", t.year, t.month, t.day);
    return text;
}

}  // namespace

std::string ReceiptBook::Key(const std::string& connectionFileName, const std::string& smscId) {
    // Ids are compared as the SMSC writes them; some write hex in either case.
    return platform::ToLowerAscii(connectionFileName) + "," + platform::ToLowerAscii(smscId);
}

void ReceiptBook::Load(const std::string& dataDir) {
    std::lock_guard<std::mutex> lock(mutex_);
    dir_ = dataDir + "RECEIPTS/";
    const std::int64_t now = platform::Clock().UnixMillis();
    for (int back = 2; back >= 0; --back) {
        std::string text;
        if (!platform::ReadFile(dir_ + DayName(now - back * 86'400'000LL) + ".MAP", text)) continue;
        std::size_t at = 0;
        while (at < text.size()) {
            std::size_t end = text.find('\n', at);
            if (end == std::string::npos) break;  // a line still being written
            const std::string line = text.substr(at, end - at);
            at = end + 1;
            const std::size_t c1 = line.find(','), c2 = line.find(',', c1 + 1);
            if (c1 == std::string::npos || c2 == std::string::npos) continue;
            map_[Key(line.substr(0, c1), line.substr(c1 + 1, c2 - c1 - 1))] = line.substr(c2 + 1);
        }
    }
}

bool ReceiptBook::Record(const std::string& connectionFileName, const std::vector<std::string>& smscIds,
                         const std::string& requestId) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::string lines;
    for (const std::string& id : smscIds) {
        if (id.empty()) continue;
        map_[Key(connectionFileName, id)] = requestId;
        lines += Field(connectionFileName) + "," + Field(id) + "," + Field(requestId) + "\n";
    }
    if (lines.empty() || dir_.empty()) return true;
    const std::string path = dir_ + DayName(platform::Clock().UnixMillis()) + ".MAP";
    if (platform::AppendToFile(path, lines)) return true;
    platform::CreateDirectories(dir_);
    return platform::AppendToFile(path, lines);
}

std::string ReceiptBook::Find(const std::string& connectionFileName, const std::string& smscId) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = map_.find(Key(connectionFileName, smscId));
    return it == map_.end() ? std::string() : it->second;
}

}  // namespace gateway
