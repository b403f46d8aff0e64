// Bytes from an SMSC into the SMPP client: the PDU decoders on their own, then a whole
// bind exchange reading the bytes from a socket pair, answering what the SMSC asks.
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/unique_fd.h"
#include "smpplnk/smpp_codes.h"
#include "smpplnk/smpp_link.h"
#include "smpplnk/smpp_pdu.h"
#include "smpplnk/smpp_session.h"

namespace {

void DecodeAlone(const std::string& input) {
    std::string text;
    if (smpplnk::DecodeBindResponse(input, &text) == 0 && text.size() > 15) __builtin_trap();
    if (smpplnk::DecodeSubmitResponse(input, &text) == 0 && text.size() > 64) __builtin_trap();
    (void)smpplnk::DecodeHeaderOnly(input, 0x80000006u);
    if (input.size() >= smpplnk::kHeaderSize) {
        (void)smpplnk::CommandName(
            smpplnk::DecodeHeader(reinterpret_cast<const unsigned char*>(input.data())).id);
    }
}

void BindExchange(const std::string& input) {
    int pair[2];
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, pair) != 0) return;
    platform::UniqueFd client(pair[0]), smsc(pair[1]);
    if (write(smsc.Get(), input.data(), input.size()) != static_cast<ssize_t>(input.size())) return;
    shutdown(smsc.Get(), SHUT_WR);

    smpplnk::BindRequest request;
    request.systemId = "fuzz";
    const std::uint32_t sequence = smpplnk::NextSequence();
    std::string pdu, response;
    if (smpplnk::EncodeBind(request, sequence, pdu) != 0) __builtin_trap();
    smpplnk::Link link(client.Get(), nullptr);
    const int rc = smpplnk::Exchange(link, pdu, sequence, 0x80000002u, &response);
    if (rc == 0) {
        const auto h =
            smpplnk::DecodeHeader(reinterpret_cast<const unsigned char*>(response.data()));
        if (h.id != 0x80000002u || h.sequence != sequence || response.size() != h.length)
            __builtin_trap();
        std::string smscId;
        (void)smpplnk::DecodeBindResponse(response, &smscId);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    smpplnk::SetTimeouts(1000, 1000);
    const std::string input(reinterpret_cast<const char*>(data), size);
    DecodeAlone(input);
    BindExchange(input);
    return 0;
}
