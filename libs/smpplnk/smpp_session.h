// Request/response exchanges on a Link: sequence numbers, the reply time-out, the
// SMSC's own requests answered while we wait (enquire_link, deliver_sm, unknown
// commands), and every reply matched by command id and sequence number.
#pragma once

#include <cstdint>
#include <string>

#include "smpplnk/smpp_link.h"

namespace smpplnk {

// Time-outs in milliseconds; 0 or less restores the default.
void SetTimeouts(int connectMs, int replyMs);
std::uint64_t ConnectTimeoutMs();
std::uint64_t ReplyTimeoutMs();

// The next sequence number, 1 .. 0x7FFFFFFF and round again; process-wide.
std::uint32_t NextSequence();

// Protocol trace to SMPPDEBUG.LOG in the debug log directory while on; never logs a
// PDU body, so passwords stay out of it.
void SetTrace(bool on);
void Trace(const char* direction, const std::string& pdu);
void TraceNote(const std::string& text);

// Sends `request` (sequence `sequence`) and reads until the response `responseId`
// with that sequence arrives, within the reply time-out in all. Returns 0 with the
// response in `response` (its command_status may be non-zero), the status of a
// generic_nack for the request (kErrGenericNack when that status is 0), or a local
// error code.
int Exchange(Link& link, const std::string& request, std::uint32_t sequence,
             std::uint32_t responseId, std::string* response);

}  // namespace smpplnk
