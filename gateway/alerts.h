// E-mail alerts of the service: information (started, stopped), warnings (a long queue,
// retries) and errors (a connection down for five minutes, messages that failed for
// good), to the recipients of AlertEMailRecip. At most one mail per category and
// condition in 30 minutes; a category the operator turned off sends nothing. With an
// SMTP server the mail goes out on a worker of its own (the service never waits for it),
// without one it is dropped in "MMSCOUT/" as one file per recipient for the MMSC
// service to send.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include "gateway/settings.h"
#include "platform/cancel.h"

namespace gateway {

enum class AlertKind { Info, Warning, Error };

// "QuvSMS Alert - Information" / "- Warning" / "- Error".
std::string AlertSubject(AlertKind kind);

class Alerts {
public:
    ~Alerts();
    void Configure(const GatewaySettings& settings);
    // Sends the alert unless its category is off, no recipient is set, or an alert of
    // the same kind and `condition` went less than 30 minutes ago.
    void Raise(AlertKind kind, const std::string& condition, const std::string& text);
    // Ends the worker: a mail under way gets `graceMs` to finish, then it is cancelled.
    void Stop(std::uint64_t graceMs = 3000);

private:
    struct Mail {
        AlertKind kind;
        std::string text;
    };
    void Work();
    void Deliver(const Mail& mail, const GatewaySettings& settings);

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Mail> queue_;
    GatewaySettings settings_;
    std::map<std::string, std::uint64_t> lastSent_;  // kind and condition -> steady ms
    bool stopping_ = false;
    platform::CancelToken cancel_;
    std::thread worker_;
};

}  // namespace gateway
