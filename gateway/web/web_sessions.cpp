#include "gateway/web/web_sessions.h"

#include <random>

#include "platform/io_wait.h"

namespace gateway::web {

std::string RandomToken() {
    static thread_local std::random_device source;  // the kernel's generator
    static const char* hex = "0123456789abcdef";
    std::string token;
    for (int i = 0; i < 8; ++i) {
        const unsigned word = source();
        for (int b = 0; b < 4; ++b) {
            const unsigned byte = (word >> (8 * b)) & 0xFF;
            token += hex[byte >> 4];
            token += hex[byte & 15];
        }
    }
    return token;
}

bool SameSecret(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    unsigned char diff = 0;
    for (std::size_t i = 0; i < a.size(); ++i) diff |= static_cast<unsigned char>(a[i] ^ b[i]);
    return diff == 0;
}

WebSession SessionTable::Open(const std::string& user, bool admin) {
    WebSession s{RandomToken(), RandomToken(), user, admin, platform::SteadyMillis()};
    std::lock_guard<std::mutex> lock(mutex_);
    if (sessions_.size() >= kMaxSessions) {
        auto oldest = sessions_.begin();
        for (auto it = sessions_.begin(); it != sessions_.end(); ++it)
            if (it->second.lastUseMs < oldest->second.lastUseMs) oldest = it;
        sessions_.erase(oldest);
    }
    sessions_[s.token] = s;
    return s;
}

std::optional<WebSession> SessionTable::Find(const std::string& token) {
    if (token.empty()) return std::nullopt;
    const std::uint64_t now = platform::SteadyMillis();
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = sessions_.find(token);
    if (it == sessions_.end()) return std::nullopt;
    if (now - it->second.lastUseMs > kIdleMs) {
        sessions_.erase(it);
        return std::nullopt;
    }
    it->second.lastUseMs = now;
    return it->second;
}

void SessionTable::Close(const std::string& token) {
    std::lock_guard<std::mutex> lock(mutex_);
    sessions_.erase(token);
}

}  // namespace gateway::web

namespace gateway::web {

bool LoginThrottle::Allowed(const std::string& address) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = records_.find(address);
    if (it == records_.end()) return true;
    if (platform::SteadyMillis() - it->second.firstMs > kWindowMs) {
        records_.erase(it);
        return true;
    }
    return it->second.failures < kMaxFailures;
}

void LoginThrottle::Failed(const std::string& address) {
    const std::uint64_t now = platform::SteadyMillis();
    std::lock_guard<std::mutex> lock(mutex_);
    if (records_.size() >= kMaxAddresses) {
        for (auto it = records_.begin(); it != records_.end();)
            it = now - it->second.firstMs > kWindowMs ? records_.erase(it) : std::next(it);
        if (records_.size() >= kMaxAddresses) records_.erase(records_.begin());
    }
    Record& r = records_[address];
    if (r.failures == 0 || now - r.firstMs > kWindowMs) r = {0, now};
    ++r.failures;
}

void LoginThrottle::Succeeded(const std::string& address) {
    std::lock_guard<std::mutex> lock(mutex_);
    records_.erase(address);
}

}  // namespace gateway::web
