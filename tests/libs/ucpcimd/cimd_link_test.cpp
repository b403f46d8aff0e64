// The CIMD2 link library against two peers: the packaged CIMD2 SMSC simulator
// test_cimd2 (log in, refusal, log out, silence, binary gunk) and tools/ucpsim in its
// CIMD2 mode for the faults test_cimd2 cannot make.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <thread>
#include <vector>

#include "cimdlnk/cimd_errors.h"
#include "cimdlnk/cimdlnk.h"
#include "platform/unique_fd.h"
#include "tests/support/first_line_child.h"

namespace {

const char kTestCimd2[] = "/usr/lib/kannel/test/test_cimd2";

std::string Text(int code) {
    char buffer[300];
    CIMDErrorText(code, buffer, sizeof buffer);
    return buffer;
}

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

// test_cimd2 serving one client on a free port; it prints no port, so the client
// retries its connect until the simulator listens.
class Cimd2Peer {
public:
    explicit Cimd2Peer(std::vector<std::string> extra) : port_(FreePort()) {
        std::vector<std::string> args{kTestCimd2, "--port", std::to_string(port_),
                                      "--user",   "gwuser", "--password",
                                      "gwpass"};
        args.insert(args.end(), extra.begin(), extra.end());
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        if (posix_spawn(&pid_, kTestCimd2, &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~Cimd2Peer() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
    Cimd2Peer(const Cimd2Peer&) = delete;
    Cimd2Peer& operator=(const Cimd2Peer&) = delete;

    // A socket connected through CIMDConnect, or an invalid one after 10 s of refusals.
    platform::UniqueFd Connect() {
        for (int attempt = 0; pid_ > 0 && attempt < 500; ++attempt) {
            platform::UniqueFd fd(socket(AF_INET, SOCK_STREAM, 0));
            if (CIMDConnect("", fd.Get(), "localhost#3", port_) == 0) return fd;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return platform::UniqueFd();
    }

private:
    unsigned port_;
    pid_t pid_ = -1;
};

TEST(CimdLink, LogsIntoTestCimd2AndShowsItsRefusal) {
    if (access(kTestCimd2, X_OK) != 0) GTEST_SKIP() << "kannel-extras is not installed";
    CIMDSetDebugMode(0);
    CIMDSetTimeout(500);  // the silent peer below waits this long, not 20 seconds
    {
        Cimd2Peer peer({"--activity", "1"});
        platform::UniqueFd fd = peer.Connect();
        ASSERT_TRUE(fd.Valid());
        EXPECT_EQ(CIMDBind("", fd.Get(), "gwuser", "gwpass"), 0);
        EXPECT_EQ(CIMDLogout("", fd.Get()), 0);
    }
    {
        Cimd2Peer peer({"--activity", "1"});
        platform::UniqueFd fd = peer.Connect();
        ASSERT_TRUE(fd.Valid());
        const int code = CIMDBind("", fd.Get(), "gwuser", "nope");
        EXPECT_EQ(code, 100);
        EXPECT_EQ(Text(code), "Error 100: Invalid login");
    }
    {
        Cimd2Peer peer({"--activity", "0"});  // listens and never answers
        platform::UniqueFd fd = peer.Connect();
        ASSERT_TRUE(fd.Valid());
        const int code = CIMDBind("", fd.Get(), "gwuser", "gwpass");
        EXPECT_EQ(code, cimd::kTimedOut);
        EXPECT_EQ(Text(code), "No answer from the CIMD server (timed out)");
    }
    {
        Cimd2Peer peer({"--spew", "1"});  // random binary gunk instead of answers
        platform::UniqueFd fd = peer.Connect();
        ASSERT_TRUE(fd.Valid());
        const int code = CIMDBind("", fd.Get(), "gwuser", "gwpass");
        EXPECT_GE(code, cimd::kTimedOut) << Text(code);
        EXPECT_FALSE(Text(code).empty());
    }
    CIMDSetTimeout(0);
}

struct Outcome {
    int code = -1;
    std::string text;
};

Outcome LoginAgainstSim(std::vector<std::string> args, const std::string& user,
                        const std::string& password) {
    args.insert(args.begin(), {"--protocol=cimd", "--user=gwuser", "--password=gwpass"});
    zella_test::FirstLineChild sim(ZELLA_BIN_DIR "/ucpsim", args);
    EXPECT_TRUE(sim.Started());
    platform::UniqueFd fd(socket(AF_INET, SOCK_STREAM, 0));
    const int connected = CIMDConnect("", fd.Get(), "127.0.0.1#2", std::stoul(sim.FirstLine()));
    EXPECT_EQ(connected, 0);
    if (connected != 0) return {};
    Outcome o;
    o.code = CIMDBind("", fd.Get(), user.c_str(), password.c_str());
    o.text = Text(o.code);
    return o;
}

TEST(CimdLink, EveryRefusalAndEveryBadServerEndsWithItsText) {
    CIMDSetTimeout(500);
    EXPECT_EQ(LoginAgainstSim({}, "gwuser", "gwpass").code, 0);
    struct Case {
        std::vector<std::string> args;
        int code;
        const char* shown;
    } cases[] = {
        {{}, -100, "Error 100: Invalid login"},  // wrong password, below
        {{"--refuse=102"}, 102, "Error 102: Too many users with this login ID"},
        {{"--refuse=103", "--refuse-text=maintenance"},
         103,
         "Error 103: Login refused by SMSC (maintenance)"},
        {{"--refuse=108"}, 108, "Error 108: Alias account, login refused"},
        {{"--refuse=900"}, 900, "Error 900: Unsupported item requested"},
        {{"--refuse=950"}, 950, "Error 950: Unsupported item requested (error 950)"},
        {{"--nack"}, 2, "Error 2: Syntax error"},
        {{"--refuse=0"}, cimd::kRejected, "The CIMD server rejected the login packet"},
        {{"--silent"}, cimd::kTimedOut, "No answer from the CIMD server (timed out)"},
        {{"--close-mid-frame"}, cimd::kClosed, "The CIMD server closed the connection"},
        {{"--garbage"},
         cimd::kReplyMalformed,
         "The CIMD server's answer is not a valid CIMD2 packet"},
        {{"--oversized"}, cimd::kReplyTooLong, "The CIMD server's answer is too long"},
        {{"--bad-checksum"}, cimd::kReplyChecksum, "The CIMD server's answer has a wrong checksum"},
        {{"--wrong-number"},
         cimd::kReplyNumber,
         "The CIMD server answered with a wrong packet number"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shown);
        const bool wrongPassword = c.code == -100;
        const Outcome o = LoginAgainstSim(c.args, "gwuser", wrongPassword ? "bad" : "gwpass");
        EXPECT_EQ(o.code, wrongPassword ? 100 : c.code);
        EXPECT_EQ(o.text, c.shown);
    }
    CIMDSetTimeout(0);
}

TEST(CimdLink, DelimitersInTheInputAreRefusedBeforeAnythingIsSent) {
    zella_test::FirstLineChild sim(ZELLA_BIN_DIR "/ucpsim",
                                   {"--protocol=cimd", "--user=gwuser", "--password=gw:pass/1"});
    ASSERT_TRUE(sim.Started());
    platform::UniqueFd fd(socket(AF_INET, SOCK_STREAM, 0));
    ASSERT_EQ(CIMDConnect("", fd.Get(), "127.0.0.1", std::stoul(sim.FirstLine())), 0);
    const struct {
        std::string user, password;
        int code;
    } refused[] = {
        {"gw\tuser", "gwpass", cimd::kUserBadCharacter},
        {"gwuser", "gw\tpass", cimd::kPasswordBadCharacter},
        {"gwuser", "gw\x03pass", cimd::kPasswordBadCharacter},
        {"gwuser", "gw\x02pass", cimd::kPasswordBadCharacter},
        {"", "gwpass", cimd::kUserEmpty},
        {std::string(33, 'u'), "gwpass", cimd::kUserTooLong},
        {"gwuser", std::string(33, 'p'), cimd::kPasswordTooLong},
    };
    for (const auto& r : refused) {
        SCOPED_TRACE(r.user + "/" + r.password);
        EXPECT_EQ(CIMDBind("", fd.Get(), r.user.c_str(), r.password.c_str()), r.code);
        EXPECT_FALSE(Text(r.code).empty());
    }
    // Nothing went out: the same connection still logs in, ":" and "/" being plain text.
    EXPECT_EQ(CIMDBind("", fd.Get(), "gwuser", "gw:pass/1"), 0);
    EXPECT_EQ(CIMDLogout("", fd.Get()), 0);
    EXPECT_EQ(CIMDConnect("", fd.Get(), "127.0.0.1", 0), EINVAL);
    EXPECT_EQ(CIMDConnect("", fd.Get(), "127.0.0.1", 65536), EINVAL);
    EXPECT_EQ(CIMDBind("", -1, "gwuser", "gwpass"), cimd::kNotConnected);
}

}  // namespace
