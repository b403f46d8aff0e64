#include "smsc/http_connect.h"

#include <utility>

#include "acctdb/acctdb.h"
#include "config/config_store.h"
#include "platform/tcp_socket.h"
#include "shell/core/link_libraries.h"
#include "ui/long_operation.h"

namespace smsc {
namespace {

constexpr std::uint64_t kGracefulCloseMs = 5000;
constexpr int kTlsBufferSize = 1024;

HttpTestOutcome Connected(int fd, const HttpTestTarget& target) {
    if (!target.proxy.empty()) {
        std::string proxyHost;
        unsigned proxyPort = 80;
        config::SplitHostPort(target.proxy, proxyHost, proxyPort);
        if (acctdb::IPV6ConnectToINetServer(fd, proxyHost, proxyPort) != 0)
            return {"Unable to connect to proxy server " + proxyHost + ":" +
                        std::to_string(proxyPort),
                    "proxy"};
        return {};  // through a proxy the proxy alone decides
    }
    if (acctdb::IPV6ConnectToINetServer(fd, target.host, target.port) != 0)
        return {"Unable to connect to server " + target.host + ":" + std::to_string(target.port),
                "url"};
    if (!target.ssl || !shell::TlsAvailable() || shell::TlsLink() == nullptr) return {};
    const shell::TlsLinkTable* tls = shell::TlsLink();
    char buffer[kTlsBufferSize] = {};
    target.host.copy(buffer, sizeof buffer - 1);
    void* session = nullptr;
    {
        platform::ShutdownOnCancel watch(fd);
        session = tls->sslInitSession(fd, buffer, sizeof buffer);
    }
    if (session == nullptr) {
        buffer[sizeof buffer - 1] = '\0';
        return {std::string("Unable to negotiate SSL/TLS connection with server\r\n\r\n") + buffer,
                "url"};
    }
    tls->sslFreeSession(session);
    return {};
}

}  // namespace

HttpTestOutcome TestHttpConnection(ui::Host& host, const HttpTestTarget& target) {
    const std::string where = target.proxy.empty()
                                  ? target.host + ":" + std::to_string(target.port)
                                  : "proxy server " + target.proxy;
    return ui::RunLong<HttpTestOutcome>(
        host, "Connecting to " + where + "...", [&](ui::Host&) -> HttpTestOutcome {
            const int fd = acctdb::IPV6OpenSocket(0, 0, 0);
            if (fd < 0) return {"General socket error", "url"};
            HttpTestOutcome outcome = Connected(fd, target);
            platform::TcpSocket socket{platform::UniqueFd(fd)};
            socket.CloseGracefully(kGracefulCloseMs);
            return outcome;
        });
}

}  // namespace smsc
