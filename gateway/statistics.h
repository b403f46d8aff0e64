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

// Counts are added up in memory and written by Flush, which the service calls a few times
// a second: one read and one write per counter instead of per message. A service killed
// outright loses the counts of that moment; the logs keep every message.
class Statistics {
public:
    ~Statistics() { Flush(); }
    // Adds to today's counter of statistic `name`; false when its file cannot be opened.
    bool Count(const std::string& name, std::uint32_t amount = 1);
    // Adds to today's sent or received counter of a connection (by its file name).
    bool CountConnection(const std::string& connectionName, bool received, std::uint32_t amount);
    // Writes the counts added since the last flush.
    void Flush();
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
    std::map<std::pair<config::CounterFileWriter*, std::size_t>, std::uint64_t> pending_;  // by file and day
};

}  // namespace gateway
