// A phone's answer to /init as the console parses it: the header-end search, header
// values under every capacity, the placeholder replacement used for the pairing text,
// and (for inputs that begin with byte 0x01) the whole read from a socket whose peer
// sends the rest of the input and closes. The parser's promises are checked, not only
// its survival.
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "modem/network_modem.h"
#include "platform/tcp_socket.h"
#include "platform/unique_fd.h"

namespace {

void Require(bool condition) {
    if (!condition) __builtin_trap();
}

void CheckHeaderFunctions(std::string_view text) {
    const std::size_t end = modem::FindHttpHeaderEnd(text);
    Require(end <= text.size());
    if (end != 0) Require(text.substr(0, end).ends_with("\n\n") || text.substr(0, end).ends_with("\n\r\n"));
    for (std::string_view name : {"X-QuvSMS-DeviceName:", "X-QuvSMS-DeviceID:", "Content-length:", ""}) {
        for (std::size_t capacity : {std::size_t(1), std::size_t(2), modem::kHeaderValueCapacity}) {
            const std::string value = modem::GetHttpHeaderValue(text, name, capacity);
            Require(value.size() < capacity);
            for (unsigned char c : value) Require(c >= 32);
            if (end == 0) Require(value.empty());
        }
    }
    const std::size_t cut = text.size() / 3;
    const std::string replaced =
        modem::ReplaceAllNoCase(std::string(text), text.substr(0, cut % 8), text.substr(cut, 16), 512);
    Require(replaced.size() < 512);
}

void CheckSocketRead(std::string_view sent) {
    int pair[2];
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, pair) != 0) return;
    platform::TcpSocket reader{platform::UniqueFd(pair[0])};
    // A socket pair holds well over the few KiB the fuzzer sends, so one write fits.
    const ssize_t written = write(pair[1], sent.data(), sent.size());
    close(pair[1]);
    const std::string response = modem::ReadHttpResponse(reader);
    Require(written < 0 || response.size() <= sent.size());
    Require(std::string_view(response) == sent.substr(0, response.size()));
    CheckHeaderFunctions(response);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (size > 0 && data[0] == 0x01 && size <= 64 * 1024) {
        CheckSocketRead(text.substr(1));
    } else {
        CheckHeaderFunctions(text);
    }
    return 0;
}
