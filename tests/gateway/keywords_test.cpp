// Two-way processing by tables and on real files: which keyword applies, which account a
// message is routed to, where a reply file may come from, how commands run, what the
// actions leave behind, and what the processor makes of waiting files.
#include <fstream>

#include <gtest/gtest.h>

#include "acctdb/acctdb.h"
#include "config/config_store.h"
#include "gateway/keywords/actions.h"
#include "gateway/keywords/matching.h"
#include "gateway/keywords/processor.h"
#include "gateway/mail.h"
#include "gateway/request.h"
#include "platform/files.h"
#include "platform/ini.h"
#include "platform/restricted_command.h"
#include "tests/support/peer_process.h"
#include "tests/support/temp_dir.h"

namespace gateway::keywords {
namespace {

TEST(KeywordMatching, FirstWordAndReceivingNumberChooseTheKey) {
    const std::vector<std::string> keys = {"INFO", "info##+44 7700 900001, 4470000002", "STOP", "Price##0044123"};
    const struct {
        const char* text;
        const char* recipient;
        const char* key;
    } cases[] = {
        {"info", "1", "INFO"},
        {"  Info please", "", "INFO"},
        {"INFO", "4470000002", "info##+44 7700 900001, 4470000002"},  // the numbered key wins
        {"info", "+447700900001", "INFO"},           // "+44 7700 900001" is three numbers, not one
        {"informed", "1", ""},
        {"stop\r\nnow", "1", "STOP"},
        {"price", "+44123", "Price##0044123"},       // "00" and "+" are the same prefix
        {"price", "44124", ""},
        {"", "1", ""},
        {"   ", "1", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(c.key, MatchKeyword(keys, c.text, c.recipient)) << c.text << " / " << c.recipient;
    EXPECT_TRUE(NumberInList("+4470000002", "4470000001;4470000002"));
    EXPECT_FALSE(NumberInList("", "1,2"));
    EXPECT_FALSE(NumberInList("12", "123"));
}

class KeywordFiles : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = data_.Path();
        config::SetConfigurationPath(dir_ + "ZELLA.INI");
        platform::CreateDirectories(dir_ + "FILES/");
        platform::CreateDirectories(dir_ + "SMS-IN/SMPP - x-1/");
        settings_.configPath = dir_ + "ZELLA.INI";
        actions_.gateway = &settings_;
        actions_.dataDir = dir_;
    }
    void TearDown() override { config::SetConfigurationPath(""); }
    std::vector<std::string> Queued() {
        std::vector<std::string> texts;
        for (const auto& e : platform::ListDirectory(dir_ + "Q/", "*.REQ")) {
            std::string t;
            platform::ReadFile(dir_ + "Q/" + e.name, t);
            texts.push_back(t);
        }
        return texts;
    }
    std::string Ini() const { return dir_ + "ZELLA.INI"; }

    zella_test::ScopedDataDir data_{"kw"};
    std::string dir_;
    GatewaySettings settings_;
    ActionSettings actions_;
};

TEST_F(KeywordFiles, ReplyFilesComeOnlyFromTheFilesFolder) {
    std::ofstream(dir_ + "FILES/menu.txt") << "Soup\r\nBread";
    std::ofstream(dir_ + "secret.txt") << "not for senders";
    std::filesystem::create_symlink(dir_ + "secret.txt", dir_ + "FILES/link.txt");
    EXPECT_EQ(dir_ + "FILES/menu.txt", ConfinedReplyFile(dir_, "menu.txt"));
    EXPECT_EQ(dir_ + "FILES/menu.txt", ConfinedReplyFile(dir_, dir_ + "FILES/menu.txt"));
    for (const std::string& bad : {std::string("../secret.txt"), dir_ + "secret.txt", std::string("link.txt"),
                                   std::string("/etc/passwd"), dir_ + "FILES/../secret.txt", std::string("")})
        EXPECT_EQ("", ConfinedReplyFile(dir_, bad)) << bad;

    twoway::KeywordCommand c;
    c.replyFile = {true, "menu.txt"};
    ReceivedMessage m{"+4470000001", "4470000002", "menu", "SMPP - x:1", "20260101120000"};
    const auto done = RunKeywordCommand(c, m, actions_);
    ASSERT_EQ(1u, done.size());
    EXPECT_NE(std::string::npos, done[0].find("reply queued as R")) << done[0];
    const auto queued = Queued();
    ASSERT_EQ(1u, queued.size());
    OutboundRequest r;
    std::string error;
    ASSERT_TRUE(ParseRequest(queued[0], r, error)) << error;
    EXPECT_EQ("+4470000001", r.phoneNumber);
    EXPECT_EQ("4470000002", r.sender);
    EXPECT_EQ("Soup\r\nBread", r.data);
    EXPECT_EQ("SMPP - x:1", r.smscRoute);
    EXPECT_EQ("localsystem", r.User());

    c.replyFile = {true, "../secret.txt"};
    const auto refused = RunKeywordCommand(c, m, actions_);
    EXPECT_NE(std::string::npos, refused[0].find("is not a file in FILES/")) << refused[0];
    EXPECT_EQ(1u, Queued().size());
}

TEST_F(KeywordFiles, CommandsRunWithTheirOwnEnvironmentAndAnswerTheSender) {
    twoway::KeywordCommand c;
    // The service's own environment must not reach the command.
    setenv("ZELLA_SECRET_FOR_TEST", "leaked", 1);
    c.run = {true, "/bin/sh -c \"echo got:$SMS_SENDER:$SMS_TEXT:${ZELLA_SECRET_FOR_TEST}end; cat\""};
    c.runSendResponse = true;
    c.dlistAdd = {true, "club/../members"};
    ReceivedMessage m{"+4470000009", "4470000002", "join now", "SMPP - x:1", "20260101120000"};
    const auto done = RunKeywordCommand(c, m, actions_);
    unsetenv("ZELLA_SECRET_FOR_TEST");
    ASSERT_EQ(2u, done.size());
    EXPECT_NE(std::string::npos, done[0].find("command ended with 0; reply queued")) << done[0];
    const auto queued = Queued();
    ASSERT_EQ(1u, queued.size());
    OutboundRequest r;
    std::string error;
    ASSERT_TRUE(ParseRequest(queued[0], r, error)) << error;
    EXPECT_EQ("got:+4470000009:join now:end\njoin now", r.data);  // the text also came on standard input
    // The list name cannot leave its folder; the number is added once.
    EXPECT_EQ("DListAdd: +4470000009 added to club/../members", done[1]);
    std::string list;
    ASSERT_TRUE(platform::ReadFile(dir_ + "DLISTS/club_.._members.TXT", list));
    EXPECT_EQ("+4470000009\r\n", list);
    EXPECT_NE(std::string::npos, RunKeywordCommand(c, m, actions_)[1].find("already in"));
    twoway::KeywordCommand leave;
    leave.dlistRemove = {true, "club/../members"};
    EXPECT_EQ("DListRemove: +4470000009 removed from club/../members", RunKeywordCommand(leave, m, actions_)[0]);
    ASSERT_TRUE(platform::ReadFile(dir_ + "DLISTS/club_.._members.TXT", list));
    EXPECT_EQ("", list);
}

TEST_F(KeywordFiles, RunCallsTheUrlWithTheMessageAndRepliesWithTheAnswer) {
    // A loopback HTTP server that prints each request and answers with a text.
    zella_test::PeerProcess http("python3", {"-c",
        "import http.server\n"
        "class H(http.server.BaseHTTPRequestHandler):\n"
        "  def answer(self, body):\n"
        "    print(self.command, self.path, body, flush=True)\n"
        "    self.send_response(200); self.end_headers(); self.wfile.write(b'Your balance is 7')\n"
        "  def do_GET(self): self.answer('')\n"
        "  def do_POST(self): self.answer(self.rfile.read(int(self.headers['Content-Length'])).decode())\n"
        "  def log_message(self, *a): pass\n"
        "s=http.server.HTTPServer(('127.0.0.1',0),H)\n"
        "print('LISTENING', s.server_port, flush=True)\n"
        "s.serve_forever()\n"});
    const unsigned port = http.ListeningPort();
    ASSERT_NE(0u, port);
    ReceivedMessage m{"+4470000001", "4470000002", "bal & more", "SMPP - x:1", "20260101120000"};
    twoway::KeywordCommand c;
    c.run = {true, "http://127.0.0.1:" + std::to_string(port) + "/sms?key=1"};
    c.runSendResponse = true;
    const auto done = RunKeywordCommand(c, m, actions_);
    ASSERT_EQ(1u, done.size());
    EXPECT_NE(std::string::npos, done[0].find(": HTTP 200; reply queued as R")) << done[0];
    EXPECT_EQ("GET /sms?key=1&sender=%2B4470000001&recipient=4470000002&text=bal%20%26%20more&"
              "connection=SMPP%20-%20x%3A1&time=20260101120000 ",
              http.ReadLine());
    c.run = {true, "httppost://127.0.0.1:" + std::to_string(port) + "/in"};
    c.runSendResponse = false;
    RunKeywordCommand(c, m, actions_);
    EXPECT_EQ("POST /in sender=%2B4470000001&recipient=4470000002&text=bal%20%26%20more&"
              "connection=SMPP%20-%20x%3A1&time=20260101120000",
              http.ReadLine());
    const auto queued = Queued();
    ASSERT_EQ(1u, queued.size());  // the POST's answer was not asked for
    EXPECT_NE(std::string::npos, queued[0].find("Data=Your balance is 7\r\n")) << queued[0];
}

TEST(RestrictedCommand, OutputIsBoundedAndSlowCommandsAreStopped) {
    platform::RestrictedRun run;
    run.argv = {"sh", "-c", "yes 0123456789 | head -c 100000; echo done"};
    run.env = {"PATH=/usr/bin:/bin"};
    run.maxOutput = 1000;
    platform::RestrictedResult r = platform::RunRestricted(run);
    EXPECT_TRUE(r.started) << r.error;
    EXPECT_EQ(0, r.exitCode);
    EXPECT_EQ(1000u, r.output.size());
    run.argv = {"sleep", "30"};
    run.timeoutMs = 300;
    r = platform::RunRestricted(run);
    EXPECT_TRUE(r.timedOut);
    EXPECT_EQ(-1, r.exitCode);
    run.argv = {"no-such-program-here"};
    r = platform::RunRestricted(run);
    EXPECT_FALSE(r.started);
    EXPECT_EQ("program not found: no-such-program-here", r.error);
    EXPECT_EQ((std::vector<std::string>{"a b", "c", "d\"e", ""}), platform::SplitCommandLine("\"a b\" c \"d\\\"e\" \"\""));
}

TEST_F(KeywordFiles, MailHeadersCannotBeAddedThroughTheSendersText) {
    std::string failure;
    ASSERT_TRUE(SendServiceMail(settings_, "QuvSMS", {"ops@example.org"}, "SMS from +44\r\nBcc: victim@example.org",
                                "body\r\n", failure));
    const auto files = platform::ListDirectory(dir_ + "MMSCOUT/", "*.RFC");
    ASSERT_EQ(1u, files.size());
    std::string mail;
    platform::ReadFile(dir_ + "MMSCOUT/" + files[0].name, mail);
    EXPECT_NE(std::string::npos, mail.find("Subject: SMS from +44  Bcc: victim@example.org\r\n")) << mail;
    EXPECT_EQ(std::string::npos, mail.find("\r\nBcc:")) << mail;
}

TEST_F(KeywordFiles, ProcessorRoutesRunsKeywordsAndStoresEveryWaitingMessage) {
    acctdb::UserRecord ann;
    ann.SetUserName("ann");
    ann.SetAcceptReceived(true);
    acctdb::UserRecord bob;
    bob.SetUserName("bob");  // does not accept received messages
    acctdb::UserHandle store = 0;
    ASSERT_TRUE(acctdb::SMSOpenUserFile(&store, acctdb::GENERIC_READ | acctdb::GENERIC_WRITE));
    acctdb::SMSAddUser(store, ann);
    acctdb::SMSAddUser(store, bob);
    acctdb::SMSCloseUserFile(store);
    platform::WritePrivateProfileString(Ini(), "Inbound SMS Routing", "ann", "4470000100, 4470000101");
    platform::WritePrivateProfileString(Ini(), "Inbound SMS Routing", "bob", "4470000200");
    platform::WritePrivateProfileString(Ini(), "2Way-Keywords", "Keyword1", "HELLO");
    platform::WritePrivateProfileString(Ini(), "2Way-Keyword-HELLO", "ReplyText", "Hi\\r\\nthere");
    const std::string in = dir_ + "SMS-IN/SMPP - x-1/";
    const auto drop = [&](const std::string& name, const std::string& to, const std::string& text,
                          const std::string& extra = "") {
        std::ofstream(in + name) << "[SMS-IN]\r\nSender=+4470000001\r\nPhoneNumber=" << to << "\r\nData=" << text
                                 << "\r\nModemName=SMPP - x:1\r\n" << extra;
    };
    drop("A.IN", "4470000101", "hello for ann");
    drop("B.IN", "4470000200", "hello for bob");
    drop("C.IN", "4470000300", "hello world");
    drop("D.IN", "4470000300", "hello receipt", "ReceiptMessageId=C1\r\nReceiptDelivered=Yes\r\n");
    settings_.receiveSms = true;
    KeywordProcessor processor(dir_ + "SMS-IN/");
    processor.Configure(settings_);
    EXPECT_EQ(4u, processor.ProcessWaiting());
    EXPECT_TRUE(platform::FileExists(in + "A.REC"));
    EXPECT_EQ("ann", platform::GetPrivateProfileString(in + "A.REC", "SMS-IN", "RouteToLocalUser", ""));
    // Bob does not take received messages: his runs the keyword like any other.
    for (const char* stored : {"B.SMS", "C.SMS", "D.SMS"}) EXPECT_TRUE(platform::FileExists(in + stored)) << stored;
    const auto queued = Queued();
    ASSERT_EQ(2u, queued.size());
    for (const std::string& q : queued) EXPECT_NE(std::string::npos, q.find("Data=Hi\\r\\nthere\r\n")) << q;
    EXPECT_EQ(0u, processor.ProcessWaiting());
}

}  // namespace
}  // namespace gateway::keywords
