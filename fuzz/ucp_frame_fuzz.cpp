// Bytes from a UCP/EMI server: the frame parser, the round trip through the builder, and
// the whole login read of the link library over a socket pair.
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "ucplnk/ucp_frame.h"
#include "ucplnk/ucplnk.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);

    ucp::Frame frame;
    if (ucp::ParseFrame(input, &frame) == ucp::ParseError::None) {
        // What the builder accepts must parse back to the same frame.
        const std::string rebuilt = ucp::BuildFrame(frame);
        ucp::Frame again;
        if (!rebuilt.empty() &&
            (ucp::ParseFrame(rebuilt, &again) != ucp::ParseError::None ||
             again.fields != frame.fields || again.trn != frame.trn || again.ot != frame.ot))
            __builtin_trap();
    }

    // The input as a password: a login that is built must carry it back out intact.
    const std::string login = ucp::BuildLoginFrame(7, "12345", input);
    if (!login.empty()) {
        ucp::Frame parsed;
        std::string password;
        if (ucp::ParseFrame(login, &parsed) != ucp::ParseError::None ||
            parsed.fields.size() != 12 || !ucp::FromIraHex(parsed.fields[4], &password) ||
            password != input)
            __builtin_trap();
    }

    // The input as the server's whole answer, the connection closing after it (small
    // enough for the socket buffer, as nothing reads the other end while it is written).
    int pair[2];
    if (size > 16384 || socketpair(AF_UNIX, SOCK_STREAM, 0, pair) != 0) return 0;
    if (write(pair[1], data, size) == static_cast<ssize_t>(size)) {
        shutdown(pair[1], SHUT_WR);
        UCPSetTimeout(1000);
        const int code = UCPBind(pair[0], 0, "12345", "secret");
        char text[256];
        UCPErrorText(code, text, sizeof text);
    }
    close(pair[0]);
    close(pair[1]);
    return 0;
}
