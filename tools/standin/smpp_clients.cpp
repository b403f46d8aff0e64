// SMPP 3.4 framing: a 16-byte header (length, command id, status, sequence, all
// big-endian) and a body; responses carry the command id with the high bit set.
#include "tools/standin/smpp_clients.h"

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>

namespace standin {
namespace {

constexpr std::uint32_t kBindReceiver = 0x01, kBindTransmitter = 0x02, kSubmitSm = 0x04,
                        kUnbind = 0x06, kBindTransceiver = 0x09, kEnquireLink = 0x15,
                        kResponse = 0x80000000,
                        kGenericNack = 0x80000000;
constexpr std::uint32_t kStatusInvalidCommand = 0x03, kStatusAlreadyBound = 0x05,
                        kStatusInvalidBindStatus = 0x04;
constexpr std::size_t kMaxPdu = 65536;

std::uint32_t Be32(const std::string& s, std::size_t at) {
    auto b = [&](std::size_t i) { return static_cast<std::uint32_t>(static_cast<unsigned char>(s[at + i])); };
    return b(0) << 24 | b(1) << 16 | b(2) << 8 | b(3);
}

void PutBe32(std::string& s, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) s += static_cast<char>((v >> shift) & 0xff);
}

void Send(int fd, std::uint32_t command, std::uint32_t status, std::uint32_t sequence,
          const std::string& body = {}) {
    std::string pdu;
    PutBe32(pdu, static_cast<std::uint32_t>(16 + body.size()));
    PutBe32(pdu, command);
    PutBe32(pdu, status);
    PutBe32(pdu, sequence);
    pdu += body;
    std::size_t sent = 0;
    while (sent < pdu.size()) {
        ssize_t n = send(fd, pdu.data() + sent, pdu.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) return;
        sent += static_cast<std::size_t>(n);
    }
}

// A user name as one file-name part: separators and control characters become "_".
std::string FileSafe(const std::string& text) {
    std::string out;
    for (unsigned char c : text) out += (c < 0x20 || c == '/' || c == '\\') ? '_' : static_cast<char>(c);
    return out.empty() ? "_" : out;
}

std::string PeerAddress(const sockaddr_storage& peer) {
    char text[INET6_ADDRSTRLEN] = "unknown";
    if (peer.ss_family == AF_INET) {
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in&>(peer).sin_addr, text, sizeof text);
    } else if (peer.ss_family == AF_INET6) {
        inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6&>(peer).sin6_addr, text, sizeof text);
    }
    // ":" cannot stand in a file name part everywhere the console looks.
    std::string address = text;
    std::replace(address.begin(), address.end(), ':', '.');
    return address;
}

}  // namespace

SmppClients::SmppClients(int listenFd, std::string flagDirectory)
    : listenFd_(listenFd), flagDirectory_(std::move(flagDirectory)) {}

SmppClients::~SmppClients() {
    for (auto& client : clients_) Drop(*client);
    if (listenFd_ >= 0) close(listenFd_);
}

std::vector<pollfd> SmppClients::PollSet() const {
    std::vector<pollfd> set{{listenFd_, POLLIN, 0}};
    for (const auto& client : clients_) set.push_back({client->fd, POLLIN, 0});
    return set;
}

void SmppClients::Handle(const std::vector<pollfd>& ready) {
    for (std::size_t i = 1; i < ready.size() && i - 1 < clients_.size(); ++i) {
        if (ready[i].revents != 0 && !Read(*clients_[i - 1])) Drop(*clients_[i - 1]);
    }
    clients_.erase(std::remove_if(clients_.begin(), clients_.end(),
                                  [](const auto& c) { return c->fd < 0; }),
                   clients_.end());
    if (!ready.empty() && (ready[0].revents & POLLIN) != 0) Accept();
}

void SmppClients::Accept() {
    sockaddr_storage peer{};
    socklen_t length = sizeof peer;
    int fd = accept4(listenFd_, reinterpret_cast<sockaddr*>(&peer), &length, SOCK_CLOEXEC);
    if (fd < 0) return;
    auto client = std::make_unique<Client>();
    client->fd = fd;
    client->address = PeerAddress(peer);
    clients_.push_back(std::move(client));
}

bool SmppClients::Read(Client& client) {
    char buffer[4096];
    ssize_t n = recv(client.fd, buffer, sizeof buffer, 0);
    if (n <= 0) return false;
    client.input.append(buffer, static_cast<std::size_t>(n));
    while (client.input.size() >= 16) {
        std::uint32_t length = Be32(client.input, 0);
        if (length < 16 || length > kMaxPdu) return false;
        if (client.input.size() < length) break;
        std::string pdu = client.input.substr(0, length);
        client.input.erase(0, length);
        if (!Dispatch(client, pdu)) return false;
    }
    return true;
}

bool SmppClients::Dispatch(Client& client, const std::string& pdu) {
    std::uint32_t command = Be32(pdu, 4);
    std::uint32_t sequence = Be32(pdu, 12);
    std::string body = pdu.substr(16);
    switch (command) {
        case kBindReceiver:
        case kBindTransmitter:
        case kBindTransceiver:
            Bind(client, command, sequence, body);
            return true;
        case kEnquireLink:
            Send(client.fd, kEnquireLink | kResponse, 0, sequence);
            return true;
        case kSubmitSm:
            if (!client.bound) {
                Send(client.fd, kSubmitSm | kResponse, kStatusInvalidBindStatus, sequence);
            } else {
                std::string id = std::to_string(nextMessageId_++);
                Send(client.fd, kSubmitSm | kResponse, 0, sequence, id + '\0');
            }
            return true;
        case kUnbind:
            Send(client.fd, kUnbind | kResponse, 0, sequence);
            return false;
        default:
            if ((command & kResponse) != 0) return true;  // a response of the client's
            Send(client.fd, kGenericNack, kStatusInvalidCommand, sequence);
            return true;
    }
}

void SmppClients::Bind(Client& client, std::uint32_t command, std::uint32_t sequence,
                       const std::string& body) {
    std::string user = body.substr(0, body.find('\0'));
    std::uint32_t response = command | kResponse;
    if (client.bound) {
        Send(client.fd, response, kStatusAlreadyBound, sequence);
        return;
    }
    char letter = command == kBindTransceiver ? 'T' : command == kBindTransmitter ? 'S' : 'R';
    platform::CreateDirectories(flagDirectory_);
    client.flagPath = flagDirectory_ + client.address + "-" + std::to_string(nextId_++) + "-" +
                      letter + "-" + FileSafe(user) + ".FLG";
    client.flag = platform::FileLock(client.flagPath, true, false, true);
    client.bound = true;
    Send(client.fd, response, 0, sequence, std::string("zella") + '\0');
}

void SmppClients::Drop(Client& client) {
    if (client.fd >= 0) close(client.fd);
    client.fd = -1;
    if (!client.flagPath.empty()) {
        client.flag = platform::FileLock();
        unlink(client.flagPath.c_str());
        client.flagPath.clear();
    }
}

}  // namespace standin
