// One accepted web connection, plain or TLS, read and written with deadlines.
#pragma once

#include <cstdint>
#include <string>

#include "platform/tcp_socket.h"
#include "shell/core/link_libraries.h"

namespace gateway::web {

class WebChannel {
public:
    WebChannel(platform::UniqueFd fd, const shell::TlsLinkTable* tls);
    ~WebChannel();
    WebChannel(const WebChannel&) = delete;
    WebChannel& operator=(const WebChannel&) = delete;

    // For TLS channels: the server side of the handshake; false (with `error`) when it failed.
    bool Accept(std::string& error);
    // Appends what arrives to `buffer`, waiting until `deadlineMs` (steady clock) for
    // the first byte. False when the peer closed, the deadline passed (`timedOut`), or
    // the connection failed.
    bool Read(std::string& buffer, std::uint64_t deadlineMs, bool& timedOut);
    // Sends all of `data` within `timeoutMs`.
    bool Write(const std::string& data, std::uint64_t timeoutMs);
    // Ends the connection after what was written.
    void Close();

private:
    platform::TcpSocket socket_;
    const shell::TlsLinkTable* tls_;
    void* session_ = nullptr;
};

}  // namespace gateway::web
