// Pairing a remote or cloud phone through the Gateway service: the request section
// "QuvSMSModemTest" of ZELLA.INI that the service answers, the services check that
// comes first, and the "Waiting for Connection" dialog.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "ui/host.h"
#include "ui/template.h"

namespace modem {

inline constexpr const char* kPairingSection = "QuvSMSModemTest";
inline constexpr const char* kBadSecret =
    "The shared secret cannot hold tabs or line breaks, nor begin or end with a blank or a "
    "quote.";
// The wait gives up after this long without an answer from the service, so a phone or
// service that never answers cannot hold the console for ever.
inline constexpr std::uint64_t kPairingTimeoutMs = 10 * 60 * 1000;

// What the services check reaches; tests substitute their own.
struct ServiceChecks {
    std::function<bool()> gatewayActive;
    std::function<bool()> mmscInstalled;
    std::function<void(ui::Host&)> enableServices;
};

// True when the Gateway service is active and the MMSC service installed, or when the
// operator, asked "QuvSMS Services are not active...", answered Yes and the Gateway
// service is active afterwards.
bool EnsureServicesActive(ui::Host& host, const ServiceChecks& checks);

// Whether a shared secret comes back from the INI file and the edit record as typed: no
// byte below 32 (a tab or a line break would end the field or the line), no blank or
// quote at either end (the INI reading trims them).
bool IsStorableSecret(const std::string& secret);

// Writes the request: ModemName = `device`, Password = `secret` (deleted when empty),
// Cloud = "Yes" for `cloud` (else deleted), Status deleted. False when it could not be
// written (the file is then unchanged).
bool WritePairingRequest(const std::string& device, const std::string& secret, bool cloud);
// The service's Status ("" while pending).
std::string PairingStatus();
// The request's ModemName.
std::string PairingDeviceName();
// Deletes the whole request section.
void DeletePairingRequest();

// The text of the direct wait: its "8990" replaced by QuvsmsModemPort when that is set
// and differs.
std::string DirectWaitText();

// "DIALOG_QUVSMSWAIT".
ui::Template PairingWaitTemplate();

// `PairingWaitDialog`: true when Status appeared (polled every second); false on
// "Connect Later" or after kPairingTimeoutMs (platform clock).
bool PairingWaitDialog(ui::Host& host, bool cloud);

}  // namespace modem
