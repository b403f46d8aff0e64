// The CIMD2 link: connect, log in (01/51) and log out (02/52).
#include "cimdlnk/cimdlnk.h"

#include <atomic>
#include <cerrno>
#include <string>

#include "cimdlnk/cimd_errors.h"
#include "cimdlnk/cimd_frame.h"
#include "platform/tcp_socket.h"
#include "ucplnk/link_support.h"

namespace {

constexpr unsigned kDefaultTimeoutMs = 20000;
// A login answer is a few dozen characters (an error text is at most 64); a longer one
// is refused rather than buffered.
constexpr std::size_t kMaxReplySize = 4096;
// Packets the server sends on its own before answering (alive, deliveries): skipped.
constexpr int kMaxSkippedPackets = 4;
// Client packet numbers are odd: the login is the first, the logout the next.
constexpr int kLoginNumber = 1, kLogoutNumber = 3;

std::atomic<bool> gDebug{false};
std::atomic<unsigned> gTimeoutMs{kDefaultTimeoutMs};

smsc_link::LastRefusal gLastRefusal;

// The code an answer carrying parameter 900 (and perhaps 901) stands for.
int RefusalCode(const cimd::Packet& answer) {
    const std::string* code = cimd::FindParameter(answer, cimd::kErrorCode);
    const std::string* text = cimd::FindParameter(answer, cimd::kErrorText);
    int result = cimd::kRejected;
    if (code) {
        if (code->empty() || code->size() > 3 ||
            code->find_first_not_of("0123456789") != std::string::npos)
            return cimd::kReplyMalformed;
        result = std::stoi(*code) == 0 ? cimd::kRejected : std::stoi(*code);
    }
    gLastRefusal.Remember(result, text ? *text : std::string());
    return result;
}

// Reads packets until the answer `response` to the request numbered `number`; 0 when
// it reports success, else the code to report.
int AwaitAnswer(platform::TcpSocket& socket, int response, int number, std::uint64_t deadline) {
    for (int skipped = 0; skipped <= kMaxSkippedPackets; ++skipped) {
        const std::uint64_t now = platform::SteadyMillis();
        if (now >= deadline) return cimd::kTimedOut;
        std::string text;
        const platform::IoResult r =
            socket.ReceiveUntil(text, std::string_view("\x03", 1), kMaxReplySize, deadline - now);
        if (!r.Ok()) return smsc_link::IoCode(r);
        if (gDebug) smsc_link::Trace("cimdlnk", "<", text, {});
        cimd::Packet answer;
        switch (cimd::ParseFrame(text, &answer)) {
            case cimd::ParseError::None:
                break;
            case cimd::ParseError::BadChecksum:
                return cimd::kReplyChecksum;
            default:
                return cimd::kReplyMalformed;
        }
        const bool nack =
            answer.operation == cimd::kNack || answer.operation == cimd::kGeneralError;
        if (answer.operation != response && !nack) {
            if (answer.number % 2 == 0) continue;  // the server's own request
            return cimd::kReplyUnexpected;
        }
        // A NACK may carry the number the server expected instead of ours.
        if (nack) return RefusalCode(answer);
        if (answer.number != number) return cimd::kReplyNumber;
        if (cimd::FindParameter(answer, cimd::kErrorCode)) return RefusalCode(answer);
        return 0;
    }
    return cimd::kReplyUnexpected;
}

// Sends `packet` and waits for its answer, all within the time-out.
int Exchange(int socket, const std::string& packet, int response, int number,
             std::string_view secret) {
    smsc_link::BorrowedSocket borrowed(socket);
    platform::TcpSocket& s = borrowed.Socket();
    if (!s.IsOpen()) return cimd::kNotConnected;
    if (gDebug) smsc_link::Trace("cimdlnk", ">", packet, secret);
    const std::uint64_t deadline = platform::SteadyMillis() + gTimeoutMs;
    const platform::IoResult sent = s.SendAll(packet, gTimeoutMs);
    if (!sent.Ok()) return smsc_link::SendCode(sent);
    return AwaitAnswer(s, response, number, deadline);
}

}  // namespace

extern "C" int CIMDSetDebugMode(int on) {
    gDebug = on != 0;
    return 0;
}

extern "C" void CIMDSetTimeout(unsigned milliseconds) {
    gTimeoutMs = milliseconds ? milliseconds : kDefaultTimeoutMs;
}

extern "C" int CIMDConnect(const char* /*reserved*/, int socket, const char* host, unsigned port) {
    if (!host || !*host || port == 0 || port > 65535) return EINVAL;
    const std::string name = platform::WithoutDuplicateSuffix(host);
    if (name.empty()) return EINVAL;
    return platform::ConnectStreamSocket(socket, name, port, gTimeoutMs);
}

extern "C" int CIMDBind(const char* /*reserved*/, int socket, const char* user,
                        const char* password) {
    const std::string u = user ? user : "", p = password ? password : "";
    gLastRefusal.Remember(0, {});
    if (const int bad = smsc_link::LoginInputCode(cimd::CheckLoginInput(u, p))) return bad;
    const std::string secret = p.empty() ? std::string() : "011:" + p;
    return Exchange(socket, cimd::BuildLoginPacket(kLoginNumber, u, p), cimd::kLoginResponse,
                    kLoginNumber, secret);
}

extern "C" int CIMDLogout(const char* /*reserved*/, int socket) {
    gLastRefusal.Remember(0, {});
    return Exchange(socket, cimd::BuildLogoutPacket(kLogoutNumber), cimd::kLogoutResponse,
                    kLogoutNumber, {});
}

extern "C" int CIMDErrorText(int code, char* buffer, int size) {
    return smsc_link::CopyText(cimd::ErrorText(code, gLastRefusal.WordsFor(code)), buffer, size);
}
