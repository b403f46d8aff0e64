// The counters the console shows: the gateway's yearly daily counters in "STATS/"
// (SMSSUBMIT, SMSSENT, SMSRECEIVED, SMSFAILED, SMSRETRY), each connection's sent and
// received counters, and the queue size kept for CacheQSize. Messages are counted for the
// gateway's statistics; the connection counters count parts, which is what the SMSC
// charges and what connection credit limits are in.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "config/counter_file.h"

namespace gateway {

class Statistics {
public:
    // Adds to today's counter of statistic `name`; false when it could not be written.
    bool Count(const std::string& name, std::uint32_t amount = 1);
    // Adds to today's sent or received counter of a connection (by its file name).
    bool CountConnection(const std::string& connectionName, bool received, std::uint32_t amount);
    // The queue size in "STATS/SMSQSIZE.CTR".
    bool SetQueueSize(std::uint32_t size);
    // Parts sent by a connection today, and since day `resetDay` of this month (or of
    // the last month, before that day has come).
    std::uint32_t SentToday(const std::string& connectionName);
    std::uint32_t SentSinceReset(const std::string& connectionName, int resetDay);

    // Counter updates that failed since the last ClearFailures (a full disk), and why.
    unsigned PendingFailures(std::string& reason) const;
    void ClearFailures() { failures_ = 0; }

private:
    bool Failed();
    config::CounterFileWriter* Writer(const std::string& path);
    // The counter file of a statistic or connection in a year, its path worked out once.
    config::CounterFileWriter* WriterFor(const std::string& name, int year, int kind);
    unsigned failures_ = 0;
    std::string reason_;
    std::map<std::string, config::CounterFileWriter> open_;
    std::map<std::string, config::CounterFileWriter*> byName_;
};

}  // namespace gateway
