// The live gateway status the Status page shows, read in one pass from the service
// manager, the status blocks, the connection error files, the counter files and the
// SMPP client flag files. Kept apart from the page so that it can be measured alone.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "config/counters.h"

namespace shell {

// The counter rows of the Status page, in page order.
inline constexpr std::size_t kStatusCounterRows = 11;
struct StatusCounterRow {
    const char* label;    // "SMS Submitted:"
    const char* id;       // control id prefix of the row's cells ("submitted")
    const char* counter;  // statistic name read through config::ReadStatCounter
    const char* extra;    // a second statistic added column by column, or nullptr
};
extern const std::array<StatusCounterRow, kStatusCounterRows> kStatusCounters;

// The detail text of the connection status is capped at this many characters.
inline constexpr std::size_t kConnectionDetailLimit = 1024;
// Only this much of an error file is read.
inline constexpr std::size_t kErrorFileLimit = 250;

struct GatewayStatus {
    bool gatewayInstalled = false;
    bool gatewayActive = false;
    std::string gatewayLine;  // "Service is Active", "Service is NOT Installed", ...
    bool gatewayAlarm = false;

    // MMSCLNK with both query functions; when false the MMSC fields below are unset.
    bool mmscAvailable = false;
    bool mmscInstalled = false;
    bool mmscActive = false;
    std::string mmscLine;
    bool mmscAlarm = false;

    std::string connectionHeadline;  // "ERROR", "All Connections OK", "Service is NOT active"
    std::string connectionDetail;    // one "route (name) : text\r\n" line per error
    bool connectionAlarm = false;

    std::uint32_t queueSize = 0;  // as the restart watcher last counted it
    std::string queueText;        // "%u", or "Empty" for 0
    bool queueAlarm = false;      // AlertEMailQueueSize non-zero and below the queue size

    // The SMPP server runs inside an active service: the flag files can be counted.
    bool smppClientsCounted = false;
    std::uint32_t smppClients = 0;

    std::array<config::StatCounts, kStatusCounterRows> counters{};
};

// Reads everything the Status page shows, once. Missing files, blocks and libraries read
// as "nothing there"; nothing is created or written.
GatewayStatus ReadGatewayStatus();

// The error lines of every SMSC connection and MMSC route, as the connection status
// shows them while the service runs ("" when none). Capped at kConnectionDetailLimit.
std::string ReadConnectionErrors();

// The first kErrorFileLimit bytes of an error file up to the first NUL, without trailing
// line breaks and blanks; "" when the file is missing or empty.
std::string ReadErrorFileText(const std::string& path);

// "%u", or "" for 0: a counter cell of the Status page.
std::string CounterCellText(std::uint32_t value);

}  // namespace shell
