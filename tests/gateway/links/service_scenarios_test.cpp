// zellant itself with a UCP/EMI, a CIMD2 and an HTTP connection: a queued message
// reaches each SMSC and is logged sent, and a UCP notification becomes a receipt file
// that names its request.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <mutex>
#include <thread>

#include "tests/gateway/gateway_fixture.h"
#include "tests/support/first_line_child.h"

namespace gateway_test {
namespace {

class LinkScenario : public GatewayFixture {
protected:
    std::string Connection(const std::string& name, const std::vector<std::string>& keys, unsigned slot = 1) {
        platform::WritePrivateProfileString(Ini(), "ZELLA", "Modem" + std::to_string(slot), name);
        for (const std::string& kv : keys) {
            const std::size_t eq = kv.find('=');
            platform::WritePrivateProfileString(Ini(), name, kv.substr(0, eq), kv.substr(eq + 1));
        }
        return name;
    }
    std::string Read(const std::string& path) const {
        std::string text;
        platform::ReadFile(path, text);
        return text;
    }
};

TEST_F(LinkScenario, AUcpMessageIsSentAndItsNotificationBecomesAReceiptOfTheRequest) {
    zella_test::FirstLineChild sim(ZELLA_UCPSIM, {"--notify", "--log=" + dir_ + "ucpsim.log"});
    ASSERT_TRUE(sim.Started());
    const std::string name = Connection("UCP - 127.0.0.1:" + sim.FirstLine(),
                                        {"UserName=12345", "Password=secret", "SenderAddress=Zella"});
    ASSERT_TRUE(Start());
    Message("U1", "+447700900001", "Hello over UCP", "ReceiptRequested=Yes\r\n");
    ASSERT_TRUE(Eventually([&] { return !Outcome("U1").empty(); })) << Read(dir_ + "zellant.out");
    EXPECT_NE(std::string::npos, Outcome("U1").find(",U1," + name + ",+447700900001,OK,00447700900001:")) << Outcome("U1");
    EXPECT_NE(std::string::npos, Read(dir_ + "ucpsim.log").find("51 AdC=00447700900001 ")) << Read(dir_ + "ucpsim.log");
    ASSERT_TRUE(Eventually([&] { return !Received().empty(); }));
    const std::string receipt = Read(Received()[0]);
    EXPECT_NE(std::string::npos, receipt.find("ReceiptMessageId=U1")) << receipt;
    EXPECT_NE(std::string::npos, receipt.find("ReceiptDelivered=Yes")) << receipt;
    EXPECT_TRUE(Eventually([&] { return Read(dir_ + "ucpsim.log").find("R53 A") != std::string::npos; }));
    EXPECT_EQ("(none)", ErrorFile(name));
}

TEST_F(LinkScenario, ACimdMessageReachesTheSmsc) {
    // ucpsim's CIMD2 mode, which tells its port at once; test_cimd2 has the link's own tests.
    zella_test::FirstLineChild sim(ZELLA_UCPSIM, {"--protocol=cimd", "--user=gw", "--password=pw",
                                                  "--log=" + dir_ + "cimd.log"});
    ASSERT_TRUE(sim.Started());
    const std::string name = Connection("CIMD - 127.0.0.1:" + sim.FirstLine(), {"UserName=gw", "Password=pw"});
    ASSERT_TRUE(Start());
    Message("C1", "447700900002", "Hello over CIMD");
    ASSERT_TRUE(Eventually([&] { return !Outcome("C1").empty(); })) << Read(dir_ + "zellant.out");
    EXPECT_NE(std::string::npos, Outcome("C1").find(",C1," + name + ",447700900002,OK,447700900002:")) << Outcome("C1");
    EXPECT_NE(std::string::npos, Read(dir_ + "cimd.log").find("03 021=447700900002 033=Hello over CIMD"))
        << Read(dir_ + "cimd.log");
}

// A loopback HTTP server answering request i with answers[i] (the last one again after
// that); on `port`, or a free one when 0.
class AnsweringServer {
public:
    explicit AnsweringServer(std::vector<std::string> answers, unsigned port = 0) : answers_(std::move(answers)) {
        listener_ = socket(AF_INET, SOCK_STREAM, 0);
        const int reuse = 1;
        setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(static_cast<std::uint16_t>(port));
        socklen_t n = sizeof a;
        if (bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(listener_, 8) != 0) return;
        getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &n);
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] { Serve(); });
    }
    ~AnsweringServer() {
        shutdown(listener_, SHUT_RDWR);
        if (thread_.joinable()) thread_.join();
        close(listener_);
    }
    unsigned Port() const { return port_; }
    std::vector<std::string> Requests() {
        std::lock_guard<std::mutex> lock(mutex_);
        return requests_;
    }

