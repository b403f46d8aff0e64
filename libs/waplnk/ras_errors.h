// The dial-up error numbers WSPRasDial returns (600-799) and their texts, and the
// helpers the entry points share.
#pragma once

#include <NetworkManager.h>

#include <string>
#include <string_view>

namespace waplnk {

// Error numbers; the table in ras_errors.cpp maps NetworkManager's reasons onto them.
enum RasError : int {
    kRasDeviceMissing = 608,      // the modem of a "Modem: X" entry is not there
    kRasEntryNotFound = 623,      // no mobile-broadband connection of that name
    kRasRemoteDisconnect = 629,   // the network or the device ended the connection
    kRasCancelled = 631,          // the operator cancelled the dial
    kRasModemBusy = 633,          // the modem is in use or not ready
    kRasModemError = 651,         // the modem reported an error (also: any other reason)
    kRasLineBusy = 676,
    kRasNoAnswer = 678,           // no carrier
    kRasNoDialTone = 680,
    kRasAuthFailed = 691,         // login or password refused, or no secrets
    kRasHardwareFailure = 692,    // the modem failed to initialise
    kRasServiceUnavailable = 711, // NetworkManager did not answer
    kRasTimeout = 718,            // not activated within the dial time-out
    kRasNoIpConfig = 720,         // no usable IP configuration came up
    kRasApnRefused = 735,         // the network refused the APN
    kRasNotRegistered = 769,      // the modem is not registered on the network
    kRasSimFailure = 770,         // SIM missing, locked or refused its PIN
};

// The error number for why an activation failed: the device's reason when it tells
// more than "unknown", else the active connection's.
int ErrorForReasons(NMActiveConnectionStateReason activeReason, NMDeviceStateReason deviceReason);

// The text of an error number; empty for a number this library does not return.
std::string_view ErrorText(int code);

// Copies `text` into `buffer` of `size` bytes, cut to fit and NUL-terminated (nothing
// for size < 1). Returns the length written.
int CopyText(char* buffer, int size, std::string_view text);

// The prefix of the modem entries of the connection list.
inline constexpr std::string_view kModemPrefix = "Modem: ";

// The modem name of a "Modem: X" entry, or empty for any other entry.
std::string ModemOfEntry(std::string_view entry);

}  // namespace waplnk
