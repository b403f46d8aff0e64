#include "smsc/smpp_link_test.h"

#include <cctype>
#include <cstdlib>
#include <memory>
#include <optional>
#include <vector>

#include "acctdb/acctdb.h"
#include "config/config_store.h"
#include "platform/ini.h"
#include "platform/text.h"
#include "shell/core/link_libraries.h"
#include "smsc/connection_test.h"
#include "ui/long_operation.h"

namespace smsc {

namespace {

constexpr int kBindReceiver = 1;
constexpr int kBindTransmitter = 2;
constexpr int kBindTransceiver = 9;
constexpr int kTextSize = 500;

// A leading decimal number (after blanks), 0 when there is none or it is out of range.
unsigned LeadingPort(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    unsigned long value = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        value = value * 10 + static_cast<unsigned>(text[i] - '0');
        if (value > 65535) return 0;
    }
    return static_cast<unsigned>(value);
}

// The keys of section "SMPP" that the link library reads at bind time, set for one bind
// and returned to what they were (deleted when they did not exist) on destruction.
class SmppSectionOverride {
public:
    SmppSectionOverride(const SmppTestSettings& s) {
        for (const std::string& section :
             platform::GetPrivateProfileSectionNames(config::ConfigurationPath()))
            sectionExisted_ = sectionExisted_ || platform::EqualsNoCase(section, "SMPP");
        Set("AddressRange", s.addressRange);
        Set("BindTON", s.bindTon);
        Set("BindNPI", s.bindNpi);
    }
    ~SmppSectionOverride() {
        const std::string path = config::ConfigurationPath();
        for (const auto& [key, before] : saved_) {
            platform::WritePrivateProfileString(path, "SMPP", key,
                                                before ? std::optional<std::string_view>(*before)
                                                       : std::nullopt);
        }
        // A section header the override brought in goes with its keys, unless somebody
        // wrote into it meanwhile.
        if (!saved_.empty() && !sectionExisted_ && platform::GetPrivateProfileSection(path, "SMPP").empty())
            platform::WritePrivateProfileString(path, "SMPP", std::nullopt, std::nullopt);
    }
    SmppSectionOverride(const SmppSectionOverride&) = delete;
    SmppSectionOverride& operator=(const SmppSectionOverride&) = delete;

private:
    void Set(const char* key, const std::string& value) {
        if (value.empty()) return;
        const std::string path = config::ConfigurationPath();
        // Two different defaults tell an absent key from an empty one.
        const std::string a = platform::GetPrivateProfileString(path, "SMPP", key, "\x01", 4096);
        const std::string b = platform::GetPrivateProfileString(path, "SMPP", key, "\x02", 4096);
        saved_.emplace_back(key, a == "\x01" && b == "\x02" ? std::nullopt
                                                              : std::optional<std::string>(a));
        platform::WritePrivateProfileString(path, "SMPP", key, value);
    }
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
    bool sectionExisted_ = false;
};

// One socket of the test with its TLS session: the session freed, then the socket closed
// gracefully, whichever way the test leaves.
class TestSession {
public:
    explicit TestSession(int socket) : socket_(socket) {}
    ~TestSession() {
        if (session_) {
            if (const shell::TlsLinkTable* tls = shell::TlsLink()) tls->sslFreeSession(session_);
        }
        CloseSocketGracefully(socket_);
    }
    TestSession(const TestSession&) = delete;
    TestSession& operator=(const TestSession&) = delete;
    int Socket() const { return socket_; }
    void* Session() const { return session_; }
    void SetSession(void* session) { session_ = session; }

private:
    int socket_;
    void* session_ = nullptr;
};

struct BindStep {
    bool transmitter;     // else the receiver test
    int bindType;
    std::string ports;    // SenderPort or ReceiverPort
    const char* loginFailure;
};

std::string Format(const char* prefix, const std::string& host, unsigned port) {
    return prefix + host + ":" + std::to_string(port);
}

// One bind test; "" when it passed, else the failure message.
std::string RunBind(const shell::SmppLinkTable& smpp, const SmppTestSettings& s,
                    const BindStep& step) {
    unsigned local = 0, remote = 0;
    SplitLocalRemotePort(step.ports, local, remote);
    const int fd = acctdb::IPV6OpenSocket(0, local, 0);
    if (fd < 0) return "Unable to connect.  General socket error\r\n\r\nSave connection?";
    TestSession session(fd);
    const unsigned port = remote ? remote : s.port;
    if (smpp.SMPPConnect(fd, 0, s.host.c_str(), port) != 0) {
        return Format("Unable to connect to SMPP server at ", s.host, port) +
               "\r\n\r\nSave connection?";
    }
    const shell::TlsLinkTable* tls = shell::TlsAvailable() ? shell::TlsLink() : nullptr;
    if (tls && s.useTls) {
        std::vector<char> buffer(kTextSize, '\0');
        s.host.copy(buffer.data(), buffer.size() - 1);
        session.SetSession(tls->sslInitSession(fd, buffer.data(), kTextSize));
        if (!session.Session()) {
            buffer.back() = '\0';
            return Format("Unable to negotiate SSL/TLS connection with SMPP server at ", s.host,
                          s.port) +
                   "\r\n\r\n" + buffer.data() + "\r\n\r\nSave connection?";
        }
    }
    int result = 0;
    {
        SmppSectionOverride keys(s);
        if (step.transmitter) acctdb::SMSIniGetProfileString(nullptr, nullptr, nullptr, 0);
        result = smpp.SMPPBind(fd, session.Session(), 0, s.version, step.bindType,
                               s.userName.c_str(), s.password.c_str(), s.systemType.c_str());
    }
    if (result != 0) {
        char text[kTextSize] = {};
        smpp.SMPPErrorText(result, text, kTextSize);
        text[kTextSize - 1] = '\0';
        return std::string(step.loginFailure) + "\r\n" + text + "\r\n\r\nSave connection?";
    }
    smpp.SMPPUnbind(fd, session.Session(), 0, s.version);
    return {};
}

}  // namespace

