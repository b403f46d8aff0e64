// The exported SMPP link functions: argument checks, the bind parameters from section
// "SMPP" of ZELLA.INI, and one exchange per call on the caller's socket.
#include "smpplnk/smpplnk.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <string>

#include "acctdb/acctdb.h"
#include "platform/tcp_socket.h"
#include "smpplnk/smpp_codes.h"
#include "smpplnk/smpp_connect.h"
#include "smpplnk/smpp_link.h"
#include "smpplnk/smpp_pdu.h"
#include "smpplnk/smpp_session.h"
#include "smpplnk/smpplnk_ext.h"

namespace smpplnk {
namespace {

std::string Text(const char* text) { return text ? std::string(text) : std::string(); }

// A TON or NPI as typed into ZELLA.INI: blank for 0, else a decimal octet.
bool ParseOctet(const std::string& raw, std::uint8_t* value) {
    const auto first = raw.find_first_not_of(" \t");
    if (first == std::string::npos) {
        *value = 0;
        return true;
    }
    const std::string text = raw.substr(first, raw.find_last_not_of(" \t") - first + 1);
    if (text.size() > 3) return false;
    unsigned n = 0;
    for (char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
        n = n * 10 + static_cast<unsigned>(c - '0');
    }
    if (n > 255) return false;
    *value = static_cast<std::uint8_t>(n);
    return true;
}

int BindCommand(int bindType) {
    switch (bindType) {
        case 1:
            return kBindReceiver;
        case 2:
            return kBindTransmitter;
        case 9:
            return kBindTransceiver;
        default:
            return 0;
    }
}

// The address range and bind TON/NPI the operator configured for binds.
int ReadBindSettings(BindRequest* r) {
    r->addressRange = acctdb::SMSIniGetProfileString("SMPP", "AddressRange", "", 1024);
    const std::string ton = acctdb::SMSIniGetProfileString("SMPP", "BindTON", "", 64);
    const std::string npi = acctdb::SMSIniGetProfileString("SMPP", "BindNPI", "", 64);
    if (!ParseOctet(ton, &r->ton) || !ParseOctet(npi, &r->npi)) return kErrBindTonNpi;
    return 0;
}

// An address as given: "+" and digits is international E.164, any letter makes it
// alphanumeric, anything else goes as the SMSC's default.
void AddressType(std::string* address, std::uint8_t* ton, std::uint8_t* npi) {
    *ton = 0;
    *npi = 0;
    if (!address->empty() && (*address)[0] == '+') {
        address->erase(0, 1);
        *ton = 1;
        *npi = 1;
        return;
    }
    for (char c : *address) {
        if (std::isalpha(static_cast<unsigned char>(c))) {
            *ton = 5;
            return;
        }
    }
}

// Sends a header-only request and checks that its header-only response came back.
int HeaderOnlyExchange(int socket, void* tls, std::uint32_t id) {
    Link link(socket, tls);
    if (const int rc = link.Check()) return rc;
    const std::uint32_t sequence = NextSequence();
    std::string request, response;
    if (EncodeHeaderOnly(id, 0, sequence, request) != 0) return kErrEncode;
    if (const int rc = Exchange(link, request, sequence, id | kResponseBit, &response)) return rc;
    if (DecodeHeaderOnly(response, id | kResponseBit) != 0) return kErrMalformed;
    const Header h = DecodeHeader(reinterpret_cast<const unsigned char*>(response.data()));
    return StatusCode(h.status);
}

}  // namespace
}  // namespace smpplnk

using namespace smpplnk;

extern "C" int SMPPSetDebugMode(int on) {
    SetTrace(on != 0);
    return 0;
}

extern "C" int SMPPConnect(int socket, int /*reserved*/, const char* host, unsigned port) {
    std::string target;
    if (const int rc = ConnectTarget(host, port, &target)) return rc;
    TraceNote("connect " + target + " port " + std::to_string(port));
    return platform::ConnectStreamSocket(socket, target, port, ConnectTimeoutMs());
}

