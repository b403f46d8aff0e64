// Pieces both SMSC login links (UCP/EMI and CIMD2) share: a bounded socket over the
// caller's descriptor, the C buffer hand-over of texts, and the protocol trace. Header
// only, so each library carries its own copy and neither depends on the other.
#pragma once

#include <fcntl.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/tcp_socket.h"
#include "platform/text.h"
#include "platform/unique_fd.h"

namespace smsc_link {

// A TcpSocket on a duplicate of a descriptor the caller owns. The duplicate shares the
// caller's file status, so the blocking mode the caller had is put back when this ends.
class BorrowedSocket {
public:
    explicit BorrowedSocket(int fd) : fd_(fd) {
        flags_ = fd >= 0 ? ::fcntl(fd, F_GETFL) : -1;
        if (flags_ < 0) return;
        const int copy = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
        if (copy >= 0) socket_ = platform::TcpSocket(platform::UniqueFd(copy));
    }
    ~BorrowedSocket() {
        socket_.Close();
        if (flags_ >= 0) ::fcntl(fd_, F_SETFL, flags_);
    }
    BorrowedSocket(const BorrowedSocket&) = delete;
    BorrowedSocket& operator=(const BorrowedSocket&) = delete;

    platform::TcpSocket& Socket() { return socket_; }

private:
    int fd_;
    int flags_ = -1;
    platform::TcpSocket socket_;
};

// Copies `text` into the caller's buffer, cut to fit and NUL-terminated when `size` is
// at least 1; returns the characters written.
inline int CopyText(std::string_view text, char* buffer, int size) {
    if (!buffer || size < 1) return 0;
    const std::size_t n = text.size() < static_cast<std::size_t>(size - 1)
                              ? text.size()
                              : static_cast<std::size_t>(size - 1);
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
    return static_cast<int>(n);
}

// `text` with every byte outside printable ASCII shown as <XX>, so a server's text or a
// traced frame can never smuggle control bytes into a message box or a log line.
inline std::string Printable(std::string_view text, std::size_t maxChars = 200) {
    std::string out;
    for (unsigned char c : text) {
        if (out.size() >= maxChars) {
            out += "...";
            break;
        }
        if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "<%02X>", c);
            out += hex;
        }
    }
    return out;
}

// The checksum both protocols end a frame with: the sum of the covered bytes, modulo
// 256, as two upper-case hex digits.
inline std::string ByteSumChecksum(std::string_view covered) {
    unsigned sum = 0;
    for (unsigned char c : covered) sum += c;
    char hex[3];
    std::snprintf(hex, sizeof hex, "%02X", sum & 0xFFu);
    return hex;
}

// Writes one traced frame to standard error with `secret` (when not empty) masked.
inline void Trace(const char* who, const char* direction, std::string frame,
                  std::string_view secret) {
    if (!secret.empty())
        for (std::size_t at = frame.find(secret); at != std::string::npos;
             at = frame.find(secret, at + 3))
            frame.replace(at, secret.size(), "***");
    std::fprintf(stderr, "%s %s %s\n", who, direction, Printable(frame, 400).c_str());
}

}  // namespace smsc_link