void SplitLocalRemotePort(const std::string& text, unsigned& local, unsigned& remote) {
    const std::size_t colon = text.find(':');
    local = LeadingPort(text.substr(0, colon));
    remote = colon == std::string::npos ? 0 : LeadingPort(text.substr(colon + 1));
}

SmppTestResult RunSmppTest(ui::Host& host, const SmppTestSettings& s) {
    const shell::SmppLinkTable* smpp = shell::SmppLink();
    if (!smpp) return {true, {}};
    const bool single = config::IsYes(s.receiveSingleConnection);
    const std::string count = s.transmitterCount;
    const bool countIsNumber = !count.empty() && std::isdigit(static_cast<unsigned char>(count[0]));
    const bool noTransmitter = countIsNumber && std::atoi(count.c_str()) == 0;
    const bool transmitterTest = !(s.receive && !single && noTransmitter);
    const bool receiverTest = s.receive && !single;
    const std::string progress = "Testing SMPP connection to " + s.host + ":" +
                                 std::to_string(s.port) + "...";
    return ui::RunLong<SmppTestResult>(host, progress, [&](ui::Host& worker) {
        SmppTestResult result;
        if (transmitterTest) {
            const auto busy = worker.BusyCursor();
            result.failure = RunBind(
                *smpp, s,
                {true, single ? kBindTransceiver : kBindTransmitter, s.senderPort,
                 "Unable to login to SMPP server with specified parameters."});
        }
        if (result.failure.empty() && receiverTest) {
            worker.SetProgress("Testing SMPP receiver connection to " + s.host + "...");
            result.failure = RunBind(*smpp, s,
                                     {false, kBindReceiver, s.receiverPort,
                                      "Unable to login to SMPP server with specified "
                                      "parameters to receive messages."});
        }
        result.passed = result.failure.empty();
        return result;
    });
}

}  // namespace smsc
