// One SMPP connection as the link functions see it: the caller's connected socket,
// optionally wrapped in a TLS session of TLSLNK.DLL, read and written PDU by PDU. Every
// wait is bounded by a deadline on the steady clock and cancellable; nothing is read
// past the end of the PDU asked for, so no state needs to survive between calls.
#pragma once

#include <cstdint>
#include <string>

namespace smpplnk {

// The TLS functions the link needs, resolved once from libtlslnk.so beside this
// library; null when that library or one of the functions is missing.
struct TlsFunctions {
    int (*send)(void*, const char*, int) = nullptr;
    int (*recv)(void*, char*, int) = nullptr;
    int (*pending)(void*) = nullptr;
    int (*report)(void*, char*, int) = nullptr;  // optional: the peer certificate
    // Optional: for callers that open and end their own sessions (the gateway's links).
    void* (*initSession)(int, char*, int) = nullptr;
    void (*freeSession)(void*) = nullptr;
};
const TlsFunctions* TlsLibrary();

class Link {
public:
    // `tlsSession` null: plain socket.
    Link(int socket, void* tlsSession);

    // 0 when the link can be used, else kErrNoTls or kErrNotSocket.
    int Check() const;
    // Sends the whole PDU before `deadlineMs` (platform::SteadyMillis): 0 or kErrSend,
    // kErrClosed, kErrTimedOut, kErrCancelled.
    int Send(const std::string& pdu, std::uint64_t deadlineMs);
    // Reads one PDU: its header, bounds checked before anything more is read, then
    // exactly its body. 0 with the PDU in `pdu`, or kErrLength, kErrClosed,
    // kErrTimedOut, kErrCancelled, kErrReceive.
    int Receive(std::string& pdu, std::uint64_t deadlineMs);

private:
    int ReadExact(char* data, std::size_t size, std::uint64_t deadlineMs);
    int ReadSome(char* data, std::size_t size, std::uint64_t deadlineMs, std::size_t* got);

    int fd_;
    void* tls_;
    const TlsFunctions* tlsFns_ = nullptr;
};

}  // namespace smpplnk
