#include "smsc/ucp_cimd_connect.h"

#include <functional>
#include <utility>

#include "platform/tcp_socket.h"
#include "shell/core/link_libraries.h"
#include "ui/long_operation.h"

namespace smsc {
namespace {

constexpr std::uint64_t kGracefulCloseMs = 5000;
constexpr int kErrorTextSize = 500;
constexpr const char* kSaveQuestion = "\r\n\r\nSave connection?";

// The link libraries build plain IPv4 addresses for plain hosts; a bracketed host is an
// IPv6 literal and needs a socket of that family to be reachable at all.
platform::AddressFamily FamilyFor(const std::string& host) {
    return !host.empty() && host[0] == '[' ? platform::AddressFamily::IPv6
                                           : platform::AddressFamily::IPv4;
}

// Ends every test: the peer sees everything sent before the socket goes.
void CloseGracefully(platform::UniqueFd fd) {
    if (!fd) return;
    platform::TcpSocket socket(std::move(fd));
    socket.CloseGracefully(kGracefulCloseMs);
}

std::string ErrorText(int (*errorText)(int, char*, int), int code) {
    char buffer[kErrorTextSize] = {};
    if (errorText != nullptr) errorText(code, buffer, sizeof buffer);
    buffer[sizeof buffer - 1] = '\0';
    return buffer;
}

LinkTestOutcome Failure(std::string text, const char* focus = "host") {
    return {std::move(text) + kSaveQuestion, focus};
}

struct LinkCalls {
    const char* protocol;  // "UCP" or "CIMD"
    std::function<int(int fd)> connect;
    std::function<int(int fd)> login;
    int (*errorText)(int, char*, int);
};

LinkTestOutcome RunTest(ui::Host& host, const LinkTestTarget& target, const LinkCalls& calls) {
    const std::string where = target.host + ":" + std::to_string(target.port);
    return ui::RunLong<LinkTestOutcome>(
        host, std::string("Connecting to ") + calls.protocol + " server " + where + "...",
        [&](ui::Host& worker) -> LinkTestOutcome {
            platform::UniqueFd fd = platform::OpenStreamSocketOf(FamilyFor(target.host));
            if (!fd) return Failure("Unable to connect.  General socket error.");
            if (target.localPort != 0 && platform::BindStreamSocket(fd.Get(), target.localPort) != 0)
                return Failure("Unable to bind to local UCP port " + std::to_string(target.localPort),
                               "localPort");
            platform::ShutdownOnCancel watch(fd.Get());
            if (calls.connect(fd.Get()) != 0) {
                CloseGracefully(std::move(fd));
                return Failure(std::string("Unable to connect to ") + calls.protocol +
                               " server at " + where);
            }
            worker.SetProgress(std::string("Logging in to ") + calls.protocol + " server " +
                               where + "...");
            const int code = calls.login(fd.Get());
            CloseGracefully(std::move(fd));
            if (code != 0) {
                return Failure(std::string("Unable to login to ") + calls.protocol +
                               " server with specified parameters.\r\n" +
                               ErrorText(calls.errorText, code));
            }
            return {};
        });
}

}  // namespace

LinkTestOutcome TestUcpConnection(ui::Host& host, const LinkTestTarget& target) {
    const shell::UcpLinkTable* link = shell::UcpLink();
    if (link == nullptr) return Failure("The UCP link library is not available.");
    LinkCalls calls{"UCP",
                    [&](int fd) { return link->UCPConnect(fd, 0, target.host.c_str(), target.port); },
                    [&](int fd) {
                        return link->UCPBind(fd, 0, target.user.c_str(), target.password.c_str());
                    },
                    link->UCPErrorText};
    return RunTest(host, target, calls);
}

LinkTestOutcome TestCimdConnection(ui::Host& host, const LinkTestTarget& target) {
    const shell::CimdLinkTable* link = shell::CimdLink();
    if (link == nullptr) return Failure("The CIMD link library is not available.");
    LinkCalls calls{"CIMD",
                    [&](int fd) { return link->CIMDConnect("", fd, target.host.c_str(), target.port); },
                    [&](int fd) {
                        return link->CIMDBind("", fd, target.user.c_str(), target.password.c_str());
                    },
                    link->CIMDErrorText};
    return RunTest(host, target, calls);
}

}  // namespace smsc
