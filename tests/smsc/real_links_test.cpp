// The real console with the real link libraries, under the script driver, against real
// SMSC peers on loopback: the npm SMPP SMSC (plain and behind Node's TLS), tools/ucpsim
// for UCP/EMI, test_cimd2 for CIMD2 and `openssl s_server` for HTTPS. Each protocol adds
// one connection that the peer accepts (stored with its section in ZELLA.INI) and one it
// refuses (the refusal's own text shown, nothing stored).
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

#include "platform/ini.h"
#include "platform/unique_fd.h"
#include "tests/support/peer_process.h"
#include "tests/support/console_process.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using zella_test::PeerProcess;
using zella_test::ReadAll;

const char kTestCimd2[] = "/usr/lib/kannel/test/test_cimd2";
const std::string kPeers = ZELLA_PEERS_DIR;

bool InPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    const std::string dirs = path ? path : "";
    for (std::size_t start = 0; start <= dirs.size();) {
        const auto end = std::min(dirs.find(':', start), dirs.size());
        if (access((dirs.substr(start, end - start) + "/" + program).c_str(), X_OK) == 0)
            return true;
        start = end + 1;
    }
    return false;
}

// A loopback port free at the time of the call.
unsigned FreePort() {
    platform::UniqueFd fd(socket(AF_INET, SOCK_STREAM, 0));
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t n = sizeof a;
    if (bind(fd.Get(), reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) return 0;
    getsockname(fd.Get(), reinterpret_cast<sockaddr*>(&a), &n);
    return ntohs(a.sin_port);
}

// Whether a socket listens on loopback or any-address `port` (from /proc/net/tcp).
bool Listening(unsigned port) {
    std::ifstream table("/proc/net/tcp");
    char hex[8];
    std::snprintf(hex, sizeof hex, ":%04X", port);
    std::string line;
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string slot, local, remote, state;
        fields >> slot >> local >> remote >> state;
        if (state == "0A" && local.ends_with(hex)) return true;
    }
    return false;
}

// Waits (at most 10 s) until a peer that prints no sign of listening listens on `port`;
// a trial connection would use up test_cimd2's only client.
bool AwaitListener(unsigned port) {
    for (int i = 0; i < 500; ++i) {
        if (Listening(port)) return true;
        std::this_thread::sleep_for(20ms);
    }
    return false;
}

// The script of adding a connection of `type` with `fields` ("label" "value" lines for
// `set`/`choose`), accepted: the success box, OK on the page, No to the service question.
std::string AcceptScript(const std::string& type, const std::string& fields,
                         const std::string& okBox) {
    return "tab \"SMSC\"\npress \"&Add\"\ncheck \"" + type + "\"\npress \"OK\"\n" + fields +
           "press \"OK\"\nanswer \"" + okBox +
           "\" OK\npress \"OK\"\n"
           "answer \"Service is not active, do you wish to activate the service?\" No\n";
}

// The same refused: the failure box answered `answer` (No keeps the dialog), then Cancel,
// and the page left with no connection at all.
std::string RefuseScript(const std::string& type, const std::string& fields,
                         const std::string& failBox, const std::string& answer = "No") {
    return "tab \"SMSC\"\npress \"&Add\"\ncheck \"" + type + "\"\npress \"OK\"\n" + fields +
           "press \"OK\"\nanswer \"" + failBox + "\" " + answer +
           "\npress \"Cancel\"\npress \"OK\"\n"
           "answer \"No SMSC connections or modems are defined.\" Yes\n";
}

std::string Set(const std::string& label, const std::string& value) {
    return "set \"" + label + "\" \"" + value + "\"\n";
}

