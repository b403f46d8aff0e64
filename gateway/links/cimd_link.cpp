#include "gateway/links/cimd_link.h"

#include <cstdlib>

#include "cimdlnk/cimd_errors.h"
#include "cimdlnk/cimd_frame.h"
#include "gateway/links/cimd_text.h"
#include "gateway/links/ucp_cimd_session.h"

namespace gateway {
namespace {

// No CIMD2 packet the link expects comes near this; a longer one is a fault.
constexpr std::size_t kMaxPacket = 65536;

// Error codes that say "not now": the SMSC's connection or congestion, a failed
// operation the SMSC did not blame on the message.
bool TemporaryCimdError(int code) {
    switch (code) {
        case 4: case 5: case 6: case 9: case 10: return true;
        default: return false;
    }
}

// The SMSC refuses more than one outstanding packet.
bool WindowRefusal(int code) { return code == 1 || code == 104 || code == 105; }

class CimdLink final : public WindowedSmscLink<CimdParameters> {
public:
    // The worker runs this object's code until Stop returns.
    ~CimdLink() override { Stop(); }
    CimdLink(const ConnectionSettings& settings, LinkEvents& events, const SessionTimings& t)
        // Requests of the client use the odd packet numbers 001 to 255.
        : WindowedSmscLink(settings, events, t, "CIMD", 1, 2, 255, kMaxPacket) {}

protected:
    std::string Login() override;
    void Logout() override;
    bool Build(const OutboundMessage& m, unsigned char reference, std::vector<CimdParameters>& parts,
               std::string& error) override {
        return BuildCimdSubmits(m, ChooseSender(Settings(), m), Settings().Key("SenderPrefix", "", 150),
                                reference, parts, error);
    }
    std::string Encode(int number, const CimdParameters& part) override {
        return cimd::BuildPacket({cimd::kSubmit, number, part});
    }
    std::string EncodeKeepAlive(int number) override { return cimd::BuildPacket({cimd::kAlive, number, {}}); }
    std::string HandleFrame(const std::string& frame, bool answersOnly) override;
    std::string LocalError(int code) override { return cimd::ErrorText(code, ""); }

private:
    // Reads until the answer `operation` to packet `number` (or a NACK) is there.
    std::string Await(int operation, int number, cimd::Packet& answer, std::uint64_t ms);
    std::string Deliver(const cimd::Packet& p);
};

std::string CimdLink::Await(int operation, int number, cimd::Packet& answer, std::uint64_t ms) {
    const std::uint64_t deadline = platform::SteadyMillis() + ms;
    for (;;) {
        const std::uint64_t now = platform::SteadyMillis();
        std::string frame;
        if (std::string e = AwaitFrame(frame, now < deadline ? deadline - now : 0); !e.empty()) return e;
        const cimd::ParseError parsed = cimd::ParseFrame(frame, &answer);
        if (parsed == cimd::ParseError::BadChecksum) return cimd::ErrorText(cimd::kReplyChecksum, "");
        if (parsed != cimd::ParseError::None) return cimd::ErrorText(cimd::kReplyMalformed, "");
        if (answer.operation == cimd::kNack || answer.operation == cimd::kGeneralError) return {};
        if (answer.operation == operation)
            return answer.number == number ? std::string() : cimd::ErrorText(cimd::kReplyNumber, "");
        // Anything else the SMSC says meanwhile is not for this wait.
    }
}

std::string CimdLink::Login() {
    const std::string user = Settings().Key("UserName", "", 150);
    const std::string password = Settings().Key("Password", "", 150);
    const cimd::LoginInputError input = cimd::CheckLoginInput(user, password);
    if (input != cimd::LoginInputError::None)
        return "Login refused: " + cimd::ErrorText(smsc_link::LoginInputCode(input), "");
    const int number = NextNumber();
    if (std::string e = SendBytes(cimd::BuildLoginPacket(number, user, password)); !e.empty()) return e;
    cimd::Packet answer;
    if (std::string e = Await(cimd::kLoginResponse, number, answer, Timings().responseMs); !e.empty()) return e;
    const std::string* code = cimd::FindParameter(answer, cimd::kErrorCode);
    if (answer.operation == cimd::kLoginResponse && !code) return {};
    const std::string* words = cimd::FindParameter(answer, cimd::kErrorText);
    const int n = code ? std::atoi(code->c_str()) : 0;
    return "Login refused: " + (n > 0 ? cimd::ErrorText(n, words ? smsc_link::Printable(*words, 120) : "")
                                      : cimd::ErrorText(cimd::kRejected, ""));
}

void CimdLink::Logout() {
    const int number = NextNumber();
    if (number < 0 || !SendBytes(cimd::BuildLogoutPacket(number)).empty()) return;
    cimd::Packet answer;
    Await(cimd::kLogoutResponse, number, answer, Timings().goodbyeMs);
}

std::string CimdLink::Deliver(const cimd::Packet& p) {
    InboundMessage message;
    cimd::Packet answer{p.operation + 50, p.number, {}};
    if (!ReadCimdDelivery(p, message))
        answer.parameters = {{cimd::kErrorCode, "2"}};
    else if (!Store(message))
        answer.parameters = {{cimd::kErrorCode, "10"}};  // congestion: deliver it again later
    return SendBytes(cimd::BuildPacket(answer));
}

std::string CimdLink::HandleFrame(const std::string& text, bool answersOnly) {
    cimd::Packet p;
    const cimd::ParseError parsed = cimd::ParseFrame(text, &p);
    if (answersOnly && (parsed != cimd::ParseError::None || p.operation < 50)) return {};
    if (parsed == cimd::ParseError::BadChecksum)
        return cimd::ErrorText(cimd::kReplyChecksum, "") + ": " + smsc_link::Printable(text, 80);
    if (parsed != cimd::ParseError::None)
        return cimd::ErrorText(cimd::kReplyMalformed, "") + ": " + smsc_link::Printable(text, 80);
    switch (p.operation) {
        case cimd::kDeliver:
        case cimd::kStatusReport: return Deliver(p);
        case cimd::kAlive: return SendBytes(cimd::BuildPacket({cimd::kAliveResponse, p.number, {}}));
        case cimd::kSubmitResponse:
        case cimd::kAliveResponse:
        case cimd::kNack:
        case cimd::kGeneralError: {
            PartAnswer a;
            const std::string* code = cimd::FindParameter(p, cimd::kErrorCode);
            a.accepted = p.operation != cimd::kNack && p.operation != cimd::kGeneralError && !code;
            if (a.accepted) {
                // The destination and the SMSC's time stamp name the message in status reports.
                const std::string* to = cimd::FindParameter(p, cimd::kDestination);
                const std::string* stamp = cimd::FindParameter(p, cimd::kTimestamp);
                a.id = (to ? *to : std::string()) + ":" + (stamp ? *stamp : std::string());
            }
            const int n = code ? std::atoi(code->c_str()) : 0;
            const std::string* words = cimd::FindParameter(p, cimd::kErrorText);
            a.tooMany = WindowRefusal(n);
            a.temporary = p.operation != cimd::kSubmitResponse || TemporaryCimdError(n);
            a.error = n > 0 ? cimd::ErrorText(n, words ? smsc_link::Printable(*words, 120) : "")
                            : "The CIMD server refused the message without an error code";
            Answered(p.number, a);
            return {};
        }
        default:
            if (p.operation < 50)  // a request this link does not serve
                return SendBytes(cimd::BuildPacket({cimd::kGeneralError, p.number, {{cimd::kErrorCode, "1"}}}));
            return {};
    }
}

}  // namespace

std::unique_ptr<SmscLink> CreateCimdLink(const ConnectionSettings& settings, LinkEvents& events,
                                         const SessionTimings& timings) {
    return std::make_unique<CimdLink>(settings, events, timings);
}

std::unique_ptr<SmscLink> CreateCimdLink(const ConnectionSettings& settings, LinkEvents& events) {
    return CreateCimdLink(settings, events, SessionTimings());
}

}  // namespace gateway
