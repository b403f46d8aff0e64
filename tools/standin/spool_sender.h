// The stand-in's sending of the test messages the console drops: outbound "TEST*.REQ"
// requests in the queue directory and "TEST*.INI" / "TEST*.MMS" pairs in the VASP queue.
//
// A spool is looked at when its wake-up file ("WAKE/SMSOut", "WAKE/VASPOut") changes, and
// every 10 seconds. A request taken is "sent" for the send time (ZELLA_STANDIN_SEND_MS,
// default 1000 ms) while the stand-in holds an exclusive lock on it, as the service holds
// its open file. Then, when the data directory holds no file "STANDIN-FAIL", it appends
// a line with status "OK" to the day's SMSOUT (or MMSC) log and deletes the request.
// With "STANDIN-FAIL" present (its text is the error), it adds the retry details to the
// request ("[ErrorDetail]" or "[RetryInfo]": RetryCount, LastErrorInfo, times) and keeps
// it for another attempt a minute later; with "STANDIN-OFFLINE" also present (its text is
// the error) it writes the connection error file of the request's route as well. Each
// failed attempt is also an Error event in the event log ("<route>: <error>").
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "platform/event_log.h"
#include "platform/files.h"

namespace standin {

// Appends an event of the Gateway service ("QuvSMS") to "EVENTS.LOG" in the log directory.
void LogServiceEvent(platform::EventLevel level, const std::string& text);

class SpoolSender {
public:
    SpoolSender();
    // Does what is due now; call it every 100 ms or so.
    void Tick();

private:
    struct Sending {
        platform::FileLock lock;
        std::uint64_t doneAt = 0;
        bool mms = false;
    };
    void Scan(bool mms);
    void Finish(const std::string& path, bool mms);
    std::string ReadWake(const char* name) const;

    std::map<std::string, Sending> sending_;
    std::map<std::string, std::uint64_t> retryAt_;
    std::string smsWake_, mmsWake_;
    std::uint64_t nextScan_ = 0;
    std::uint64_t sendMs_ = 1000;
};

}  // namespace standin
