#include "twoway/smtp_client.h"

#include <algorithm>
#include <cctype>

#include "platform/io_wait.h"

namespace twoway {
namespace {

constexpr std::size_t kReplyLimit = 1048575;
constexpr std::size_t kChunk = 4096;
constexpr std::uint64_t kSendMs = 15000;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// A final reply line: three digits and a blank, or three digits alone (RFC 5321 lets
// the text be left out).
bool IsFinalLine(std::string_view line) {
    if (line.size() < 3 || !IsDigit(line[0]) || !IsDigit(line[1]) || !IsDigit(line[2]))
        return false;
    return line.size() == 3 || line[3] == ' ';
}

// Reads what is there now: the TLS session's decrypted bytes or the socket's. -1 when
// the connection ended or failed.
long ReadSome(const SmtpLink& link, char* buffer, std::size_t size) {
    if (link.session != nullptr) {
        const int n = link.tls->sslRecv(link.session, buffer, static_cast<int>(size));
        return n > 0 ? n : -1;
    }
    const platform::IoResult r = link.socket->ReceiveAvailable(buffer, size);
    if (!r.Ok()) return -1;
    return static_cast<long>(r.bytes);
}

}  // namespace

bool SmtpSendLine(const SmtpLink& link, std::string_view text) {
    std::string line(text);
    line += "\r\n";
    if (link.session != nullptr) {
        const int length = static_cast<int>(line.size());
        return link.tls->sslSend(link.session, line.data(), length) >= length;
    }
    return link.socket->SendAll(line, kSendMs).Ok();
}

bool SmtpReadReply(const SmtpLink& link, std::uint64_t timeoutMs, std::string* reply) {
    std::string data;
    std::size_t scanned = 0;
    std::uint64_t lastData = platform::SteadyMillis();
    for (;;) {
        for (std::size_t nl; (nl = data.find('\n', scanned)) != std::string::npos;) {
            std::string_view line(data.data() + scanned, nl - scanned);
            if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
            scanned = nl + 1;
            if (IsFinalLine(line)) {
                if (reply) *reply = data;
                return line[0] == '2' || line[0] == '3' || line[0] == '0';
            }
        }
        const std::uint64_t waited = platform::SteadyMillis() - lastData;
        if (waited > timeoutMs || data.size() > kReplyLimit) break;
        // Decrypted bytes already held by the session do not make the socket readable.
        const bool pending = link.session != nullptr && link.tls->sslDataPending(link.session) > 0;
        if (!pending && platform::WaitForIo(link.socket->Descriptor(), platform::IoEvent::Readable,
                                            timeoutMs - waited) != platform::WaitStatus::Ready)
            break;
        char chunk[kChunk];
        const long n = ReadSome(link, chunk, sizeof chunk);
        if (n < 0) break;
        if (n == 0) continue;
        std::replace(chunk, chunk + n, '\0', ' ');
        data.append(chunk, static_cast<std::size_t>(n));
        lastData = platform::SteadyMillis();
    }
    if (reply) *reply = data;
    return false;
}

std::string Base64Encode(std::string_view data) {
    static const char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((data.size() + 2) / 3 * 4);
    for (std::size_t i = 0; i < data.size(); i += 3) {
        const std::size_t n = std::min<std::size_t>(3, data.size() - i);
        std::uint32_t v = static_cast<unsigned char>(data[i]) << 16;
        if (n > 1) v |= static_cast<unsigned char>(data[i + 1]) << 8;
        if (n > 2) v |= static_cast<unsigned char>(data[i + 2]);
        out += kAlphabet[(v >> 18) & 63];
        out += kAlphabet[(v >> 12) & 63];
        out += n > 1 ? kAlphabet[(v >> 6) & 63] : '=';
        out += n > 2 ? kAlphabet[v & 63] : '=';
    }
    return out;
}

std::vector<std::string> SplitRecipients(std::string_view list) {
    std::vector<std::string> out;
    while (!list.empty()) {
        const std::size_t comma = list.find(',');
        std::string_view entry = list.substr(0, comma);
        const std::size_t first = entry.find_first_not_of(" \t");
        if (first != std::string_view::npos) {
            const std::size_t last = entry.find_last_not_of(" \t");
            out.emplace_back(entry.substr(first, last - first + 1));
        }
        if (comma == std::string_view::npos) break;
        list.remove_prefix(comma + 1);
    }
    return out;
}

bool HasControlCharacter(std::string_view text) {
    return std::any_of(text.begin(), text.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u < 0x20 || u == 0x7f;
    });
}

std::string DotStuffed(std::string_view message) {
    std::string out;
    out.reserve(message.size() + 8);
    bool lineStart = true;
    for (char c : message) {
        if (lineStart && c == '.') out += '.';
        out += c;
        lineStart = c == '\n';
    }
    return out;
}

}  // namespace twoway
