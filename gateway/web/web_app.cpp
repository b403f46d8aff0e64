#include "gateway/web/web_app.h"

#include "gateway/clients/access.h"
#include "gateway/clients/submission.h"
#include "gateway/logs.h"
#include "gateway/web/message_lists.h"
#include "gateway/web/php_gateway.h"
#include "platform/text.h"

namespace gateway::web {

namespace {

constexpr std::size_t kListLimit = 500;

std::string Field(const std::multimap<std::string, std::string>& fields, const std::string& name) {
    auto it = fields.find(name);
    return it == fields.end() ? "" : it->second;
}

bool Yes(const std::string& value) {
    return platform::EqualsNoCase(value, "yes") || value == "1" || platform::EqualsNoCase(value, "true") ||
           platform::EqualsNoCase(value, "on");
}

// The query's fields, and a form body's for POST.
std::multimap<std::string, std::string> RequestFields(const HttpRequest& request) {
    std::multimap<std::string, std::string> fields = ParseForm(request.query);
    const std::string type = platform::ToLowerAscii(request.Header("content-type"));
    if (request.method == "POST" && type.rfind("application/x-www-form-urlencoded", 0) == 0)
        for (auto& f : ParseForm(request.body)) fields.insert(std::move(f));
    return fields;
}

HttpResponse WithPageHeaders(HttpResponse r) {
    r.Add("Cache-Control", "no-store");
    r.Add("X-Content-Type-Options", "nosniff");
    r.Add("X-Frame-Options", "DENY");
    r.Add("Referrer-Policy", "same-origin");  // "no-referrer" makes browsers send "Origin: null"
    r.Add("Content-Security-Policy",
          "default-src 'none'; style-src 'unsafe-inline'; form-action 'self'; frame-ancestors 'none'");
    return r;
}

HttpResponse Html(std::string body, int status = 200) {
    HttpResponse r;
    r.status = status;
    r.body = std::move(body);
    return WithPageHeaders(std::move(r));
}

HttpResponse Redirect(const std::string& to) {
    HttpResponse r = TextResponse(303, "See " + to);
    r.Add("Location", to);
    return WithPageHeaders(std::move(r));
}

std::string SessionCookie(const std::string& value, bool tls, bool expire) {
    return std::string(kSessionCookie) + "=" + value + "; Path=/; HttpOnly; SameSite=Strict" + (tls ? "; Secure" : "") +
           (expire ? "; Max-Age=0" : "");
}

// A POST from a page of another site: its Origin (sent by browsers with every POST)
// names a different host than the one the request went to.
bool CrossSite(const HttpRequest& request) {
    const std::string origin = request.Header("origin");
    if (origin.empty()) return false;
    const std::size_t scheme = origin.find("://");
    return scheme == std::string::npos || origin.substr(scheme + 3) != request.Header("host");
}

const char* LoginError(clients::LoginResult result) {
    switch (result) {
        case clients::LoginResult::NotAllowed: return "Web login is not enabled for this account";
        case clients::LoginResult::AddressNotAllowed: return "This account may not log in from your address";
        case clients::LoginResult::StoreError: return "The user accounts cannot be read";
        default: return "Wrong user name or password";
    }
}

int RefusalStatus(clients::Refusal refusal) {
    switch (refusal) {
        case clients::Refusal::NoCredit: return 402;
        case clients::Refusal::Quota: return 429;
        case clients::Refusal::AddressNotAllowed: return 403;
        case clients::Refusal::QueueError: return 500;
        default: return 400;
    }
}

// The message of a form or API call for one recipient.
clients::ClientMessage MessageFor(const std::string& to, const std::multimap<std::string, std::string>& fields,
                                  const ClientInfo& client, bool advanced) {
    clients::ClientMessage m;
    m.to = to;
    m.from = Field(fields, "from");
    m.text = Field(fields, "text");
    m.route = Field(fields, "route");
    m.clientAddress = client.address;
    m.via = "HTTP";
    if (advanced) {
        m.receipt = Yes(Field(fields, "receipt"));
        m.validity = Field(fields, "validity");
    }
    return m;
}

struct Submitted {
    std::string to, requestId, refusal;
    clients::Refusal kind = clients::Refusal::None;
};

// One message per recipient, all made durable together before any is reported accepted.
std::vector<Submitted> SubmitAll(const acctdb::UserRecord& user, const std::vector<std::string>& recipients,
                                 const std::multimap<std::string, std::string>& fields, const ClientInfo& client,
                                 bool advanced) {
    std::vector<Submitted> out;
    platform::FileBatch batch;
    for (const std::string& to : recipients) {
        const clients::SubmitResult s = clients::Submit(user, MessageFor(to, fields, client, advanced), batch);
        out.push_back({to, s.requestId, s.Accepted() ? "" : s.text, s.refusal});
    }
    for (const std::string& failed : clients::CommitSubmissions(batch))
        for (Submitted& o : out)
            if (o.requestId == failed) o = {o.to, "", "Error creating SMS request file in queue", clients::Refusal::QueueError};
    return out;
}

}  // namespace

std::vector<std::string> SplitRecipients(const std::string& text) {
    std::vector<std::string> out;
    std::string current;
    for (char c : text + ",") {
        if (c == ',' || c == ';' || c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            if (!current.empty()) out.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    return out;
}

void WebApp::Configure(const WebSettings& settings, std::vector<std::string> routes, std::string phpCgi) {
    auto next = std::make_shared<const Config>(Config{settings, std::move(routes), std::move(phpCgi)});
    std::lock_guard<std::mutex> lock(mutex_);
    config_ = std::move(next);
}

std::shared_ptr<const WebApp::Config> WebApp::Current() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return config_;
}

HttpResponse WebApp::Handle(const HttpRequest& request, const ClientInfo& client) {
    const std::shared_ptr<const Config> config = Current();
    if (!config) return TextResponse(503, "Starting");
    if (request.path == "/php" || request.path.rfind("/php/", 0) == 0)
        return ServePhp(request, client.address, client.tls, config->settings, config->phpCgi);
    if (request.method != "GET" && request.method != "HEAD" && request.method != "POST") {
        HttpResponse r = TextResponse(405, "Method not allowed");
        r.Add("Allow", "GET, HEAD, POST");
        return r;
    }
    if (request.path.rfind("/api/", 0) == 0) {
        if (request.method == "HEAD") return TextResponse(405, "ERROR Use GET or POST");  // HEAD must not send
        return Api(request, client, *config);
    }
    return Pages(request, client, *config);
}

HttpResponse WebApp::Api(const HttpRequest& request, const ClientInfo& client, const Config& config) {
    const auto fields = RequestFields(request);
    acctdb::UserRecord user;
    const std::string name = Field(fields, "user");
    if (!name.empty() || config.settings.auth) {
        int status = 0;
        std::string error;
        if (!CheckLogin(name, Field(fields, "password"), client, user, status, error))
            return TextResponse(status, "ERROR " + error);
    } else {
        user.SetUserName("localsystem");
    }
    if (request.path == "/api/send") return ApiSend(user, fields, client);
    if (request.path == "/api/status") {
        const std::string id = Field(fields, "id");
        if (!IsRequestId(id)) return TextResponse(400, "ERROR Missing or malformed id");
        const bool all = user.Admin() || platform::EqualsNoCase(user.UserName(), "localsystem");
        const MessageState s = FindMessageState(config.settings.queueDir, config.settings.logDir,
                                                config.settings.smsInDir, id, all ? "" : user.UserName());
        HttpResponse r = TextResponse(s.state == "unknown" ? 404 : 200, "id=" + id + "\nstate=" + s.state);
        if (!s.detail.empty()) r.body += "detail=" + s.detail + "\n";
        if (!s.receipt.empty()) r.body += "receipt=" + s.receipt + "\n";
        return r;
    }
    return TextResponse(404, "ERROR Unknown interface");
}

HttpResponse WebApp::ApiSend(const acctdb::UserRecord& user, const std::multimap<std::string, std::string>& fields,
                             const ClientInfo& client) {
    std::vector<std::string> recipients;
    for (auto [it, end] = fields.equal_range("to"); it != end; ++it)
        for (std::string& r : SplitRecipients(it->second)) recipients.push_back(std::move(r));
    if (recipients.empty()) return TextResponse(400, "ERROR No recipient (to)");
    if (recipients.size() > kMaxRecipients)
        return TextResponse(400, "ERROR More than " + std::to_string(kMaxRecipients) + " recipients");
    HttpResponse r = TextResponse(200, "");
    r.body.clear();
    int firstRefusal = 0;
    bool anyAccepted = false;
    for (const Submitted& s : SubmitAll(user, recipients, fields, client, true)) {
        if (s.refusal.empty()) {
            anyAccepted = true;
            r.body += "OK " + s.requestId + " " + s.to + "\n";
        } else {
            if (firstRefusal == 0) firstRefusal = RefusalStatus(s.kind);
            r.body += "ERROR " + s.to + " " + s.refusal + "\n";
        }
    }
    if (!anyAccepted) r.status = firstRefusal;
    return r;
}

bool WebApp::CheckLogin(const std::string& name, const std::string& password, const ClientInfo& client,
                        acctdb::UserRecord& record, int& status, std::string& error) {
    if (!throttle_.Allowed(client.address)) {
        status = 429;
        error = "Too many failed logins from your address; try again in a few minutes";
        return false;
    }
    const clients::LoginResult result =
        clients::CheckLogin(name, password, clients::LoginService::Web, client.address, record);
    if (result == clients::LoginResult::Ok) {
        throttle_.Succeeded(client.address);
        return true;
    }
    if (result != clients::LoginResult::StoreError) throttle_.Failed(client.address);
    ServiceLogs().Event(platform::EventLevel::Warning,
                        "Web login of \"" + gateway::Field(name) + "\" from " + client.address + " refused: " +
                            LoginError(result));
    status = result == clients::LoginResult::StoreError ? 503 : 401;
    error = LoginError(result);
    return false;
}

WebApp::Visitor WebApp::FindVisitor(const HttpRequest& request, const Config& config) {
    Visitor v;
    if (!config.settings.auth) {
        v.known = true;
        v.record.SetUserName("localsystem");
        v.record.SetAdmin(true);
        const auto cookies = ParseCookies(request.Header("cookie"));
        auto it = cookies.find(kSessionCookie);
        auto s = it == cookies.end() ? std::nullopt : sessions_.Find(it->second);
        v.session = s ? *s : sessions_.Open("localsystem", true);
        return v;
    }
    const auto cookies = ParseCookies(request.Header("cookie"));
    auto it = cookies.find(kSessionCookie);
    if (it == cookies.end()) return v;
    auto s = sessions_.Find(it->second);
    if (!s) return v;
    // The account as stored now: a login revoked since ends the session.
    if (!clients::ReadAccount(s->user, v.record) || v.record.WebLoginDisabled()) {
        sessions_.Close(s->token);
        return v;
    }
    v.known = true;
    v.session = *s;
    return v;
}

HttpResponse WebApp::Login(const HttpRequest& request, const ClientInfo& client, const Config& config) {
    if (!config.settings.auth) return Redirect("/");
    if (request.method != "POST") return Html(LoginPage("", ""));
    if (CrossSite(request)) return Html(LoginPage("This form was sent from another site.", ""), 403);
    const auto fields = RequestFields(request);
    const std::string name = Field(fields, "user");
    acctdb::UserRecord record;
    int status = 0;
    std::string error;
    if (!CheckLogin(name, Field(fields, "password"), client, record, status, error))
        return Html(LoginPage(error, name), status);
    const WebSession session = sessions_.Open(record.UserName(), record.Admin());
    HttpResponse r = Redirect("/");
    r.Add("Set-Cookie", SessionCookie(session.token, client.tls, false));
    return r;
}

HttpResponse WebApp::Pages(const HttpRequest& request, const ClientInfo& client, const Config& config) {
    if (request.path == "/login") return Login(request, client, config);
    const Visitor visitor = FindVisitor(request, config);
    if (!visitor.known) return Redirect("/login");
    PageContext page;
    page.user = visitor.record.UserName();
    page.admin = visitor.record.Admin();
    page.loginUsed = config.settings.auth;
    page.csrf = visitor.session.csrf;
    page.settings = &config.settings;
    page.webMenu = visitor.record.WebMenu();
    HttpResponse r;
    if (request.method == "POST" && (CrossSite(request) || !SameSecret(Field(RequestFields(request), "csrf"), page.csrf))) {
        r = Html(MessagePage(page, "Form refused", "This form has expired or came from another site; open the page again."),
                 403);
    } else if (request.path == "/logout" && request.method == "POST") {
        sessions_.Close(visitor.session.token);
        r = Redirect(config.settings.auth ? "/login" : "/");
        r.Add("Set-Cookie", SessionCookie("", client.tls, true));
        return r;
    } else if (request.path == "/" || (request.path == "/send" && request.method != "POST")) {
        r = Html(request.path == "/" && config.settings.menu ? HomePage(page) : SendPage(page, {}, config.routes, {}));
    } else if (request.path == "/send") {
        r = SendFromPage(request, client, config, visitor, page);
    } else if (request.path == "/queue") {
        r = Html(QueuePage(page, ListQueued(config.settings.queueDir, page.admin ? "" : page.user, kListLimit)));
    } else if (request.path == "/received") {
        r = Html(ReceivedPage(page, ListReceived(config.settings.smsInDir, page.admin ? "" : page.user, kListLimit,
                                                 clients::RequestOwner)));
    } else {
        r = Html(MessagePage(page, "Not found", "There is no page " + request.path + "."), 404);
    }
    const auto cookies = ParseCookies(request.Header("cookie"));
    auto it = cookies.find(kSessionCookie);
    if (it == cookies.end() || it->second != visitor.session.token)
        r.Add("Set-Cookie", SessionCookie(visitor.session.token, client.tls, false));
    return r;
}

HttpResponse WebApp::SendFromPage(const HttpRequest& request, const ClientInfo& client, const Config& config,
                                  const Visitor& visitor, const PageContext& page) {
    auto fields = RequestFields(request);
    SendForm form{Field(fields, "to"), Field(fields, "from"), Field(fields, "text"), Field(fields, "route"),
                  Yes(Field(fields, "receipt"))};
    // What the page does not show is not taken from the form either.
    if (!config.settings.displaySender) fields.erase("from");
    if (!config.settings.displayRoute) fields.erase("route");
    const bool advanced = !config.settings.disableAdvanced && page.webMenu != 1;
    std::vector<SendOutcome> outcomes;
    const std::vector<std::string> recipients = SplitRecipients(form.to);
    if (recipients.empty()) outcomes.push_back({"(none)", "", "Enter at least one recipient"});
    if (recipients.size() > kMaxRecipients)
        outcomes.push_back({"", "", "More than " + std::to_string(kMaxRecipients) + " recipients"});
    else
        for (const Submitted& s : SubmitAll(visitor.record, recipients, fields, client, advanced))
            outcomes.push_back({s.to, s.requestId, s.refusal});
    return Html(SendPage(page, form, config.routes, outcomes));
}

}  // namespace gateway::web
