// Bytes from a CIMD2 server: the packet parser, the round trip through the builder, and
// the whole login and logout reads of the link library over a socket pair.
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "cimdlnk/cimd_frame.h"
#include "cimdlnk/cimdlnk.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);

    cimd::Packet packet;
    if (cimd::ParseFrame(input, &packet) == cimd::ParseError::None) {
        // What the builder accepts must parse back to the same packet.
        const std::string rebuilt = cimd::BuildPacket(packet);
        cimd::Packet again;
        if (!rebuilt.empty() &&
            (cimd::ParseFrame(rebuilt, &again) != cimd::ParseError::None ||
             again.parameters != packet.parameters || again.operation != packet.operation ||
             again.number != packet.number))
            __builtin_trap();
    }

    // The input as a password: a login that is built must carry it back out intact.
    const std::string login = cimd::BuildLoginPacket(1, "user", input);
    if (!login.empty()) {
        cimd::Packet parsed;
        const std::string* password = nullptr;
        if (cimd::ParseFrame(login, &parsed) != cimd::ParseError::None ||
            !(password = cimd::FindParameter(parsed, cimd::kPassword)) || *password != input)
            __builtin_trap();
    }

    // The input as the server's whole answer, the connection closing after it (small
    // enough for the socket buffer, as nothing reads the other end while it is written).
    int pair[2];
    if (size > 16384 || socketpair(AF_UNIX, SOCK_STREAM, 0, pair) != 0) return 0;
    if (write(pair[1], data, size) == static_cast<ssize_t>(size)) {
        shutdown(pair[1], SHUT_WR);
        CIMDSetTimeout(1000);
        int code = CIMDBind("", pair[0], "user", "secret");
        if (code == 0) code = CIMDLogout("", pair[0]);
        char text[256];
        CIMDErrorText(code, text, sizeof text);
    }
    close(pair[0]);
    close(pair[1]);
    return 0;
}
