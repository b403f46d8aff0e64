#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include "platform/process.h"
#include "tests/libs/tlslnk/openssl_peer.h"

namespace tlslnk_test {

int RunOpenssl(std::vector<std::string> args, std::string* output) {
    args.insert(args.begin(), platform::FindInPath("openssl"));
    return platform::RunAndWait(args, 60000, output);
}

int ConnectLoopback(unsigned port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) return fd;
    if (fd >= 0) close(fd);
    return -1;
}

}  // namespace tlslnk_test
