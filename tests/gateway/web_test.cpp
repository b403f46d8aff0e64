// zellant's web interface against real clients: curl for the submit interface, Chromium
// for the pages, php-cgi behind "/php/", and hostile requests (oversized, slow, path
// traversal, script in message texts).
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <filesystem>

#include "config/credit.h"
#include "platform/dynlib.h"
#include "platform/process.h"
#include "server/server_certificate.h"
#include "tlslnk/tlslnk.h"
#include "tests/gateway/gateway_fixture.h"
#include "tests/support/held_port.h"

namespace gateway_test {
namespace {

struct CurlAnswer {
    int status = 0;
    std::string body;
};

class WebScenario : public GatewayFixture {
protected:
    // A free loopback port for the web server.
    unsigned FreePort() {
        zella_test::HeldPort held;
        return held.port;
    }
    void WebPort(unsigned port) {
        port_ = port;
        platform::WritePrivateProfileString(Ini(), "ZELLA", "WebPort", std::to_string(port));
    }
    // An account as the console's SMS Users page stores it, with `credit` messages.
    void User(const std::string& name, const std::string& password, int credit, bool admin = false) {
        acctdb::UserRecord r;
        r.SetUserName(name);
        r.SetPassword(password);
        r.SetWebLoginDisabled(false);
        r.SetAdmin(admin);
        acctdb::UserHandle store = 0;
        ASSERT_TRUE(acctdb::SMSOpenUserFile(&store, acctdb::GENERIC_READ | acctdb::GENERIC_WRITE));
        ASSERT_TRUE(acctdb::SMSAddUser(store, r));
        acctdb::SMSCloseUserFile(store);
        ASSERT_TRUE(config::CreateCreditFile(name));
        config::DebitCredit(name, nullptr, -1000LL * credit, false);
    }
    std::int64_t Credit(const std::string& name) { return config::DebitCredit(name, nullptr, 0, true); }

    CurlAnswer Curl(std::vector<std::string> args) {
        std::vector<std::string> argv{"curl", "-s", "--max-time", "20", "-w", "\n%{http_code}"};
        argv.insert(argv.end(), args.begin(), args.end());
        std::string out;
        platform::RunAndWait(argv, 30'000, &out);
        CurlAnswer a;
        const std::size_t nl = out.rfind('\n');
        if (nl == std::string::npos) return a;
        a.status = std::atoi(out.c_str() + nl + 1);
        a.body = out.substr(0, nl);
        return a;
    }
    // A plain TCP connection to the web port, for clients curl will not imitate; -1 when
    // it could not connect.
    int RawClient() const {
        const int fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<uint16_t>(port_));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) return fd;
        close(fd);
        return -1;
    }
    std::string Url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }
    bool WebUp() {
        return Eventually([&] { return Curl({Url("/login")}).status != 0; });
    }
    // The request id of an "OK <id> <to>" line.
    static std::string IdOf(const std::string& body) {
        if (body.rfind("OK ", 0) != 0) return "";
        return body.substr(3, body.find(' ', 3) - 3);
    }

    unsigned port_ = 0;
};

TEST_F(WebScenario, ProgramSubmitsWithItsAccountTheMessageLeavesThroughSmppAndOneCreditIsTaken) {
    Smsc smsc;
    ASSERT_NE(0u, smsc.Port());
    const std::string name = SmppConnection(smsc.Port());
    WebPort(FreePort());
    User("ann", "s3cret", 3);
    ASSERT_TRUE(Start());
    ASSERT_TRUE(WebUp()) << Events();

    const CurlAnswer sent = Curl({"--data-urlencode", "user=ann", "--data-urlencode", "password=s3cret",
                                  "--data-urlencode", "to=+447700900001", "--data-urlencode", "text=Hello from the web",
                                  Url("/api/send")});
    ASSERT_EQ(200, sent.status) << sent.body;
    const std::string id = IdOf(sent.body);
    ASSERT_FALSE(id.empty()) << sent.body;
    EXPECT_NE(std::string::npos, sent.body.find(" +447700900001"));
    const auto submits = smsc.Lines("SUBMIT", 1);
    ASSERT_EQ(1u, submits.size());
    EXPECT_NE(std::string::npos, submits[0].find("447700900001")) << submits[0];
    ASSERT_TRUE(Eventually([&] { return Outcome(id).find(",OK") != std::string::npos; })) << Log("SMSOUT");
    EXPECT_NE(std::string::npos, Outcome(id).find(name));
    EXPECT_EQ(2000, Credit("ann"));

    // Asked with a chunked body, as streaming HTTP clients send one.
    const CurlAnswer state = Curl({"-H", "Transfer-Encoding: chunked", "-H",
                                   "Content-Type: application/x-www-form-urlencoded", "--data-binary",
                                   "user=ann&password=s3cret&id=" + id, Url("/api/status")});
    EXPECT_EQ(200, state.status);
    EXPECT_NE(std::string::npos, state.body.find("state=sent")) << state.body;

    // Wrong password, unknown user: nothing queued, nothing charged.
    EXPECT_EQ(401, Curl({"-d", "user=ann", "-d", "password=wrong", "-d", "to=1", "-d", "text=x", Url("/api/send")}).status);
    EXPECT_EQ(401, Curl({"-d", "user=bob", "-d", "password=x", "-d", "to=1", "-d", "text=x", Url("/api/send")}).status);
    EXPECT_EQ(2000, Credit("ann"));
}

