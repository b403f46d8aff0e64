// Messages as CIMD2 carries them: the submit parameters of each part of an outgoing
// message, and a delivered message or status report read back into the service's form.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "cimdlnk/cimd_frame.h"
#include "gateway/links/link.h"

namespace gateway {

using CimdParameters = std::vector<std::pair<int, std::string>>;

// The submit parameters for each part of `message` from `sender` (`prefix` put in front
// of a numeric sender), or false with the operator's `error`.
bool BuildCimdSubmits(const OutboundMessage& message, const std::string& sender,
                      const std::string& prefix, unsigned char reference,
                      std::vector<CimdParameters>& submits, std::string& error);

// A deliver message (20) or status report (23) as an inbound message; false when its
// parameters cannot be read.
bool ReadCimdDelivery(const cimd::Packet& packet, InboundMessage& message);

}  // namespace gateway
