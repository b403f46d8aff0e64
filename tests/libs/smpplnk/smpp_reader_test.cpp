// The reply reader of libsmpplnk.so against scripted SMSC replies on a socket pair: one
// table of what an SMSC may send after a bind and what SMPPBind must make of it, and
// the error texts of every command status.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <thread>

#include "platform/files.h"
#include "platform/unique_fd.h"
#include "smpplnk/smpplnk_ext.h"
#include "tests/libs/smpplnk/smpp_test_support.h"
#include "tests/platform/planted_files.h"

namespace smpplnk_test {
namespace {

constexpr std::uint32_t kSeqPlaceholder = 0xFFFFFFFFu;  // replaced by the bind's sequence

struct ReplyCase {
    const char* name;
    std::string reply;       // bytes the SMSC sends; kSeqPlaceholder marks the sequence
    int expected;            // SMPPBind's result
    std::string expectBack;  // what the client must answer before finishing (hex-free bytes)
};

std::string WithSequence(std::string bytes, std::uint32_t sequence) {
    const std::string mark = Be32(kSeqPlaceholder);
    for (auto at = bytes.find(mark); at != std::string::npos; at = bytes.find(mark, at + 4)) {
        bytes.replace(at, 4, Be32(sequence));
    }
    return bytes;
}

std::string ReadExactly(int fd, std::size_t size) {
    std::string out(size, '\0');
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = read(fd, out.data() + done, size - done);
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    out.resize(done);
    return out;
}

std::uint32_t U32At(const std::string& s, std::size_t at) {
    auto b = [&](std::size_t i) {
        return static_cast<std::uint32_t>(static_cast<unsigned char>(s[at + i]));
    };
    return (b(0) << 24) | (b(1) << 16) | (b(2) << 8) | b(3);
}

const std::uint32_t kResp = 0x80000002u;  // bind_transmitter_resp
const std::uint32_t S = kSeqPlaceholder;

std::vector<ReplyCase> Cases() {
    return {
        {"accepted", Pdu(21, kResp, 0, S, std::string("smsc\0", 5)), 0, ""},
        {"accepted, 3.4 TLV", Pdu(26, kResp, 0, S, std::string("smsc\0\x02\x10\x00\x01\x34", 10)),
         0, ""},
        {"accepted, bare header", Pdu(16, kResp, 0, S), 0, ""},
        {"refused, invalid password", Pdu(16, kResp, 0x0E, S), 0x0E, ""},
        {"refused with a body", Pdu(21, kResp, 0x0F, S, std::string("smsc\0", 5)), 0x0F, ""},
        {"length below the header", Pdu(15, kResp, 0, S), -6, ""},
        {"length of 2 GB", Pdu(0x7FFFFFF0u, kResp, 0, S), -6, ""},
        {"garbage text", "HTTP/1.1 400 Bad Request\r\n\r\n", -6, ""},
        {"closed mid-header", Pdu(21, kResp, 0, S).substr(0, 9), -2, ""},
        {"closed mid-body", Pdu(40, kResp, 0, S, "smsc"), -2, ""},
        {"system_id without NUL", Pdu(20, kResp, 0, S, "smsc"), -5, ""},
        {"system_id over 16 octets", Pdu(37, kResp, 0, S, std::string(20, 'x') + '\0'), -5, ""},
        {"another sequence", Pdu(21, kResp, 0, 77, std::string("smsc\0", 5)), -7, ""},
        {"another response", Pdu(16, 0x80000004u, 0, S), -7, ""},
        {"generic_nack", Pdu(16, 0x80000000u, 0x03, S), 3, ""},
        {"generic_nack, sequence 0", Pdu(16, 0x80000000u, 0x02, 0), 2, ""},
        {"generic_nack without status", Pdu(16, 0x80000000u, 0, S), -8, ""},
        {"enquire_link first", Pdu(16, 0x15, 0, 9) + Pdu(21, kResp, 0, S, std::string("smsc\0", 5)),
         0, Pdu(16, 0x80000015u, 0, 9)},
        {"deliver_sm first, kept at the SMSC",
         Pdu(17 + 16, 0x05, 0, 10, std::string(17, '\0')) + Pdu(16, kResp, 0, S), 0,
         Pdu(17, 0x80000005u, 0x64, 10, std::string(1, '\0'))},
        {"unknown request first", Pdu(16, 0x0103, 0, 11) + Pdu(16, kResp, 0, S), 0,
         Pdu(16, 0x80000000u, 0x03, 11)},
        {"unbind from the SMSC", Pdu(16, 0x06, 0, 12), -9, Pdu(16, 0x80000006u, 0, 12)},
        {"silence", "", -1, ""},
    };
}

TEST(SmppReplyReader, EveryReplyEndsInItsResult) {
    ScratchGateway gateway;
    SMPPSetTimeouts(0, 300);
    for (const ReplyCase& c : Cases()) {
        SCOPED_TRACE(c.name);
        int pair[2];
        ASSERT_EQ(0, socketpair(AF_UNIX, SOCK_STREAM, 0, pair));
        platform::UniqueFd client(pair[0]), smsc(pair[1]);
        int result = 12345;
        std::thread bind(
            [&] { result = SMPPBind(client.Get(), nullptr, 0, 0x34, 2, "test", "secret", ""); });
        const std::string request = ReadExactly(smsc.Get(), 33);
        ASSERT_EQ(33u, request.size());
        EXPECT_EQ(0x00000002u, U32At(request, 4));
        const std::string reply = WithSequence(c.reply, U32At(request, 12));
        ASSERT_EQ(static_cast<ssize_t>(reply.size()),
                  write(smsc.Get(), reply.data(), reply.size()));
        if (!c.expectBack.empty()) {
            EXPECT_EQ(c.expectBack, ReadExactly(smsc.Get(), c.expectBack.size()));
        }
        if (std::string(c.name).rfind("closed", 0) == 0) shutdown(smsc.Get(), SHUT_WR);
        bind.join();
        EXPECT_EQ(c.expected, result) << ErrorText(result);
    }
    SMPPSetTimeouts(0, 0);
}

TEST(SmppReplyReader, BindPduMatchesTheWireExample) {
    ScratchGateway gateway;
    int pair[2];
    ASSERT_EQ(0, socketpair(AF_UNIX, SOCK_STREAM, 0, pair));
    platform::UniqueFd client(pair[0]), smsc(pair[1]);
    int result = -100;
    std::thread bind(
        [&] { result = SMPPBind(client.Get(), nullptr, 0, 0x34, 2, "test", "secret", ""); });
    const std::string request = ReadExactly(smsc.Get(), 33);
    const std::string expected =
        Pdu(33, 2, 0, U32At(request, 12), std::string("test\0secret\0\0\x34\0\0\0", 17));
    EXPECT_EQ(expected, request);
    const std::string reply = Pdu(16, kResp, 0x0E, U32At(request, 12));
    write(smsc.Get(), reply.data(), reply.size());
    bind.join();
    EXPECT_EQ(0x0E, result);
}

// Nobody plants the SMPP trace file of a log folder open to everybody: as a FIFO, which
// must not hold the connection test, and as a link to a file of root's, which root's
// trace must not append to. The bind still ends in the SMSC's answer.
TEST(SmppReplyReader, TracePlantedAsFifoOrLinkNeitherHoldsTheBindNorWritesThrough) {
    if (!zella_test::RunningAsRoot()) GTEST_SKIP() << "needs root to play both sides";
    zella_test::TempDir victim("smpptrace");
    const std::string precious = victim.File("precious");
    ASSERT_TRUE(platform::WriteFileAtomic(precious, "root's\n"));
    ScratchGateway gateway;
    const std::string logs = acctdb::GetDebugLogDirectory();
    ASSERT_TRUE(zella_test::OpenToEverybody(logs.substr(0, logs.size() - 5)));
    ASSERT_TRUE(zella_test::OpenToEverybody(logs));
    SMPPSetDebugMode(1);
    for (const std::string& plant : std::vector<std::string>{"mkfifo", "ln -s " + precious}) {
        SCOPED_TRACE(plant);
        unlink((logs + "SMPPDEBUG.LOG").c_str());
        ASSERT_TRUE(zella_test::AsNobody(plant + " " + logs + "SMPPDEBUG.LOG"));
        const std::optional<int> result = zella_test::WithinHangGuard<int>([] {
            int pair[2];
            if (socketpair(AF_UNIX, SOCK_STREAM, 0, pair) != 0) return -100;
            platform::UniqueFd client(pair[0]), smsc(pair[1]);
            int bound = 12345;
            std::thread bind([&] { bound = SMPPBind(client.Get(), nullptr, 0, 0x34, 2, "test", "secret", ""); });
            const std::string request = ReadExactly(smsc.Get(), 33);
            const std::string reply = Pdu(16, kResp, 0x0E, request.size() == 33 ? U32At(request, 12) : 0);
            (void)!write(smsc.Get(), reply.data(), reply.size());
            bind.join();
            return bound;
        });
        ASSERT_TRUE(result.has_value()) << "the trace waited on a FIFO";
        EXPECT_EQ(0x0E, *result);
    }
    SMPPSetDebugMode(0);
    std::string content;
    ASSERT_TRUE(platform::ReadFile(precious, content));
    EXPECT_EQ("root's\n", content);
}

TEST(SmppErrorText, NamesEveryCommandStatus) {
    const std::pair<int, const char*> statuses[] = {
        {0x00, "ESME_ROK"},
        {0x01, "ESME_RINVMSGLEN"},
        {0x02, "ESME_RINVCMDLEN"},
        {0x03, "ESME_RINVCMDID"},
        {0x04, "ESME_RINVBNDSTS"},
        {0x05, "ESME_RALYBND"},
        {0x06, "ESME_RINVPRTFLG"},
        {0x07, "ESME_RINVREGDLVFLG"},
        {0x08, "ESME_RSYSERR"},
        {0x0A, "ESME_RINVSRCADR"},
        {0x0B, "ESME_RINVDSTADR"},
        {0x0C, "ESME_RINVMSGID"},
        {0x0D, "ESME_RBINDFAIL"},
        {0x0E, "ESME_RINVPASWD"},
        {0x0F, "ESME_RINVSYSID"},
        {0x11, "ESME_RCANCELFAIL"},
        {0x13, "ESME_RREPLACEFAIL"},
        {0x14, "ESME_RMSGQFUL"},
        {0x15, "ESME_RINVSERTYP"},
        {0x33, "ESME_RINVNUMDESTS"},
        {0x34, "ESME_RINVDLNAME"},
        {0x40, "ESME_RINVDESTFLAG"},
        {0x42, "ESME_RINVSUBREP"},
        {0x43, "ESME_RINVESMCLASS"},
        {0x44, "ESME_RCNTSUBDL"},
        {0x45, "ESME_RSUBMITFAIL"},
        {0x48, "ESME_RINVSRCTON"},
        {0x49, "ESME_RINVSRCNPI"},
        {0x50, "ESME_RINVDSTTON"},
        {0x51, "ESME_RINVDSTNPI"},
        {0x53, "ESME_RINVSYSTYP"},
        {0x54, "ESME_RINVREPFLAG"},
        {0x55, "ESME_RINVNUMMSGS"},
        {0x58, "ESME_RTHROTTLED"},
        {0x61, "ESME_RINVSCHED"},
        {0x62, "ESME_RINVEXPIRY"},
        {0x63, "ESME_RINVDFTMSGID"},
        {0x64, "ESME_RX_T_APPN"},
        {0x65, "ESME_RX_P_APPN"},
        {0x66, "ESME_RX_R_APPN"},
        {0x67, "ESME_RQUERYFAIL"},
        {0xC0, "ESME_RINVOPTPARSTREAM"},
        {0xC1, "ESME_ROPTPARNOTALLWD"},
        {0xC2, "ESME_RINVPARLEN"},
        {0xC3, "ESME_RMISSINGOPTPARAM"},
        {0xC4, "ESME_RINVOPTPARAMVAL"},
        {0xFE, "ESME_RDELIVERYFAILURE"},
        {0xFF, "ESME_RUNKNOWNERR"},
    };
    for (const auto& [code, name] : statuses) {
        EXPECT_NE(std::string::npos, ErrorText(code).find(name)) << code << ": " << ErrorText(code);
    }
    EXPECT_EQ("Invalid password (ESME_RINVPASWD, 0x0000000E)", ErrorText(0x0E));
    EXPECT_EQ("SMSC vendor specific error 0x00000401", ErrorText(0x401));
    EXPECT_EQ("Unknown SMPP error 0x00000009", ErrorText(0x09));
    EXPECT_EQ("No response from the SMPP server (timed out)", ErrorText(-1));
    for (int local = -1; local >= -24; --local) {
        EXPECT_EQ(std::string::npos, ErrorText(local).find("Unknown")) << local;
    }
    char small[5] = "xxxx";
    EXPECT_EQ(4, SMPPErrorText(0x0E, small, sizeof small));
    EXPECT_STREQ("Inva", small);
    EXPECT_EQ(0, SMPPErrorText(0x0E, small, 0));
}

}  // namespace
}  // namespace smpplnk_test
