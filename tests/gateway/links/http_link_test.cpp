// The service's HTTP link against a loopback HTTP server of the test: what the server
// receives of a message (placeholders, authentication, proxy form, POST body, parts),
// how its answers count, a server that cannot be reached, stays silent or answers
// nonsense, parallel requests and a stop while busy.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include "twoway/smtp_client.h"
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "gateway/links/http_link.h"
#include "gateway/links/http_request.h"
#include "platform/unique_fd.h"
#include "tests/gateway/links/link_test_support.h"
#include "tests/libs/tlslnk/openssl_peer.h"

namespace {

using gateway::LinkEvent;
using gateway::Outcome;
using link_test::Keys;

// A loopback HTTP server: records each request and answers with `reply` (a whole
// answer, or "" to stay silent until the client goes).
class HttpPeer {
public:
    explicit HttpPeer(std::string reply = "HTTP/1.1 200 OK\r\nContent-Length: 7\r\n\r\nID-4711",
                      unsigned port = 0)
        : reply_(std::move(reply)) {
        listener_ = platform::UniqueFd(socket(AF_INET, SOCK_STREAM, 0));
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(static_cast<std::uint16_t>(port));
        const int reuse = 1;
        setsockopt(listener_.Get(), SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
        socklen_t n = sizeof a;
        bind(listener_.Get(), reinterpret_cast<sockaddr*>(&a), sizeof a);
        listen(listener_.Get(), 16);
        getsockname(listener_.Get(), reinterpret_cast<sockaddr*>(&a), &n);
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] { Accept(); });
    }
    ~HttpPeer() {
        stop_ = true;
        shutdown(listener_.Get(), SHUT_RDWR);
        thread_.join();
        for (std::thread& t : clients_) t.join();
    }
    unsigned Port() const { return port_; }
    // Holds every answer until `n` requests are open at once (or 10 s pass).
    void AnswerWhenConcurrent(int n) { concurrent_ = n; }
    std::vector<std::string> Requests() {
        std::lock_guard<std::mutex> lock(mutex_);
        return requests_;
    }
    bool WaitForRequests(std::size_t n) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(20), [&] { return requests_.size() >= n; });
    }
    int MostAtOnce() const { return most_; }

private:
    void Accept() {
        for (;;) {
            const int fd = accept(listener_.Get(), nullptr, nullptr);
            if (fd < 0 || stop_) {
                if (fd >= 0) close(fd);
                return;
            }
            clients_.emplace_back([this, fd] { Serve(fd); });
        }
    }
    void Serve(int fd) {
        std::string request;
        char buffer[4096];
        for (;;) {  // the head, then a body as long as Content-Length says
            const std::size_t end = request.find("\r\n\r\n");
            if (end != std::string::npos) {
                const std::size_t at = request.find("Content-Length: ");
                const std::size_t length = at == std::string::npos ? 0 : std::stoul(request.substr(at + 16));
                if (request.size() >= end + 4 + length) break;
            }
            const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
            if (n <= 0) break;
            request.append(buffer, static_cast<std::size_t>(n));
        }
        const int open = ++open_;
        most_ = std::max(most_.load(), open);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            requests_.push_back(request);
            if (concurrent_ > 0 && open >= concurrent_) released_ = true;
            changed_.notify_all();
        }
        if (concurrent_ > 0) {
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait_for(lock, std::chrono::seconds(10), [&] { return released_; });
        }
        if (reply_.empty()) {
            while (!stop_ && recv(fd, buffer, sizeof buffer, MSG_DONTWAIT) != 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
        } else {
            send(fd, reply_.data(), reply_.size(), MSG_NOSIGNAL);
        }
        close(fd);
        --open_;
    }

    std::string reply_;
    platform::UniqueFd listener_;
    unsigned port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> open_{0}, most_{0}, concurrent_{0};
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> requests_;
    bool released_ = false;  // enough requests were open at once
    std::thread thread_;
    std::vector<std::thread> clients_;
};

struct Bench {
    Bench(unsigned port, Keys keys) {
        link = gateway::CreateHttpLink(
            link_test::Settings(dir, "HTTP - 127.0.0.1:" + std::to_string(port), keys), events,
            link_test::FastTimings());
        link->Start();
    }
    ~Bench() { link->Stop(); }
    gateway::SendResult SendAndWait(gateway::OutboundMessage m) {
        const std::size_t before = events.Results().size();
        link->Send(std::move(m));
        EXPECT_TRUE(events.WaitForResults(before + 1));
        const auto results = events.Results();
        return results.size() > before ? results[before] : gateway::SendResult();
    }
    zella_test::TempDir dir{"httplink"};
    link_test::RecordingEvents events;
    std::unique_ptr<gateway::SmscLink> link;
};

