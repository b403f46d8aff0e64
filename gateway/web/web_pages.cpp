#include "gateway/web/web_pages.h"

#include "gateway/web/http_message.h"

namespace gateway::web {

namespace {

const char* kStyle =
    "body{font-family:sans-serif;margin:1.5em;color:#222}nav a,nav button{margin-right:1em}"
    "table{border-collapse:collapse}td,th{border:1px solid #999;padding:.2em .5em;text-align:left;vertical-align:top}"
    "label{display:block;margin-top:.6em}.error{color:#a00}.ok{color:#060}textarea{width:30em;height:6em}"
    "nav form{display:inline}";

std::string E(const std::string& text) { return HtmlEscape(text); }

std::string Hidden(const PageContext& c) { return "<input type=\"hidden\" name=\"csrf\" value=\"" + E(c.csrf) + "\">"; }

std::string Layout(const PageContext& c, const std::string& title, const std::string& body) {
    std::string html = "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\"><title>" + E(title) +
                       " - QuvSMS</title><style>" + kStyle + "</style></head><body>\n";
    if (c.settings == nullptr || c.settings->menu) {
        html += "<nav><a href=\"/\">Home</a><a href=\"/send\">Send SMS</a><a href=\"/queue\">Outbound queue</a>"
                "<a href=\"/received\">Received messages</a>";
        if (!c.user.empty() && c.loginUsed)
            html += "<form method=\"post\" action=\"/logout\">" + Hidden(c) + "<button type=\"submit\">Log out " +
                    E(c.user) + "</button></form>";
        html += "</nav>\n";
    }
    return html + "<h1>" + E(title) + "</h1>\n" + body + "\n</body></html>\n";
}

bool Advanced(const PageContext& c) { return c.settings != nullptr && !c.settings->disableAdvanced && c.webMenu != 1; }

}  // namespace

std::string LoginPage(const std::string& error, const std::string& userName) {
    std::string body = "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\"><title>Log in - QuvSMS</title>"
                       "<style>" + std::string(kStyle) + "</style></head><body>\n<h1>Log in</h1>\n";
    if (!error.empty()) body += "<p class=\"error\" id=\"error\">" + E(error) + "</p>\n";
    body += "<form method=\"post\" action=\"/login\">"
            "<label>User name <input name=\"user\" id=\"user\" autocomplete=\"username\" value=\"" +
            E(userName) +
            "\"></label>"
            "<label>Password <input type=\"password\" name=\"password\" id=\"password\" "
            "autocomplete=\"current-password\"></label>"
            "<p><button type=\"submit\" id=\"login\">Log in</button></p></form>";
    return body + "\n</body></html>\n";
}

std::string HomePage(const PageContext& c) {
    std::string body = "<p>Logged in as <b id=\"who\">" + E(c.user) + "</b>" + (c.admin ? " (administrator)" : "") +
                       ".</p><ul><li><a href=\"/send\">Send an SMS</a></li><li><a href=\"/queue\">" +
                       std::string(c.admin ? "All messages waiting" : "Your messages waiting") +
                       " to be sent</a></li><li><a href=\"/received\">Received messages</a></li></ul>";
    return Layout(c, "QuvSMS Gateway", body);
}

std::string SendPage(const PageContext& c, const SendForm& f, const std::vector<std::string>& routes,
                     const std::vector<SendOutcome>& outcomes) {
    std::string body;
    if (!outcomes.empty()) {
        body += "<table id=\"outcome\"><tr><th>Recipient</th><th>Result</th></tr>";
        for (const SendOutcome& o : outcomes) {
            body += "<tr><td>" + E(o.recipient) + "</td><td>";
            body += o.refusal.empty() ? "<span class=\"ok\">Queued as <a href=\"/queue\">" + E(o.requestId) + "</a></span>"
                                      : "<span class=\"error\">" + E(o.refusal) + "</span>";
            body += "</td></tr>";
        }
        body += "</table>\n";
    }
    body += "<form method=\"post\" action=\"/send\">" + Hidden(c) +
            "<label>To (numbers separated by commas) <input name=\"to\" id=\"to\" size=\"40\" value=\"" + E(f.to) +
            "\"></label>";
    if (c.settings == nullptr || c.settings->displaySender)
        body += "<label>From <input name=\"from\" id=\"from\" value=\"" + E(f.from) + "\"></label>";
    body += "<label>Message <textarea name=\"text\" id=\"text\">" + E(f.text) + "</textarea></label>";
    if ((c.settings == nullptr || c.settings->displayRoute) && !routes.empty()) {
        body += "<label>Route <select name=\"route\" id=\"route\"><option value=\"\">Any</option>";
        for (const std::string& r : routes)
            body += "<option value=\"" + E(r) + "\"" + (r == f.route ? " selected" : "") + ">" + E(r) + "</option>";
        body += "</select></label>";
    }
    if (Advanced(c))
        body += std::string("<label><input type=\"checkbox\" name=\"receipt\" value=\"yes\"") +
                (f.receipt ? " checked" : "") + "> Request a delivery receipt</label>";
    body += "<p><button type=\"submit\" id=\"send\">Send</button></p></form>";
    return Layout(c, "Send SMS", body);
}

std::string QueuePage(const PageContext& c, const std::vector<QueuedMessage>& rows) {
    const bool sender = c.settings == nullptr || c.settings->displaySender;
    std::string body;
    if (rows.empty()) body += "<p id=\"empty\">No messages are waiting.</p>";
    body += "<table id=\"queue\"><tr><th>Id</th><th>Submitted</th>" + std::string(c.admin ? "<th>User</th>" : "") +
            "<th>To</th>" + (sender ? "<th>From</th>" : "") + "<th>Message</th><th>Status</th></tr>";
    for (const QueuedMessage& m : rows) {
        body += "<tr><td>" + E(m.id) + "</td><td>" + E(m.submitted) + "</td>" +
                (c.admin ? "<td>" + E(m.user) + "</td>" : "") + "<td>" + E(m.recipient) + "</td>" +
                (sender ? "<td>" + E(m.sender) + "</td>" : "") + "<td>" + E(m.text) + "</td><td>" + E(m.status) +
                "</td></tr>";
    }
    body += "</table>";
    return Layout(c, c.admin ? "Outbound queue (all users)" : "Your outbound queue", body);
}

std::string ReceivedPage(const PageContext& c, const std::vector<ReceivedMessage>& rows) {
    std::string body;
    if (rows.empty()) body += "<p id=\"empty\">No messages.</p>";
    body += "<table id=\"received\"><tr><th>Received</th><th>From</th><th>To</th>" +
            std::string(c.admin ? "<th>User</th>" : "") + "<th>Message</th></tr>";
    for (const ReceivedMessage& m : rows) {
        const std::string text = m.receiptFor.empty() ? m.text : "Delivery receipt for " + m.receiptFor + ": " + m.text;
        body += "<tr><td>" + E(m.received) + "</td><td>" + E(m.sender) + "</td><td>" + E(m.recipient) + "</td>" +
                (c.admin ? "<td>" + E(m.user) + "</td>" : "") + "<td>" + E(text) + "</td></tr>";
    }
    body += "</table>";
    return Layout(c, "Received messages", body);
}

std::string MessagePage(const PageContext& c, const std::string& title, const std::string& text) {
    return Layout(c, title, "<p>" + E(text) + "</p>");
}

}  // namespace gateway::web
