// The stand-in's SMPP server: accepts clients on a listening socket, answers binds,
// enquire links, submits and unbinds, and marks every bound client with a flag file
// "<address>-<id>-<T|S|R>-<user>.FLG" in "SMPPData/ActiveUsers/" of the private data
// directory, kept locked while the client stays connected and deleted when it leaves.
// No password is checked: every bind succeeds.
#pragma once

#include <poll.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/files.h"

namespace standin {

class SmppClients {
public:
    // `listenFd` is a listening socket this object takes over; `flagDirectory` ends in "/".
    SmppClients(int listenFd, std::string flagDirectory);
    ~SmppClients();
    SmppClients(const SmppClients&) = delete;
    SmppClients& operator=(const SmppClients&) = delete;

    // Descriptors to poll for input: the listener first, then every client.
    std::vector<pollfd> PollSet() const;
    // Handles what poll() reported for the descriptors of PollSet().
    void Handle(const std::vector<pollfd>& ready);
    std::size_t ClientCount() const { return clients_.size(); }

private:
    struct Client {
        int fd = -1;
        std::string address;
        std::string input;
        bool bound = false;
        std::string flagPath;
        platform::FileLock flag;
    };

    void Accept();
    // False when the client is to be dropped.
    bool Read(Client& client);
    bool Dispatch(Client& client, const std::string& pdu);
    void Bind(Client& client, std::uint32_t command, std::uint32_t sequence,
              const std::string& body);
    void Drop(Client& client);

    int listenFd_;
    std::string flagDirectory_;
    std::vector<std::unique_ptr<Client>> clients_;
    unsigned nextId_ = 1;
    unsigned nextMessageId_ = 1;
};

}  // namespace standin
