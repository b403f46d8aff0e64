// libsmpplnk.so against drive_smpp of kannel-extras. That simulator is an SMPP 3.3-era
// SMSC: it takes one ESME connection per run, binds transmitters and receivers whatever
// their credentials, leaves bind_transceiver unanswered (the client's time-out ends the
// wait), and cannot refuse a bind (refusals are the npm peer's part). Once an ESME is connected it
// also dials a bearerbox on 127.0.0.1:13001 and aborts when none answers, so the test holds that
// port for it while it can.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "platform/tcp_socket.h"
#include "smpplnk/smpplnk_ext.h"
#include "tests/support/peer_process.h"
#include "tests/libs/smpplnk/smpp_test_support.h"
#include "tests/support/held_port.h"

namespace smpplnk_test {

using zella_test::PeerProcess;
namespace {

const std::string kDriveSmpp = "/usr/lib/kannel/test/drive_smpp";

// A listening socket on 127.0.0.1:`port`; closed (and harmless) when the port is taken.
platform::UniqueFd ListenOn(unsigned port) {
    platform::UniqueFd fd(socket(AF_INET, SOCK_STREAM, 0));
    int on = 1;
    setsockopt(fd.Get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(fd.Get(), reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        listen(fd.Get(), 4) != 0) {
        fd.Reset();
    }
    return fd;
}

unsigned FreePort() {
    zella_test::HeldPort held;
    return held.port;
}

// Starts drive_smpp on a free port and connects to it as soon as it listens (its one
// accepted connection is this one); an invalid descriptor when it never listened.
platform::UniqueFd StartAndConnect(std::unique_ptr<PeerProcess>& peer) {
    const unsigned port = FreePort();
    peer = std::make_unique<PeerProcess>(
        kDriveSmpp, std::vector<std::string>{"-v", "4", "-m", "1", "-p", std::to_string(port)},
        true);
    for (int attempt = 0; attempt < 100; ++attempt) {
        platform::UniqueFd fd = platform::OpenStreamSocket(0);
        if (SMPPConnect(fd.Get(), 0, "127.0.0.1", port) == 0) return fd;
        usleep(100'000);
    }
    return platform::UniqueFd();
}

TEST(DriveSmppSmsc, BindsTransmittersAndReceiversAndLeavesTransceiversUnanswered) {
    if (access(kDriveSmpp.c_str(), X_OK) != 0) GTEST_SKIP() << "kannel-extras is not installed";
    ScratchGateway gateway;
    SMPPSetTimeouts(5000, 2000);
    platform::UniqueFd bearerbox = ListenOn(13001);
    struct Case {
        int version;
        int type;
        int bindResult;
    } cases[] = {{0x34, 2, 0}, {0x33, 2, 0}, {0x34, 1, 0}, {0x33, 1, 0}, {0x34, 9, -1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.version) + "/" + std::to_string(c.type));
        std::unique_ptr<PeerProcess> peer;
        platform::UniqueFd fd = StartAndConnect(peer);
        ASSERT_TRUE(fd.Valid()) << "drive_smpp did not listen";
        const int rc = SMPPBind(fd.Get(), nullptr, 0, c.version, c.type, "anyone", "any", "");
        EXPECT_EQ(c.bindResult, rc) << ErrorText(rc);
        if (rc != 0) continue;
        if (c.type == 2) {
            char id[66] = "untouched";
            EXPECT_EQ(0, SMPPSubmitMessage(fd.Get(), nullptr, 0, c.version, "123", "456", 0,
                                           reinterpret_cast<const unsigned char*>("hi"), 2, id,
                                           sizeof id));
            EXPECT_STRNE("untouched", id);
        }
        EXPECT_EQ(0, SMPPUnbind(fd.Get(), nullptr, 0, c.version));
    }
    SMPPSetTimeouts(0, 0);
}

}  // namespace
}  // namespace smpplnk_test