TEST_F(WebScenario, ManyRecipientsGetOneRequestEachUntilTheCreditRunsOut) {
    // Nobody listens on the SMSC's port: the messages stay queued.
    const std::string name = SmppConnection(FreePort());
    WebPort(FreePort());
    User("carl", "pw", 2);
    ASSERT_TRUE(Start());
    ASSERT_TRUE(WebUp());
    const CurlAnswer a = Curl({"-d", "user=carl", "-d", "password=pw", "-d", "to=111,222,333", "-d", "text=Hi",
                               Url("/api/send")});
    EXPECT_EQ(200, a.status);
    EXPECT_NE(std::string::npos, a.body.find(" 111\n")) << a.body;
    EXPECT_NE(std::string::npos, a.body.find(" 222\n")) << a.body;
    EXPECT_NE(std::string::npos, a.body.find("ERROR 333 Account carl:  credit limit exceeded.")) << a.body;
    EXPECT_EQ(2u, platform::ListDirectory(dir_ + "Q/USER__carl/", "*.REQ").size());
    EXPECT_EQ(0, Credit("carl"));
    // Only refusals: the status says why.
    EXPECT_EQ(402, Curl({"-d", "user=carl", "-d", "password=pw", "-d", "to=444", "-d", "text=Hi", Url("/api/send")}).status);
    const CurlAnswer state = Curl({Url("/api/status?user=carl&password=pw&id=" + IdOf(a.body))});
    EXPECT_NE(std::string::npos, state.body.find("state=queued")) << state.body;
}