class RealLinks : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = temp_.Path();
        ASSERT_FALSE(dir_.empty());
        program_ = dir_ + "program/";
        zella_test::CopyConsoleInto(ZELLA_BIN_DIR, program_, zella_test::SmscLinks::Shipped);
        for (const char* lib : {"libsmpplnk.so", "libucplnk.so", "libcimdlnk.so", "libtlslnk.so"})
            ASSERT_TRUE(fs::exists(program_ + lib)) << lib;
    }

    // Runs the console on `script` with a fresh data directory named `run`; returns the
    // transcript, with the run's ZELLA.INI path in `ini`.
    std::string Run(const std::string& run, const std::string& script, std::string& ini) {
        const std::string data = dir_ + run + "/";
        fs::create_directories(data);
        std::ofstream(dir_ + run + ".script") << script;
        zella_test::ChildProcess console(
            {program_ + "zella"}, dir_ + run + ".out",
            {"ZELLA_SCRIPT=" + dir_ + run + ".script", "ZELLA_DATA_DIR=" + data,
             "ZELLA_SERVICE_MANAGER=supervisor"});
        const int status = console.Wait(120s);
        const std::string out = ReadAll(dir_ + run + ".out");
        EXPECT_EQ(status, 0) << run << "\n" << out;
        EXPECT_EQ(out.find("FAIL"), std::string::npos) << run << "\n" << out;
        ini = data + "ZELLA.INI";
        return out;
    }

    std::string Ini(const std::string& ini, const std::string& section, const std::string& key) {
        return platform::GetPrivateProfileString(ini, section, key, "");
    }

    // Checks that a refused run stored no connection.
    void ExpectNothingStored(const std::string& ini, const std::string& name) {
        EXPECT_EQ(Ini(ini, "ZELLA", "Modem1"), "");
        EXPECT_TRUE(platform::GetPrivateProfileSection(ini, name).empty()) << name;
    }

    // A self-signed certificate and key made now, for the TLS peers.
    bool MakeCertificate() {
        const std::string command =
            "openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "
            "/CN=zella-test-smsc -keyout '" +
            dir_ + "key.pem' -out '" + dir_ + "cert.pem' >/dev/null 2>&1";
        return std::system(command.c_str()) == 0 && fs::exists(dir_ + "cert.pem");
    }

    zella_test::TempDir temp_{"real-links"};
    std::string dir_, program_;
};

