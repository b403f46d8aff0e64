#include "gateway/alerts.h"

#include <atomic>
#include <cstdio>

#include "acctdb/acctdb.h"
#include "gateway/logs.h"
#include "gateway/mail.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/io_wait.h"
#include "twoway/smtp_client.h"

namespace gateway {

namespace {

constexpr std::uint64_t kQuietMs = 30 * 60'000;
std::string Line(const std::string& text) { return text + "\r\n"; }

std::string Body(const std::string& text) {
    const platform::SystemTime t = acctdb::TZGetLocalTime();
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute,
                  t.second);
    return Line(text) + Line(stamp);
}

}  // namespace

std::string AlertSubject(AlertKind kind) {
    switch (kind) {
        case AlertKind::Info: return "QuvSMS Alert - Information";
        case AlertKind::Warning: return "QuvSMS Alert - Warning";
        case AlertKind::Error: return "QuvSMS Alert - Error";
    }
    return "QuvSMS Alert";
}

Alerts::~Alerts() { Stop(0); }

void Alerts::Configure(const GatewaySettings& settings) {
    std::lock_guard<std::mutex> lock(mutex_);
    settings_ = settings;
    settings_.connections.clear();  // the worker needs the alert keys only
}

void Alerts::Raise(AlertKind kind, const std::string& condition, const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (stopping_ || twoway::SplitRecipients(settings_.alertRecipients).empty()) return;
    if ((kind == AlertKind::Info && !settings_.alertInfo) || (kind == AlertKind::Warning && !settings_.alertWarning) ||
        (kind == AlertKind::Error && !settings_.alertError))
        return;
    const std::string key = AlertSubject(kind) + "\n" + condition;
    const std::uint64_t now = platform::SteadyMillis();
    if (auto it = lastSent_.find(key); it != lastSent_.end() && now < it->second + kQuietMs) return;
    lastSent_[key] = now;
    queue_.push_back({kind, text});
    if (!worker_.joinable()) worker_ = std::thread([this] { Work(); });
    wake_.notify_one();
}

void Alerts::Stop(std::uint64_t graceMs) {
    std::unique_lock<std::mutex> lock(mutex_);
    stopping_ = true;
    wake_.notify_one();
    if (!worker_.joinable()) return;
    // The worker sends what is queued (the "stopped" alert) unless that takes too long.
    wake_.wait_for(lock, std::chrono::milliseconds(graceMs), [&] { return queue_.empty(); });
    cancel_.Cancel();
    lock.unlock();
    worker_.join();
}

void Alerts::Work() {
    platform::ScopedCancelToken token(&cancel_);
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        wake_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
        if (queue_.empty()) return;
        const Mail mail = queue_.front();
        const GatewaySettings settings = settings_;
        lock.unlock();
        Deliver(mail, settings);
        lock.lock();
        queue_.pop_front();
        wake_.notify_all();
        if (cancel_.Cancelled()) return;
    }
}

void Alerts::Deliver(const Mail& mail, const GatewaySettings& s) {
    const std::string from = s.alertSender.empty() ? "QuvSMS" : s.alertSender;
    std::string failure;
    if (!SendServiceMail(s, from, twoway::SplitRecipients(s.alertRecipients), AlertSubject(mail.kind), Body(mail.text),
                         failure))
        ServiceLogs().Event(platform::EventLevel::Warning, "E-mail alert not sent: " + failure);
}

}  // namespace gateway
