#include "config/counter_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "acctdb/acctdb.h"

namespace config {

namespace {

class ReadOnlyFile {
public:
    explicit ReadOnlyFile(const std::string& path)
        : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}
    ~ReadOnlyFile() {
        if (fd_ >= 0) ::close(fd_);
    }
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;
    bool Open() const { return fd_ >= 0; }

    // Reads until `size` bytes or end of file; the count read (short on error).
    std::size_t ReadUpTo(unsigned char* buffer, std::size_t size) {
        std::size_t total = 0;
        while (total < size) {
            ssize_t got = ::read(fd_, buffer + total, size - total);
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) break;
            total += static_cast<std::size_t>(got);
        }
        return total;
    }

private:
    int fd_;
};

}  // namespace

DailyCounters ReadDailyCounterFile(const std::string& path) {
    DailyCounters counters{};
    ReadOnlyFile file(path);
    if (!file.Open()) return counters;
    unsigned char bytes[kDailyCounterFileSize] = {};
    std::size_t got = file.ReadUpTo(bytes, sizeof bytes);
    for (std::size_t i = 0; i + 4 <= got; i += 4) {
        counters[i / 4] = static_cast<std::uint32_t>(bytes[i]) |
                          static_cast<std::uint32_t>(bytes[i + 1]) << 8 |
                          static_cast<std::uint32_t>(bytes[i + 2]) << 16 |
                          static_cast<std::uint32_t>(bytes[i + 3]) << 24;
    }
    return counters;
}

std::string StatsDirectory() { return acctdb::GetPrivateDataDirectory() + "STATS/"; }

std::string StatCounterPath(const std::string& name, int year) {
    return StatsDirectory() + name + "-" + std::to_string(year) + ".CTR";
}

std::string CurrentValueCounterPath(const std::string& name) {
    return StatsDirectory() + name + ".CTR";
}

bool IsCurrentValueStatistic(const std::string& name) {
    return name.find("SMS") != std::string::npos && name.find("QSIZE") != std::string::npos;
}

std::uint32_t ReadCurrentValueCounter(const std::string& name) {
    return ReadDailyCounterFile(CurrentValueCounterPath(name))[0];
}

}  // namespace config
