// The gateway's SMPP server for user accounts: listens on SMPPPort (and, with a server
// certificate, SMPPPortSSL), binds clients against USERS.DB, takes their messages into
// the queue through the submission core and hands them what the accounts received
// (".REC" files of the received-SMS folder routed to them) as deliver_sm. It runs on a
// thread of its own with its own event loop; the service starts, reconfigures and stops
// it from the main thread.
//
// Every bound session keeps a locked flag file
// "SMPPData/ActiveUsers/<address>-<session>-<T|S|R>-<user>.FLG" for the console's
// monitor, removed when the session ends. Status byte 3 is set while the SMPPPort
// listener is up, byte 4 while SMPPPort or SMPPPortSSL cannot be bound (retried).
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "platform/event_loop.h"
#include "platform/shared_memory.h"

namespace gateway::clients {

struct SmppServerSettings {
    unsigned port = 0, tlsPort = 0;  // 0: off
    unsigned enquireLinkSeconds = 120;
    unsigned maxConnectionsPerUser = 4;
    unsigned defaultWindow = 0;  // [ZELLA] SMPPServerAsyncWindowSize; 0 = one at a time
    unsigned maxConnections = 10'000;
    std::string iniPath;    // ZELLA.INI
    std::string dataDir;    // the private data directory (flag files)
    std::string smsInDir;   // received messages (".REC" files)
    bool operator==(const SmppServerSettings&) const = default;
};

// The server's keys of ZELLA.INI ("SMPPPort", "SMPPPortSSL", "SMPPServerEnquireLink",
// "SMPPServerMaxConnectionsPerUser", "SMPPServerAsyncWindowSize").
SmppServerSettings ReadSmppServerSettings(const std::string& iniPath);

class SmppServer {
public:
    // `block` is the service's status block (bytes 3 and 4).
    SmppServer(platform::SharedMemory& block, SmppServerSettings settings);
    ~SmppServer();  // Stop()
    SmppServer(const SmppServer&) = delete;
    SmppServer& operator=(const SmppServer&) = delete;

    const SmppServerSettings& Settings() const { return settings_; }
    // Starts the thread; listeners that cannot be opened yet are retried from there.
    void Start();
    // Unbinds every session, removes their flag files, closes the listeners, clears the
    // status bytes and ends the thread.
    void Stop();
    // Received messages may wait for a bound receiver: look now (any thread).
    void Wake();

    class Impl;

private:
    platform::SharedMemory& block_;
    SmppServerSettings settings_;
    std::unique_ptr<Impl> impl_;
    std::thread thread_;
};

// Removes flag files left by an earlier run (none of them can belong to a live session).
void RemoveStaleFlagFiles(const std::string& dataDir);

}  // namespace gateway::clients
