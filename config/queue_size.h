// The outbound queue size shown by the Status and SMSC pages, recomputed by the restart
// watcher every 3 seconds (CacheQSize on) or 10 seconds (off).
#pragma once

#include <cstdint>
#include <string>

namespace config {

// With CacheQSize in [ZELLA] a yes value: today's "SMSQSIZE" count that the service
// keeps, plus the "*.REQ" plain files (names matched ignoring case) in every
// sub-directory of the outbound queue directory whose name begins with "MMSQ__"
// (ignoring case). Otherwise: the "*.REQ" files directly in the queue directory plus
// those in every sub-directory. Only one level deep. Saturates at UINT32_MAX.
std::uint32_t OutboundQueueSize();

// The same count over an explicit queue directory (ending in "/") and cache choice.
std::uint32_t OutboundQueueSizeIn(const std::string& queueDirectory, bool cacheQSize);

}  // namespace config