const std::string kText = "/send?to=@@PhoneNumber@@&msg=@@Text@@&u=@@UserName@@";
const std::string kBinary = "/bin?to=@@phonenumber@@&udh=@@UDH@@&data=@@DATA@@&dcs=@@dcs@@";

TEST(HttpLink, TheServerGetsTheFilledTemplateWithBasicAuthentication) {
    HttpPeer server;
    Bench b(server.Port(), {{"RootURL", "api/"}, {"TemplateText", kText}, {"TemplateBinary", kBinary},
                            {"UserName", "gw user"}, {"Password", "p:w"}, {"HTTPUseAuth", "Yes"},
                            {"RemovePlus", "Yes"}});
    const auto r = b.SendAndWait(link_test::Message(1, "+4917012345", "Hello w\xC3\xB6rld & more"));
    EXPECT_EQ(r.outcome, Outcome::Sent) << r.error;
    EXPECT_EQ(r.smscId, "ID-4711");
    ASSERT_EQ(server.Requests().size(), 1u);
    const std::string request = server.Requests()[0];
    EXPECT_EQ(request.rfind("GET /api/send?to=4917012345&msg=Hello%20w%C3%B6rld%20%26%20more&u=gw%20user "
                            "HTTP/1.1\r\n", 0),
              0u)
        << request;
    EXPECT_NE(request.find("\r\nHost: 127.0.0.1:" + std::to_string(server.Port()) + "\r\n"), std::string::npos);
    EXPECT_NE(request.find("\r\nAuthorization: Basic " + twoway::Base64Encode("gw user:p:w") + "\r\n"),
              std::string::npos);
}

TEST(HttpLink, ALongTextGoesAsBinaryPartsWithTheirHeaders) {
    HttpPeer server;
    Bench b(server.Port(), {{"TemplateText", kText}, {"TemplateBinary", kBinary}});
    const auto r = b.SendAndWait(link_test::Message(1, "4917012345", std::string(161, 'a')));
    EXPECT_EQ(r.outcome, Outcome::Sent) << r.error;
    EXPECT_EQ(r.parts, 2u);
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    std::string first;
    for (int i = 0; i < 153; ++i) first += "61";  // unpacked septets of "a"
    EXPECT_EQ(requests[0].rfind("GET /bin?to=4917012345&udh=050003000201&data=" + first + "&dcs=0 ", 0), 0u)
        << requests[0];
    EXPECT_EQ(requests[1].rfind("GET /bin?to=4917012345&udh=050003000202&data=6161616161616161&dcs=0 ", 0), 0u)
        << requests[1];
}

TEST(HttpLink, UnicodeGoesAsHexUnlessTheConnectionSendsItAsText) {
    HttpPeer server;
    {
        Bench b(server.Port(), {{"TemplateText", kText}, {"TemplateBinary", kBinary}});
        EXPECT_EQ(b.SendAndWait(link_test::Message(1, "49", "\xD0\x9F")).outcome, Outcome::Sent);
    }
    {
        Bench b(server.Port(), {{"TemplateText", kText}, {"TemplateBinary", kBinary}, {"UnicodeAsText", "Yes"}});
        EXPECT_EQ(b.SendAndWait(link_test::Message(2, "49", "\xD0\x9F")).outcome, Outcome::Sent);
    }
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].rfind("GET /bin?to=49&udh=&data=041F&dcs=8 ", 0), 0u) << requests[0];
    EXPECT_EQ(requests[1].rfind("GET /send?to=49&msg=%D0%9F&u= ", 0), 0u) << requests[1];
}

TEST(HttpLink, APostTemplateSendsItsQueryAsAFormThroughTheProxy) {
    HttpPeer proxy;
    Bench b(4444, {{"TemplateText", "POST /submit?to=@@PhoneNumber@@&text=@@Text@@"},
                   {"TemplateBinary", kBinary}, {"HTTPProxy", "127.0.0.1:" + std::to_string(proxy.Port())}});
    EXPECT_EQ(b.SendAndWait(link_test::Message(1, "49301", "Hi there")).outcome, Outcome::Sent);
    ASSERT_EQ(proxy.Requests().size(), 1u);
    const std::string request = proxy.Requests()[0];
    EXPECT_EQ(request.rfind("POST http://127.0.0.1:4444/submit HTTP/1.1\r\n", 0), 0u) << request;
    EXPECT_NE(request.find("Content-Type: application/x-www-form-urlencoded\r\nContent-Length: 24\r\n"),
              std::string::npos);
    EXPECT_EQ(request.substr(request.size() - 24), "to=49301&text=Hi%20there");
}

