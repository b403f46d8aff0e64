// libsmpplnk.so against an SMSC built on the npm package `smpp` (tests/peers): every
// bind type and interface version, a refusal, an SMSC enquire_link, faulty SMSCs, fields
// over their SMPP maxima and bad host and port input, in one walk.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/tcp_socket.h"
#include "smpplnk/smpplnk_ext.h"
#include "tests/support/peer_process.h"
#include "tests/libs/smpplnk/smpp_test_support.h"

namespace smpplnk_test {

using zella_test::PeerProcess;
namespace {

const std::string kPeers = ZELLA_PEERS_DIR;

bool InPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "";
    for (std::size_t start = 0; start <= dirs.size();) {
        const auto end = std::min(dirs.find(':', start), dirs.size());
        if (access((dirs.substr(start, end - start) + "/" + program).c_str(), X_OK) == 0)
            return true;
        start = end + 1;
    }
    return false;
}

platform::UniqueFd Connected(const std::string& host, unsigned port) {
    platform::UniqueFd fd = platform::OpenStreamSocket(0);
    EXPECT_EQ(0, SMPPConnect(fd.Get(), 0, host.c_str(), port)) << host;
    return fd;
}

int Bind(int fd, int version, int type, const char* id, const char* password,
         const char* systemType = "") {
    return SMPPBind(fd, nullptr, 0, version, type, id, password, systemType);
}

int Submit(int fd, const std::string& from, const std::string& to, const std::string& text,
           std::string* id = nullptr) {
    char messageId[66] = "untouched";
    const int rc = SMPPSubmitMessage(fd, nullptr, 0, 0x34, from.c_str(), to.c_str(), 0,
                                     reinterpret_cast<const unsigned char*>(text.data()),
                                     static_cast<int>(text.size()), messageId, sizeof messageId);
    if (id) *id = messageId;
    return rc;
}

class NpmSmsc : public ::testing::Test {
protected:
    void SetUp() override {
        if (!InPath("node") ||
            !std::filesystem::exists(kPeers + "/node_modules/smpp/package.json")) {
            GTEST_SKIP() << "node or the npm package smpp is not installed (scripts/setup.sh)";
        }
        peer_ = std::make_unique<PeerProcess>("node",
                                              std::vector<std::string>{kPeers + "/smpp_smsc.js"});
        port_ = peer_->ListeningPort();
        ASSERT_NE(0u, port_);
    }
    void TearDown() override { SMPPSetTimeouts(0, 0); }