// Notes the TLS server's certificate (subject, issuer, expiry, verification result) in the
// trace: an untrusted certificate does not stop the bind, so the trace is where it shows.
static void TracePeerCertificate(void* tlsSession) {
    const TlsFunctions* tls = tlsSession ? TlsLibrary() : nullptr;
    if (!tls || !tls->report) return;
    char report[2048] = {};
    if (tls->report(tlsSession, report, sizeof report) <= 0) return;
    std::string text(report, strnlen(report, sizeof report));
    for (std::size_t at; (at = text.find("\r\n")) != std::string::npos;) text.replace(at, 2, "; ");
    TraceNote("TLS server certificate: " + text);
}

extern "C" int SMPPBind(int socket, void* tlsSession, int /*reserved*/, int version, int bindType,
                        const char* systemId, const char* password, const char* systemType) {
    if (version != 0x33 && version != 0x34) return kErrVersion;
    BindRequest r;
    r.commandId = static_cast<std::uint32_t>(BindCommand(bindType));
    if (r.commandId == 0) return kErrBindType;
    r.version = static_cast<std::uint8_t>(version);
    r.systemId = Text(systemId);
    r.password = Text(password);
    r.systemType = Text(systemType);
    if (const int rc = ReadBindSettings(&r)) return rc;
    const std::uint32_t sequence = NextSequence();
    std::string request, response;
    // Every field is checked before the connection is touched: a cut password only
    // earns an invalid-password answer, and an overlong one would be a malformed PDU.
    if (const int rc = EncodeBind(r, sequence, request)) return rc;
    Link link(socket, tlsSession);
    if (const int rc = link.Check()) return rc;
    TracePeerCertificate(tlsSession);
    if (const int rc = Exchange(link, request, sequence, r.commandId | kResponseBit, &response)) {
        return rc;
    }
    const Header h = DecodeHeader(reinterpret_cast<const unsigned char*>(response.data()));
    if (h.status != 0) return StatusCode(h.status);
    std::string smscId;
    if (DecodeBindResponse(response, &smscId) != 0) return kErrMalformed;
    TraceNote("bound to SMSC \"" + smscId + "\"");
    return 0;
}

extern "C" int SMPPSubmitMessage(int socket, void* tlsSession, int /*reserved*/, int /*version*/,
                                 const char* source, const char* destination, int dataCoding,
                                 const unsigned char* message, int length, char* messageId,
                                 int messageIdSize) {
    if (messageId && messageIdSize > 0) messageId[0] = '\0';
    if (!destination || length < 0 || (length > 0 && !message) || dataCoding < 0 ||
        dataCoding > 255) {
        return kErrBadArgument;
    }
    SubmitRequest r;
    r.source = Text(source);
    r.destination = destination;
    AddressType(&r.source, &r.sourceTon, &r.sourceNpi);
    AddressType(&r.destination, &r.destTon, &r.destNpi);
    r.dataCoding = static_cast<std::uint8_t>(dataCoding);
    if (length > 0)
        r.message.assign(reinterpret_cast<const char*>(message), static_cast<std::size_t>(length));
    const std::uint32_t sequence = NextSequence();
    std::string request, response;
    if (const int rc = EncodeSubmit(r, sequence, request)) return rc;
    Link link(socket, tlsSession);
    if (const int rc = link.Check()) return rc;
    if (const int rc = Exchange(link, request, sequence, kSubmitSm | kResponseBit, &response)) {
        return rc;
    }
    const Header h = DecodeHeader(reinterpret_cast<const unsigned char*>(response.data()));
    if (h.status != 0) return StatusCode(h.status);
    std::string id;
    if (DecodeSubmitResponse(response, &id) != 0) return kErrMalformed;
    if (messageId && messageIdSize > 0) {
        const std::size_t n = std::min(id.size(), static_cast<std::size_t>(messageIdSize - 1));
        id.copy(messageId, n);
        messageId[n] = '\0';
    }
    return 0;
}

extern "C" int SMPPUnbind(int socket, void* tlsSession, int /*reserved*/, int /*version*/) {
    return HeaderOnlyExchange(socket, tlsSession, kUnbind);
}

extern "C" int SMPPEnquireLink(int socket, void* tlsSession, int /*reserved*/, int /*version*/) {
    return HeaderOnlyExchange(socket, tlsSession, kEnquireLink);
}

extern "C" void SMPPSetTimeouts(int connectMs, int replyMs) { SetTimeouts(connectMs, replyMs); }
