// zellant's SMPP server against clients that are not ours (the npm `smpp` client and
// Perl's Net::SMPP) and against a raw socket that misbehaves: binds, submissions that go
// out through an SMPP link, receipts back to the client, the flag files of the console's
// monitor, and refusals of what a client gets wrong.
#include <fcntl.h>

#include <cstdlib>

#include "config/credit.h"
#include "platform/shared_memory.h"
#include "platform/tcp_socket.h"
#include "smpplnk/smpp_server_pdu.h"
#include "tests/gateway/gateway_fixture.h"
#include "tests/gateway/smpp_client_peer.h"
#include "tests/support/held_port.h"

namespace gateway_test {
namespace {

// A raw client socket speaking PDUs the test builds.
class RawClient {
public:
    explicit RawClient(unsigned port) : socket_(platform::TcpSocket::Connect("127.0.0.1", port, 5000)) {}
    bool Open() const { return socket_.IsOpen(); }
    bool Send(const std::string& bytes) { return socket_.SendAll(bytes, 5000).Ok(); }
    // The next PDU's header, or a header with id 0 when none came (closed or time-out).
    smpplnk::Header Read(std::string* whole = nullptr) {
        std::string frame;
        if (!socket_.ReceiveUntil(frame, "", smpplnk::kHeaderSize, 10'000).Ok()) return {};
        const smpplnk::Header h = smpplnk::DecodeHeader(reinterpret_cast<const unsigned char*>(frame.data()));
        std::string body;
        if (h.length > smpplnk::kHeaderSize &&
            !socket_.ReceiveUntil(body, "", h.length - smpplnk::kHeaderSize, 10'000).Ok())
            return {};
        if (whole) *whole = frame + body;
        return h;
    }
    // True when the server closed the connection.
    bool Closed() {
        char byte;
        return socket_.Receive(&byte, 1, 10'000).status == platform::IoStatus::Closed;
    }

private:
    platform::TcpSocket socket_;
};

std::string Bind(const std::string& user, const std::string& password, std::uint32_t kind = smpplnk::kBindTransceiver) {
    smpplnk::BindRequest b;
    b.commandId = kind;
    b.systemId = user;
    b.password = password;
    std::string pdu;
    smpplnk::EncodeBind(b, 7, pdu);
    return pdu;
}

std::string Pdu(std::uint32_t id, std::uint32_t sequence, const std::string& body = {}) {
    std::string pdu;
    for (std::uint32_t v : {static_cast<std::uint32_t>(16 + body.size()), id, 0u, sequence})
        for (int shift = 24; shift >= 0; shift -= 8) pdu += static_cast<char>((v >> shift) & 0xFF);
    return pdu + body;
}

class SmppServerScenario : public GatewayFixture {
protected:
    void SetUp() override {
        GatewayFixture::SetUp();
        {
            zella_test::HeldPort probe;  // a free port, released again for the service
            port_ = probe.port;
        }
        ASSERT_NE(0u, port_);
        platform::WritePrivateProfileString(Ini(), "ZELLA", "SMPPPort", std::to_string(port_));
    }
    void AddUser(const std::string& name, const std::string& password, bool smpp = true) {
        acctdb::UserRecord r;
        r.SetUserName(name);
        r.SetPassword(password);
        r.SetSmppLogin(smpp);
        acctdb::UserHandle store = 0;
        ASSERT_TRUE(acctdb::SMSOpenUserFile(&store, acctdb::GENERIC_READ | acctdb::GENERIC_WRITE));
        acctdb::SMSAddUser(store, r);
        acctdb::SMSCloseUserFile(store);
    }
    std::vector<std::string> Flags() const {
        std::vector<std::string> names;
        for (const auto& e : platform::ListDirectory(dir_ + "SMPPData/ActiveUsers/", "*.FLG")) names.push_back(e.name);
        return names;
    }
    unsigned port_ = 0;
};

TEST_F(SmppServerScenario, NpmClientSubmitsIsChargedAndGetsTheReceiptOfTheSmsc) {
    Smsc smsc({"--receipts"});
    SmppConnection(smsc.Port(), {"Receive=Yes"});
    AddUser("ann", "pw1");
    ASSERT_TRUE(config::CreateCreditFile("ann"));
    config::DebitCredit("ann", nullptr, -3000, false);
    ASSERT_TRUE(Start());
    SmppClient client(port_, "ann", "pw1", {"--submit", "+447700900123", "Hello from a client", "--receipt"});
    ASSERT_EQ("BIND_RESP 0", client.Next("BIND_RESP")) << client.Seen();
    const std::string resp = client.Next("SUBMIT_RESP");
    ASSERT_EQ(0u, resp.find("SUBMIT_RESP 0 C")) << client.Seen();
    const std::string id = resp.substr(resp.rfind(' ') + 1);
    const auto submits = smsc.Lines("SUBMIT", 1);
    ASSERT_EQ(1u, submits.size());
    EXPECT_NE(std::string::npos, submits[0].find(" 447700900123 0 0 1 48656c6c6f2066726f6d206120636c69656e74"))
        << submits[0];
    const std::string receipt = client.Next("DELIVER");
    EXPECT_EQ(0u, receipt.find("DELIVER 4 447700900123 - " + id + " id:" + id + " ")) << client.Seen();
    EXPECT_EQ(2000, config::DebitCredit("ann", nullptr, 0, true));
    ASSERT_EQ(1u, Flags().size());
    EXPECT_NE(std::string::npos, Flags()[0].find("-T-ann.FLG")) << Flags()[0];
    EXPECT_TRUE(platform::IsFileLocked(dir_ + "SMPPData/ActiveUsers/" + Flags()[0]));
    EXPECT_NE(std::string::npos, Outcome(id).find(",OK,")) << Log("SMSOUT");
}

TEST_F(SmppServerScenario, TlsClientsBindAndSubmitOnTheSslPortWithTheGatewaysCertificate) {
    const std::string make = "openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=localhost -keyout " + dir_ +
                             "SSL.KEY -out " + dir_ + "SSL.CRT >/dev/null 2>&1";
    ASSERT_EQ(0, std::system(make.c_str()));
    unsigned tlsPort = 0;
    {
        zella_test::HeldPort probe;
        tlsPort = probe.port;
    }
    platform::WritePrivateProfileString(Ini(), "ZELLA", "SMPPPortSSL", std::to_string(tlsPort));
    Smsc smsc;
    SmppConnection(smsc.Port());
    AddUser("tina", "pw");
    ASSERT_TRUE(Start());
    SmppClient client(tlsPort, "tina", "pw", {"--tls", "--submit", "447700900777", "Over TLS"});
    ASSERT_EQ("BIND_RESP 0", client.Next("BIND_RESP")) << client.Seen();
    EXPECT_EQ(0u, client.Next("SUBMIT_RESP").find("SUBMIT_RESP 0 C")) << client.Seen();
    const auto submits = smsc.Lines("SUBMIT", 1);
    ASSERT_EQ(1u, submits.size());
    EXPECT_NE(std::string::npos, submits[0].find(" 447700900777 0 0 0 4f76657220544c53")) << submits[0];
    // The session is seen with the client's own address, not the local pair's.
    ASSERT_EQ(1u, Flags().size());
    EXPECT_EQ(0u, Flags()[0].find("127.0.0.1-")) << Flags()[0];
}

TEST_F(SmppServerScenario, MessagesRoutedToAnAccountReachItsReceiverAndAreThenStored) {
    Smsc smsc({"--mo", "for the shop"});
    SmppConnection(smsc.Port(), {"Receive=Yes", "RouteLocal=shop"});
    AddUser("shop", "pw");
    {
        acctdb::UserHandle store = 0;
        ASSERT_TRUE(acctdb::SMSOpenUserFile(&store, acctdb::GENERIC_READ | acctdb::GENERIC_WRITE));
        acctdb::UserRecord r;
        ASSERT_TRUE(acctdb::SMSFindUserRecord(store, "shop", &r));
        r.SetAcceptReceived(true);
        acctdb::SMSAddUser(store, r);
        acctdb::SMSCloseUserFile(store);
    }
    ASSERT_TRUE(Start());
    // Received before the account's receiver is there: it waits for it.
    ASSERT_TRUE(Eventually([&] {
        for (const auto& d : platform::ListDirectory(dir_ + "SMS-IN/"))
            if (d.isDirectory && !platform::ListDirectory(dir_ + "SMS-IN/" + d.name + "/", "*.REC").empty()) return true;
        return false;
    })) << Log("SMSIN");
    SmppClient client(port_, "shop", "pw", {"--bind", "receiver"});
    ASSERT_EQ("BIND_RESP 0", client.Next("BIND_RESP")) << client.Seen();
    EXPECT_EQ("DELIVER 0 4470000001 4470000002 - for the shop", client.Next("DELIVER")) << client.Seen();
    EXPECT_TRUE(Eventually([&] { return Received().size() == 1; }));
    EXPECT_EQ("", client.Next("DELIVER", 3000)) << client.Seen();  // once only
}

TEST_F(SmppServerScenario, PerlNetSmppBindsSubmitsAndUnbinds) {
    Smsc smsc;
    SmppConnection(smsc.Port());
    AddUser("erin-x", "longer than eight");
    ASSERT_TRUE(Start());
    zella_test::PeerProcess perl("perl", {std::string(ZELLA_PEERS_DIR) + "/net_smpp_client.pl", std::to_string(port_),
                                          "erin-x", "longer than eight", "447700900222", "From Perl"});
    EXPECT_EQ("BIND_RESP 0", perl.ReadLine());
    const std::string submit = perl.ReadLine();
    EXPECT_EQ(0u, submit.find("SUBMIT_RESP 0 C")) << submit;
    EXPECT_EQ("UNBIND_RESP 0", perl.ReadLine());
    const auto submits = smsc.Lines("SUBMIT", 1);
    ASSERT_EQ(1u, submits.size());
    EXPECT_NE(std::string::npos, submits[0].find(" 447700900222 0 0 0 46726f6d205065726c")) << submits[0];
    // The session ended: its flag file went with it.
    EXPECT_TRUE(Eventually([&] { return Flags().empty(); })) << ::testing::PrintToString(Flags());
}

TEST_F(SmppServerScenario, AnAnswerComesOnlyOnceItsRequestIsInTheQueueAndBeforeTheUnbindsAnswer) {
    AddUser("fay", "pw");
    ASSERT_TRUE(Start());
    RawClient c(port_);
    c.Send(Bind("fay", "pw", smpplnk::kBindTransmitter));
    ASSERT_EQ(0u, c.Read().status);
    smpplnk::MessageRequest m;
    m.destination = "447700900555";
    m.shortMessage = "queued first";
    std::string submit, submit2;
    ASSERT_EQ(0, smpplnk::EncodeMessage(m, 20, submit));
    ASSERT_EQ(0, smpplnk::EncodeMessage(m, 21, submit2));
    // Two messages and the unbind in one write: both answers, in order, then the unbind's.
    c.Send(submit + submit2 + Pdu(smpplnk::kUnbind, 22));
    for (std::uint32_t sequence : {20u, 21u}) {
        std::string pdu;
        const smpplnk::Header h = c.Read(&pdu);
        EXPECT_EQ(smpplnk::kSubmitSm | smpplnk::kResponseBit, h.id);
        EXPECT_EQ(sequence, h.sequence);
        ASSERT_EQ(0u, h.status);
        const std::string id = pdu.substr(smpplnk::kHeaderSize, pdu.find('\0', smpplnk::kHeaderSize) - smpplnk::kHeaderSize);
        const std::string request = dir_ + "Q/USER__fay/" + id + ".REQ";
        EXPECT_EQ("447700900555", platform::GetPrivateProfileString(request, "SMS", "PhoneNumber", "")) << request;
    }
    const smpplnk::Header h = c.Read();
    EXPECT_EQ(smpplnk::kUnbind | smpplnk::kResponseBit, h.id);
    EXPECT_EQ(22u, h.sequence);
    EXPECT_TRUE(c.Closed());
}

TEST_F(SmppServerScenario, StatusBytesTellAPortInUseUntilTheServerCanListen) {
    auto held = std::make_unique<zella_test::HeldPort>();
    fcntl(held->fd, F_SETFD, FD_CLOEXEC);  // held by this test only, not by the service it starts
    platform::WritePrivateProfileString(Ini(), "ZELLA", "SMPPPort", std::to_string(held->port));
    ASSERT_TRUE(Start());
    platform::GatewayStatusBytes status = platform::ReadGatewayStatus();
    EXPECT_TRUE(status.opened);
    EXPECT_TRUE(status.smppPortInUse);
    EXPECT_FALSE(status.smppServerRunning);
    EXPECT_NE(std::string::npos, Events().find("SMPP server cannot listen on port " + std::to_string(held->port)));
    held.reset();  // the port comes free: the server takes it at its next try
    EXPECT_TRUE(Eventually([&] {
        status = platform::ReadGatewayStatus();
        return status.smppServerRunning && !status.smppPortInUse;
    }, 20'000)) << Events();
}

TEST_F(SmppServerScenario, MisbehavingClientsAreRefusedAndOthersStillServed) {
    AddUser("bob", "right");
    platform::WritePrivateProfileString(Ini(), "ZELLA", "SMPPServerMaxConnectionsPerUser", "1");
    ASSERT_TRUE(Start());
    {
        RawClient c(port_);
        ASSERT_TRUE(c.Open());
        // Unknown command: generic_nack, the session goes on; a submit before a bind is
        // refused for the bind state.
        c.Send(Pdu(0x99, 1));
        smpplnk::Header h = c.Read();
        EXPECT_EQ(smpplnk::kGenericNack, h.id);
        EXPECT_EQ(0x03u, h.status);
        EXPECT_EQ(1u, h.sequence);
        c.Send(Pdu(smpplnk::kSubmitSm, 2, std::string(17, '\0')));
        h = c.Read();
        EXPECT_EQ(smpplnk::kSubmitSm | smpplnk::kResponseBit, h.id);
        EXPECT_EQ(smpplnk::kStatusIncorrectBindStatus, h.status);
        // A length no PDU has: refused, and the stream cannot be followed any further.
        c.Send(std::string("\xFF\xFF\xFF\xFF\x00\x00\x00\x04\x00\x00\x00\x00\x00\x00\x00\x03", 16));
        h = c.Read();
        EXPECT_EQ(smpplnk::kGenericNack, h.id);
        EXPECT_EQ(smpplnk::kStatusInvalidCommandLength, h.status);
        EXPECT_TRUE(c.Closed());
    }
    // Wrong passwords: each refused and logged; after five, this address is refused even
    // with the right one.
    for (int i = 0; i < 5; ++i) {
        RawClient c(port_);
        c.Send(Bind("bob", "wrong" + std::to_string(i)));
        EXPECT_EQ(smpplnk::kStatusInvalidPassword, c.Read().status) << i;
        EXPECT_TRUE(c.Closed());
    }
    {
        RawClient c(port_);
        c.Send(Bind("bob", "right"));
        EXPECT_EQ(smpplnk::kStatusBindFailed, c.Read().status);
    }
    std::string events = Events();
    std::size_t wrong = 0;
    for (std::size_t at = events.find("wrong password"); at != std::string::npos; at = events.find("wrong password", at + 1))
        ++wrong;
    EXPECT_EQ(5u, wrong) << events;
    EXPECT_NE(std::string::npos, events.find("too many failed binds from this address")) << events;
}

TEST_F(SmppServerScenario, AClientThatNeverReadsDoesNotStopTheOthers) {
    AddUser("carol", "pw");
    AddUser("dave", "pw");
    platform::WritePrivateProfileString(Ini(), "ZELLA", "SMPPServerMaxConnectionsPerUser", "1");
    ASSERT_TRUE(Start());
    RawClient greedy(port_);
    greedy.Send(Bind("carol", "pw"));
    ASSERT_EQ(0u, greedy.Read().status);
    // Requests whose answers it never reads, far beyond what the server keeps for it.
    std::string burst;
    for (int i = 0; i < 4096; ++i) burst += Pdu(smpplnk::kEnquireLink, 100 + i);
    for (int i = 0; i < 64; ++i)
        if (!greedy.Send(burst)) break;  // the server stopped reading: our sends fill up and time out
    // The account allows one session, and its one session is still there.
    RawClient second(port_);
    second.Send(Bind("carol", "pw"));
    EXPECT_EQ(smpplnk::kStatusBindFailed, second.Read().status);
    RawClient other(port_);
    other.Send(Bind("dave", "pw", smpplnk::kBindReceiver));
    EXPECT_EQ(0u, other.Read().status);
    other.Send(Pdu(smpplnk::kUnbind, 9));
    const smpplnk::Header h = other.Read();
    EXPECT_EQ(smpplnk::kUnbind | smpplnk::kResponseBit, h.id);
    EXPECT_TRUE(other.Closed());
}

}  // namespace
}  // namespace gateway_test