    ScratchGateway gateway_{"AddressRange=^44\nBindTON=1\nBindNPI=1\n"};
    std::unique_ptr<PeerProcess> peer_;
    unsigned port_ = 0;
};

TEST_F(NpmSmsc, EveryBindTypeAndVersionIsAcceptedAndUnbinds) {
    SMPPSetDebugMode(1);
    const char* commands[] = {"", "bind_receiver", "bind_transmitter"};
    for (int version : {0x33, 0x34}) {
        for (int type : {1, 2, 9}) {
            SCOPED_TRACE(std::to_string(version) + "/" + std::to_string(type));
            platform::UniqueFd fd = Connected("127.0.0.1#2", port_);
            ASSERT_EQ(0, Bind(fd.Get(), version, type, "smppclient1", "password", "VMA"));
            const std::string command = type == 9 ? "bind_transceiver" : commands[type];
            char versionText[8];
            std::snprintf(versionText, sizeof versionText, "%x", version);
            EXPECT_EQ("BIND " + command + " " + versionText + " smppclient1 VMA 1 1 ^44",
                      peer_->ReadLine());
            if (type != 1) {
                std::string id;
                EXPECT_EQ(0, Submit(fd.Get(), "Zella", "+447700900123", "hello", &id));
                EXPECT_EQ(0u, id.rfind("m-", 0)) << id;
                EXPECT_EQ("SUBMIT 5 Zella 1 447700900123 0 hello", peer_->ReadLine());
            }
            EXPECT_EQ(0, SMPPUnbind(fd.Get(), nullptr, 0, version));
            EXPECT_EQ("UNBIND", peer_->ReadLine());
        }
    }
    SMPPSetDebugMode(0);
    const std::string trace = gateway_.TraceText();
    EXPECT_NE(std::string::npos, trace.find("receive bind_transceiver_resp")) << trace;
    EXPECT_EQ(std::string::npos, trace.find("password")) << "the trace never carries a password";
}

TEST_F(NpmSmsc, RefusalsAndFaultySmscsEndInTheirTexts) {
    SMPPSetTimeouts(5000, 1500);
    struct Case {
        const char* systemId;
        const char* password;
        int expected;
        const char* text;
    } cases[] = {
        {"smppclient1", "wrong", 0x0E, "Invalid password (ESME_RINVPASWD, 0x0000000E)"},
        {"enquire", "password", 0, "No error (ESME_ROK, 0x00000000)"},
        {"silent", "x", -1, "No response from the SMPP server (timed out)"},
        {"midpdu", "x", -2, "The SMPP server closed the connection"},
        {"garbage", "x", -6, "The SMPP server sent a PDU with an invalid command length"},
        {"oversized", "x", -6, "The SMPP server sent a PDU with an invalid command length"},
        {"badseq", "x", -7, "The SMPP server sent an unexpected response"},
        {"nack", "x", 3, "Invalid command ID (ESME_RINVCMDID, 0x00000003)"},
        {"malformed", "x", -5, "The SMPP server sent a malformed response"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.systemId);
        platform::UniqueFd fd = Connected("127.0.0.1", port_);
        const int rc = Bind(fd.Get(), 0x34, 2, c.systemId, c.password);
        EXPECT_EQ(c.expected, rc);
        EXPECT_EQ(c.text, ErrorText(rc));
        EXPECT_EQ(0u,
                  peer_->ReadLine().find(std::string("BIND bind_transmitter 34 ") + c.systemId));
        if (c.expected == 0) {
            EXPECT_EQ("ENQUIRE_LINK_RESP", peer_->ReadLine());
        }
    }
}

TEST_F(NpmSmsc, FieldsOverTheirMaximaNeverReachTheWire) {
    platform::UniqueFd fd = Connected("127.0.0.1", port_);
    EXPECT_EQ(-10, Bind(fd.Get(), 0x34, 2, "smppclient1-long", "password"));
    EXPECT_EQ(-11, Bind(fd.Get(), 0x34, 2, "smppclient1", "password9"));
    EXPECT_EQ(-12, Bind(fd.Get(), 0x34, 2, "smppclient1", "password", "system-type13"));
    EXPECT_EQ(-15, Bind(fd.Get(), 0x50, 2, "smppclient1", "password"));
    EXPECT_EQ(-16, Bind(fd.Get(), 0x34, 3, "smppclient1", "password"));
    gateway_.WriteSection("AddressRange=" + std::string(41, '4') + "\n");
    EXPECT_EQ(-13, Bind(fd.Get(), 0x34, 2, "smppclient1", "password"));
    gateway_.WriteSection("BindTON=256\n");
    EXPECT_EQ(-14, Bind(fd.Get(), 0x34, 2, "smppclient1", "password"));
    gateway_.WriteSection("BindNPI=one\n");
    EXPECT_EQ(-14, Bind(fd.Get(), 0x34, 2, "smppclient1", "password"));
    EXPECT_EQ("User name (system_id) is longer than 15 characters", ErrorText(-10));
    EXPECT_EQ("Password is longer than 8 characters", ErrorText(-11));

    // The limits themselves pass, and the SMSC's first sight of this connection is them.
    gateway_.WriteSection("AddressRange=" + std::string(40, '4') + "\n");
    ASSERT_EQ(0, Bind(fd.Get(), 0x34, 2, "smppclient1", "password", "systemtype12"));
    EXPECT_EQ("BIND bind_transmitter 34 smppclient1 systemtype12 0 0 " + std::string(40, '4'),
              peer_->ReadLine());

    EXPECT_EQ(-17, Submit(fd.Get(), std::string(21, '1'), "123", "x"));
    EXPECT_EQ(-18, Submit(fd.Get(), "123", std::string(21, '2'), "x"));
    EXPECT_EQ(-19, Submit(fd.Get(), "123", "456", std::string(254, 'x')));
    EXPECT_EQ(0,
              Submit(fd.Get(), std::string(20, '1'), std::string(20, '2'), std::string(253, 'x')));
    EXPECT_EQ("SUBMIT 0 " + std::string(20, '1') + " 0 " + std::string(20, '2') + " 0 " +
                  std::string(253, 'x'),
              peer_->ReadLine());
}

TEST_F(NpmSmsc, BadHostsAndPortsAreRefusedBeforeConnecting) {
    platform::UniqueFd fd = platform::OpenStreamSocket(0);
    EXPECT_EQ(EINVAL, SMPPConnect(fd.Get(), 0, std::string(149, 'a').c_str(), port_));
    EXPECT_EQ(EINVAL, SMPPConnect(fd.Get(), 0, "127.0.0.1", 0));
    EXPECT_EQ(EINVAL, SMPPConnect(fd.Get(), 0, "127.0.0.1", 65536));
    EXPECT_EQ(EINVAL, SMPPConnect(fd.Get(), 0, "[::1", port_));
    EXPECT_EQ(EINVAL, SMPPConnect(fd.Get(), 0, "", port_));
    EXPECT_EQ(EINVAL, SMPPConnect(fd.Get(), 0, nullptr, port_));
    EXPECT_NE(0, SMPPConnect(-1, 0, "127.0.0.1", port_));
    EXPECT_EQ(-24, Bind(-1, 0x34, 2, "smppclient1", "password"));
    // An IPv6 literal in brackets, with a duplicate suffix, reaches an IPv6 listener.
    platform::UniqueFd listener(socket(AF_INET6, SOCK_STREAM, 0));
    sockaddr_in6 a{};
    a.sin6_family = AF_INET6;
    a.sin6_addr = in6addr_loopback;
    if (bind(listener.Get(), reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        GTEST_SKIP() << "no IPv6 loopback here";
    }
    listen(listener.Get(), 1);
    socklen_t size = sizeof a;
    getsockname(listener.Get(), reinterpret_cast<sockaddr*>(&a), &size);
    platform::UniqueFd v6 = platform::OpenStreamSocket(0);
    EXPECT_EQ(0, SMPPConnect(v6.Get(), 0, "[::1]#3", ntohs(a.sin6_port)));
}

}  // namespace
}  // namespace smpplnk_test
