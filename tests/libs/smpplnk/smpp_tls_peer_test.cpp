// libsmpplnk.so over TLS sessions of libtlslnk.so against the npm `smpp` SMSC behind
// Node's TLS, with a self-signed certificate made for the test. Without the TLS library
// in the program directory a session handle is refused before it is ever used.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/dynlib.h"
#include "platform/tcp_socket.h"
#include "smpplnk/smpplnk_ext.h"
#include "tests/support/peer_process.h"
#include "tests/libs/smpplnk/smpp_test_support.h"
#include "tlslnk/tlslnk.h"

namespace smpplnk_test {

using zella_test::PeerProcess;
namespace {

const std::string kBin = std::string(ZELLA_BIN_DIR) + "/";
const std::string kPeers = ZELLA_PEERS_DIR;

TEST(SmppOverTls, WithoutTheTlsLibraryASessionIsRefusedUntouched) {
    if (std::filesystem::exists(kBin + "libtlslnk.so"))
        GTEST_SKIP() << "the TLS library is present";
    ScratchGateway gateway;
    platform::UniqueFd fd = platform::OpenStreamSocket(0);
    int dummy = 0;  // never dereferenced: the library is missing, so no session can be valid
    EXPECT_EQ(-21, SMPPBind(fd.Get(), &dummy, 0, 0x34, 2, "smppclient1", "password", ""));
    EXPECT_EQ("SSL/TLS library is not available", ErrorText(-21));
    EXPECT_EQ(-21, SMPPUnbind(fd.Get(), &dummy, 0, 0x34));
}

TEST(SmppOverTls, BindsSubmitsAndRefusesThroughATlsSession) {
    if (!std::filesystem::exists(kBin + "libtlslnk.so"))
        GTEST_SKIP() << "libtlslnk.so is not built";
    if (!std::filesystem::exists(kPeers + "/node_modules/smpp/package.json")) {
        GTEST_SKIP() << "the npm package smpp is not installed (scripts/setup.sh)";
    }
    ScratchGateway gateway;
    zella_test::TempDir certs("smpptls");
    const std::string key = certs.File("key.pem"), cert = certs.File("cert.pem");
    const std::string make =
        "openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=localhost -keyout " + key +
        " -out " + cert + " >/dev/null 2>&1";
    if (std::system(make.c_str()) != 0) GTEST_SKIP() << "openssl could not make a certificate";

    platform::DynamicLibrary tls;
    ASSERT_TRUE(tls.LoadPath(kBin + "libtlslnk.so")) << tls.Error();
    auto init = tls.Function<decltype(&::sslInitLib)>("sslInitLib");
    auto openSession = tls.Function<decltype(&::sslInitSession)>("sslInitSession");
    auto freeSession = tls.Function<decltype(&::sslFreeSession)>("sslFreeSession");
    ASSERT_TRUE(init && openSession && freeSession);
    ASSERT_NE(0, init());
    // sslRecv waits for data under the TLS library's own bound; keep it as short as ours.
    using SetTimeout = void (*)(int);
    if (auto setTimeout = tls.Function<SetTimeout>("sslSetTimeout")) setTimeout(1500);

    PeerProcess peer("node", {kPeers + "/smpp_smsc.js", "--tls", key, cert});
    const unsigned port = peer.ListeningPort();
    ASSERT_NE(0u, port);
    SMPPSetTimeouts(5000, 1500);
    struct Case {
        const char* systemId;
        const char* password;
        int expected;
    } cases[] = {
        {"smppclient1", "password", 0}, {"smppclient1", "wrong", 0x0E}, {"silent", "x", -1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.systemId);
        platform::UniqueFd fd = platform::OpenStreamSocket(0);
        ASSERT_EQ(0, SMPPConnect(fd.Get(), 0, "127.0.0.1", port));
        char buffer[512] = "127.0.0.1";
        void* session = openSession(fd.Get(), buffer, sizeof buffer);
        ASSERT_NE(nullptr, session) << buffer;
        EXPECT_EQ(c.expected, SMPPBind(fd.Get(), session, 0, 0x34, 9, c.systemId, c.password, ""));
        EXPECT_EQ(0u, peer.ReadLine().find(std::string("BIND bind_transceiver 34 ") + c.systemId));
        if (c.expected == 0) {
            char id[66] = "";
            EXPECT_EQ(0, SMPPSubmitMessage(fd.Get(), session, 0, 0x34, "Zella", "123", 0,
                                           reinterpret_cast<const unsigned char*>("tls"), 3, id,
                                           sizeof id));
            EXPECT_EQ("SUBMIT 5 Zella 0 123 0 tls", peer.ReadLine());
            EXPECT_EQ(0, SMPPUnbind(fd.Get(), session, 0, 0x34));
            EXPECT_EQ("UNBIND", peer.ReadLine());
        }
        freeSession(session);
    }
    SMPPSetTimeouts(0, 0);
}

}  // namespace
}  // namespace smpplnk_test