private:
    void Serve() {
        for (;;) {
            const int fd = accept(listener_, nullptr, nullptr);
            if (fd < 0) return;
            std::string request;
            char buffer[4096];
            while (request.find("\r\n\r\n") == std::string::npos) {
                const ssize_t got = recv(fd, buffer, sizeof buffer, 0);
                if (got <= 0) break;
                request.append(buffer, static_cast<std::size_t>(got));
            }
            if (!request.empty()) {  // the link's probe of a down server sends nothing
                std::lock_guard<std::mutex> lock(mutex_);
                requests_.push_back(request);
                const std::string& answer = answers_[std::min(requests_.size(), answers_.size()) - 1];
                send(fd, answer.data(), answer.size(), MSG_NOSIGNAL);
            }
            close(fd);
        }
    }
    std::vector<std::string> answers_;
    int listener_ = -1;
    unsigned port_ = 0;
    std::mutex mutex_;
    std::vector<std::string> requests_;
    std::thread thread_;
};

const char* kHttpTemplates[] = {"TemplateText=/sms?to=@@PhoneNumber@@&text=@@Text@@",
                                "TemplateBinary=/sms?to=@@PhoneNumber@@&data=@@Data@@", "RemovePlus=Yes"};

TEST_F(LinkScenario, AnHttpMessageIsOneRequestAndARefusalForGoodFailsIt) {
    AnsweringServer server({"HTTP/1.1 200 OK\r\n\r\nmsg-1", "HTTP/1.1 400 Bad number\r\n\r\n"});
    ASSERT_NE(0u, server.Port());
    const std::string name = Connection("HTTP - 127.0.0.1:" + std::to_string(server.Port()),
                                        {kHttpTemplates[0], kHttpTemplates[1], kHttpTemplates[2]});
    ASSERT_TRUE(Start());
    Message("H1", "+447700900003", "Hello over HTTP");
    ASSERT_TRUE(Eventually([&] { return !Outcome("H1").empty(); })) << Read(dir_ + "zellant.out");
    EXPECT_NE(std::string::npos, Outcome("H1").find(",H1," + name + ",+447700900003,OK,msg-1")) << Outcome("H1");
    Message("H2", "+447700900004", "Refused");
    ASSERT_TRUE(Eventually([&] { return !Outcome("H2").empty(); })) << Read(dir_ + "zellant.out");
    EXPECT_EQ(std::string::npos, Outcome("H2").find(",OK,")) << Outcome("H2");
    const auto requests = server.Requests();
    ASSERT_EQ(2u, requests.size());
    EXPECT_EQ(0u, requests[0].rfind("GET /sms?to=447700900003&text=Hello%20over%20HTTP HTTP/1.1\r\n", 0)) << requests[0];
}

TEST_F(LinkScenario, AnHttpServerAwayMarksTheConnectionDownAndTheMessageGoesOnceItIsBack) {
    unsigned port = 0;
    {
        AnsweringServer probe({"HTTP/1.1 200 OK\r\n\r\n"});
        port = probe.Port();
    }
    const std::string name = Connection("HTTP - 127.0.0.1:" + std::to_string(port),
                                        {kHttpTemplates[0], kHttpTemplates[1]});
    ASSERT_TRUE(Start());
    Message("AWAY", "447700900005", "Wait for me");
    ASSERT_TRUE(Eventually([&] { return ErrorFile(name).find("Unable to connect") != std::string::npos; }))
        << ErrorFile(name);
    AnsweringServer server({"HTTP/1.1 200 OK\r\n\r\nback"}, port);
    ASSERT_EQ(port, server.Port());
    ASSERT_TRUE(Eventually([&] { return Outcome("AWAY").find(",OK,back") != std::string::npos; }, 90'000))
        << Outcome("AWAY") << ErrorFile(name);
    EXPECT_TRUE(Eventually([&] { return ErrorFile(name) == "(none)"; }));
}

}  // namespace
}  // namespace gateway_test
