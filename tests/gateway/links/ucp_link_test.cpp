// The service's UCP/EMI link against tools/ucpsim: what the SMSC records of a message,
// long and Unicode messages, notifications and deliveries stored before they are
// acknowledged, refusals, and the faults of a bad SMSC ending in a clear error.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "gateway/links/ucp_link.h"
#include "tests/gateway/links/link_test_support.h"
#include "tests/support/first_line_child.h"
#include "ucplnk/ucp_frame.h"

namespace {

using gateway::LinkEvent;
using gateway::Outcome;
using link_test::Keys;

// The simulator with `args`, logging to a file, and a link to it.
struct UcpBench {
    explicit UcpBench(std::vector<std::string> args, Keys keys = {{"UserName", "12345"},
                                                                  {"Password", "secret"}})
        : sim(ZELLA_BIN_DIR "/ucpsim", WithLog(args, dir.File("smsc.log"))) {
        const std::string name = "UCP - 127.0.0.1:" + sim.FirstLine();
        link = gateway::CreateUcpLink(link_test::Settings(dir, name, keys), events,
                                      link_test::FastTimings());
    }
    static std::vector<std::string> WithLog(std::vector<std::string> args, const std::string& log) {
        args.push_back("--log=" + log);
        return args;
    }
    std::string Log() { return link_test::ReadFile(dir.File("smsc.log")); }
    // Polls the simulator's log for up to 20 s.
    bool WaitForLog(const std::string& text) {
        for (int i = 0; i < 1000; ++i) {
            if (Log().find(text) != std::string::npos) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }

    zella_test::TempDir dir{"ucplink"};
    zella_test::FirstLineChild sim;
    link_test::RecordingEvents events;
    std::unique_ptr<gateway::SmscLink> link;
};

TEST(UcpLink, SendsATextThatTheSmscRecordsAsSubmitted) {
    UcpBench b({}, {{"UserName", "12345"}, {"Password", "secret"}, {"SenderAddress", "Zella"}});
    ASSERT_TRUE(b.sim.Started());
    b.link->Start();
    b.link->Send(link_test::Message(1, "+4917012345", "Hello world"));
    ASSERT_TRUE(b.events.WaitForResults(1));
    const auto r = b.events.Results()[0];
    EXPECT_EQ(r.outcome, Outcome::Sent) << r.error;
    EXPECT_EQ(r.smscId, "004917012345:071200000001");
    EXPECT_EQ(r.partIds, std::vector<std::string>{"004917012345:071200000001"});
    EXPECT_EQ(b.events.Count(LinkEvent::Kind::Up), 1u);
    const std::string log = b.Log();
    EXPECT_NE(log.find("51 AdC=004917012345 OAdC=" + ucp::EncodeAlphanumericAddress("Zella") +
                       " OTOA=5039 MT=3 NB= Msg=" + ucp::IraHex("Hello world") + " XSer= NRq="),
              std::string::npos)
        << log;
    b.link->Stop();
}

TEST(UcpLink, ARequestsOwnNumericSenderWinsUnlessOverrideIsOff) {
    for (const char* override : {"", "No"}) {
        UcpBench b({}, {{"SenderAddress", "Zella"}, {"SenderAddressOverride", override}});
        b.link->Start();
        auto m = link_test::Message(1, "4917012345", "Hi");
        m.sender = "+4930123";
        b.link->Send(m);
        ASSERT_TRUE(b.events.WaitForResults(1));
        EXPECT_EQ(b.events.Results()[0].outcome, Outcome::Sent);
        const std::string expected = *override ? "OAdC=" + ucp::EncodeAlphanumericAddress("Zella")
                                               : std::string("OAdC=4930123 OTOA=1139");
        EXPECT_NE(b.Log().find(expected), std::string::npos) << b.Log();
        b.link->Stop();
    }
}

TEST(UcpLink, ALongTextGoesInPartsWithConcatenationHeadersAndEveryPartsId) {
    UcpBench b({});
    b.link->Start();
    b.link->Send(link_test::Message(7, "4917012345", std::string(200, 'x')));
    auto unicode = link_test::Message(8, "4917012345", "\xD0\x9F\xD1\x80\xD0\xB8");  // Cyrillic
    b.link->Send(unicode);
    ASSERT_TRUE(b.events.WaitForResults(2));
    for (const auto& r : b.events.Results()) {
        EXPECT_EQ(r.outcome, Outcome::Sent) << r.error;
        EXPECT_EQ(r.partIds.size(), r.token == 7 ? 2u : 1u);
        EXPECT_EQ(r.parts, r.token == 7 ? 2u : 1u);
    }
    const std::string log = b.Log();
    // XSer item 01: the header 05 00 03 ref 02 n; the first part holds 153 characters.
    EXPECT_NE(log.find("Msg=" + ucp::IraHex(std::string(153, 'x')) + " XSer=01060500030002"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("Msg=" + ucp::IraHex(std::string(47, 'x')) + " XSer=0106050003"),
              std::string::npos);
    EXPECT_NE(log.find("MT=4 NB=48 Msg=041F04400438 XSer=020108"), std::string::npos) << log;
    b.link->Stop();
}

TEST(UcpLink, ANotificationIsStoredBeforeItIsAcknowledgedAndRefusedWhenItCannotBe) {
    UcpBench b({"--notify"});
    int stores = 0;
    bool ackedBeforeStore = false;
    b.events.onStore = [&](const gateway::InboundMessage&) {
        ackedBeforeStore = ackedBeforeStore || b.Log().find("R53 A") != std::string::npos;
        return ++stores > 1;  // the first attempt fails as a full disk would
    };
    b.link->Start();
    auto m = link_test::Message(3, "4917012345", "Report me");
    m.receiptRequested = true;
    b.link->Send(m);
    ASSERT_TRUE(b.WaitForLog("R53 A"));
    EXPECT_FALSE(ackedBeforeStore);
    EXPECT_NE(b.Log().find("R53 N 04\nR53 A"), std::string::npos) << b.Log();
    EXPECT_NE(b.Log().find("NRq=1"), std::string::npos);
    ASSERT_TRUE(b.events.WaitForResults(1));
    const auto stored = b.events.Stored();
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_TRUE(stored[0].isReceipt);
    EXPECT_EQ(stored[0].receiptState, "DELIVRD");
    EXPECT_EQ(stored[0].receiptSmscId, b.events.Results()[0].partIds.at(0));
    // The service learnt which request the receipt is for before the result came.
    EXPECT_EQ(b.events.ExpectedReceipts(),
              std::vector<std::string>{stored[0].receiptSmscId + "=REQ3"});
    b.link->Stop();
}

TEST(UcpLink, ADeliveryIsStoredWithItsSenderAndTextThenAcknowledged) {
    UcpBench b({"--deliver=Hello gateway"});
    bool ackedBeforeStore = true;
    b.events.onStore = [&](const gateway::InboundMessage&) {
        ackedBeforeStore = b.Log().find("R52") != std::string::npos;
        return true;
    };
    b.link->Start();
    ASSERT_TRUE(b.WaitForLog("R52 A"));
    EXPECT_FALSE(ackedBeforeStore);
    const auto stored = b.events.Stored();
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_FALSE(stored[0].isReceipt);
    EXPECT_EQ(stored[0].sender, "4912345");
    EXPECT_EQ(stored[0].recipient, "12345");
    EXPECT_EQ(stored[0].text, "Hello gateway");
    b.link->Stop();
}

TEST(UcpLink, RefusalsAreToldApartAsPermanentOrTemporary) {
    const struct {
        const char* code;
        Outcome outcome;
        const char* error;
    } cases[] = {
        {"--submit-nack=6", Outcome::Permanent,
         "Error 06: AdC invalid (the user name is not a valid address) (Refused by the simulator)"},
        {"--submit-nack=55", Outcome::Temporary, "Error 55: System error (Refused by the simulator)"},
        {"--submit-nack=24", Outcome::Permanent, "Error 24: Message too long (Refused by the simulator)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        UcpBench b({c.code});
        b.link->Start();
        b.link->Send(link_test::Message(1, "4917012345", "No"));
        ASSERT_TRUE(b.events.WaitForResults(1));
        EXPECT_EQ(b.events.Results()[0].outcome, c.outcome);
        EXPECT_EQ(b.events.Results()[0].error, c.error);
        b.link->Stop();
    }
}

TEST(UcpLink, AnSmscThatTakesOneOperationAtATimeGetsEachMessageOnceMore) {
    UcpBench b({"--one-at-a-time"});
    b.link->Start();
    ASSERT_TRUE(b.events.WaitForKind(LinkEvent::Kind::Up));
    std::vector<std::uint64_t> tokens;
    for (std::uint64_t t = 1; t <= 4; ++t) {
        tokens.push_back(t);
        b.link->Send(link_test::Message(t, "4917012345", "one " + std::to_string(t)));
    }
    ASSERT_TRUE(b.events.WaitForResults(4));
    link_test::ExpectEachAnsweredOnce(b.events.Results(), tokens);
    for (const auto& r : b.events.Results()) EXPECT_EQ(r.outcome, Outcome::Sent) << r.error;
    const std::string log = b.Log();
    EXPECT_NE(log.find("refused 51"), std::string::npos) << log;
    // Every text was accepted exactly once: the line after each acceptance is not a refusal.
    for (std::uint64_t t = 1; t <= 4; ++t) {
        const std::string line = "Msg=" + ucp::IraHex("one " + std::to_string(t)) + " ";
        std::size_t accepted = 0;
        for (std::size_t at = log.find(line); at != std::string::npos; at = log.find(line, at + 1)) {
            const std::size_t next = log.find('\n', at);
            accepted += log.compare(next + 1, 10, "refused 51") != 0;
        }
        EXPECT_EQ(accepted, 1u) << t << "\n" << log;
    }
    b.link->Stop();
}

TEST(UcpLink, ARecipientThatIsNoNumberIsRefusedWithoutReachingTheSmsc) {
    UcpBench b({});
    b.link->Start();
    b.link->Send(link_test::Message(1, "call me", "text"));
    ASSERT_TRUE(b.events.WaitForResults(1));
    EXPECT_EQ(b.events.Results()[0].outcome, Outcome::Permanent);
    EXPECT_EQ(b.events.Results()[0].error, "Invalid recipient number: call me");
    b.link->Stop();
    EXPECT_EQ(b.Log().find("51 "), std::string::npos);
}

TEST(UcpLink, ARefusedLoginMarksTheLinkDownWithTheSmscsWords) {
    UcpBench b({}, {{"UserName", "12345"}, {"Password", "wrong"}});
    b.link->Start();
    ASSERT_TRUE(b.events.WaitForKind(LinkEvent::Kind::Down));
    EXPECT_EQ(b.events.FirstDown(), "Login refused: Error 07: Authentication failure");
    b.link->Send(link_test::Message(1, "4917012345", "text"));
    ASSERT_TRUE(b.events.WaitForResults(1));
    EXPECT_EQ(b.events.Results()[0].outcome, Outcome::NotSent);
    b.link->Stop();
}

TEST(UcpLink, AnSmscThatCannotBeReachedIsNamedWithTheReason) {
    link_test::RecordingEvents events;
    zella_test::TempDir dir("ucplink");
    // A port nothing listens on: ucpsim's, after it has gone.
    std::string port;
    {
        zella_test::FirstLineChild sim(ZELLA_BIN_DIR "/ucpsim", {});
        port = sim.FirstLine();
    }
    auto link = gateway::CreateUcpLink(link_test::Settings(dir, "UCP - 127.0.0.1:" + port, {}),
                                       events, link_test::FastTimings());
    link->Start();
    ASSERT_TRUE(events.WaitForKind(LinkEvent::Kind::Down));
    EXPECT_EQ(events.FirstDown(), "Unable to connect to 127.0.0.1:" + port + ": Connection refused");
    link->Stop();
}

TEST(UcpLink, ASilentSmscEndsTheSessionAndTheMessageIsNotCountedAsAnAttempt) {
    UcpBench b({"--silent-submits"});
    b.link->Start();
    b.link->Send(link_test::Message(1, "4917012345", "anyone there?"));
    ASSERT_TRUE(b.events.WaitForResults(1));
    EXPECT_EQ(b.events.Results()[0].outcome, Outcome::NotSent);
    ASSERT_TRUE(b.events.WaitForKind(LinkEvent::Kind::Down));
    EXPECT_EQ(b.events.FirstDown(), "No answer from the UCP server within 1 seconds");
    // It reconnects on its own.
    ASSERT_TRUE(b.events.WaitForKind(LinkEvent::Kind::Up, 2));
    b.link->Stop();
}

TEST(UcpLink, GarbageFromTheSmscEndsTheSessionWithAClearError) {
    UcpBench b({"--garbage-after-login"});
    b.link->Start();
    ASSERT_TRUE(b.events.WaitForKind(LinkEvent::Kind::Down));
    // The frame is shown as far as it is printable, for the operator to report.
    EXPECT_EQ(b.events.FirstDown(), "The UCP server's answer is not a valid UCP frame: "
                                    "<02><01><FE> no UCP frame here <7F><03>");
    b.link->Stop();
}

TEST(UcpLink, EveryBadLoginAnswerMarksTheLinkDownWithItsOwnText) {
    const struct {
        const char* fault;
        const char* down;
    } cases[] = {
        {"--bad-checksum", "The UCP server's answer has a wrong checksum"},
        {"--wrong-number", "The UCP server answered with a wrong transaction number"},
        {"--close-mid-frame", "The UCP server closed the connection"},
        {"--oversized", "The UCP server's answer is too long"},
        {"--garbage", "The UCP server's answer is not a valid UCP frame"},
        {"--silent", "No answer from the UCP server (timed out)"},
        {"--refuse=5", "Login refused: Error 05: Call barring active"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fault);
        UcpBench b({c.fault});
        b.link->Start();
        ASSERT_TRUE(b.events.WaitForKind(LinkEvent::Kind::Down));
        EXPECT_EQ(b.events.FirstDown(), c.down);
        // It keeps trying, and a message meanwhile is no attempt.
        b.link->Send(link_test::Message(1, "4917012345", "later"));
        ASSERT_TRUE(b.events.WaitForResults(1));
        EXPECT_EQ(b.events.Results()[0].outcome, Outcome::NotSent);
        b.link->Stop();
    }
}

TEST(UcpLink, AnSmscClosingMidWindowLeavesTheUnansweredMessagesNotSent) {
    UcpBench b({"--close-after=3"});
    b.link->Start();
    ASSERT_TRUE(b.events.WaitForKind(LinkEvent::Kind::Up));
    std::vector<std::uint64_t> tokens;
    for (std::uint64_t t = 1; t <= 5; ++t) {
        tokens.push_back(t);
        b.link->Send(link_test::Message(t, "4917012345", "window " + std::to_string(t)));
    }
    ASSERT_TRUE(b.events.WaitForResults(5));
    const auto results = b.events.Results();
    link_test::ExpectEachAnsweredOnce(results, tokens);
    // The SMSC answered two before it closed: at most those count as sent (their answers
    // may be lost with the reset); every other message is no attempt and goes again.
    std::size_t sent = 0, notSent = 0;
    for (const auto& r : results) {
        sent += r.outcome == Outcome::Sent;
        notSent += r.outcome == Outcome::NotSent;
    }
    EXPECT_LE(sent, 2u);
    EXPECT_EQ(sent + notSent, 5u);
    ASSERT_TRUE(b.events.WaitForKind(LinkEvent::Kind::Down));
    EXPECT_EQ(b.events.FirstDown(), "The UCP server closed the connection");
    b.link->Stop();
}

TEST(UcpLink, StopWhileMessagesAwaitTheirAnswersAnswersEachOfThemOnce) {
    UcpBench b({"--silent-submits"});
    b.link->Start();
    ASSERT_TRUE(b.events.WaitForKind(LinkEvent::Kind::Up));
    for (std::uint64_t t = 1; t <= 3; ++t) b.link->Send(link_test::Message(t, "4917012345", "busy"));
    ASSERT_TRUE(b.WaitForLog(ucp::IraHex("busy")));
    b.link->Stop();
    link_test::ExpectEachAnsweredOnce(b.events.Results(), {1, 2, 3});
    for (const auto& r : b.events.Results()) EXPECT_EQ(r.outcome, Outcome::NotSent);
}

// An SMSC that delivers on a port of its own: a second session logs in there and stores
// what arrives; while it is gone the connection still sends, and only the event log
// hears of it (once, not at every reconnect).
TEST(UcpLink, ASecondSessionOnTheReceivePortTakesDeliveriesWithoutDecidingTheLinksState) {
    zella_test::TempDir dir{"ucprecv"};
    const std::string receiverLog = dir.File("receiver.log");
    auto receiver = std::make_unique<zella_test::FirstLineChild>(
        ZELLA_BIN_DIR "/ucpsim", std::vector<std::string>{"--deliver=Hello receiver", "--log=" + receiverLog});
    ASSERT_TRUE(receiver->Started());
    UcpBench b({}, {{"UserName", "12345"},
                    {"Password", "secret"},
                    {"Receive", "Yes"},
                    {"ReceivePort", receiver->FirstLine()}});
    b.link->Start();
    for (int i = 0; i < 1000 && b.events.Stored().empty(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const auto stored = b.events.Stored();
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0].text, "Hello receiver");
    EXPECT_NE(link_test::ReadFile(receiverLog).find("R52 A"), std::string::npos);
    EXPECT_EQ(b.Log().find("R52"), std::string::npos);  // nothing came on the sending session

    receiver.reset();  // the receiving port goes away
    ASSERT_TRUE(b.events.WaitForKind(LinkEvent::Kind::Notice, 2));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // reconnects fail meanwhile
    std::vector<std::pair<bool, std::string>> notices;
    for (const LinkEvent& e : b.events.Events())
        if (e.kind == LinkEvent::Kind::Notice) notices.emplace_back(e.warning, e.error);
    ASSERT_EQ(notices.size(), 2u);
    EXPECT_FALSE(notices[0].first);
    EXPECT_TRUE(notices[1].first);
    EXPECT_NE(notices[1].second.find("receiving connection on port"), std::string::npos) << notices[1].second;

    b.link->Send(link_test::Message(1, "4917012345", "still sending"));
    ASSERT_TRUE(b.events.WaitForResults(1));
    EXPECT_EQ(b.events.Results()[0].outcome, Outcome::Sent);
    EXPECT_EQ(b.events.Count(LinkEvent::Kind::Down), 0u);
    b.link->Stop();
}

TEST(UcpLink, AlertsKeepAnIdleSessionAlive) {
    UcpBench b({}, {{"UserName", "12345"}, {"Password", "secret"}, {"KeepAlive", "1"}});
    b.link->Start();
    ASSERT_TRUE(b.WaitForLog("31\n"));
    EXPECT_EQ(b.events.Count(LinkEvent::Kind::Down), 0u);
    b.link->Stop();
}

}  // namespace
