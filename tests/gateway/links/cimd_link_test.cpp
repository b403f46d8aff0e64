// The service's CIMD2 link against the packaged CIMD2 SMSC simulator test_cimd2 (what it
// logs of a submit, parts, alive, logout, refusal, silence, gunk) and tools/ucpsim in
// its CIMD2 mode for what test_cimd2 does not do: status reports, delivered messages,
// refusals of a submit, a close mid-window.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <netinet/in.h>
#include <arpa/inet.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "gateway/links/cimd_link.h"
#include "platform/unique_fd.h"
#include "tests/gateway/links/link_test_support.h"
#include "tests/support/first_line_child.h"

namespace {

using gateway::LinkEvent;
using gateway::Outcome;
using link_test::Keys;

const char kTestCimd2[] = "/usr/lib/kannel/test/test_cimd2";

unsigned FreePort() {
    platform::UniqueFd fd(socket(AF_INET, SOCK_STREAM, 0));
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t n = sizeof a;
    bind(fd.Get(), reinterpret_cast<sockaddr*>(&a), sizeof a);
    getsockname(fd.Get(), reinterpret_cast<sockaddr*>(&a), &n);
    return ntohs(a.sin_port);
}

// Whether something listens on TCP `port`, from the kernel's table: a probe connect
// would be the one client test_cimd2 serves.
bool Listening(unsigned port) {
    for (const char* table : {"/proc/net/tcp", "/proc/net/tcp6"}) {
        const std::string text = link_test::ReadFile(table);
        std::size_t at = text.find('\n');  // past the heading
        while (at != std::string::npos && at + 1 < text.size()) {
            const std::size_t end = text.find('\n', at + 1);
            const std::string line = text.substr(at + 1, end - at - 1);
            char local[64], remote[64];
            unsigned state = 0;
            if (std::sscanf(line.c_str(), "%*s %63s %63s %x", local, remote, &state) == 3) {
                const char* colon = std::strrchr(local, ':');
                if (colon && std::strtoul(colon + 1, nullptr, 16) == port && state == 0x0A) return true;
            }
            at = end;
        }
    }
    return false;
}

// test_cimd2 on a free port, logging every packet to `log`.
class Cimd2Peer {
public:
    Cimd2Peer(const std::string& log, std::vector<std::string> extra) : port_(FreePort()) {
        std::vector<std::string> args{kTestCimd2, "--port", std::to_string(port_), "--user",
                                      "gwuser", "--password", "gwpass", "--logging", "1"};
        args.insert(args.end(), extra.begin(), extra.end());
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, log.c_str(),
                                         O_WRONLY | O_CREAT | O_APPEND, 0600);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        if (posix_spawn(&pid_, kTestCimd2, &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        for (int i = 0; pid_ > 0 && i < 500 && !Listening(port_); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ~Cimd2Peer() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
    unsigned Port() const { return port_; }

private:
    unsigned port_;
    pid_t pid_ = -1;
};

struct Bench {
    std::string Log() { return link_test::ReadFile(dir.File("smsc.log")); }
    bool WaitForLog(const std::string& text) {
        for (int i = 0; i < 1000; ++i) {
            if (Log().find(text) != std::string::npos) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }
    void Open(unsigned port, const Keys& keys) {
        link = gateway::CreateCimdLink(
            link_test::Settings(dir, "CIMD - 127.0.0.1:" + std::to_string(port), keys), events,
            link_test::FastTimings());
    }
    zella_test::TempDir dir{"cimdlink"};
    link_test::RecordingEvents events;
    std::unique_ptr<gateway::SmscLink> link;
};

const Keys kLogin{{"UserName", "gwuser"}, {"Password", "gwpass"}};

struct Cimd2Bench : Bench {
    explicit Cimd2Bench(std::vector<std::string> extra, Keys keys = kLogin)
        : peer(dir.File("smsc.log"), extra) {
        Open(peer.Port(), keys);
    }
    Cimd2Peer peer;
};

struct SimBench : Bench {
    explicit SimBench(std::vector<std::string> args)
        : sim(ZELLA_BIN_DIR "/ucpsim", With(args, dir.File("smsc.log"))) {
        Open(std::stoul(sim.FirstLine()), kLogin);
    }
    static std::vector<std::string> With(std::vector<std::string> args, const std::string& log) {
        args.insert(args.end(), {"--protocol=cimd", "--user=gwuser", "--password=gwpass",
                                 "--log=" + log});
        return args;
    }
    zella_test::FirstLineChild sim;
};

#define NEED_TEST_CIMD2() \
    if (access(kTestCimd2, X_OK) != 0) GTEST_SKIP() << "kannel-extras is not installed"

TEST(CimdLink, TestCimd2LogsTheSubmitWithSenderPrefixAndTheLogoutAtStop) {
    NEED_TEST_CIMD2();
    Keys keys = kLogin;
    keys.push_back({"SenderAddress", "30123"});
    keys.push_back({"SenderPrefix", "49"});
    Cimd2Bench b({"--activity", "1"}, keys);
    b.link->Start();
    b.link->Send(link_test::Message(1, "+4917012345", "Hello @ world"));
    ASSERT_TRUE(b.events.WaitForResults(1));
    const auto r = b.events.Results()[0];
    EXPECT_EQ(r.outcome, Outcome::Sent) << r.error;
    EXPECT_EQ(r.smscId.rfind("004917012345:", 0), 0u) << r.smscId;
    b.link->Stop();
    const std::string log = b.Log();
    EXPECT_NE(log.find("<STX>03:003<TAB>021:004917012345<TAB>023:4930123<TAB>033:Hello _Oa world<TAB>"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("<STX>02:005<TAB>"), std::string::npos) << log;
}

TEST(CimdLink, ALongMessageGoesInPartsEachWithItsHeader) {
    NEED_TEST_CIMD2();
    Cimd2Bench b({"--activity", "1"});
    b.link->Start();
    b.link->Send(link_test::Message(1, "4917012345", std::string(170, 'y')));
    ASSERT_TRUE(b.events.WaitForResults(1));
    EXPECT_EQ(b.events.Results()[0].outcome, Outcome::Sent);
    EXPECT_EQ(b.events.Results()[0].partIds.size(), 2u);
    b.link->Stop();
    const std::string log = b.Log();
    EXPECT_NE(log.find("032:0500030002" "01<TAB>033:" + std::string(153, 'y') + "<TAB>"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("032:0500030002" "02<TAB>033:" + std::string(17, 'y') + "<TAB>"),
              std::string::npos);
}

TEST(CimdLink, AliveKeepsTheSessionOpen) {
    NEED_TEST_CIMD2();
    Keys keys = kLogin;
    keys.push_back({"KeepAlive", "1"});
    Cimd2Bench b({"--activity", "1"}, keys);
    b.link->Start();
    ASSERT_TRUE(b.WaitForLog("<STX>90:"));
    EXPECT_EQ(b.events.Count(LinkEvent::Kind::Down), 0u);
    b.link->Stop();
}

TEST(CimdLink, ARefusedLoginSilenceAndGunkEachMarkTheLinkDown) {
    NEED_TEST_CIMD2();
    const struct {
        std::vector<std::string> args;
        const char* password;
        const char* down;
    } cases[] = {
        {{"--activity", "1"}, "nope", "Login refused: Error 100: Invalid login"},
        {{"--activity", "0"}, "gwpass", "No answer from the CIMD server (timed out)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.down);
        Cimd2Bench b(c.args, {{"UserName", "gwuser"}, {"Password", c.password}});
        b.link->Start();
        ASSERT_TRUE(b.events.WaitForKind(LinkEvent::Kind::Down));
        EXPECT_EQ(b.events.FirstDown(), c.down);
        b.link->Send(link_test::Message(1, "4917012345", "later"));
        ASSERT_TRUE(b.events.WaitForResults(1));
        EXPECT_EQ(b.events.Results()[0].outcome, Outcome::NotSent);
        b.link->Stop();
    }
    Cimd2Bench b({"--spew", "1"});
    b.link->Start();
    ASSERT_TRUE(b.events.WaitForKind(LinkEvent::Kind::Down));
    EXPECT_FALSE(b.events.FirstDown().empty());
    b.link->Stop();
}

TEST(CimdLink, AStatusReportIsStoredBeforeItIsAnsweredAndRefusedWhenItCannotBe) {
    SimBench b({"--notify"});
    int stores = 0;
    bool answeredBeforeStore = false;
    b.events.onStore = [&](const gateway::InboundMessage&) {
        answeredBeforeStore = answeredBeforeStore || b.Log().find("R73 A") != std::string::npos;
        return ++stores > 1;
    };
    b.link->Start();
    auto m = link_test::Message(1, "4917012345", "Report me");
    m.receiptRequested = true;
    b.link->Send(m);
    ASSERT_TRUE(b.WaitForLog("R73 A"));
    EXPECT_FALSE(answeredBeforeStore);
    EXPECT_NE(b.Log().find("R73 N 10\nR73 A"), std::string::npos) << b.Log();
    EXPECT_NE(b.Log().find(" 056=14"), std::string::npos);
    ASSERT_TRUE(b.events.WaitForResults(1));
    const auto stored = b.events.Stored();
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_TRUE(stored[0].isReceipt);
    EXPECT_EQ(stored[0].receiptState, "DELIVRD");
    EXPECT_EQ(stored[0].receiptSmscId, b.events.Results()[0].partIds.at(0));
    // The service learnt which request the receipt is for before the result came.
    EXPECT_EQ(b.events.ExpectedReceipts(),
              std::vector<std::string>{stored[0].receiptSmscId + "=REQ1"});
    b.link->Stop();
}

TEST(CimdLink, ADeliveredMessageIsStoredThenAnswered) {
    SimBench b({"--deliver=Hi _Oa gateway"});
    bool answeredBeforeStore = true;
    b.events.onStore = [&](const gateway::InboundMessage&) {
        answeredBeforeStore = b.Log().find("R70") != std::string::npos;
        return true;
    };
    b.link->Start();
    ASSERT_TRUE(b.WaitForLog("R70 A"));
    EXPECT_FALSE(answeredBeforeStore);
    const auto stored = b.events.Stored();
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0].sender, "4912345");
    EXPECT_EQ(stored[0].text, "Hi @ gateway");
    b.link->Stop();
}

TEST(CimdLink, SubmitRefusalsArePermanentOrTemporaryByTheirCode) {
    const struct {
        const char* arg;
        Outcome outcome;
        const char* error;
    } cases[] = {
        {"--submit-nack=300", Outcome::Permanent, "Error 300: "},
        {"--submit-nack=10", Outcome::Temporary, "Error 10: Temporary congestion (Refused by the simulator)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arg);
        SimBench b({c.arg});
        b.link->Start();
        b.link->Send(link_test::Message(1, "4917012345", "no"));
        ASSERT_TRUE(b.events.WaitForResults(1));
        EXPECT_EQ(b.events.Results()[0].outcome, c.outcome);
        EXPECT_EQ(b.events.Results()[0].error.rfind(c.error, 0), 0u) << b.events.Results()[0].error;
        b.link->Stop();
    }
}

TEST(CimdLink, EveryBadLoginAnswerMarksTheLinkDownWithItsOwnText) {
    const struct {
        const char* fault;
        const char* down;
    } cases[] = {
        {"--bad-checksum", "The CIMD server's answer has a wrong checksum"},
        {"--wrong-number", "The CIMD server answered with a wrong packet number"},
        {"--close-mid-frame", "The CIMD server closed the connection"},
        {"--oversized", "The CIMD server's answer is too long"},
        {"--garbage", "The CIMD server's answer is not a valid CIMD2 packet"},
        {"--nack", "Login refused: Error 2: Syntax error"},
        {"--refuse=102", "Login refused: Error 102: Too many users with this login ID"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fault);
        SimBench b({c.fault});
        b.link->Start();
        ASSERT_TRUE(b.events.WaitForKind(LinkEvent::Kind::Down));
        EXPECT_EQ(b.events.FirstDown(), c.down);
        b.link->Stop();
    }
}

TEST(CimdLink, AnSmscClosingMidWindowLeavesTheUnansweredMessagesNotSent) {
    SimBench b({"--close-after=2"});
    b.link->Start();
    ASSERT_TRUE(b.events.WaitForKind(LinkEvent::Kind::Up));
    for (std::uint64_t t = 1; t <= 4; ++t) b.link->Send(link_test::Message(t, "4917012345", "w"));
    ASSERT_TRUE(b.events.WaitForResults(4));
    link_test::ExpectEachAnsweredOnce(b.events.Results(), {1, 2, 3, 4});
    // One was answered before the close: at most that one counts as sent.
    std::size_t sent = 0, notSent = 0;
    for (const auto& r : b.events.Results()) {
        sent += r.outcome == Outcome::Sent;
        notSent += r.outcome == Outcome::NotSent;
    }
    EXPECT_LE(sent, 1u);
    EXPECT_EQ(sent + notSent, 4u);
    ASSERT_TRUE(b.events.WaitForKind(LinkEvent::Kind::Down));
    EXPECT_EQ(b.events.FirstDown(), "The CIMD server closed the connection");
    b.link->Stop();
}

TEST(CimdLink, GarbageAfterTheLoginEndsTheSessionWithAClearError) {
    SimBench b({"--garbage-after-login"});
    b.link->Start();
    ASSERT_TRUE(b.events.WaitForKind(LinkEvent::Kind::Down));
    EXPECT_EQ(b.events.FirstDown().rfind("The CIMD server's answer is not a valid CIMD2 packet", 0), 0u)
        << b.events.FirstDown();
    b.link->Stop();
}

TEST(CimdLink, StopWhileBusyAnswersEveryMessageAndLogsOut) {
    SimBench b({"--silent-submits"});
    b.link->Start();
    ASSERT_TRUE(b.events.WaitForKind(LinkEvent::Kind::Up));
    for (std::uint64_t t = 1; t <= 3; ++t) b.link->Send(link_test::Message(t, "4917012345", "busy"));
    ASSERT_TRUE(b.WaitForLog(" 033=busy"));
    b.link->Stop();
    link_test::ExpectEachAnsweredOnce(b.events.Results(), {1, 2, 3});
    for (const auto& r : b.events.Results()) EXPECT_EQ(r.outcome, Outcome::NotSent);
    EXPECT_NE(b.Log().find("\n2\n"), std::string::npos) << b.Log();  // the logout
}

}  // namespace
