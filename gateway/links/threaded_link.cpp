#include "gateway/links/link.h"
#include "platform/io_wait.h"

namespace gateway {

ThreadedLink::ThreadedLink(const ConnectionSettings& settings, LinkEvents& events)
    : settings_(settings), events_(events) {}

ThreadedLink::~ThreadedLink() { Stop(); }

void ThreadedLink::Start() {
    thread_ = std::thread([this] {
        // Connects and other platform waits of this thread end early once Stop cancels.
        platform::ScopedCancelToken token(&cancel_);
        Run();
        std::vector<OutboundMessage> left = TakeInbox();
        Unsent(left, "Service stopping");
    });
}

void ThreadedLink::Stop() {
    stopping_.store(true);
    cancel_.Cancel();
    wake_.Signal();
    if (thread_.joinable()) thread_.join();
}

void ThreadedLink::Send(OutboundMessage message) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (message.receiptRequested) receiptsFor_[message.token] = message.id;
        inbox_.push_back(std::move(message));
    }
    wake_.Signal();
}

std::vector<OutboundMessage> ThreadedLink::TakeInbox() {
    wake_.Drain();
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<OutboundMessage> taken;
    taken.swap(inbox_);
    if (stopping_.load()) wake_.Signal();  // stays readable for the loop to see the stop
    return taken;
}

bool ThreadedLink::Pause(std::uint64_t ms) {
    const std::uint64_t end = platform::SteadyMillis() + ms;
    while (!Stopping()) {
        const std::uint64_t now = platform::SteadyMillis();
        if (now >= end) return true;
        platform::WaitForIo(WakeFd(), platform::IoEvent::Readable, end - now);
        // Messages that arrive while the link waits to reconnect are not sent now.
        std::vector<OutboundMessage> waiting = TakeInbox();
        Unsent(waiting, "Connection down");
    }
    return false;
}

void ThreadedLink::PostUp() {
    LinkEvent e;
    e.kind = LinkEvent::Kind::Up;
    e.connection = Name();
    events_.Post(std::move(e));
}

void ThreadedLink::PostDown(const std::string& error) {
    LinkEvent e;
    e.kind = LinkEvent::Kind::Down;
    e.connection = Name();
    e.error = error;
    events_.Post(std::move(e));
}

void ThreadedLink::PostResult(SendResult result) {
    std::string receiptFor;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (auto it = receiptsFor_.find(result.token); it != receiptsFor_.end()) {
            receiptFor = it->second;
            receiptsFor_.erase(it);
        }
    }
    if (!receiptFor.empty() && result.outcome == Outcome::Sent) {
        std::vector<std::string> ids = result.partIds;
        if (ids.empty()) ids.push_back(result.smscId);
        events_.ExpectReceipts(Name(), ids, receiptFor);
    }
    LinkEvent e;
    e.kind = LinkEvent::Kind::Result;
    e.connection = Name();
    e.result = std::move(result);
    events_.Post(std::move(e));
}

void ThreadedLink::PostReceived(InboundMessage message) {
    LinkEvent e;
    e.kind = LinkEvent::Kind::Received;
    e.connection = Name();
    e.inbound = std::move(message);
    events_.Post(std::move(e));
}

void ThreadedLink::PostNotice(bool warning, const std::string& text) {
    LinkEvent e;
    e.kind = LinkEvent::Kind::Notice;
    e.connection = Name();
    e.error = text;
    e.warning = warning;
    events_.Post(std::move(e));
}

void ThreadedLink::Unsent(std::vector<OutboundMessage>& messages, const std::string& why) {
    for (OutboundMessage& m : messages) {
        SendResult r;
        r.token = m.token;
        r.outcome = Outcome::NotSent;
        r.error = why;
        PostResult(std::move(r));
    }
    messages.clear();
}

}  // namespace gateway
