#include "config/queue_size.h"

#include <limits>

#include "config/config_store.h"
#include "config/counter_file.h"
#include "platform/files.h"

namespace config {

namespace {

std::uint64_t CountRequestFiles(const std::string& dir) {
    std::uint64_t count = 0;
    platform::WalkDirectoryNames(dir, "*.REQ", [&count](const platform::DirEntry& entry) {
        if (!entry.isDirectory) ++count;
        return true;
    });
    return count;
}

bool BeginsWithMmsQueue(const std::string& name) {
    static constexpr char kPrefix[] = "mmsq__";
    if (name.size() < sizeof kPrefix - 1) return false;
    for (std::size_t i = 0; i < sizeof kPrefix - 1; ++i) {
        char c = name[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != kPrefix[i]) return false;
    }
    return true;
}

}  // namespace

std::uint32_t OutboundQueueSizeIn(const std::string& queueDirectory, bool cacheQSize) {
    std::uint64_t total = cacheQSize ? ReadCurrentValueCounter("SMSQSIZE") : 0;
    // The queue directory itself is counted here rather than through its "." entry, so
    // the count does not depend on whether the directory walk reports "." at all.
    if (!cacheQSize) total += CountRequestFiles(queueDirectory);
    platform::WalkDirectoryNames(queueDirectory, "*", [&](const platform::DirEntry& entry) {
        if (!entry.isDirectory || entry.name == "." || entry.name == "..") return true;
        if (cacheQSize && !BeginsWithMmsQueue(entry.name)) return true;
        total += CountRequestFiles(queueDirectory + entry.name + "/");
        return true;
    });
    constexpr std::uint64_t kMax = std::numeric_limits<std::uint32_t>::max();
    return static_cast<std::uint32_t>(total > kMax ? kMax : total);
}

std::uint32_t OutboundQueueSize() {
    return OutboundQueueSizeIn(QueueDirectory(), IsYes(ReadZellaKey("CacheQSize")));
}

}  // namespace config