TEST_F(RealLinks, AddOffersEveryShippedTypeAndHidesOneWhoseLibraryIsMissing) {
    const std::string script = "tab \"SMSC\"\npress \"&Add\"\ndump\npress \"Cancel\"\n";
    std::string ini;
    std::string out = Run("all-links", script, ini);
    std::erase(out, '&');  // the radios' access keys
    for (const char* type : {"GSM Modem (USB or COM Port)", "SMPP over TCP/IP", "HTTP over TCP/IP",
                             "UCP/EMI over TCP/IP", "CIMD2 over TCP/IP", "Android Phone"}) {
        const std::string label = std::string("\"") + type + "\"";
        const auto at = out.find(" radio " + label + " " + label);
        ASSERT_NE(at, std::string::npos) << type << "\n" << out;
        EXPECT_EQ(out.substr(at, out.find('\n', at) - at).find("hidden"), std::string::npos)
            << type;
    }
    fs::remove(program_ + "libcimdlnk.so");
    out = Run("no-cimd", script, ini);
    std::erase(out, '&');
    EXPECT_NE(out.find("dump: ucp radio \"UCP/EMI over TCP/IP\" \"UCP/EMI over TCP/IP\"\n"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("dump: cimd radio \"CIMD2 over TCP/IP\" \"CIMD2 over TCP/IP\" hidden\n"),
              std::string::npos)
        << out;
    EXPECT_EQ(out.find("box:"), std::string::npos) << "a missing library shows nothing\n" << out;
}

std::string SmppFields(unsigned port, const std::string& password, bool tls) {
    return Set("Server Host Name:", "127.0.0.1") + Set("Server Port:", std::to_string(port)) +
           (tls ? "check \"Use SSL/TLS\"\n" : "") + Set("User Name:", "smppclient1") +
           Set("Password:", password);
}

TEST_F(RealLinks, SmppPlainAndOverTlsAgainstTheNpmSmsc) {
    if (!InPath("node") || !fs::exists(kPeers + "/node_modules/smpp/package.json"))
        GTEST_SKIP() << "node or the npm package smpp is not installed (scripts/setup.sh)";
    if (!InPath("openssl")) GTEST_SKIP() << "the openssl command is not installed";
    ASSERT_TRUE(MakeCertificate());
    PeerProcess plain("node", {kPeers + "/smpp_smsc.js"});
    PeerProcess tls("node",
                    {kPeers + "/smpp_smsc.js", "--tls", dir_ + "key.pem", dir_ + "cert.pem"});
    const unsigned port = plain.ListeningPort(), tlsPort = tls.ListeningPort();
    ASSERT_NE(port, 0u);
    ASSERT_NE(tlsPort, 0u);
    const std::string type = "SMPP over TCP/IP";
    const std::string login = "Unable to login to SMPP server with specified parameters.";
    const std::string refusal = login + "\\r\\nInvalid password (ESME_RINVPASWD, 0x0000000E)";
    std::string ini;

    for (const bool overTls : {false, true}) {
        SCOPED_TRACE(overTls ? "TLS" : "plain");
        PeerProcess& peer = overTls ? tls : plain;
        const unsigned p = overTls ? tlsPort : port;
        const std::string name = "SMPP - 127.0.0.1:" + std::to_string(p);
        const std::string tag = overTls ? "tls" : "plain";
        Run(tag + "-accept",
            AcceptScript(type, SmppFields(p, "password", overTls), "SMPP Connection OK"), ini);
        EXPECT_EQ(peer.ReadLine(), "BIND bind_transmitter 34 smppclient1 - 0 0 -");
        EXPECT_EQ(peer.ReadLine(), "UNBIND");
        EXPECT_EQ(Ini(ini, "ZELLA", "Modem1"), name);
        EXPECT_EQ(Ini(ini, name, "UserName"), "smppclient1");
        EXPECT_EQ(Ini(ini, name, "Password"), "password");
        EXPECT_EQ(Ini(ini, name, "SMPPVersion"), "v3.4");
        EXPECT_EQ(Ini(ini, name, "UseSSL"), overTls ? "Yes" : "No");
        // The untrusted certificate did not stop the bind; the trace names it.
        const std::string trace = ReadAll(dir_ + tag + "-accept/LOGS/SMPPDEBUG.LOG");
        EXPECT_NE(trace.find("bound to SMSC \"zella-peer\""), std::string::npos) << trace;
        const bool noted =
            trace.find("TLS server certificate: Certificate subject: CN=zella-test-smsc") !=
            std::string::npos;
        EXPECT_EQ(noted, overTls) << trace;
        if (overTls) {
            EXPECT_NE(trace.find("Verification: self-signed certificate"), std::string::npos)
                << trace;
            EXPECT_NE(trace.find("Valid until: "), std::string::npos) << trace;
        }

        const std::string out =
            Run(tag + "-refuse", RefuseScript(type, SmppFields(p, "wrong", overTls), login), ini);
        EXPECT_NE(out.find("box: " + refusal + "\\r\\n\\r\\nSave connection? [Yes/No] -> No"),
                  std::string::npos)
            << out;
        EXPECT_EQ(peer.ReadLine(), "BIND bind_transmitter 34 smppclient1 - 0 0 -");
        ExpectNothingStored(ini, name);
    }

    // TLS asked of the plain SMSC: the negotiation's failure, with its reason.
    const std::string tlsFailure =
        "Unable to negotiate SSL/TLS connection with SMPP server at 127.0.0.1:" +
        std::to_string(port);
    const std::string out = Run(
        "tls-to-plain", RefuseScript(type, SmppFields(port, "password", true), tlsFailure), ini);
    EXPECT_NE(out.find("box: " + tlsFailure + "\\r\\n\\r\\nThe server"), std::string::npos) << out;
    ExpectNothingStored(ini, "SMPP - 127.0.0.1:" + std::to_string(port));
}

std::string LoginFields(unsigned port, const std::string& user, const std::string& password) {
    return Set("Server Host Name:", "127.0.0.1") + Set("Server Port:", std::to_string(port)) +
           Set("User Name:", user) + Set("Password:", password);
}

TEST_F(RealLinks, UcpAgainstTheLoopbackUcpSmsc) {
    PeerProcess sim(std::string(ZELLA_BIN_DIR) + "/ucpsim", {"--user=12345", "--password=secret"});
    const std::string first = sim.ReadLine();
    ASSERT_FALSE(first.empty());
    const unsigned port = static_cast<unsigned>(std::stoul(first));
    const std::string name = "UCP - 127.0.0.1:" + first;
    const std::string type = "UCP/EMI over TCP/IP";
    std::string ini;

    Run("accept", AcceptScript(type, LoginFields(port, "12345", "secret"), "UCP Connection OK"),
        ini);
    EXPECT_EQ(Ini(ini, "ZELLA", "Modem1"), name);
    EXPECT_EQ(Ini(ini, name, "UserName"), "12345");
    EXPECT_EQ(Ini(ini, name, "Password"), "secret");

    const std::string login = "Unable to login to UCP server with specified parameters.";
    const std::string out =
        Run("refuse", RefuseScript(type, LoginFields(port, "12345", "wrong"), login), ini);
    EXPECT_NE(out.find("box: " + login +
                       "\\r\\nError 07: Authentication failure\\r\\n\\r\\n"
                       "Save connection? [Yes/No] -> No"),
              std::string::npos)
        << out;
    ExpectNothingStored(ini, name);
}

// A CIMD2 SMSC with user "gwuser" and password "gwpass" for one client: test_cimd2 when
// installed, else tools/ucpsim in its CIMD2 mode. Sets `port`.
std::unique_ptr<PeerProcess> StartCimdSmsc(unsigned& port) {
    if (access(kTestCimd2, X_OK) == 0) {
        port = FreePort();
        auto peer = std::make_unique<PeerProcess>(
            kTestCimd2,
            std::vector<std::string>{"--port", std::to_string(port), "--user", "gwuser",
                                     "--password", "gwpass", "--activity", "1"},
            true);
        if (!AwaitListener(port)) port = 0;
        return peer;
    }
    auto peer = std::make_unique<PeerProcess>(
        std::string(ZELLA_BIN_DIR) + "/ucpsim",
        std::vector<std::string>{"--protocol=cimd", "--user=gwuser", "--password=gwpass"});
    const std::string first = peer->ReadLine();
    port = first.empty() ? 0 : static_cast<unsigned>(std::stoul(first));
    return peer;
}

TEST_F(RealLinks, CimdAgainstACimd2Smsc) {
    const std::string type = "CIMD2 over TCP/IP";
    std::string ini;
    unsigned port = 0;
    {
        auto peer = StartCimdSmsc(port);
        ASSERT_NE(port, 0u);
        Run("accept",
            AcceptScript(type, LoginFields(port, "gwuser", "gwpass"), "CIMD Connection OK"), ini);
        const std::string name = "CIMD - 127.0.0.1:" + std::to_string(port);
        EXPECT_EQ(Ini(ini, "ZELLA", "Modem1"), name);
        EXPECT_EQ(Ini(ini, name, "UserName"), "gwuser");
        EXPECT_EQ(Ini(ini, name, "Password"), "gwpass");
    }
    auto peer = StartCimdSmsc(port);  // test_cimd2 serves a single client
    ASSERT_NE(port, 0u);
    const std::string login = "Unable to login to CIMD server with specified parameters.";
    const std::string out =
        Run("refuse", RefuseScript(type, LoginFields(port, "gwuser", "wrong"), login), ini);
    EXPECT_NE(out.find("box: " + login +
                       "\\r\\nError 100: Invalid login\\r\\n\\r\\nSave connection? [Yes/No] -> No"),
              std::string::npos)
        << out;
    ExpectNothingStored(ini, "CIMD - 127.0.0.1:" + std::to_string(port));
}

// A plain-text HTTP server that answers every request with 400 and closes, for an
// "https://" URL that reaches a server without TLS.
class PlainHttpServer {
public:
    PlainHttpServer() : fd_(socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t n = sizeof a;
        if (bind(fd_.Get(), reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
            listen(fd_.Get(), 4) != 0)
            return;
        getsockname(fd_.Get(), reinterpret_cast<sockaddr*>(&a), &n);
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] { Serve(); });
    }
    ~PlainHttpServer() {
        shutdown(fd_.Get(), SHUT_RDWR);
        if (thread_.joinable()) thread_.join();
    }
    unsigned Port() const { return port_; }

private:
    void Serve() {
        for (;;) {
            platform::UniqueFd client(accept(fd_.Get(), nullptr, nullptr));
            if (!client.Valid()) return;
            char request[2048];
            if (recv(client.Get(), request, sizeof request, 0) <= 0) continue;
            const char answer[] = "HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\n\r\n";
            send(client.Get(), answer, sizeof answer - 1, MSG_NOSIGNAL);
        }
    }
    platform::UniqueFd fd_;
    unsigned port_ = 0;
    std::thread thread_;
};

