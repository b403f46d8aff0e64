#include "gateway/web/web_channel.h"

#include "platform/io_wait.h"

namespace gateway::web {

WebChannel::WebChannel(platform::UniqueFd fd, const shell::TlsLinkTable* tls) : socket_(std::move(fd)), tls_(tls) {}

WebChannel::~WebChannel() {
    if (session_ != nullptr) tls_->sslFreeSession(session_);
}

bool WebChannel::Accept(std::string& error) {
    if (tls_ == nullptr || tls_->sslAcceptSessionApp == nullptr) {
        error = "TLS is not available";
        return false;
    }
    char buffer[512] = {};
    session_ = tls_->sslAcceptSessionApp(socket_.Descriptor(), buffer, sizeof buffer);
    if (session_ == nullptr) error = buffer;
    return session_ != nullptr;
}

bool WebChannel::Read(std::string& buffer, std::uint64_t deadlineMs, bool& timedOut) {
    timedOut = false;
    char chunk[16384];
    if (session_ != nullptr && tls_->sslDataPending(session_) <= 0) {
        const std::uint64_t now = platform::SteadyMillis();
        if (now >= deadlineMs || socket_.Wait(platform::IoEvent::Readable, deadlineMs - now) != platform::WaitStatus::Ready) {
            timedOut = now >= deadlineMs || platform::SteadyMillis() >= deadlineMs;
            return false;
        }
    }
    if (session_ != nullptr) {
        const int n = tls_->sslRecv(session_, chunk, sizeof chunk);
        if (n <= 0) return false;
        buffer.append(chunk, static_cast<std::size_t>(n));
        return true;
    }
    const std::uint64_t now = platform::SteadyMillis();
    if (now >= deadlineMs) {
        timedOut = true;
        return false;
    }
    const platform::IoResult r = socket_.Receive(chunk, sizeof chunk, deadlineMs - now);
    if (r.status == platform::IoStatus::TimedOut) timedOut = true;
    if (!r.Ok() || r.bytes == 0) return false;
    buffer.append(chunk, r.bytes);
    return true;
}

bool WebChannel::Write(const std::string& data, std::uint64_t timeoutMs) {
    if (session_ != nullptr) {
        std::size_t sent = 0;
        while (sent < data.size()) {
            const int part = static_cast<int>(std::min<std::size_t>(data.size() - sent, 1 << 20));
            if (tls_->sslSend(session_, data.data() + sent, part) < part) return false;
            sent += static_cast<std::size_t>(part);
        }
        return true;
    }
    return socket_.SendAll(data, timeoutMs).Ok();
}

void WebChannel::Close() {
    if (session_ != nullptr) {
        tls_->sslFreeSession(session_);
        session_ = nullptr;
    }
    socket_.CloseGracefully(200);
}

}  // namespace gateway::web
