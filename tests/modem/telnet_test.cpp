// Telnet handling of the prompt wait, on its own and over a real socket pair.
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include "modem/ip_modem.h"
#include "modem/engine/telnet.h"
#include "tests/modem/modem_fixture.h"

namespace modemtest {
namespace {

std::string Bytes(std::initializer_list<int> values) {
    std::string s;
    for (int v : values) s += static_cast<char>(v);
    return s;
}

struct Handled {
    std::string data, replies;
    bool negotiated = false;
};

Handled Handle(std::string data, bool negotiated = false) {
    Handled h{std::move(data), {}, negotiated};
    modem::telnet::HandleCommands(h.data, h.negotiated, h.replies);
    return h;
}

TEST(TelnetCommands, FirstDoEchoGetsSuppressGoAheadPairThenWont) {
    const Handled h = Handle(Bytes({255, 253, 1}) + "login:");
    EXPECT_EQ(h.replies, Bytes({255, 253, 3, 255, 251, 3, 255, 252, 1}));
    EXPECT_EQ(h.data, "login:");
}

TEST(TelnetCommands, DoSuppressGoAheadIsAccepted) {
    EXPECT_EQ(Handle(Bytes({255, 253, 3}), true).replies, Bytes({255, 251, 3}));
}

TEST(TelnetCommands, DontIsAnsweredWontEvenForOptionZero) {
    EXPECT_EQ(Handle(Bytes({255, 254, 0})).replies, Bytes({255, 252, 0}));
}

TEST(TelnetCommands, WillWontAndTwoByteCommandsGetNoAnswer) {
    const Handled h = Handle(Bytes({255, 251, 1, 255, 252, 3, 255, 241, 255, 249}) + "x");
    EXPECT_EQ(h.replies, "");
    EXPECT_EQ(h.data, "x");
}

TEST(TelnetCommands, SubNegotiationIsDroppedThroughItsEnd) {
    EXPECT_EQ(Handle(Bytes({255, 250, 24, 1, 255, 240}) + "User").data, "User");
}

TEST(TelnetCommands, UnterminatedSubNegotiationDropsEverything) {
    EXPECT_EQ(Handle(Bytes({255, 250, 24, 1}) + "Username: ").data, "");
}

TEST(TelnetCommands, EscapedByteStaysAsData) {
    const std::string data = Bytes({255, 255}) + "OK";
    EXPECT_EQ(Handle(data).data, data);
}

TEST(TelnetCommands, CommandsAfterDataAreNotInterpreted) {
    const Handled h = Handle("OK" + Bytes({255, 253, 1}));
    EXPECT_EQ(h.replies, "");
    EXPECT_EQ(h.data.size(), 5u);
}

TEST(TelnetCommands, CommandCutBeforeItsOptionWaitsForIt) {
    Handled h = Handle(Bytes({255, 253}));
    EXPECT_EQ(h.data.size(), 2u);
    EXPECT_EQ(h.replies, "");
}

TEST(ExpectList, AnyAlternativeMatchesCaseSensitively) {
    EXPECT_TRUE(modem::telnet::MatchesExpectList("Please Login:", modem::kLoginPrompts));
    EXPECT_FALSE(modem::telnet::MatchesExpectList("login:", modem::kLoginPrompts));
    EXPECT_TRUE(modem::telnet::MatchesExpectList("passphrase", modem::kPasswordPrompts));
    EXPECT_FALSE(modem::telnet::MatchesExpectList("anything", "+++"));
}

// WaitForPrompt over a socket pair, the test playing the terminal server.
class PromptWait : public ModemFixture {
protected:
    void SetUp() override {
        ModemFixture::SetUp();
        int fds[2];
        ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
        fcntl(fds[0], F_SETFL, fcntl(fds[0], F_GETFL, 0) | O_NONBLOCK);
        port_ = modem::ModemPort(fds[0], modem::ModemPort::Kind::Socket, "pair");
        server_ = fds[1];
        UseFakeClock();
        modem::SetVirtualTimeGrace(10);
    }
    void TearDown() override {
        port_.Close();
        if (server_ >= 0) close(server_);
        ModemFixture::TearDown();
    }
    void Serve(const std::string& text) {
        ASSERT_EQ(write(server_, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    }
    std::string Received() {
        fcntl(server_, F_SETFL, fcntl(server_, F_GETFL, 0) | O_NONBLOCK);
        char buf[256];
        const ssize_t n = read(server_, buf, sizeof buf);
        return n > 0 ? std::string(buf, static_cast<std::size_t>(n)) : std::string();
    }
    modem::ModemPort port_;
    int server_ = -1;
    std::string buffer_;
};

TEST_F(PromptWait, PromptBehindNegotiationIsFoundAndAnswersAreSent) {
    Serve(Bytes({255, 253, 1}) + "Username: ");
    EXPECT_EQ(modem::WaitForPrompt(port_, buffer_, 2048, modem::kLoginPrompts, 10), 10u);
    EXPECT_EQ(buffer_, "Username: ");
    EXPECT_EQ(Received(), Bytes({255, 253, 3, 255, 251, 3, 255, 252, 1}));
}

TEST_F(PromptWait, MissingPromptTimesOutAfterItsSeconds) {
    Serve("Welcome\r\n");
    EXPECT_EQ(modem::WaitForPrompt(port_, buffer_, 2048, "OK", 30), 0u);
    EXPECT_EQ(buffer_, "Welcome\r\n");
    EXPECT_GE(clock_->TickCount(), 30000u);
}

TEST_F(PromptWait, ClosedPeerEndsTheWait) {
    close(server_);
    server_ = -1;
    EXPECT_EQ(modem::WaitForPrompt(port_, buffer_, 2048, "OK", 30), 0u);
}

TEST_F(PromptWait, PromptAfterLongBannerIsFoundInSmallBuffer) {
    Serve(std::string(5000, '*') + "Password: ");
    EXPECT_GT(modem::WaitForPrompt(port_, buffer_, 64, modem::kPasswordPrompts, 10), 0u);
    EXPECT_LT(buffer_.size(), 64u);
}

}  // namespace
}  // namespace modemtest
