// The HTML of the web pages: plain server-rendered documents, every value escaped, every
// form carrying the session's anti-forgery token.
#pragma once

#include <string>
#include <vector>

#include "gateway/web/message_lists.h"
#include "gateway/web/web_settings.h"

namespace gateway::web {

// What a page knows about its visitor.
struct PageContext {
    std::string user;   // "" when nobody is logged in
    bool admin = false;
    bool loginUsed = true;  // false when the settings ask for no login
    std::string csrf;
    const WebSettings* settings = nullptr;
    int webMenu = 0;  // the account's web menu option (0 = all options, 1 = text SMS only, ...)
};

// The form fields of a send page, kept when the page is shown again.
struct SendForm {
    std::string to, from, text, route;
    bool receipt = false;
};

// One outcome line of a send: the recipient, the request id or the refusal.
struct SendOutcome {
    std::string recipient, requestId, refusal;
};

std::string LoginPage(const std::string& error, const std::string& userName);
std::string HomePage(const PageContext& c);
std::string SendPage(const PageContext& c, const SendForm& form, const std::vector<std::string>& routes,
                     const std::vector<SendOutcome>& outcomes);
std::string QueuePage(const PageContext& c, const std::vector<QueuedMessage>& rows);
std::string ReceivedPage(const PageContext& c, const std::vector<ReceivedMessage>& rows);
std::string MessagePage(const PageContext& c, const std::string& title, const std::string& text);

}  // namespace gateway::web
