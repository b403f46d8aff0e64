// The UCP/EMI link library against the loopback SMSC in tools/ucpsim: a login walked
// through acceptance, every kind of refusal, and every way a server can misbehave.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>
#include <string>
#include <vector>

#include "platform/unique_fd.h"
#include "tests/support/first_line_child.h"
#include "tests/support/held_port.h"
#include "ucplnk/ucp_errors.h"
#include "ucplnk/ucplnk.h"

namespace {

struct Outcome {
    int code = -1;
    std::string text;
};

std::string Text(int code) {
    char buffer[300];
    UCPErrorText(code, buffer, sizeof buffer);
    return buffer;
}

// Starts ucpsim with `args`, connects a plain IPv4 socket through UCPConnect (with a
// duplicate-name suffix on the host, as the console passes it) and logs in.
Outcome LoginAgainst(const std::vector<std::string>& args, const std::string& user,
                     const std::string& password) {
    zella_test::FirstLineChild sim(ZELLA_BIN_DIR "/ucpsim", args);
    EXPECT_TRUE(sim.Started());
    platform::UniqueFd fd(socket(AF_INET, SOCK_STREAM, 0));
    const int connected = UCPConnect(fd.Get(), 0, "127.0.0.1#2", std::stoul(sim.FirstLine()));
    EXPECT_EQ(connected, 0);
    if (connected != 0) return {};
    Outcome o;
    o.code = UCPBind(fd.Get(), 0, user.c_str(), password.c_str());
    o.text = Text(o.code);
    return o;
}

TEST(UcpLink, LoginAcceptedRefusedAndEveryBadServerEndsWithItsText) {
    UCPSetDebugMode(0);
    UCPSetTimeout(500);  // the silent server below waits this long, not 20 seconds

    EXPECT_EQ(LoginAgainst({}, "12345", "secret").code, 0);

    const Outcome wrong = LoginAgainst({}, "12345", "wrong");
    EXPECT_EQ(wrong.code, 7);
    EXPECT_EQ(wrong.text, "Error 07: Authentication failure");

    struct Refusal {
        int code;
        const char* serverText;
        const char* shown;
    } refusals[] = {
        {4, "Operation not allowed at this point", "Error 04: Operation not allowed at this point"},
        {6, "", "Error 06: AdC invalid (the user name is not a valid address)"},
        {55, "try later", "Error 55: System error (try later)"},
        {93, "vendor says no", "Error 93: SMSC specific error 93 (vendor says no)"},
        {0, "", "The UCP server refused the login without an error code"},
    };
    for (const Refusal& r : refusals) {
        SCOPED_TRACE(r.code);
        std::vector<std::string> args{"--refuse=" + std::to_string(r.code)};
        if (*r.serverText) args.push_back(std::string("--refuse-text=") + r.serverText);
        const Outcome o = LoginAgainst(args, "12345", "secret");
        EXPECT_EQ(o.code, r.code ? r.code : ucp::kRefusedNoCode);
        EXPECT_EQ(o.text, r.shown);
    }

    struct Fault {
        const char* option;
        int code;
        const char* shown;
    } faults[] = {
        {"--silent", ucp::kTimedOut, "No answer from the UCP server (timed out)"},
        {"--close-mid-frame", ucp::kClosed, "The UCP server closed the connection"},
        {"--garbage", ucp::kReplyMalformed, "The UCP server's answer is not a valid UCP frame"},
        {"--oversized", ucp::kReplyTooLong, "The UCP server's answer is too long"},
        {"--bad-checksum", ucp::kReplyChecksum, "The UCP server's answer has a wrong checksum"},
        {"--wrong-number", ucp::kReplyTrn,
         "The UCP server answered with a wrong transaction number"},
    };
    for (const Fault& f : faults) {
        SCOPED_TRACE(f.option);
        const Outcome o = LoginAgainst({f.option}, "12345", "secret");
        EXPECT_EQ(o.code, f.code);
        EXPECT_EQ(o.text, f.shown);
    }
    UCPSetTimeout(0);
}

TEST(UcpLink, DelimitersInTheInputAreEncodedOrRefusedBeforeAnythingIsSent) {
    // The password travels as hex, so the field separator inside it is safe.
    EXPECT_EQ(LoginAgainst({"--password=pa/ss/"}, "12345", "pa/ss/").code, 0);

    zella_test::FirstLineChild sim(ZELLA_BIN_DIR "/ucpsim", {});
    ASSERT_TRUE(sim.Started());
    platform::UniqueFd fd(socket(AF_INET, SOCK_STREAM, 0));
    ASSERT_EQ(UCPConnect(fd.Get(), 0, "127.0.0.1", std::stoul(sim.FirstLine())), 0);
    const struct {
        const char* user;
        std::string password;
        int code;
    } refused[] = {
        {"123/45", "secret", ucp::kUserBadCharacter},
        {"", "secret", ucp::kUserEmpty},
        {"12345678901234567", "secret", ucp::kUserTooLong},
        {"12345", std::string(150, 'p'), ucp::kPasswordTooLong},
        {"12345", "tab\there", ucp::kPasswordBadCharacter},
        {"12345", std::string("stx\x02", 4), ucp::kPasswordBadCharacter},
    };
    for (const auto& r : refused) {
        SCOPED_TRACE(r.user);
        EXPECT_EQ(UCPBind(fd.Get(), 0, r.user, r.password.c_str()), r.code);
        EXPECT_FALSE(Text(r.code).empty());
    }
    // Nothing went out: the same connection still logs in cleanly.
    EXPECT_EQ(UCPBind(fd.Get(), 0, "12345", "secret"), 0);
}

TEST(UcpLink, ConnectRefusesImpossibleTargetsAndBindNeedsASocket) {
    UCPSetTimeout(2000);
    platform::UniqueFd fd(socket(AF_INET, SOCK_STREAM, 0));
    EXPECT_EQ(UCPConnect(fd.Get(), 0, "127.0.0.1", 0), EINVAL);
    EXPECT_EQ(UCPConnect(fd.Get(), 0, "127.0.0.1", 65536), EINVAL);
    EXPECT_EQ(UCPConnect(fd.Get(), 0, "#2", 5000), EINVAL);
    {
        // Only "#" and digits are a duplicate-name suffix; anything else stays in the name.
        zella_test::HeldPort listening;
        platform::UniqueFd other(socket(AF_INET, SOCK_STREAM, 0));
        EXPECT_NE(UCPConnect(other.Get(), 0, "127.0.0.1#x", listening.port), 0);
        platform::UniqueFd fresh(socket(AF_INET, SOCK_STREAM, 0));
        EXPECT_EQ(UCPConnect(fresh.Get(), 0, "127.0.0.1#12", listening.port), 0);
    }
    EXPECT_NE(UCPConnect(fd.Get(), 0, (std::string(145, 'h') + ".inv").c_str(), 5000), 0);
    EXPECT_EQ(UCPBind(-1, 0, "12345", "secret"), ucp::kNotConnected);
    char small[8];
    EXPECT_EQ(UCPErrorText(7, small, sizeof small), 7);
    EXPECT_STREQ(small, "Error 0");
    EXPECT_EQ(UCPErrorText(7, small, 0), 0);
    UCPSetTimeout(0);
}

}  // namespace
