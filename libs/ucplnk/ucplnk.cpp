// The UCP/EMI link: connect, and log in with session management (operation 60).
#include "ucplnk/ucplnk.h"

#include <atomic>
#include <cerrno>
#include <string>

#include "platform/tcp_socket.h"
#include "ucplnk/link_support.h"
#include "ucplnk/ucp_errors.h"
#include "ucplnk/ucp_frame.h"

namespace {

constexpr unsigned kDefaultTimeoutMs = 20000;
// A login answer is a few dozen characters; a longer one is refused rather than buffered.
constexpr std::size_t kMaxReplySize = 4096;
// Operations the server sends before answering (alerts, deliveries) that are skipped.
constexpr int kMaxSkippedOperations = 4;

std::atomic<bool> gDebug{false};
std::atomic<unsigned> gTimeoutMs{kDefaultTimeoutMs};
std::atomic<int> gNextTrn{0};

smsc_link::LastRefusal gLastRefusal;

// Reads frames until the result of operation 60 with transaction `trn`; 0 when it is a
// positive acknowledgement, else the code to report.
int AwaitLoginResult(platform::TcpSocket& socket, int trn, std::uint64_t deadline) {
    for (int skipped = 0; skipped <= kMaxSkippedOperations; ++skipped) {
        const std::uint64_t now = platform::SteadyMillis();
        if (now >= deadline) return ucp::kTimedOut;
        std::string text;
        const platform::IoResult r =
            socket.ReceiveUntil(text, std::string_view("\x03", 1), kMaxReplySize, deadline - now);
        if (!r.Ok()) return smsc_link::IoCode(r);
        if (gDebug) smsc_link::Trace("ucplnk", "<", text, {});
        ucp::Frame frame;
        switch (ucp::ParseFrame(text, &frame)) {
            case ucp::ParseError::None:
                break;
            case ucp::ParseError::BadChecksum:
                return ucp::kReplyChecksum;
            default:
                return ucp::kReplyMalformed;
        }
        if (frame.kind == 'O') continue;
        if (frame.ot != 60) return ucp::kReplyUnexpected;
        if (frame.trn != trn) return ucp::kReplyTrn;
        if (!frame.fields.empty() && frame.fields[0] == "A") return 0;
        if (frame.fields.size() < 2 || frame.fields[0] != "N" || frame.fields[1].size() != 2 ||
            frame.fields[1].find_first_not_of("0123456789") != std::string::npos)
            return ucp::kReplyMalformed;
        const int ec = std::stoi(frame.fields[1]);
        const int code = ec == 0 ? ucp::kRefusedNoCode : ec;
        gLastRefusal.Remember(code, frame.fields.size() > 2 ? frame.fields[2] : std::string());
        return code;
    }
    return ucp::kReplyUnexpected;
}

}  // namespace

extern "C" int UCPSetDebugMode(int on) {
    gDebug = on != 0;
    return 0;
}

extern "C" void UCPSetTimeout(unsigned milliseconds) {
    gTimeoutMs = milliseconds ? milliseconds : kDefaultTimeoutMs;
}

extern "C" int UCPConnect(int socket, int /*reserved*/, const char* host, unsigned port) {
    if (!host || !*host || port == 0 || port > 65535) return EINVAL;
    const std::string name = platform::WithoutDuplicateSuffix(host);
    if (name.empty()) return EINVAL;
    return platform::ConnectStreamSocket(socket, name, port, gTimeoutMs);
}

extern "C" int UCPBind(int socket, int /*reserved*/, const char* user, const char* password) {
    const std::string u = user ? user : "", p = password ? password : "";
    gLastRefusal.Remember(0, {});
    if (const int bad = smsc_link::LoginInputCode(ucp::CheckLoginInput(u, p))) return bad;
    smsc_link::BorrowedSocket borrowed(socket);
    platform::TcpSocket& s = borrowed.Socket();
    if (!s.IsOpen()) return ucp::kNotConnected;
    const int trn = gNextTrn.fetch_add(1) % 100;
    const std::string login = ucp::BuildLoginFrame(trn, u, p);
    if (gDebug) smsc_link::Trace("ucplnk", ">", login, ucp::IraHex(p));
    const std::uint64_t deadline = platform::SteadyMillis() + gTimeoutMs;
    const platform::IoResult sent = s.SendAll(login, gTimeoutMs);
    if (!sent.Ok()) return smsc_link::SendCode(sent);
    return AwaitLoginResult(s, trn, deadline);
}

extern "C" int UCPErrorText(int code, char* buffer, int size) {
    return smsc_link::CopyText(ucp::ErrorText(code, gLastRefusal.WordsFor(code)), buffer, size);
}
