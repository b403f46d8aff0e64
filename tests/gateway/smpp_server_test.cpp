// zellant's SMPP server against clients that are not ours (the npm `smpp` client and
// Perl's Net::SMPP) and against a raw socket that misbehaves: binds, submissions that go
// out through an SMPP link, receipts back to the client, the flag files of the console's
// monitor, and refusals of what a client gets wrong.
#include "config/credit.h"
#include "platform/tcp_listener.h"
#include "platform/tcp_socket.h"
#include "smpplnk/smpp_server_pdu.h"
#include "tests/gateway/gateway_fixture.h"

namespace gateway_test {
namespace {

// A port nobody listens on now.
unsigned FreePort() {
    platform::UniqueFd fd = platform::ListenStream("127.0.0.1", 0, 1);
    return fd.Valid() ? platform::ListeningPort(fd.Get()) : 0;
}

class SmppClient {
public:
    SmppClient(unsigned port, const std::string& user, const std::string& password, std::vector<std::string> extra = {}) {
        std::vector<std::string> args{std::string(ZELLA_PEERS_DIR) + "/smpp_client.js", "--port", std::to_string(port),
                                      "--user", user, "--password", password};
        args.insert(args.end(), extra.begin(), extra.end());
        process_ = std::make_unique<zella_test::PeerProcess>("node", args);
    }
    // The next line beginning with `kind`, waiting up to `ms`; "" when none came.
    std::string Next(const std::string& kind, int ms = 15'000) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < until) {
            const std::string line = process_->ReadLine(200);
            if (!line.empty()) seen_ += line + "\n";
            if (line.rfind(kind, 0) == 0) return line;
        }
        return "";
    }
    const std::string& Seen() const { return seen_; }

private:
    std::unique_ptr<zella_test::PeerProcess> process_;
    std::string seen_;
};

class SmppServerScenario : public GatewayFixture {
protected:
    void SetUp() override {
        GatewayFixture::SetUp();
        port_ = FreePort();
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

}  // namespace
}  // namespace gateway_test
