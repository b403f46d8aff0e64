// ucpsim: a loopback SMSC for the UCP/EMI and CIMD2 login tests.
//
//   ucpsim [--protocol=ucp|cimd] [--user=NAME] [--password=PW] [--refuse=CODE]
//          [--refuse-text=TEXT] [--bad-checksum] [--wrong-number] [--silent]
//          [--close-mid-frame] [--garbage] [--oversized] [--nack]
//
// Prints the TCP port it listens on (127.0.0.1) on its first line, then serves one
// connection after another until it is terminated. A login with the configured user and
// password is accepted, any other refused with error 07 (UCP) or 100 (CIMD2); --refuse
// refuses every login with CODE (and --refuse-text, if given, as the server's words). The fault
// options change the answer to a login: --bad-checksum spoils its checksum,
// --wrong-number answers another transaction or packet number, --silent never answers,
// --close-mid-frame sends half the answer and closes, --garbage answers with bytes that
// are no frame, --oversized sends 70,000 bytes without a frame end, --nack (CIMD2) answers
// with a NACK (99) for syntax error carrying another packet number. UCP alerts (31) and
// CIMD2 logouts (02) and alive packets (40) are answered positively.
//
// UCP submits (51) are acknowledged with "recipient:timestamp" and, with --log=FILE,
// recorded there one line each ("51 AdC=... OAdC=... OTOA=... MT=... NB=... Msg=...
// XSer=... NRq=..."), as are the client's answers to what the simulator sends
// ("R52 A", "R53 N 04"). Further UCP options: --submit-nack=CODE refuses every submit
// with CODE; --silent-submits never answers one; --close-after=N closes the connection
// on the Nth submit without answering it; --garbage-after-login sends bytes that are no
// frame after the login answer; --notify sends a notification (53, delivered) for each
// submit that asks for one, again up to 3 times while the client refuses it;
// --deliver=TEXT sends one delivery (52) of TEXT from 4912345 after the login, again up
// to 3 times while refused. --one-at-a-time refuses a submit with 04 when the client
// sent more before its answer. In CIMD2 mode the same options act on submits (03, logged
// as "03 021=... 033=..."), status reports (23, for --notify) and delivered messages
// (20, for --deliver); the client's answers are logged as "R70 A", "R73 N 10".
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <csignal>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cimdlnk/cimd_frame.h"
#include "ucplnk/ucp_frame.h"

