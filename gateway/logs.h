// What the service leaves for operators to read: the daily message logs ("SMSOUT",
// "SMSIN" in the log directory), the event log and the debug log.
//
// SMSOUT lines: time14,id,route,recipient,status,smsc-message-id,user ("OK" status = sent)
// SMSIN lines:  time14,file,route,sender,recipient
// No field holds a comma; every line is appended with one write.
#pragma once

#include <atomic>
#include <map>
#include <mutex>
#include <string>

#include "platform/append_file.h"
#include "platform/clock.h"
#include "platform/event_log.h"

namespace gateway {

// Now in the gateway's time zone as "YYYYMMDDhhmmss".
std::string Now14();
// Now in the gateway's time zone, worked out at most once a second per thread.
platform::SystemTime LocalNow();

// Safe from any thread: links, clients and the web server write while a reload may
// reconfigure.
class Logs {
public:
    // `logDir` ends in "/"; `debug` turns SMSDEBUG.LOG on.
    void Configure(const std::string& logDir, bool debug);
    std::string Directory() const;

    // One line of the day's "<prefix>-YYYYMMDD.LOG"; false when it could not be written
    // (the line is counted as lost and reported by ReportLosses).
    bool Daily(const char* prefix, const std::string& line);
    // Lets go of daily logs that were removed or renamed meanwhile; call it now and then.
    void Recheck();
    // Reports, as an event, the log lines that could not be written since the last report
    // (a full disk); call it now and then. True when an event was written.
    bool ReportLosses();
    // An event of the service ("QuvSMS"), to the journal or "EVENTS.LOG".
    bool Event(platform::EventLevel level, const std::string& text);
    bool DebugOn() const { return debug_.load(); }
    // A line of "<name>" (SMSDEBUG.LOG, SMPPDEBUG.LOG, ...) while Debug is on.
    void Debug(const char* name, const std::string& text);

private:
    // Links, the SMPP server and the keyword processor log from their own threads while
    // a reload may move the logs: the directory is read and changed under the lock.
    mutable std::mutex mutex_;
    std::string dir_;
    std::atomic<bool> debug_{false};
    std::map<std::string, platform::AppendingFile> daily_;  // by prefix, kept open; under mutex_
    unsigned lost_ = 0;
    std::string lostReason_;
};

// The one set of logs of the process.
Logs& ServiceLogs();

// A log field: commas become ";", line breaks and tabs blanks.
std::string Field(const std::string& text);

}  // namespace gateway
