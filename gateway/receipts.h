// The requests whose delivery receipts may still come: the SMSC's message id of each part
// sent with a receipt requested, mapped to the request's identifier. Kept in memory and in
// daily files "RECEIPTS/YYYYMMDD.MAP" of the data directory (one line per part:
// "<connection file name>,<smsc id>,<request id>"), so a receipt that arrives after a
// restart still finds its request. Files older than three days are read no more.
// Safe from any thread.
#pragma once

#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace gateway {

class ReceiptBook {
public:
    // Reads the files of the last three days below `dataDir`.
    void Load(const std::string& dataDir);
    // Records the parts of a request; false when the file could not be written (the
    // mapping is still kept in memory).
    bool Record(const std::string& connectionFileName, const std::vector<std::string>& smscIds,
                const std::string& requestId);
    // The request a receipt of the connection reports on, or "".
    std::string Find(const std::string& connectionFileName, const std::string& smscId) const;

private:
    static std::string Key(const std::string& connectionFileName, const std::string& smscId);
    mutable std::mutex mutex_;
    std::string dir_;
    std::unordered_map<std::string, std::string> map_;
};

}  // namespace gateway
