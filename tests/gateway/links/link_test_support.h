// What the link tests share: a connection's settings from a ZELLA.INI written in a
// scratch data directory, and a LinkEvents that records what a link reports.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "config/config_store.h"
#include "gateway/links/link.h"
#include "gateway/links/ucp_cimd_common.h"
#include "tests/support/temp_dir.h"

namespace link_test {

using Keys = std::vector<std::pair<std::string, std::string>>;

// The settings of connection `name` with `keys`, read back through the service's own
// settings code from a ZELLA.INI in `dir`.
inline gateway::ConnectionSettings Settings(const zella_test::TempDir& dir, const std::string& name,
                                            const Keys& keys) {
    const std::string path = dir.File("ZELLA.INI");
    {
        std::ofstream ini(path, std::ios::trunc);
        ini << "[ZELLA]\r\nModem1=" << name << "\r\n[" << config::ConnectionSectionName(name)
            << "]\r\n";
        for (const auto& [key, value] : keys) ini << key << "=" << value << "\r\n";
    }
    return gateway::ConnectionSettings(std::make_shared<platform::IniSnapshot>(path), name);
}

// Short bounds, so that a silent peer or a reconnect shows within a second or two.
inline gateway::SessionTimings FastTimings() {
    gateway::SessionTimings t;
    t.connectMs = 2000;
    t.responseMs = 1000;
    t.backoffMs = 100;
    t.backoffMaxMs = 400;
    t.goodbyeMs = 500;
    return t;
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class RecordingEvents : public gateway::LinkEvents {
public:
    // Decides each Store (true: stored); runs on the link's thread before it answers.
    std::function<bool(const gateway::InboundMessage&)> onStore;

    void Post(gateway::LinkEvent event) override {
        std::lock_guard<std::mutex> lock(mutex_);
        events_.push_back(std::move(event));
        changed_.notify_all();
    }
    void ExpectReceipts(const std::string&, const std::vector<std::string>& smscIds,
                        const std::string& requestId) override {
        std::lock_guard<std::mutex> lock(mutex_);
        for (const std::string& id : smscIds) expected_.push_back(id + "=" + requestId);
    }
    // "smscId=requestId" for each receipt the link announced, in order.
    std::vector<std::string> ExpectedReceipts() {
        std::lock_guard<std::mutex> lock(mutex_);
        return expected_;
    }
    bool Store(const std::string&, const gateway::InboundMessage& message) override {
        const bool stored = onStore ? onStore(message) : true;
        std::lock_guard<std::mutex> lock(mutex_);
        if (stored) stored_.push_back(message);
        changed_.notify_all();
        return stored;
    }

    // Waits up to 20 s until `done` holds over what was recorded; false when it never did.
    // `done` runs under the recorder's lock: it may not call the accessors below.
    bool WaitFor(const std::function<bool()>& done, int seconds = 20) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(seconds), done);
    }
    bool WaitForResults(std::size_t count) {
        return WaitFor([&] { return ResultsLocked().size() >= count; });
    }
    bool WaitForKind(gateway::LinkEvent::Kind kind, std::size_t count = 1) {
        return WaitFor([&] { return CountLocked(kind) >= count; });
    }

    std::vector<gateway::SendResult> Results() {
        std::lock_guard<std::mutex> lock(mutex_);
        return ResultsLocked();
    }
    std::vector<gateway::InboundMessage> Stored() {
        std::lock_guard<std::mutex> lock(mutex_);
        return stored_;
    }
    // The error of the first Down event, "" when none.
    std::string FirstDown() {
        std::lock_guard<std::mutex> lock(mutex_);
        for (const auto& e : events_)
            if (e.kind == gateway::LinkEvent::Kind::Down) return e.error;
        return {};
    }
    std::size_t Count(gateway::LinkEvent::Kind kind) {
        std::lock_guard<std::mutex> lock(mutex_);
        return CountLocked(kind);
    }
    std::vector<gateway::LinkEvent> Events() {
        std::lock_guard<std::mutex> lock(mutex_);
        return events_;
    }

private:
    std::vector<gateway::SendResult> ResultsLocked() const {
        std::vector<gateway::SendResult> results;
        for (const auto& e : events_)
            if (e.kind == gateway::LinkEvent::Kind::Result) results.push_back(e.result);
        return results;
    }
    std::size_t CountLocked(gateway::LinkEvent::Kind kind) const {
        std::size_t n = 0;
        for (const auto& e : events_) n += e.kind == kind ? 1 : 0;
        return n;
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<gateway::LinkEvent> events_;
    std::vector<gateway::InboundMessage> stored_;
    std::vector<std::string> expected_;
};

inline gateway::OutboundMessage Message(std::uint64_t token, const std::string& recipient,
                                        const std::string& text) {
    gateway::OutboundMessage m;
    m.token = token;
    m.id = "REQ" + std::to_string(token);
    m.recipient = recipient;
    m.text = text;
    return m;
}

// Every token in `tokens` answered exactly once among `results`.
inline void ExpectEachAnsweredOnce(const std::vector<gateway::SendResult>& results,
                                   const std::vector<std::uint64_t>& tokens) {
    EXPECT_EQ(results.size(), tokens.size());
    for (std::uint64_t token : tokens) {
        std::size_t n = 0;
        for (const auto& r : results) n += r.token == token ? 1 : 0;
        EXPECT_EQ(n, 1u) << "token " << token;
    }
}

}  // namespace link_test
