// The web interface's parts: the request parser by a table of requests, the helpers the
// handlers use on what clients send, the "/php/" path rules and the CGI answer reader.
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "gateway/web/http_message.h"
#include "gateway/web/php_gateway.h"
#include "gateway/web/message_lists.h"
#include "gateway/web/web_app.h"
#include "gateway/web/web_sessions.h"
#include "gateway/web/web_settings.h"
#include "platform/ini.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "tests/support/temp_dir.h"
#include "tools/phonesim/c_escapes.h"

namespace gateway::web {
namespace {

// Today's SMSOUT log name, as the service names it.
std::string DailyLogNameForTest() {
    const platform::SystemTime t = platform::LocalSystemTime(platform::Clock().UnixMillis());
    char name[64];
    std::snprintf(name, sizeof name, "SMSOUT-%04d%02d%02d.LOG", t.year, t.month, t.day);
    return name;
}

std::string Describe(const ParseOutcome& o, const HttpRequest& r) {
    if (o.status == ParseStatus::NeedMore) return "more";
    if (o.status == ParseStatus::Invalid) return "invalid " + std::to_string(o.errorStatus);
    return "complete " + r.method + " " + r.path + " " + std::to_string(r.body.size()) + (r.keepAlive ? " yes" : " no");
}

TEST(HttpRequestParser, AnswersEveryRequestOfTheTableAsExpected) {
    std::ifstream in(std::string(ZELLA_TEST_DATA_DIR) + "/web/http_requests.txt");
    ASSERT_TRUE(in.good());
    std::string line;
    int cases = 0;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        const std::size_t bar = line.find('|');
        const std::string expected = line.substr(0, bar), request = phonesim::DecodeEscapes(line.substr(bar + 1));
        HttpRequest r;
        const ParseOutcome o = ParseHttpRequest(request, HttpLimits(), r);
        EXPECT_EQ(expected, Describe(o, r)) << line << " (" << o.reason << ")";
        if (o.status == ParseStatus::Complete) {
            EXPECT_LE(o.consumed, request.size());
            EXPECT_EQ(request.size() - (request.rfind("EXTRA") == std::string::npos ? 0 : 5), o.consumed) << line;
        }
        ++cases;
    }
    EXPECT_EQ(34, cases);
}

TEST(HttpRequestParser, OversizedLinesAndHeadsAreRefusedBeforeTheyEnd) {
    HttpRequest r;
    EXPECT_EQ(414, ParseHttpRequest("GET /" + std::string(9000, 'a'), HttpLimits(), r).errorStatus);
    EXPECT_EQ(431, ParseHttpRequest("GET / HTTP/1.1\r\nX: " + std::string(17000, 'a'), HttpLimits(), r).errorStatus);
    std::string many = "GET / HTTP/1.1\r\nHost: a\r\n";
    for (int i = 0; i < 70; ++i) many += "X" + std::to_string(i) + ": 1\r\n";
    EXPECT_EQ(431, ParseHttpRequest(many + "\r\n", HttpLimits(), r).errorStatus);
}

TEST(WebText, FormsCookiesRecipientsAndEscapingTakeHostileInputApart) {
    const auto form = ParseForm("to=%2B44+1&text=a%26b%3Dc&text=2&bad=%zz&&=x");
    EXPECT_EQ("+44 1", form.find("to")->second);
    EXPECT_EQ(2u, form.count("text"));
    EXPECT_EQ("a&b=c", form.find("text")->second);
    EXPECT_EQ("%zz", form.find("bad")->second);
    const auto cookies = ParseCookies(" zsession=abc ; other=1; zsession=evil; broken");
    EXPECT_EQ("abc", cookies.at("zsession"));
    EXPECT_EQ(2u, cookies.size());
    EXPECT_EQ((std::vector<std::string>{"+441", "222", "333", "4"}), SplitRecipients("+441, 222;333\r\n 4,,"));
    EXPECT_EQ("&lt;script&gt;alert(&quot;x&quot;)&lt;/script&gt;&amp;&#39;",
              HtmlEscape("<script>alert(\"x\")</script>&'"));
    std::string decoded;
    EXPECT_FALSE(PercentDecode("%4", decoded, false));
    EXPECT_TRUE(PercentDecode("a+b%2F", decoded, false));
    EXPECT_EQ("a+b/", decoded);
}

TEST(PhpPaths, OnlyPhpFilesInsideTheFolderAreScripts) {
    zella_test::ScopedDataDir data("php");
    const std::string root = data.Path() + "PHP/";
    ASSERT_TRUE(platform::CreateDirectories(root + "sub/"));
    ASSERT_TRUE(platform::CreateDirectories(root + ".hidden/"));
    for (const char* f : {"index.php", "page.PHP", "sub/index.php", "notes.txt", ".hidden/x.php"})
        ASSERT_TRUE(platform::WriteFileAtomic(root + f, "<?php"));
    ASSERT_TRUE(platform::WriteFileAtomic(data.Path() + "outside.php", "<?php"));
    std::filesystem::create_symlink(data.Path() + "outside.php", root + "link.php");
    std::filesystem::create_symlink(data.Path(), root + "up");
    const struct {
        const char* path;
        const char* script;  // relative to the folder, "" = refused
    } cases[] = {
        {"/php", "index.php"},          {"/php/", "index.php"},        {"/php/page.PHP", "page.PHP"},
        {"/php/sub", "sub/index.php"},  {"/php/sub/", "sub/index.php"}, {"/php/notes.txt", ""},
        {"/php/../outside.php", ""},    {"/php/sub/../index.php", ""},  {"/php//index.php", ""},
        {"/php/.hidden/x.php", ""},     {"/php/link.php", ""},          {"/php/up/outside.php", ""},
        {"/php/missing.php", ""},       {"/phpx/index.php", ""},        {"/php/sub\\..\\index.php", ""},
    };
    const std::string real = std::filesystem::canonical(root).string() + "/";
    for (const auto& c : cases)
        EXPECT_EQ(*c.script ? real + c.script : "", PhpScriptPath(root, c.path)) << c.path;
}

TEST(CgiAnswers, HeadersBecomeTheResponseAndAMissingHeadIsABadGateway) {
    CgiOutcome a = ParseCgiOutput("Status: 404 Gone\r\nContent-Type: text/plain\r\nX-A: 1\r\nContent-Length: 99\r\n\r\nbody");
    EXPECT_TRUE(a.ok);
    EXPECT_EQ(404, a.response.status);
    EXPECT_EQ("text/plain", a.response.contentType);
    EXPECT_EQ("body", a.response.body);
    ASSERT_EQ(1u, a.response.headers.size());  // the length is ours to say
    a = ParseCgiOutput("Location: /php/next.php\n\n");
    EXPECT_EQ(302, a.response.status);
    a = ParseCgiOutput("no header block at all");
    EXPECT_FALSE(a.ok);
    EXPECT_EQ(502, a.response.status);
}

TEST(HttpResponses, HeadAnswersKeepTheLengthWithoutTheBody) {
    HttpResponse r = TextResponse(200, "hello");
    const std::string head = SerializeResponse(r, true, true);
    EXPECT_NE(std::string::npos, head.find("Content-Length: 6\r\n"));
    EXPECT_EQ(head.size() - 4, head.find("\r\n\r\n"));
    EXPECT_NE(std::string::npos, SerializeResponse(r, false, false).find("Connection: close\r\n\r\nhello\n"));
}

TEST(MessageState, QueueThenLogsThenReceiptsTellTheStateOfTheUsersOwnRequests) {
    zella_test::ScopedDataDir data("state");
    const std::string q = data.Path() + "Q/", logs = data.Path() + "LOGS/", in = data.Path() + "SMS-IN/";
    ASSERT_TRUE(platform::CreateDirectories(q + "USER__ann/"));
    ASSERT_TRUE(platform::CreateDirectories(logs));
    ASSERT_TRUE(platform::CreateDirectories(in + "link/"));
    platform::WriteFileAtomic(q + "USER__ann/W1.REQ", "[SMS]\r\nPhoneNumber=1\r\nData=x\r\nSubmitUser=ann\r\n"
                                                     "[ErrorDetail]\r\nRetryCount=2\r\nLastErrorInfo=busy\r\n");
    const std::string today = DailyLogNameForTest();
    platform::WriteFileAtomic(logs + today, "20260101000000,S1,SMPP - a:1,+1,OK,m77,ann\r\n"
                                            "20260101000001,F1,SMPP - a:1,+1,Invalid number,,ann\r\n"
                                            "20260101000002,B1,SMPP - a:1,+1,OK,m78,bob\r\n");
    platform::WriteFileAtomic(in + "link/R.SMS", "[SMS-IN]\r\nReceiptMessageId=S1\r\nReceiptDelivered=Yes\r\n");
    const struct {
        const char* id;
        const char* user;
        const char* state;
        const char* detail;
        const char* receipt;
    } cases[] = {
        {"W1", "ann", "queued", "Retry - 2 attempt(s) - busy", ""},
        {"W1", "bob", "unknown", "", ""},
        {"S1", "ann", "sent", "m77", "delivered"},
        {"F1", "ANN", "failed", "Invalid number", ""},
        {"B1", "ann", "unknown", "", ""},
        {"B1", "", "sent", "m78", ""},
        {"../W1", "", "unknown", "", ""},
    };
    for (const auto& c : cases) {
        const MessageState s = FindMessageState(q, logs, in, c.id, c.user);
        EXPECT_EQ(c.state, s.state) << c.id << " " << c.user;
        EXPECT_EQ(c.detail, s.detail) << c.id << " " << c.user;
        EXPECT_EQ(c.receipt, s.receipt) << c.id << " " << c.user;
    }
    const auto mine = ListQueued(q, "Ann", 10);
    ASSERT_EQ(1u, mine.size());
    EXPECT_EQ("W1", mine[0].id);
    EXPECT_TRUE(ListQueued(q, "bob", 10).empty());
}

TEST(WebSessions, TokensAreFreshSessionsEndAtLogoutAndGuessersAreHeldBack) {
    SessionTable sessions;
    const WebSession a = sessions.Open("ann", false), b = sessions.Open("ann", false);
    EXPECT_EQ(64u, a.token.size());
    EXPECT_NE(a.token, b.token);
    EXPECT_NE(a.token, a.csrf);
    ASSERT_TRUE(sessions.Find(a.token).has_value());
    EXPECT_EQ("ann", sessions.Find(a.token)->user);
    sessions.Close(a.token);
    EXPECT_FALSE(sessions.Find(a.token).has_value());
    EXPECT_FALSE(sessions.Find("").has_value());
    EXPECT_TRUE(SameSecret(b.csrf, b.csrf));
    EXPECT_FALSE(SameSecret(b.csrf, b.csrf.substr(1)));

    LoginThrottle throttle;
    for (unsigned i = 0; i < LoginThrottle::kMaxFailures; ++i) {
        EXPECT_TRUE(throttle.Allowed("10.0.0.1"));
        throttle.Failed("10.0.0.1");
    }
    EXPECT_FALSE(throttle.Allowed("10.0.0.1"));
    EXPECT_TRUE(throttle.Allowed("10.0.0.2"));
}

TEST(WebSettingsFile, PortsFollowTheCertificateAndAPresentEmptyKeyTurnsThePlainPortOff) {
    zella_test::ScopedDataDir data("webset");
    const std::string ini = data.Path() + "ZELLA.INI";
    platform::WriteFileAtomic(ini, "[ZELLA]\r\n");
    WebSettings s = LoadWebSettings(ini, false);
    EXPECT_EQ(8800u, s.port);
    EXPECT_EQ(0u, s.sslPort);
    EXPECT_TRUE(s.auth && s.menu && s.displaySender && s.displayRoute && !s.phpEnable);
    platform::WritePrivateProfileString(ini, "ZELLA", "WebPortSSL", "8443");
    platform::WritePrivateProfileString(ini, "ZELLA", "SSLRedirect", "Yes");
    s = LoadWebSettings(ini, false);  // no certificate: no TLS port, no redirect
    EXPECT_EQ(8800u, s.port);
    EXPECT_EQ(0u, s.sslPort);
    EXPECT_FALSE(s.sslRedirect);
    s = LoadWebSettings(ini, true);  // with one, WebPort absent means no plain port
    EXPECT_EQ(0u, s.port);
    EXPECT_EQ(8443u, s.sslPort);
    EXPECT_TRUE(s.sslRedirect);
    platform::WritePrivateProfileString(ini, "ZELLA", "WebPort", "");
    EXPECT_EQ(0u, LoadWebSettings(ini, false).port);
    platform::WritePrivateProfileString(ini, "ZELLA", "WebPort", "9000x");
    platform::WritePrivateProfileString(ini, "ZELLA", "WebAuth", "no");
    platform::WritePrivateProfileString(ini, "ZELLA", "WebDisableAdvOption", "Yes");
    platform::WritePrivateProfileString(ini, "IPRestrictions", "Blocked3", "10.1");
    s = LoadWebSettings(ini, false);
    EXPECT_EQ(9000u, s.port);
    EXPECT_FALSE(s.auth);
    EXPECT_TRUE(s.disableAdvanced);
    EXPECT_EQ(std::vector<std::string>{"10.1"}, s.blocked);
}

TEST(PhpRequests, RemoteClientsAndDisabledPhpAreRefusedBeforeAnythingRuns) {
    WebSettings s;
    s.phpDir = "/nonexistent/";
    HttpRequest r;
    r.method = "GET";
    r.path = "/php/index.php";
    EXPECT_EQ(404, ServePhp(r, "127.0.0.1", false, s, "/usr/bin/php-cgi").status);
    s.phpEnable = true;
    EXPECT_EQ(403, ServePhp(r, "10.0.0.5", false, s, "/usr/bin/php-cgi").status);
    EXPECT_EQ(503, ServePhp(r, "127.0.0.1", false, s, "").status);
    EXPECT_EQ(404, ServePhp(r, "127.0.0.1", false, s, "/usr/bin/php-cgi").status);  // no such script
    s.phpAllowRemote = true;
    EXPECT_EQ(404, ServePhp(r, "10.0.0.5", false, s, "/usr/bin/php-cgi").status);  // let through, then not found
}

}  // namespace
}  // namespace gateway::web
