// The status lines of the SMSC page: network-modem cloud server, outbound queue, and
// the health of the connections as the error files the Gateway service leaves tell it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace smsc {

inline constexpr std::size_t kErrorFileBytes = 250;
inline constexpr std::size_t kStatusDetailSize = 32 * 1024;

// "QuvSMS Modem Cloud Server ID: " + CloudServer of [ZELLA] when a listed network modem
// ("QuvSMSModem - ", walked up to the first empty "Modem%u") has "Cloud" set to a yes
// value and CloudServer is non-empty; "" otherwise.
std::string CloudLineText();

// "Outbound Message Queue:  Empty" for 0, "Outbound Message Queue:  1 message", and
// "... %u messages" above 1.
std::string QueueLineText(std::uint32_t queued);

// The last error the service left for a connection: the first 250 bytes of its error
// file in the private data directory (name made file-safe, plus ".ERR"), up to the
// first NUL; "" when there is none.
std::string ConnectionErrorText(const std::string& connectionName);

// One line per connection with an error text: the route name, " (" name ")" when the
// route name differs from the name ignoring case, " : ", the text and CR LF; the whole
// cut to `capacity` - 1 characters.
std::string ConnectionErrorLines(std::size_t capacity = kStatusDetailSize);

// The headline and detail box of the page.
struct SmscStatus {
    std::string headline;
    std::string detail;
};
// "SMSC Status:  Service is NOT active" when the service is not installed or not
// active; otherwise "SMSC Status:  ERROR" with the error lines, or
// "SMSC Status:  All Connections OK" and no detail.
SmscStatus StatusText(bool serviceInstalledAndActive);

}  // namespace smsc