std::string HttpFields(unsigned port) {
    return "choose \"Server Type:\" \"Quv SMS\"\n" +
           Set("Server Host Name or Address:",
               "https://127.0.0.1:" + std::to_string(port) + "/sms/send");
}

TEST_F(RealLinks, HttpsNegotiatesWithAnUntrustedCertificateAndFailsAgainstPlainHttp) {
    if (!InPath("openssl")) GTEST_SKIP() << "the openssl command is not installed";
    ASSERT_TRUE(MakeCertificate());
    const unsigned port = FreePort();
    PeerProcess server("openssl", {"s_server", "-accept", "127.0.0.1:" + std::to_string(port),
                                   "-cert", dir_ + "cert.pem", "-key", dir_ + "key.pem", "-www"});
    ASSERT_TRUE(AwaitListener(port));
    const std::string type = "HTTP over TCP/IP";
    const std::string name = "HTTP - 127.0.0.1:" + std::to_string(port);
    std::string ini;

    Run("accept", AcceptScript(type, HttpFields(port), "HTTP Connection OK."), ini);
    EXPECT_EQ(Ini(ini, "ZELLA", "Modem1"), name);
    EXPECT_EQ(Ini(ini, name, "UseSSL"), "Yes");
    EXPECT_EQ(Ini(ini, name, "RootURL"), "sms/send");

    // The failure box has only OK: the dialog stays open, and Cancel leaves it.
    PlainHttpServer plain;
    ASSERT_NE(plain.Port(), 0u);
    const std::string failure = "Unable to negotiate SSL/TLS connection with server";
    const std::string out =
        Run("refuse", RefuseScript(type, HttpFields(plain.Port()), failure, "OK"), ini);
    EXPECT_NE(out.find("box: " + failure + "\\r\\n\\r\\nThe server did not answer with TLS"),
              std::string::npos)
        << out;
    ExpectNothingStored(ini, "HTTP - 127.0.0.1:" + std::to_string(plain.Port()));
}

}  // namespace