TEST_F(WebScenario, OversizedMalformedAndSlowRequestsAreRefusedAndTheServerKeepsServing) {
    WebPort(FreePort());
    ASSERT_TRUE(Start());
    ASSERT_TRUE(WebUp());
    EXPECT_EQ(431, Curl({"-H", "X-Big: " + std::string(20'000, 'a'), Url("/login")}).status);
    platform::WriteFileAtomic(dir_ + "big", std::string(2'000'000, 'b'));
    EXPECT_EQ(413, Curl({"-H", "Content-Type: text/plain", "--data-binary", "@" + dir_ + "big", Url("/api/send")}).status);
    EXPECT_EQ(501, Curl({"-H", "Transfer-Encoding: gzip", "-H", "Content-Length:", "-d", "x=1", Url("/api/send")}).status);
    // Both framings in one request, as smuggling through a proxy needs them.
    EXPECT_EQ(400, Curl({"-H", "Transfer-Encoding: chunked", "-H", "Content-Length: 3", "-d", "x=1", Url("/api/send")})
                       .status);

    // A client that sends half a request and then nothing is cut off with 408.
    const int fd = RawClient();
    ASSERT_GE(fd, 0);
    const std::string half = "GET /login HTTP/1.1\r\nHost: x\r\n";
    ASSERT_EQ(static_cast<ssize_t>(half.size()), send(fd, half.data(), half.size(), 0));
    // Meanwhile others are served.
    EXPECT_EQ(200, Curl({Url("/login")}).status);
    std::string answer;
    char buffer[512];
    timeval wait{30, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    for (ssize_t n; (n = recv(fd, buffer, sizeof buffer, 0)) > 0;) answer.append(buffer, static_cast<std::size_t>(n));
    close(fd);
    EXPECT_EQ(0u, answer.rfind("HTTP/1.1 408 ", 0)) << answer;
    EXPECT_EQ(200, Curl({Url("/login")}).status);
}

TEST_F(WebScenario, PhpRunsThroughPhpCgiForLoopbackClientsAndNothingOutsideItsFolder) {
    WebPort(FreePort());
    platform::WritePrivateProfileString(Ini(), "ZELLA", "PHPEnable", "Yes");
    platform::CreateDirectories(dir_ + "PHP/sub/");
    platform::WriteFileAtomic(dir_ + "PHP/index.php",
                              "<?php header('X-Test: yes'); echo 'sum=' . (1 + 2) . ' q=' . htmlspecialchars($_GET['q'] ?? '')"
                              " . ' m=' . $_SERVER['REQUEST_METHOD'] . ' body=' . file_get_contents('php://input');");
    platform::WriteFileAtomic(dir_ + "PHP/sub/index.php", "<?php echo 'sub';");
    platform::WriteFileAtomic(dir_ + "PHP/notes.txt", "not a script");
    platform::WriteFileAtomic(dir_ + "secret.php", "<?php echo 'escaped';");
    // php-cgi runs as an unprivileged account when the tests run as root: it must reach
    // the scripts as a gateway operator would.
    namespace fs = std::filesystem;
    for (const std::string& d : {dir_, dir_ + "PHP/", dir_ + "PHP/sub/"})
        fs::permissions(d, fs::perms::others_exec | fs::perms::others_read, fs::perm_options::add);
    for (const std::string& f : {dir_ + "PHP/index.php", dir_ + "PHP/sub/index.php", dir_ + "secret.php"})
        fs::permissions(f, fs::perms::others_read, fs::perm_options::add);
    ASSERT_TRUE(Start());
    ASSERT_TRUE(WebUp());
    const CurlAnswer get = Curl({"-i", Url("/php/?q=%3Cb%3E")});
    EXPECT_EQ(200, get.status);
    EXPECT_NE(std::string::npos, get.body.find("sum=3 q=&lt;b&gt; m=GET")) << get.body;
    EXPECT_NE(std::string::npos, get.body.find("X-Test: yes")) << get.body;
    EXPECT_NE(std::string::npos, Curl({"-d", "a=1", Url("/php/index.php")}).body.find("m=POST body=a=1"));
    EXPECT_EQ("sub", Curl({Url("/php/sub/")}).body);
    for (const char* path : {"/php/../secret.php", "/php/%2e%2e/secret.php", "/php/sub/..%2f..%2fsecret.php",
                             "/php/notes.txt", "/php/.%2e/secret.php", "/php/missing.php"}) {
        const CurlAnswer a = Curl({"--path-as-is", Url(path)});
        EXPECT_EQ(std::string::npos, a.body.find("escaped")) << path;
        EXPECT_TRUE(a.status == 404 || a.status == 400) << path << " " << a.status;
    }
}

TEST_F(WebScenario, StatusByteTwoTellsTheWebPortIsTakenUntilItIsFree) {
    auto held = std::make_unique<zella_test::HeldPort>();
    fcntl(held->fd, F_SETFD, FD_CLOEXEC);  // held by the test alone, not by the service it starts
    WebPort(held->port);
    ASSERT_TRUE(Start());
    platform::SharedMemory block;
    ASSERT_TRUE(Eventually([&] { return block.Open(platform::status_block::kGatewayName); }));
    EXPECT_TRUE(Eventually([&] { return block.Byte(platform::status_block::kWebPortInUse) == 1; }));
    held.reset();
    EXPECT_TRUE(Eventually([&] { return block.Byte(platform::status_block::kWebPortInUse) == 0; }, 30'000));
    EXPECT_TRUE(WebUp());
}

TEST_F(WebScenario, PeopleLogInSendAndSeeTheirQueueInChromiumWithScriptShownAsText) {
    if (platform::FindInPath("chromium").empty()) GTEST_SKIP() << "chromium is not installed (scripts/setup.sh)";
    SmppConnection(FreePort());  // no SMSC there: the message stays in the queue
    WebPort(FreePort());
    User("dora", "pa55", 5);
    User("eve", "other", 5);
    ASSERT_TRUE(Start());
    ASSERT_TRUE(WebUp());
    // Eve's message must not show on Dora's queue page.
    ASSERT_EQ(200, Curl({"-d", "user=eve", "-d", "password=other", "-d", "to=999", "-d", "text=eve only",
                         Url("/api/send")}).status);
    const std::string hostile = "<script>window.injected=true</script><b>bold</b>";
    zella_test::PeerProcess browser("node", {std::string(ZELLA_PEERS_DIR) + "/web_browser.js", Url(""), "dora", "pa55",
                                             "+447700900077", hostile});
    std::vector<std::string> lines;
    for (int i = 0; i < 6; ++i) {
        const std::string line = browser.ReadLine(60'000);
        if (line.empty()) break;
        lines.push_back(line);
        if (line.rfind("SCRIPTS", 0) == 0 || line.rfind("ERROR", 0) == 0) break;
    }
    const std::string all = ::testing::PrintToString(lines);
    ASSERT_EQ(5u, lines.size()) << all;
    EXPECT_EQ("LOGIN dora", lines[0]);
    EXPECT_EQ("COOKIE httpOnly=true sameSite=Strict", lines[1]);
    EXPECT_NE(std::string::npos, lines[2].find("+447700900077 Queued as C")) << lines[2];
    EXPECT_NE(std::string::npos, lines[3].find(hostile)) << lines[3];
    EXPECT_EQ(std::string::npos, lines[3].find("eve only")) << lines[3];
    EXPECT_EQ("SCRIPTS 0 INJECTED false", lines[4]);
    EXPECT_EQ(4000, Credit("dora"));
}

TEST_F(WebScenario, PagesNeedTheLoginAndFormsTheirToken) {
    WebPort(FreePort());
    User("fay", "pw", 5);
    ASSERT_TRUE(Start());
    ASSERT_TRUE(WebUp());
    for (const char* path : {"/", "/send", "/queue", "/received"}) {
        const CurlAnswer a = Curl({"-i", Url(path)});
        EXPECT_EQ(303, a.status) << path;
        EXPECT_NE(std::string::npos, a.body.find("Location: /login")) << path;
    }
    const std::string jar = dir_ + "cookies";
    const CurlAnswer login = Curl({"-i", "-c", jar, "-d", "user=fay", "-d", "password=pw", Url("/login")});
    ASSERT_EQ(303, login.status) << login.body;
    EXPECT_NE(std::string::npos, login.body.find("HttpOnly; SameSite=Strict")) << login.body;
    EXPECT_EQ(200, Curl({"-b", jar, Url("/send")}).status);
    // A form without the page's token, or from another site, sends nothing.
    EXPECT_EQ(403, Curl({"-b", jar, "-d", "to=123", "-d", "text=forged", Url("/send")}).status);
    EXPECT_EQ(403, Curl({"-b", jar, "-H", "Origin: http://evil.example", "-d", "to=123", "-d", "text=forged",
                         Url("/send")}).status);
    EXPECT_EQ(0u, Queued());
    EXPECT_EQ(5000, Credit("fay"));
    // Guessing passwords: each failure is an event, and after ten the address must wait.
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(401, Curl({"-d", "user=fay", "-d", "password=guess" + std::to_string(i), Url("/login")}).status);
    EXPECT_EQ(429, Curl({"-d", "user=fay", "-d", "password=pw", Url("/login")}).status);
    EXPECT_EQ(429, Curl({Url("/api/status?user=fay&password=pw&id=X1")}).status);
    EXPECT_NE(std::string::npos, Events().find("Web login of \"fay\" from 127.0.0.1 refused: Wrong user name or password"));
}

TEST_F(WebScenario, WithACertificateTheTlsPortServesSecureCookiesAndThePlainPortRedirects) {
    // A certificate as the console's SSL page makes it: fields in SSL.INI, a key encrypted
    // with the challenge password.
    server::CertificateFields fields;
    fields.host = "localhost";
    fields.country = "GB";
    fields.password = "chall3nge";
    ASSERT_TRUE(server::WriteCertificateFields(fields));
    platform::DynamicLibrary tls;
    ASSERT_TRUE(tls.LoadPath(std::string(ZELLA_BIN_DIR) + "/libtlslnk.so"));
    auto generate = tls.Function<decltype(&::sslGenerateCertificate)>("sslGenerateCertificate");
    ASSERT_NE(nullptr, generate);
    ASSERT_NE(0, generate("GB", "", "", "", "", "localhost", "", "chall3nge"));
    const unsigned plain = FreePort(), secure = FreePort();
    WebPort(plain);
    platform::WritePrivateProfileString(Ini(), "ZELLA", "WebPortSSL", std::to_string(secure));
    platform::WritePrivateProfileString(Ini(), "ZELLA", "SSLRedirect", "Yes");
    User("gil", "pw", 1);
    ASSERT_TRUE(Start());
    const std::string https = "https://127.0.0.1:" + std::to_string(secure);
    ASSERT_TRUE(Eventually([&] { return Curl({"-k", https + "/login"}).status == 200; })) << Events();
    const CurlAnswer login = Curl({"-k", "-i", "-d", "user=gil", "-d", "password=pw", https + "/login"});
    EXPECT_EQ(303, login.status);
    EXPECT_NE(std::string::npos, login.body.find("HttpOnly; SameSite=Strict; Secure")) << login.body;
    const CurlAnswer redirect = Curl({"-i", Url("/queue?x=1")});
    EXPECT_EQ(301, redirect.status);
    EXPECT_NE(std::string::npos, redirect.body.find("Location: " + https + "/queue?x=1")) << redirect.body;
}

TEST_F(WebScenario, AdministratorsSeeEveryonesMessagesUsersOnlyTheirOwnAndTheirReceipts) {
    WebPort(FreePort());
    SmppConnection(FreePort());
    User("hal", "pw", 5);
    User("root", "pw", 5, true);
    ASSERT_TRUE(Start());
    ASSERT_TRUE(WebUp());
    const std::string id = IdOf(Curl({"-d", "user=hal", "-d", "password=pw", "-d", "to=555", "-d", "text=hal's",
                                      "-d", "receipt=yes", Url("/api/send")}).body);
    ASSERT_FALSE(id.empty());
    // A message routed to hal, and one for nobody, as the receiving side leaves them.
    platform::CreateDirectories(dir_ + "SMS-IN/link/");
    platform::WriteFileAtomic(dir_ + "SMS-IN/link/A.SMS",
                              "[SMS-IN]\r\nSender=+4470001\r\nPhoneNumber=555\r\nData=for <hal>\r\nRouteToLocalUser=hal\r\n");
    platform::WriteFileAtomic(dir_ + "SMS-IN/link/B.SMS", "[SMS-IN]\r\nSender=+4470002\r\nData=for nobody\r\n");
    platform::WriteFileAtomic(dir_ + "SMS-IN/link/C.SMS", "[SMS-IN]\r\nSender=555\r\nData=id:1 stat:DELIVRD\r\n"
                                                          "ReceiptMessageId=" + id + "\r\nReceiptDelivered=Yes\r\n");
    auto page = [&](const std::string& user, const std::string& path) {
        const std::string jar = dir_ + user + ".jar";
        Curl({"-c", jar, "-d", "user=" + user, "-d", "password=pw", Url("/login")});
        return Curl({"-b", jar, Url(path)}).body;
    };
    EXPECT_NE(std::string::npos, page("hal", "/queue").find(id));
    EXPECT_NE(std::string::npos, page("root", "/queue").find(id));
    const std::string halReceived = page("hal", "/received");
    EXPECT_NE(std::string::npos, halReceived.find("for &lt;hal&gt;")) << halReceived;
    EXPECT_EQ(std::string::npos, halReceived.find("for nobody"));
    EXPECT_NE(std::string::npos, halReceived.find("Delivery receipt for " + id + ": id:1 stat:DELIVRD")) << halReceived;
    EXPECT_NE(std::string::npos, page("root", "/received").find("for nobody"));
    // Admins ask about anyone's message; others only about their own.
    EXPECT_NE(std::string::npos, Curl({Url("/api/status?user=root&password=pw&id=" + id)}).body.find("state=queued"));
    User("ivy", "pw", 1);
    EXPECT_EQ(404, Curl({Url("/api/status?user=ivy&password=pw&id=" + id)}).status);
}

TEST_F(WebScenario, WithoutLoginMenuSenderAndRouteThePagesShowOnlyTheForm) {
    WebPort(FreePort());
    for (const char* key : {"WebAuth", "WebMenu", "WebDisplaySender", "WebDisplayRoute"})
        platform::WritePrivateProfileString(Ini(), "ZELLA", key, "No");
    SmppConnection(FreePort());
    ASSERT_TRUE(Start());
    ASSERT_TRUE(WebUp());
    const std::string jar = dir_ + "jar";
    const CurlAnswer home = Curl({"-c", jar, Url("/")});
    EXPECT_EQ(200, home.status);
    EXPECT_NE(std::string::npos, home.body.find("name=\"to\""));
    for (const char* hidden : {"<nav>", "name=\"from\"", "name=\"route\""})
        EXPECT_EQ(std::string::npos, home.body.find(hidden)) << hidden;
    const std::string field = "name=\"csrf\" value=\"";
    const std::size_t at = home.body.find(field);
    ASSERT_NE(std::string::npos, at);
    const std::string token = home.body.substr(at + field.size(), 64);
    EXPECT_EQ(200, Curl({"-b", jar, "-d", "csrf=" + token, "-d", "to=777", "-d", "text=open", "-d", "from=SPOOF",
                         Url("/send")}).status);
    const auto files = platform::ListDirectory(dir_ + "Q/USER__localsystem/", "*.REQ");
    ASSERT_EQ(1u, files.size());
    const std::string request = dir_ + "Q/USER__localsystem/" + files[0].name;
    EXPECT_EQ("777", platform::GetPrivateProfileString(request, "SMS", "PhoneNumber", ""));
    EXPECT_EQ("", platform::GetPrivateProfileString(request, "SMS", "Sender", ""));  // the form shows no sender
}

TEST_F(WebScenario, AccessListsRefuseBlockedAddressesBeforeAnythingIsRead) {
    WebPort(FreePort());
    platform::WritePrivateProfileString(Ini(), "IPRestrictions", "Blocked1", "127.0.0.*");
    ASSERT_TRUE(Start());
    EXPECT_TRUE(Eventually([&] { return Curl({Url("/login")}).status == 403; }));
    // Lists are read again when ZELLA.INI changes: an allowed list that admits loopback.
    platform::WritePrivateProfileString(Ini(), "IPRestrictions", "Blocked1", std::nullopt);
    platform::WritePrivateProfileString(Ini(), "IPRestrictions", "Allowed1", "127.*.*.*");
    EXPECT_TRUE(Eventually([&] { return Curl({Url("/login")}).status == 200; }));
    platform::WritePrivateProfileString(Ini(), "IPRestrictions", "Allowed1", "10.1.*.*");
    EXPECT_TRUE(Eventually([&] { return Curl({Url("/login")}).status == 403; }));
}

TEST_F(WebScenario, AStopByTheConsoleEndsOpenWebConnections) {
    WebPort(FreePort());
    ASSERT_TRUE(Start());
    ASSERT_TRUE(WebUp());
    // A client in the middle of its request, and one idle between requests.
    std::vector<int> clients;
    for (const std::string& sent : {std::string("GET /login HTTP/1.1\r\nHost: x\r\n"), std::string()}) {
        const int fd = RawClient();
        ASSERT_GE(fd, 0);
        if (!sent.empty()) {
            ASSERT_EQ(static_cast<ssize_t>(sent.size()), send(fd, sent.data(), sent.size(), 0));
        }
        clients.push_back(fd);
    }
    EXPECT_EQ(0, StopByBlock());
    for (int fd : clients) close(fd);
    EXPECT_NE(std::string::npos, Events().find("Service stopped"));
}

TEST_F(WebScenario, IPAddressBindsTheServerToThatAddressAlone) {
    WebPort(FreePort());
    platform::WritePrivateProfileString(Ini(), "ZELLA", "IPAddress", "127.0.0.2");
    ASSERT_TRUE(Start());
    const std::string other = "http://127.0.0.2:" + std::to_string(port_) + "/login";
    ASSERT_TRUE(Eventually([&] { return Curl({other}).status == 200; }));
    EXPECT_EQ(0, Curl({Url("/login")}).status);  // 127.0.0.1: nobody listens there
}

TEST_F(WebScenario, ClientsBeyondTheConnectionLimitAreToldSoAndServedOnceOthersLeave) {
    WebPort(FreePort());
    ASSERT_TRUE(Start());
    ASSERT_TRUE(WebUp());
    // 140 connections that send nothing hold every place (128).
    std::vector<int> idle;
    for (int i = 0; i < 140; ++i) {
        const int fd = RawClient();
        ASSERT_GE(fd, 0);
        idle.push_back(fd);
    }
    EXPECT_TRUE(Eventually([&] { return Curl({Url("/login")}).status == 503; }));
    for (int fd : idle) close(fd);
    EXPECT_TRUE(Eventually([&] { return Curl({Url("/login")}).status == 200; }));
}

TEST_F(WebScenario, OneConnectionCarriesManyRequests) {
    WebPort(FreePort());
    ASSERT_TRUE(Start());
    ASSERT_TRUE(WebUp());
    std::string out;
    platform::RunAndWait({"curl", "-sv", "-o", "/dev/null", Url("/login"), "-o", "/dev/null", Url("/login"), "-o",
                          "/dev/null", Url("/api/status?id=x")},
                         30'000, &out);
    EXPECT_NE(std::string::npos, out.find("Re-using existing connection")) << out;
}

}  // namespace
}  // namespace gateway_test
