// Received messages waiting for a local account: ".REC" files of the received-SMS folder
// (root and direct sub-directories) whose "[SMS-IN]" names the account in
// RouteToLocalUser. A client of the account (an SMPP receiver) takes them; once it
// confirmed one, the file becomes ".SMS" (stored, shown as received).
#pragma once

#include <string>
#include <vector>

#include "gateway/clients/smpp_text.h"

namespace gateway::clients {

struct WaitingDelivery {
    std::string path, user;
};

// At most `limit` waiting files, oldest names first within each folder.
std::vector<WaitingDelivery> FindWaitingDeliveries(const std::string& smsInDir, std::size_t limit);

// The message of a ".REC" file; false when it cannot be read or is not a received message.
bool ReadDelivery(const std::string& path, DeliveryText& out);

// Turns the ".REC" file into ".SMS"; false when it is gone or held by another program.
bool MarkDelivered(const std::string& path);

}  // namespace gateway::clients
