#include "smpplnk/smpp_session.h"

#include <atomic>
#include <cstdio>
#include <ctime>
#include <mutex>

#include <unistd.h>

#include "acctdb/acctdb.h"
#include "platform/io_wait.h"
#include "platform/regular_file.h"
#include "smpplnk/smpp_codes.h"
#include "smpplnk/smpp_pdu.h"

namespace smpplnk {
namespace {

constexpr int kDefaultConnectMs = 15'000;
constexpr int kDefaultReplyMs = 30'000;
std::atomic<int> gConnectMs{kDefaultConnectMs};
std::atomic<int> gReplyMs{kDefaultReplyMs};
std::atomic<std::uint32_t> gSequence{0};
std::atomic<bool> gTrace{false};
std::mutex gTraceLock;

// Answers a request of the SMSC that arrived while we waited for our response. Returns
// 0 to go on waiting, or the code that ends the wait.
int AnswerSmsc(Link& link, const Header& h, std::uint64_t deadline) {
    std::string answer;
    int result = 0;
    if (h.id == kEnquireLink) {
        EncodeHeaderOnly(kEnquireLink | kResponseBit, 0, h.sequence, answer);
    } else if (h.id == kDeliverSm) {
        // A temporary error keeps the message at the SMSC for a later delivery: a login
        // test must not swallow the operator's traffic.
        EncodeDeliverResponse(kStatusReceiverTemporaryError, h.sequence, answer);
    } else if (h.id == kUnbind) {
        EncodeHeaderOnly(kUnbind | kResponseBit, 0, h.sequence, answer);
        result = kErrSmscUnbound;
    } else {
        EncodeHeaderOnly(kGenericNack, kStatusInvalidCommandId, h.sequence, answer);
    }
    Trace("send", answer);
    const int rc = link.Send(answer, deadline);
    return result != 0 ? result : rc;
}

}  // namespace

void SetTimeouts(int connectMs, int replyMs) {
    gConnectMs = connectMs > 0 ? connectMs : kDefaultConnectMs;
    gReplyMs = replyMs > 0 ? replyMs : kDefaultReplyMs;
}
std::uint64_t ConnectTimeoutMs() { return static_cast<std::uint64_t>(gConnectMs.load()); }
std::uint64_t ReplyTimeoutMs() { return static_cast<std::uint64_t>(gReplyMs.load()); }

std::uint32_t NextSequence() {
    std::uint32_t current = gSequence.load();
    std::uint32_t next;
    do {
        next = current >= 0x7FFFFFFFu ? 1 : current + 1;
    } while (!gSequence.compare_exchange_weak(current, next));
    return next;
}

void SetTrace(bool on) { gTrace = on; }

void TraceNote(const std::string& text) {
    if (!gTrace) return;
    std::lock_guard<std::mutex> lock(gTraceLock);
    const std::string path = acctdb::GetDebugLogDirectory() + "SMPPDEBUG.LOG";
    // The log folder is shared with the gateway's group: a link planted under the name
    // is not followed (root would append wherever it points) and a FIFO is not waited
    // on (the connection test would never end).
    platform::OpenOptions options;
    options.access = platform::FileAccess::Write;
    options.create = true;
    options.append = true;
    options.mode = 0660;
    const platform::UniqueFd log = platform::OpenRegularFile(path, options);
    if (!log) return;
    char stamp[32];
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
    const std::string line = std::string(stamp) + " " + text + "\n";
    (void)::write(log.Get(), line.data(), line.size());
}

void Trace(const char* direction, const std::string& pdu) {
    if (!gTrace || pdu.size() < kHeaderSize) return;
    const Header h = DecodeHeader(reinterpret_cast<const unsigned char*>(pdu.data()));
    char line[160];
    std::snprintf(line, sizeof line, "%s %s length=%u status=0x%08X sequence=%u", direction,
                  CommandName(h.id).c_str(), h.length, h.status, h.sequence);
    TraceNote(line);
}

int Exchange(Link& link, const std::string& request, std::uint32_t sequence,
             std::uint32_t responseId, std::string* response) {
    const std::uint64_t deadline = platform::SteadyMillis() + ReplyTimeoutMs();
    Trace("send", request);
    if (const int rc = link.Send(request, deadline)) return rc;
    for (;;) {
        if (const int rc = link.Receive(*response, deadline)) {
            TraceNote("receive failed with code " + std::to_string(rc));
            return rc;
        }
        Trace("receive", *response);
        const Header h = DecodeHeader(reinterpret_cast<const unsigned char*>(response->data()));
        if (h.id == responseId && h.sequence == sequence) return 0;
        if (h.id == kGenericNack) {
            // A nack with sequence 0 answers a PDU the SMSC could not even frame.
            if (h.sequence != sequence && h.sequence != 0) return kErrUnexpected;
            // Checked here rather than by the codec, which refuses sequence number 0.
            if (response->size() != kHeaderSize) return kErrMalformed;
            return h.status != 0 ? StatusCode(h.status) : kErrGenericNack;
        }
        if (h.id & kResponseBit) return kErrUnexpected;
        if (const int rc = AnswerSmsc(link, h, deadline)) return rc;
    }
}

}  // namespace smpplnk
