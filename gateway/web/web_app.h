// What the web server answers: the submit interface for programs ("/api/send",
// "/api/status"), the pages for people (log in, send, queue, received) and "/php/".
// Accounts come from USERS.DB; messages go through the client submission core, so the
// same limits, quota and credit rules hold as for every other client. Thread-safe.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "acctdb/acctdb.h"
#include "gateway/web/http_message.h"
#include "gateway/web/http_server.h"
#include "gateway/web/web_pages.h"
#include "gateway/web/web_sessions.h"
#include "gateway/web/web_settings.h"

namespace gateway::web {

inline constexpr const char* kSessionCookie = "zsession";
inline constexpr std::size_t kMaxRecipients = 1000;

class WebApp {
public:
    // Settings for the requests that follow; `phpCgi` is the located php-cgi or "".
    void Configure(const WebSettings& settings, std::vector<std::string> routes, std::string phpCgi);
    HttpResponse Handle(const HttpRequest& request, const ClientInfo& client);

private:
    struct Config {
        WebSettings settings;
        std::vector<std::string> routes;
        std::string phpCgi;
    };
    struct Visitor {
        bool known = false;
        acctdb::UserRecord record;
        WebSession session;
    };
    std::shared_ptr<const Config> Current() const;
    HttpResponse Api(const HttpRequest& request, const ClientInfo& client, const Config& config);
    HttpResponse ApiSend(const acctdb::UserRecord& user, const std::multimap<std::string, std::string>& fields,
                         const ClientInfo& client);
    HttpResponse Pages(const HttpRequest& request, const ClientInfo& client, const Config& config);
    HttpResponse Login(const HttpRequest& request, const ClientInfo& client, const Config& config);
    HttpResponse SendFromPage(const HttpRequest& request, const ClientInfo& client, const Config& config,
                              const Visitor& visitor, const PageContext& page);
    // The visitor of a page request: a live session whose account may still log in, or,
    // when no login is asked for, the gateway's own account.
    Visitor FindVisitor(const HttpRequest& request, const Config& config);
    // Checks a login of a page or a program, counting failures per address; `status`
    // receives the HTTP status of a refusal.
    bool CheckLogin(const std::string& name, const std::string& password, const ClientInfo& client,
                    acctdb::UserRecord& record, int& status, std::string& error);

    mutable std::mutex mutex_;
    std::shared_ptr<const Config> config_;
    SessionTable sessions_;
    LoginThrottle throttle_;
};

// The recipients of a "to" text: separated by commas, semicolons, blanks or line breaks.
std::vector<std::string> SplitRecipients(const std::string& text);

}  // namespace gateway::web