namespace {

struct Config {
    bool cimd = false;
    std::string user = "12345", password = "secret", refuseText;
    int refuse = -1;
    bool badChecksum = false, wrongNumber = false, silent = false, closeMidFrame = false,
         garbage = false, oversized = false, nack = false;
    std::string log, deliver;
    int submitNack = -1, closeAfter = 0;
    bool silentSubmits = false, garbageAfterLogin = false, notify = false, oneAtATime = false;
};

// What one UCP session has sent and must see answered.
struct UcpSession {
    const std::string* buffered = nullptr;  // what the client sent beyond the frame in hand
    int submits = 0, trn = 50;
    int deliverTries = 0;
    std::string lastNotification;  // fields of the last 53, to send again when refused
    int notifyTries = 0;
};

void Record(const Config& c, const std::string& line) {
    if (c.log.empty()) return;
    if (FILE* f = std::fopen(c.log.c_str(), "a")) {
        std::fprintf(f, "%s\n", line.c_str());
        std::fclose(f);
    }
}

bool SendAll(int fd, const std::string& data) {
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = send(fd, data.data() + done, data.size() - done, MSG_NOSIGNAL);
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Reads one frame (through ETX) into `frame`; false when the client went away or sent
// more than a login can be without ending it.
bool ReadFrame(int fd, std::string& buffered, std::string& frame) {
    for (;;) {
        if (const std::size_t etx = buffered.find('\x03'); etx != std::string::npos) {
            frame = buffered.substr(0, etx + 1);
            buffered.erase(0, etx + 1);
            return true;
        }
        if (buffered.size() > 65536) return false;
        char buf[4096];
        const ssize_t n = recv(fd, buf, sizeof buf, 0);
        if (n <= 0) return false;
        buffered.append(buf, static_cast<std::size_t>(n));
    }
}

// Applies the configured fault to a login answer and sends it; false to end the session.
bool SendLoginAnswer(int fd, const Config& c, std::string answer) {
    if (c.silent) return true;
    static const char kGarbage[] = "\x02garbage \x01\xff no frame\x03";
    if (c.garbage) return SendAll(fd, std::string(kGarbage, sizeof kGarbage - 1));
    if (c.oversized) return SendAll(fd, "\x02" + std::string(70000, 'A'));
    if (c.closeMidFrame) {
        SendAll(fd, answer.substr(0, answer.size() / 2));
        return false;
    }
    if (c.badChecksum) {
        char& digit = answer[answer.size() - 2];
        digit = digit == '0' ? '1' : '0';
    }
    return SendAll(fd, answer);
}

bool SendDelivery(int fd, const Config& c, UcpSession& s) {
    std::vector<std::string> f(ucp::field::Count);
    f[ucp::field::AdC] = c.user;
    f[ucp::field::OAdC] = "4912345";
    f[ucp::field::SCTS] = "071226120000";
    f[ucp::field::MT] = "3";
    f[ucp::field::Msg] = ucp::IraHex(c.deliver);
    ++s.deliverTries;
    return SendAll(fd, ucp::BuildFrame({s.trn++ % 100, 'O', 52, f}));
}

bool SendNotification(int fd, UcpSession& s) {
    std::vector<std::string> f(ucp::field::Count);
    std::string adc = s.lastNotification.substr(0, s.lastNotification.find(':'));
    f[ucp::field::AdC] = adc;
    f[ucp::field::OAdC] = "12345";
    f[ucp::field::SCTS] = s.lastNotification.substr(s.lastNotification.find(':') + 1);
    f[ucp::field::Dst] = "0";
    f[ucp::field::Rsn] = "000";
    f[ucp::field::DSCTS] = "071226120101";
    f[ucp::field::MT] = "3";
    f[ucp::field::Msg] = ucp::IraHex("Delivered");
    ++s.notifyTries;
    return SendAll(fd, ucp::BuildFrame({s.trn++ % 100, 'O', 53, f}));
}

// The client's answer to a 52 or 53 the simulator sent: recorded, and sent again while
// refused.
bool TakeUcpResult(int fd, const Config& c, UcpSession& s, const ucp::Frame& f) {
    const bool ack = !f.fields.empty() && f.fields[0] == "A";
    Record(c, "R" + std::to_string(f.ot) + (ack ? " A" : " N " + ucp::FieldAt(f, 1)));
    if (ack) return true;
    if (f.ot == 52 && s.deliverTries < 3) return SendDelivery(fd, c, s);
    if (f.ot == 53 && s.notifyTries < 3) return SendNotification(fd, s);
    return true;
}

// Whether the client has sent more than the frame in hand, now or within a moment: it
// did not wait for this answer.
bool MoreWaiting(int fd, const UcpSession& s) {
    if (s.buffered && !s.buffered->empty()) return true;
    pollfd p{fd, POLLIN, 0};
    return poll(&p, 1, 30) > 0;
}

bool ServeSubmit(int fd, const Config& c, UcpSession& s, const ucp::Frame& f) {
    using ucp::FieldAt;
    namespace fld = ucp::field;
    ++s.submits;
    Record(c, "51 AdC=" + FieldAt(f, fld::AdC) + " OAdC=" + FieldAt(f, fld::OAdC) +
                  " OTOA=" + FieldAt(f, fld::OTOA) + " MT=" + FieldAt(f, fld::MT) +
                  " NB=" + FieldAt(f, fld::NB) + " Msg=" + FieldAt(f, fld::Msg) +
                  " XSer=" + FieldAt(f, fld::XSer) + " NRq=" + FieldAt(f, fld::NRq));
    if (c.closeAfter > 0 && s.submits >= c.closeAfter) return false;
    if (c.silentSubmits) return true;
    if (c.oneAtATime && MoreWaiting(fd, s)) {
        Record(c, "refused 51: another operation is outstanding");
        return SendAll(fd, ucp::BuildFrame({f.trn, 'R', 51, {"N", "04", "Operation not allowed"}}));
    }
    if (c.submitNack >= 0) {
        char ec[8];
        std::snprintf(ec, sizeof ec, "%02d", c.submitNack);
        return SendAll(fd, ucp::BuildFrame({f.trn, 'R', 51, {"N", ec, "Refused by the simulator"}}));
    }
    char scts[16];
    std::snprintf(scts, sizeof scts, "0712%08d", s.submits);
    const std::string id = FieldAt(f, fld::AdC) + ":" + scts;
    if (!SendAll(fd, ucp::BuildFrame({f.trn, 'R', 51, {"A", "", id}}))) return false;
    if (!c.notify || FieldAt(f, fld::NRq) != "1") return true;
    s.lastNotification = id;
    s.notifyTries = 0;
    return SendNotification(fd, s);
}

bool ServeUcp(int fd, const Config& c, UcpSession& s, const std::string& text) {
    ucp::Frame f;
    const bool parsed = ucp::ParseFrame(text, &f) == ucp::ParseError::None;
    if (parsed && f.kind == 'R') return TakeUcpResult(fd, c, s, f);
    if (parsed && f.ot == 51) return ServeSubmit(fd, c, s, f);
    if (!parsed || f.kind != 'O') {
        std::fprintf(stderr, "ucpsim: bad frame\n");
        return SendAll(fd, ucp::BuildFrame({0, 'R', 0, {"N", "02", "Syntax error"}}));
    }
    const int trn = c.wrongNumber && f.ot == 60 ? (f.trn + 1) % 100 : f.trn;
    if (f.ot != 60) {
        Record(c, std::to_string(f.ot));
        return SendAll(fd, ucp::BuildFrame({f.trn, 'R', f.ot, {"A", ""}}));
    }
    std::string password;
    const bool valid = f.fields.size() == 12 && f.fields[0] == c.user &&
                       ucp::FromIraHex(f.fields[4], &password) && password == c.password;
    ucp::Frame answer{trn, 'R', 60, {"A", ""}};
    if (c.refuse >= 0 || !valid) {
        char ec[8];
        std::snprintf(ec, sizeof ec, "%02d", c.refuse >= 0 ? c.refuse : 7);
        answer.fields = {"N", ec, c.refuse >= 0 ? c.refuseText : "Authentication failure"};
    }
    if (!SendLoginAnswer(fd, c, ucp::BuildFrame(answer))) return false;
    if (answer.fields[0] != "A" || c.silent) return true;
    if (c.garbageAfterLogin) SendAll(fd, "\x02\x01\xfe no UCP frame here \x7f\x03");
    if (!c.deliver.empty()) return SendDelivery(fd, c, s);
    return true;
}

bool SendCimdDelivery(int fd, const Config& c, UcpSession& s) {
    ++s.deliverTries;
    s.trn = (s.trn + 2) % 256;
    return SendAll(fd, cimd::BuildPacket({cimd::kDeliver, s.trn,
                                          {{cimd::kDestination, c.user},
                                           {cimd::kOriginator, "4912345"},
                                           {cimd::kTimestamp, "261207120000"},
                                           {cimd::kUserData, c.deliver}}}));
}

bool SendStatusReport(int fd, UcpSession& s) {
    ++s.notifyTries;
    s.trn = (s.trn + 2) % 256;
    const std::size_t colon = s.lastNotification.find(':');
    return SendAll(fd, cimd::BuildPacket({cimd::kStatusReport, s.trn,
                                          {{cimd::kDestination, s.lastNotification.substr(0, colon)},
                                           {cimd::kTimestamp, s.lastNotification.substr(colon + 1)},
                                           {cimd::kStatusCode, "4"},
                                           {63, "261207120101"}}}));
}

// A submit: recorded, then answered as the options say.
bool ServeCimdSubmit(int fd, const Config& c, UcpSession& s, const cimd::Packet& p) {
    ++s.submits;
    std::string line = "03";
    for (const auto& [code, value] : p.parameters) {
        char name[8];
        std::snprintf(name, sizeof name, " %03d=", code);
        line += name + value;
    }
    Record(c, line);
    if (c.closeAfter > 0 && s.submits >= c.closeAfter) return false;
    if (c.silentSubmits) return true;
    if (c.submitNack >= 0)
        return SendAll(fd, cimd::BuildPacket({cimd::kSubmitResponse, p.number,
                                              {{cimd::kErrorCode, std::to_string(c.submitNack)},
                                               {cimd::kErrorText, "Refused by the simulator"}}}));
    const std::string* to = cimd::FindParameter(p, cimd::kDestination);
    char stamp[16];
    std::snprintf(stamp, sizeof stamp, "2612%08d", s.submits);
    const std::string destination = to ? *to : "";
    if (!SendAll(fd, cimd::BuildPacket({cimd::kSubmitResponse, p.number,
                                        {{cimd::kDestination, destination},
                                         {cimd::kTimestamp, stamp}}})))
        return false;
    if (!c.notify || !cimd::FindParameter(p, cimd::kStatusReportRequest)) return true;
    s.lastNotification = destination + ":" + stamp;
    s.notifyTries = 0;
    return SendStatusReport(fd, s);
}

bool ServeCimd(int fd, const Config& c, UcpSession& s, const std::string& text) {
    cimd::Packet p;
    if (cimd::ParseFrame(text, &p) != cimd::ParseError::None) {
        std::fprintf(stderr, "ucpsim: bad packet\n");
        return SendAll(fd, cimd::BuildPacket({cimd::kNack, 0, {{cimd::kErrorCode, "2"}}}));
    }
    if (p.operation == cimd::kDeliverResponse || p.operation == cimd::kStatusReportResponse) {
        const std::string* code = cimd::FindParameter(p, cimd::kErrorCode);
        Record(c, "R" + std::to_string(p.operation) + (code ? " N " + *code : " A"));
        if (!code) return true;
        if (p.operation == cimd::kDeliverResponse && s.deliverTries < 3)
            return SendCimdDelivery(fd, c, s);
        if (p.operation == cimd::kStatusReportResponse && s.notifyTries < 3)
            return SendStatusReport(fd, s);
        return true;
    }
    if (p.operation == cimd::kSubmit) return ServeCimdSubmit(fd, c, s, p);
    if (p.operation != cimd::kLogin) {
        Record(c, std::to_string(p.operation));
        return SendAll(fd, cimd::BuildPacket({p.operation + 50, p.number, {}}));
    }
    const std::string* user = cimd::FindParameter(p, cimd::kUserIdentity);
    const std::string* password = cimd::FindParameter(p, cimd::kPassword);
    const bool valid = user && password && *user == c.user && *password == c.password;
    cimd::Packet answer{cimd::kLoginResponse, c.wrongNumber ? (p.number + 2) % 1000 : p.number, {}};
    if (c.nack)  // a NACK naming the packet number the server expected instead
        answer = {cimd::kNack, p.number + 2, {{cimd::kErrorCode, "2"}}};
    else if (c.refuse >= 0 || !valid) {
        answer.parameters = {{cimd::kErrorCode, std::to_string(c.refuse >= 0 ? c.refuse : 100)}};
        const std::string text = c.refuse >= 0 ? c.refuseText : "invalid login";
        if (!text.empty()) answer.parameters.push_back({cimd::kErrorText, text});
    }
    if (!SendLoginAnswer(fd, c, cimd::BuildPacket(answer))) return false;
    if (answer.operation != cimd::kLoginResponse || answer.parameters.size() > 0 || c.silent)
        return true;
    if (c.garbageAfterLogin) SendAll(fd, "\x02\x01\xfe no CIMD packet here \x7f\x03");
    if (!c.deliver.empty()) return SendCimdDelivery(fd, c, s);
    return true;
}

void Serve(int fd, const Config& c) {
    std::string buffered, frame;
    UcpSession session;
    session.buffered = &buffered;
    while (ReadFrame(fd, buffered, frame))
        if (!(c.cimd ? ServeCimd(fd, c, session, frame) : ServeUcp(fd, c, session, frame))) break;
    close(fd);
}

bool Option(const std::string& arg, const char* name, std::string* value) {
    const std::string prefix = std::string(name) + "=";
    if (arg.rfind(prefix, 0) != 0) return false;
    *value = arg.substr(prefix.size());
    return true;
}

bool ParseArgs(int argc, char** argv, Config& c) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        std::string v;
        if (Option(a, "--protocol", &v))
            c.cimd = v == "cimd";
        else if (Option(a, "--user", &v))
            c.user = v;
        else if (Option(a, "--password", &v))
            c.password = v;
        else if (Option(a, "--refuse", &v))
            c.refuse = std::atoi(v.c_str());
        else if (Option(a, "--refuse-text", &v))
            c.refuseText = v;
        else if (a == "--bad-checksum")
            c.badChecksum = true;
        else if (a == "--wrong-number")
            c.wrongNumber = true;
        else if (a == "--silent")
            c.silent = true;
        else if (a == "--close-mid-frame")
            c.closeMidFrame = true;
        else if (a == "--garbage")
            c.garbage = true;
        else if (a == "--oversized")
            c.oversized = true;
        else if (a == "--nack")
            c.nack = true;
        else if (Option(a, "--log", &v))
            c.log = v;
        else if (Option(a, "--deliver", &v))
            c.deliver = v;
        else if (Option(a, "--submit-nack", &v))
            c.submitNack = std::atoi(v.c_str());
        else if (Option(a, "--close-after", &v))
            c.closeAfter = std::atoi(v.c_str());
        else if (a == "--silent-submits")
            c.silentSubmits = true;
        else if (a == "--garbage-after-login")
            c.garbageAfterLogin = true;
        else if (a == "--notify")
            c.notify = true;
        else if (a == "--one-at-a-time")
            c.oneAtATime = true;
        else {
            std::fprintf(stderr, "ucpsim: unknown option %s\n", a.c_str());
            return false;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    Config config;
    if (!ParseArgs(argc, argv, config)) return 2;
    std::signal(SIGPIPE, SIG_IGN);
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t n = sizeof a;
    if (listener < 0 || bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        listen(listener, 8) != 0 ||
        getsockname(listener, reinterpret_cast<sockaddr*>(&a), &n) != 0) {
        std::perror("ucpsim");
        return 1;
    }
    std::printf("%u\n", ntohs(a.sin_port));
    std::fflush(stdout);
    for (;;) {
        const int client = accept(listener, nullptr, nullptr);
        if (client >= 0) Serve(client, config);
    }
}
