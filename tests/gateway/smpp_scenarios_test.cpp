// zellant against a loopback SMSC: what reaches the SMSC, what the service records, and
// how it behaves when the SMSC is away, refuses, throttles, answers nothing or sends
// receipts and messages of its own.
#include <cstdlib>

#include "tests/gateway/gateway_fixture.h"

namespace gateway_test {
namespace {

class SmppScenario : public GatewayFixture {};

TEST_F(SmppScenario, QueuedMessagesReachTheSmscAndAreLoggedCountedAndRemoved) {
    Smsc smsc;
    ASSERT_NE(0u, smsc.Port());
    const std::string name = SmppConnection(smsc.Port(), {"WindowSize=10", "SenderAddress=Zella"});
    ASSERT_TRUE(Start());
    Message("A1", "+447700900001", "Hello one");
    Message("A2", "447700900002", "Line\\r\\nbreak");
    Message("LONG", "+447700900003", std::string(200, 'x'));
    Message("UNI", "+447700900004", "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82");  // Russian "hello"
    const auto submits = smsc.Lines("SUBMIT", 5);
    ASSERT_EQ(5u, submits.size());
    ASSERT_TRUE(Eventually([&] { return Queued() == 0; })) << Log("SMSOUT");
    // International numbers travel without "+" as TON 1; the sender is alphanumeric (TON 5).
    EXPECT_NE(std::string::npos, Outcome("A1").find(",A1," + name + ",+447700900001,OK,m"));
    bool sawOne = false, sawBreak = false, sawUcs2 = false;
    int longParts = 0;
    for (const std::string& s : submits) {
        sawOne |= s.find("5 Zella 1 447700900001 0 0 0 48656c6c6f206f6e65") != std::string::npos;
        sawBreak |= s.find(" 0 447700900002 0 0 0 4c696e650d0a627265616b") != std::string::npos;
        // The SMSC decodes UCS-2 (data_coding 8) back into the text it prints as UTF-8.
        sawUcs2 |= s.find(" 447700900004 8 0 0 d09fd180d0b8d0b2d0b5d182") != std::string::npos;
        // Two parts, each with a concatenation header (esm_class 0x40 = 64).
        if (s.find(" 447700900003 0 64 0 0500030") != std::string::npos) ++longParts;
    }
    EXPECT_TRUE(sawOne && sawBreak && sawUcs2) << ::testing::PrintToString(submits);
    EXPECT_EQ(2, longParts) << ::testing::PrintToString(submits);
    // Counters are written a moment after the log line.
    EXPECT_TRUE(Eventually([&] { return Today("SMSSENT") == 4u; })) << Today("SMSSENT");
    EXPECT_EQ("(none)", ErrorFile(name));
    EXPECT_NE(std::string::npos, Events().find("Service started"));
}

TEST_F(SmppScenario, MessagesWaitWithoutAnAttemptWhileTheSmscIsAwayAndGoWhenItIsBack) {
    // A port nobody listens on, for an SMSC that comes later.
    unsigned port = 0;
    {
        Smsc probe;
        port = probe.Port();
    }
    ASSERT_NE(0u, port);
    const std::string name = SmppConnection(port);
    ASSERT_TRUE(Start());
    const std::string request = Message("WAIT", "+447700900010", "Patience");
    ASSERT_TRUE(Eventually([&] { return ErrorFile(name).find("Unable to connect") != std::string::npos; }))
        << ErrorFile(name);
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    EXPECT_TRUE(platform::FileExists(request));
    EXPECT_EQ("", platform::GetPrivateProfileString(request, "ErrorDetail", "RetryCount", ""));
    Smsc smsc({"--port", std::to_string(port)});
    ASSERT_EQ(port, smsc.Port());
    ASSERT_EQ(1u, smsc.Lines("SUBMIT", 1, 90'000).size());
    ASSERT_TRUE(Eventually([&] { return !Outcome("WAIT").empty(); }));
    EXPECT_NE(std::string::npos, Outcome("WAIT").find(",OK,"));
    EXPECT_TRUE(Eventually([&] { return ErrorFile(name) == "(none)"; }));
    EXPECT_NE(std::string::npos, Events().find(name + ": Unable to connect"));
}

TEST_F(SmppScenario, APermanentRefusalEndsTheMessageAndATemporaryOneIsRetried) {
    Smsc refusing({"--refuse"});
    Smsc failing({"--temporary"});
    const std::string refusingName = SmppConnection(refusing.Port(), {}, 1);
    const std::string failingName = SmppConnection(failing.Port(), {}, 2);
    ASSERT_TRUE(Start());
    Message("NOPE", "+447700900020", "Bad number", "SMSCRoute=" + refusingName + "\r\n");
    const std::string later = Message("LATER", "+447700900021", "Try again", "SMSCRoute=" + failingName + "\r\n");
    ASSERT_TRUE(Eventually([&] { return !Outcome("NOPE").empty(); }));
    EXPECT_NE(std::string::npos, Outcome("NOPE").find("Invalid destination address")) << Outcome("NOPE");
    EXPECT_EQ(std::string::npos, Outcome("NOPE").find(",OK,"));
    // Counted a moment after the log line is written.
    EXPECT_TRUE(Eventually([&] { return Today("SMSFAILED") == 1u; })) << Today("SMSFAILED");
    // Retried after a second (the test's first retry delay), then two seconds later.
    ASSERT_TRUE(Eventually([&] {
        return platform::GetPrivateProfileString(later, "ErrorDetail", "RetryCount", "") == "2";
    }));
    EXPECT_NE(std::string::npos,
              platform::GetPrivateProfileString(later, "ErrorDetail", "LastErrorInfo", "").find("System error"));
    EXPECT_EQ(14u, platform::GetPrivateProfileString(later, "ErrorDetail", "FirstAttemptTime", "").size());
    EXPECT_TRUE(Eventually([&] { return Today("SMSRETRY") >= 2u; })) << Today("SMSRETRY");
    EXPECT_EQ("", Outcome("LATER"));
    // The operator deletes the waiting request between two attempts: it is simply gone.
    const std::size_t before = failing.Lines("SUBMIT", 0).size();
    // Refused while an attempt holds it, as the console's viewers find; they try again.
    ASSERT_TRUE(Eventually([&] { return platform::DeleteFileChecked(later); }));
    std::this_thread::sleep_for(std::chrono::milliseconds(4500));
    EXPECT_LE(failing.Lines("SUBMIT", 0).size(), before + 1);  // at most the attempt under way
    EXPECT_EQ("", Outcome("LATER"));
    EXPECT_FALSE(platform::FileExists(later));
}

TEST_F(SmppScenario, ThrottlingSlowsTheLinkWithoutFailingOrRetryingMessages) {
    Smsc smsc({"--throttle", "3"});
    SmppConnection(smsc.Port(), {"WindowSize=5"});
    ASSERT_TRUE(Start());
    for (int i = 0; i < 5; ++i) Message("T" + std::to_string(i), "+44770090003" + std::to_string(i), "Slow down");
    ASSERT_TRUE(Eventually([&] { return Queued() == 0; })) << Log("SMSOUT");
    for (int i = 0; i < 5; ++i) EXPECT_NE(std::string::npos, Outcome("T" + std::to_string(i)).find(",OK,"));
    EXPECT_EQ(8u, smsc.Lines("SUBMIT", 8).size());
    EXPECT_EQ(0u, Today("SMSRETRY"));
}

TEST_F(SmppScenario, ReceiptsFindTheirRequestAndReceivedMessagesAreStored) {
    Smsc smsc({"--receipts", "--mo", "Hi there"});
    const std::string name = SmppConnection(smsc.Port(), {"ReceiveSingleConnection=Yes"});
    ASSERT_TRUE(Start());
    Message("DLR1", "+447700900040", "Tell me", "ReceiptRequested=Yes\r\n");
    ASSERT_TRUE(Eventually([&] { return Received().size() == 2; })) << Log("SMSIN");
    std::string receipt, mo;
    for (const std::string& f : Received()) {
        if (platform::GetPrivateProfileString(f, "SMS-IN", "ReceiptMessageId", "") == "DLR1") receipt = f;
        else mo = f;
    }
    ASSERT_FALSE(receipt.empty());
    EXPECT_EQ("Yes", platform::GetPrivateProfileString(receipt, "SMS-IN", "ReceiptDelivered", ""));
    EXPECT_EQ("447700900040", platform::GetPrivateProfileString(receipt, "SMS-IN", "Sender", ""));
    ASSERT_FALSE(mo.empty());
    EXPECT_EQ("Hi there", platform::GetPrivateProfileString(mo, "SMS-IN", "Data", ""));
    EXPECT_EQ("+4470000001", platform::GetPrivateProfileString(mo, "SMS-IN", "Sender", ""));
    EXPECT_EQ(name, platform::GetPrivateProfileString(mo, "SMS-IN", "ModemName", ""));
    EXPECT_EQ(1u, smsc.Lines("MO_RESP", 1).size());
    EXPECT_EQ("MO_RESP 0", smsc.Lines("MO_RESP", 1)[0]);
    // The links store the files; the service counts them a moment later.
    EXPECT_TRUE(Eventually([&] { return Today("SMSRECEIVED") == 2u; })) << Today("SMSRECEIVED");
    EXPECT_TRUE(Eventually([&] { return Log("SMSIN").find(",+4470000001,") != std::string::npos; })) << Log("SMSIN");
}

TEST_F(SmppScenario, ASilentOrGarbageSendingSmscIsDroppedAndTheMessagesWaitForTheNextSession) {
    Smsc smsc({"--garbage-after", "1"});
    const std::string name = SmppConnection(smsc.Port());
    ASSERT_TRUE(Start());
    const std::string request = Message("G1", "+447700900050", "Through the noise");
    ASSERT_TRUE(Eventually([&] { return ErrorFile(name).find("malformed PDU") != std::string::npos; }))
        << ErrorFile(name);
    // The second session answers properly; the message was no attempt, so no retry count.
    ASSERT_TRUE(Eventually([&] { return !Outcome("G1").empty(); }));
    EXPECT_NE(std::string::npos, Outcome("G1").find(",OK,"));
    EXPECT_EQ(0u, Today("SMSRETRY"));
    EXPECT_GE(smsc.Lines("BIND", 2).size(), 2u);
}

TEST_F(SmppScenario, UseSslSendsThroughATlsSession) {
    const std::string key = dir_ + "key.pem", cert = dir_ + "cert.pem";
    ASSERT_EQ(0, std::system(("openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=localhost -keyout '" + key +
                              "' -out '" + cert + "' >/dev/null 2>&1").c_str()));
    Smsc smsc({"--tls", key, cert});
    ASSERT_NE(0u, smsc.Port());
    SmppConnection(smsc.Port(), {"UseSSL=Yes"});
    ASSERT_TRUE(Start());
    Message("TLS1", "+447700900060", "Private");
    ASSERT_EQ(1u, smsc.Lines("SUBMIT", 1).size());
    ASSERT_TRUE(Eventually([&] { return !Outcome("TLS1").empty(); }));
    EXPECT_NE(std::string::npos, Outcome("TLS1").find(",OK,"));
}

}  // namespace
}  // namespace gateway_test
