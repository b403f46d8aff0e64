// Received messages waiting for two-way processing (".IN" files of the received-SMS
// folder): a message for a local account (RouteLocal, "[Inbound SMS Routing]") becomes
// ".REC" for that account's clients when the account accepts received messages; any
// other is matched against the keyword commands of ZELLA.INI, whose actions run; then it
// is stored as ".SMS". Delivery receipts never run keywords. Works on a thread of its
// own, since actions wait on servers and commands.
#pragma once

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "gateway/settings.h"

namespace gateway::keywords {

class KeywordProcessor {
public:
    explicit KeywordProcessor(std::string smsInDir);
    ~KeywordProcessor();  // Stop()
    void Configure(const GatewaySettings& settings);
    void Start();
    // Finishes the message under way, then ends the thread.
    void Stop();
    // New ".IN" files may be there.
    void Wake();

    // One pass over the waiting files (the thread's work; also for tests). The number
    // of files handled.
    unsigned ProcessWaiting();

private:
    void Work();
    // Handles one ".IN" file; false when it is to be left for later (held elsewhere).
    bool Process(const std::string& path);

    std::string smsInDir_;
    std::mutex mutex_;
    std::condition_variable wake_;
    GatewaySettings settings_;
    bool wanted_ = true, stopping_ = false;
    std::thread thread_;
};

}  // namespace gateway::keywords
