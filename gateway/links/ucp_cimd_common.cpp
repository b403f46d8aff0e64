#include "gateway/links/ucp_cimd_common.h"

#include <cstring>

#include "config/config_store.h"

namespace gateway {

platform::TcpSocket OpenSmscConnection(const std::string& host, unsigned port, unsigned localPort,
                                       std::uint64_t timeoutMs, std::string& error) {
    const std::string where = host + ":" + std::to_string(port);
    if (host.empty() || port == 0) {
        error = "Unable to connect to " + where + ": no server host or port";
        return {};
    }
    int why = 0;
    platform::UniqueFd fd = platform::OpenStreamSocket(localPort, &why);
    if (!fd) {
        error = "Unable to connect to " + where + ": " +
                (localPort ? "local port " + std::to_string(localPort) + ": " : std::string()) +
                std::strerror(why);
        return {};
    }
    why = platform::ConnectStreamSocket(fd.Get(), host, port, timeoutMs);
    if (why != 0) {
        error = "Unable to connect to " + where + ": " +
                (why == ETIMEDOUT ? std::string("no answer (timed out)")
                 : why == EHOSTUNREACH ? std::string("host name not found or unreachable")
                                       : std::string(std::strerror(why)));
        return {};
    }
    platform::TcpSocket socket(std::move(fd));
    socket.SetNoDelay(true);
    error.clear();
    return socket;
}

std::string ChooseSender(const ConnectionSettings& settings, const OutboundMessage& message) {
    const std::string override = settings.Key("SenderAddressOverride");
    const bool mayOverride = override.empty() || config::IsYes(override);
    if (mayOverride && !message.sender.empty()) return message.sender;
    return settings.Key("SenderAddress");
}

bool IsNumericAddress(const std::string& address) {
    const std::size_t from = !address.empty() && address[0] == '+' ? 1 : 0;
    if (address.size() <= from || address.size() - from > 20) return false;
    return address.find_first_not_of("0123456789", from) == std::string::npos;
}

std::uint64_t KeepAliveMs(const ConnectionSettings& settings) {
    const std::string text = settings.Key("KeepAlive");
    std::uint64_t seconds = 0;
    for (char c : text) {
        if (c < '0' || c > '9') break;
        seconds = seconds * 10 + static_cast<unsigned>(c - '0');
        if (seconds > 86400) seconds = 86400;
    }
    return seconds * 1000;
}

FrameCutter::Cut FrameCutter::Next(std::string& frame) {
    std::size_t skip = 0;
    while (skip < buffer_.size() &&
           (buffer_[skip] == '\r' || buffer_[skip] == '\n' || buffer_[skip] == ' '))
        ++skip;
    buffer_.erase(0, skip);
    if (buffer_.empty()) return Cut::NeedMore;
    if (buffer_[0] != '\x02') return Cut::Garbage;
    const std::size_t etx = buffer_.find('\x03');
    if (etx == std::string::npos) return buffer_.size() > max_ ? Cut::TooLong : Cut::NeedMore;
    if (etx + 1 > max_) return Cut::TooLong;
    frame = buffer_.substr(0, etx + 1);
    buffer_.erase(0, etx + 1);
    return Cut::Frame;
}

bool EncodeForSubmit(const OutboundMessage& m, unsigned char reference, EncodedMessage& encoded, int& dcs,
                     std::string& error) {
    if (!EncodeMessage(m.text, m.octets, m.udh, m.binary, true, reference, encoded)) {
        error = m.binary ? "The message is too long" : "The message text is not valid UTF-8 or too long";
        return false;
    }
    dcs = m.binary ? (m.dcs >= 0 ? m.dcs : 0x04) : 0x08;
    return true;
}

}  // namespace gateway
