// Logged-in visitors of the web pages: a random session token (the cookie) per login,
// with the account's name, its admin right and the token every form must carry back.
// Sessions end after 30 minutes without a request, at logout, or when the table is full
// (the oldest goes). Safe from any thread.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace gateway::web {

struct WebSession {
    std::string token;  // the cookie's value
    std::string csrf;   // the hidden field of every form
    std::string user;
    bool admin = false;
    std::uint64_t lastUseMs = 0;
};

// 32 random bytes as hex, from the system's random source.
std::string RandomToken();

// Constant-time comparison of two secrets.
bool SameSecret(const std::string& a, const std::string& b);

class SessionTable {
public:
    static constexpr std::uint64_t kIdleMs = 30 * 60'000;
    static constexpr std::size_t kMaxSessions = 10'000;

    // A new session for the account.
    WebSession Open(const std::string& user, bool admin);
    // The live session of a token (its idle time restarts), or none.
    std::optional<WebSession> Find(const std::string& token);
    void Close(const std::string& token);

private:
    std::mutex mutex_;
    std::map<std::string, WebSession> sessions_;
};

}  // namespace gateway::web

namespace gateway::web {

// Failed logins per client address: after kMaxFailures within kWindowMs the address may
// not try again until the window has passed, so passwords cannot be guessed at speed.
// Safe from any thread.
class LoginThrottle {
public:
    static constexpr unsigned kMaxFailures = 10;
    static constexpr std::uint64_t kWindowMs = 5 * 60'000;
    static constexpr std::size_t kMaxAddresses = 10'000;

    bool Allowed(const std::string& address);
    void Failed(const std::string& address);
    void Succeeded(const std::string& address);

private:
    struct Record {
        unsigned failures = 0;
        std::uint64_t firstMs = 0;
    };
    std::mutex mutex_;
    std::map<std::string, Record> records_;
};

}  // namespace gateway::web