TEST(HttpLink, ATemplateDirectorysTemplatesAndMethodWinOverTheStoredOnes) {
    zella_test::ScopedDataDir data("httpdata");
    std::filesystem::create_directories(data.File("HTTPSMSC/Acme"));
    {
        std::ofstream ini(data.File("HTTPSMSC/Acme/TEMPLATE.INI"));
        ini << "[Send]\r\nHostName=acme.example\r\nMethod=POST\r\n"
               "TemplateText=/acme/send?n=@@PhoneNumber@@&t=@@Text@@\r\n";
    }
    HttpPeer server;
    Bench b(server.Port(), {{"ServerType", "Acme"}, {"TemplateText", "/stale?x=@@Text@@"},
                            {"TemplateBinary", kBinary}});
    EXPECT_EQ(b.SendAndWait(link_test::Message(1, "49", "hi")).outcome, Outcome::Sent);
    ASSERT_EQ(server.Requests().size(), 1u);
    const std::string request = server.Requests()[0];
    EXPECT_EQ(request.rfind("POST /acme/send HTTP/1.1\r\n", 0), 0u) << request;
    EXPECT_EQ(request.substr(request.size() - 9), "n=49&t=hi");
}

TEST(HttpLink, AnswersCountAsSentRefusedForGoodOrForNow) {
    const struct {
        const char* reply;
        Outcome outcome;
        const char* error;
        const char* id = "";
    } cases[] = {
        {"HTTP/1.0 202 Accepted\r\n\r\nqueued", Outcome::Sent, "", "queued"},
        {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nid-42\r\n0\r\n\r\n", Outcome::Sent, "",
         "id-42"},
        {"HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n", Outcome::Permanent,
         "The HTTP server refused the message: HTTP/1.1 404 Not Found"},
        {"HTTP/1.1 503 Busy\r\n\r\n", Outcome::Temporary, "The HTTP server refused the message: HTTP/1.1 503 Busy"},
        {"\x01\x02 garbage\r\n\r\n", Outcome::Temporary,
         "The HTTP server's answer is not HTTP: <01><02> garbage"},
        {"", Outcome::Temporary, "No answer from the HTTP server (timed out)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reply);
        HttpPeer server(c.reply);
        Bench b(server.Port(), {{"TemplateText", kText}, {"TemplateBinary", kBinary}});
        const auto r = b.SendAndWait(link_test::Message(1, "49", "x"));
        EXPECT_EQ(r.outcome, c.outcome);
        EXPECT_EQ(r.error, c.error);
        EXPECT_EQ(r.smscId, c.id);
        EXPECT_EQ(b.events.Count(LinkEvent::Kind::Down), 0u);
    }
}

TEST(HttpLink, AServerThatCannotBeReachedMarksTheLinkDownUntilOneAnswers) {
    unsigned port = 0;
    { HttpPeer gone; port = gone.Port(); }
    Bench b(port, {{"TemplateText", kText}, {"TemplateBinary", kBinary}});
    const auto r = b.SendAndWait(link_test::Message(1, "49", "x"));
    EXPECT_EQ(r.outcome, Outcome::NotSent);
    const std::string down = "Unable to connect to 127.0.0.1:" + std::to_string(port) + ": Connection refused";
    EXPECT_EQ(r.error, down);
    EXPECT_EQ(b.events.FirstDown(), down);
    EXPECT_EQ(b.events.Count(LinkEvent::Kind::Up), 1u);  // at start only
    // Down, the service hands it nothing more: the link finds the server back by itself.
    HttpPeer back("HTTP/1.1 200 OK\r\n\r\n", port);
    ASSERT_EQ(back.Port(), port);
    ASSERT_TRUE(b.events.WaitForKind(LinkEvent::Kind::Up, 2));
    EXPECT_EQ(b.SendAndWait(link_test::Message(2, "49", "y")).outcome, Outcome::Sent);
}

TEST(HttpLink, ThreadCountRequestsGoAtOnce) {
    HttpPeer server;
    server.AnswerWhenConcurrent(3);
    Bench b(server.Port(), {{"TemplateText", kText}, {"TemplateBinary", kBinary}, {"ThreadCount", "3"}});
    EXPECT_EQ(b.link->Capacity(), 3u);
    for (std::uint64_t t = 1; t <= 3; ++t) b.link->Send(link_test::Message(t, "49", "p"));
    ASSERT_TRUE(b.events.WaitForResults(3));
    link_test::ExpectEachAnsweredOnce(b.events.Results(), {1, 2, 3});
    for (const auto& r : b.events.Results()) EXPECT_EQ(r.outcome, Outcome::Sent) << r.error;
    EXPECT_EQ(server.MostAtOnce(), 3);
}

TEST(HttpLink, StopWhileARequestWaitsAnswersItNotSent) {
    HttpPeer server("");
    Bench b(server.Port(), {{"TemplateText", kText}, {"TemplateBinary", kBinary}});
    b.link->Send(link_test::Message(1, "49", "x"));
    b.link->Send(link_test::Message(2, "49", "y"));
    ASSERT_TRUE(server.WaitForRequests(1));
    b.link->Stop();
    link_test::ExpectEachAnsweredOnce(b.events.Results(), {1, 2});
    for (const auto& r : b.events.Results()) EXPECT_EQ(r.outcome, Outcome::NotSent);
}

TEST(HttpLink, HttpsGoesThroughTheTlsLibrary) {
    zella_test::TempDir certs("httpslink");
    ASSERT_EQ(tlslnk_test::RunOpenssl({"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout",
                                       certs.File("k.pem"), "-out", certs.File("c.pem"), "-days", "2",
                                       "-subj", "/CN=localhost"},
                                      nullptr),
              0);
    // -www answers a GET with a status page of its own: a 200 over TLS.
    tlslnk_test::OpensslPeer server({"s_server", "-accept", "0", "-cert", certs.File("c.pem"), "-key",
                                     certs.File("k.pem"), "-www"});
    ASSERT_TRUE(server.WaitFor("ACCEPT")) << server.Output();
    ASSERT_TRUE(server.WaitFor("\n", 5000));
    const std::string output = server.Output();
    const std::size_t colon = output.rfind(':', output.find('\n', output.find("ACCEPT")));
    ASSERT_NE(colon, std::string::npos) << output;
    const unsigned port = static_cast<unsigned>(std::stoul(output.substr(colon + 1)));
    Bench b(port, {{"UseSSL", "Yes"}, {"TemplateText", "/?to=@@PhoneNumber@@&text=@@Text@@"},
                   {"TemplateBinary", kBinary}});
    const auto r = b.SendAndWait(link_test::Message(1, "49", "secure"));
    EXPECT_EQ(r.outcome, Outcome::Sent) << r.error;
    EXPECT_EQ(b.events.Count(LinkEvent::Kind::Down), 0u) << b.events.FirstDown();
}

TEST(HttpRequest, PlaceholdersPercentEncodingStatusAndBase64) {
    EXPECT_EQ(gateway::PercentEncode("a b&c=d/\xC3\xA9~_.-"), "a%20b%26c%3Dd%2F%C3%A9~_.-");
    EXPECT_EQ(gateway::FillPlaceholders("@@a@@x@@B@@@@c@@@@", {{"A", "1"}, {"b", "2"}}), "1x2@@c@@@@");
    const struct {
        const char* line;
        int status;
    } lines[] = {{"HTTP/1.1 200 OK", 200}, {"HTTP/1.0 404 Not Found", 404}, {"http/1.1 503 x", 503},
                 {"HTTP/1.1 20 OK", 0},    {"ICY 200 OK", 0},               {"", 0}};
    for (const auto& l : lines) EXPECT_EQ(gateway::HttpStatus(l.line), l.status) << l.line;
    EXPECT_EQ(gateway::Dechunk("4\r\nID-7\r\n3\r\n ok\r\n0\r\n\r\n"), "ID-7 ok");
    EXPECT_EQ(gateway::Dechunk("a\r\n0123"), "0123");  // cut short: what came
    EXPECT_EQ(gateway::Dechunk("zz\r\nxx"), "");
    EXPECT_EQ(twoway::Base64Encode(""), "");
    EXPECT_EQ(twoway::Base64Encode("f"), "Zg==");
    EXPECT_EQ(twoway::Base64Encode("fo"), "Zm8=");
    EXPECT_EQ(twoway::Base64Encode("foobar"), "Zm9vYmFy");
}

}  // namespace
