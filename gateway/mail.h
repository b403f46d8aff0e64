// E-mail from the service (alerts, received messages forwarded by a keyword): through the
// SMTP server of the AlertEMail* keys, or, without one, as files in "MMSCOUT/" for the
// MMSC service to send, one per recipient.
#pragma once

#include <string>
#include <vector>

#include "gateway/settings.h"

namespace gateway {

// Sends one mail; false with `failure` set when the SMTP server did not take it. Header
// values lose their line breaks and control characters, so no text can add a header.
bool SendServiceMail(const GatewaySettings& settings, const std::string& from, const std::vector<std::string>& to,
                     const std::string& subject, const std::string& body, std::string& failure);

}  // namespace gateway
